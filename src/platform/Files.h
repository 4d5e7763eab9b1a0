// File and folder operations the logic needs of the operating system.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The longest path the ANSI calls take: MAX_PATH less its terminating NUL. A folder that
// CreateDirectoryA makes must leave room for an 8.3 file name below it.
constexpr std::size_t kMaxPathLength = 259;
constexpr std::size_t kMaxFolderPathLength = kMaxPathLength - 12;

// Attribute bits as Windows reports them.
enum FileAttribute : std::uint32_t {
    AttrReadOnly = 0x1,
    AttrHidden = 0x2,
    AttrSystem = 0x4,
    AttrVolumeLabel = 0x8,
    AttrDirectory = 0x10,
    AttrArchive = 0x20,
    AttrNormal = 0x80,
    AttrNotIndexed = 0x2000,
};

struct DirEntry {
    std::string name;
    std::uint32_t attributes = 0;
};

// The attributes of a file or folder, nothing when the path names neither.
std::optional<std::uint32_t> FileAttributes(const std::string& path);

// Every entry the system lists for a pattern such as "C:\\Folder\\*", in listing order,
// "." and ".." included where the system gives them. False when the listing cannot start.
bool ListFolder(const std::string& pattern, std::vector<DirEntry>& entries);

// The size of one file, by a directory look-up of its name; nothing when it is no file.
std::optional<std::uint64_t> FileSize(const std::string& path);

// The bytes free for this user on the drive of a folder; nothing when it cannot be told.
std::optional<std::uint64_t> FreeBytes(const std::string& folder);

// Creates one folder; its parent must exist.
bool CreateFolder(const std::string& path);

enum class MoveResult {
    Moved,
    Busy,        // another program holds a file of the move (sharing violation, access denied)
    Failed,      // anything else: target exists, source or target folder missing, ...
    OtherVolume, // RenameExisting only: the move would copy across volumes, so it was not made
};

// Moves or renames one file; never replaces an existing file.
MoveResult MoveExisting(const std::string& from, const std::string& to);

// Renames or moves one file within its volume, in one step; never replaces an existing file,
// and never copies: a move that would cross volumes is OtherVolume, nothing done.
MoveResult RenameExisting(const std::string& from, const std::string& to);

// Renames one file over another on the same drive in one step, or to a free name: whatever
// happens, the target is either what it was or the moved file, never missing. Moved only once
// the move has reached the disk. Never replaces a folder or a file in use (Busy) or read-only,
// and never copies across drives.
MoveResult MoveReplacing(const std::string& from, const std::string& to);

bool RemoveFile(const std::string& path);

// An existing path with every level by its long name, as Windows resolves a short (8.3) alias
// such as "PELMOR~1.TXT" (GetLongPathNameA); nothing when the path does not exist.
std::optional<std::string> LongPathName(const std::string& path);


// Appends bytes to a file, making the file when it is missing, and has the system write them
// to the disk before it returns: true only when every byte was written and flushed.
bool AppendToFile(const std::string& path, const std::string& bytes);

// A file opened for reading and shared with no other opener. Closed when destroyed.
class ExclusiveFile {
public:
    explicit ExclusiveFile(const std::string& path);
    ~ExclusiveFile();
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    bool IsOpen() const;
    // Seeks to the end and back to the start; -1 on failure.
    std::int64_t Size();
    // Reads up to count bytes from the current position; gives the number read.
    std::int64_t Read(char* buffer, std::int64_t count);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace platform

namespace platform {

// True only for an existing file: false for a folder or a missing path.
inline bool FileExists(const std::string& path) {
    auto attributes = FileAttributes(path);
    return attributes.has_value() && (*attributes & AttrDirectory) == 0;
}

// Deletes a file when one is there; whether that worked is not looked at.
inline void RemoveFileIfPresent(const std::string& path) {
    if (FileExists(path)) {
        RemoveFile(path);
    }
}

inline bool FolderExists(const std::string& path) {
    auto attributes = FileAttributes(path);
    return attributes.has_value() && (*attributes & AttrDirectory) != 0;
}

} // namespace platform
