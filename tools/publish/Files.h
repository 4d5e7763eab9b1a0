// Whole-file reads and writes for the release tool. Every failure comes back as a result
// whose problem names the file, never as an exception.
#pragma once

#include "Result.h"

#include <cstdint>
#include <optional>
#include <string>

namespace publish {

// A list file larger than this is not one the tool wrote.
constexpr std::uint64_t kMaxListRead = std::uint64_t{1} << 30;

// The whole of a regular file of at most limit bytes.
Result<std::string> ReadFile(const std::string& file, std::uint64_t limit);
// Writes the file afresh and flushes it to the disk.
Status WriteDurably(const std::string& file, const std::string& content);
// Fails when the file exists; only its owner may read the file.
Status WriteNewPrivateFile(const std::string& file, const std::string& content);
// Renames, replacing a file at the target.
Status RenameReplacing(const std::string& from, const std::string& to);
// A second name for the file (a hard link, else a copy), for putting it back later.
Status KeepCopy(const std::string& file, const std::string& copy);
void RemoveQuietly(const std::string& file);
// Makes the folder and every missing level above it.
Status MakeFolder(const std::string& folder);
// Flushes a folder's entries (the renames made in it) to the disk, where the system can.
void FlushFolder(const std::string& folder);

bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
std::string Join(const std::string& folder, const std::string& path);
// The folder that holds a file ("." for a bare name).
std::string FolderOf(const std::string& file);
// The "/"-separated path of path from folder when it lies within it ("" for the folder
// itself), or nothing.
std::optional<std::string> PathWithin(const std::string& folder, const std::string& path);

} // namespace publish
