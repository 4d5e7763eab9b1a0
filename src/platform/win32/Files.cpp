// Files and folders through the ANSI Windows API.
#include "../Files.h"

#include "Handles.h"

#include <vector>

namespace platform {

std::optional<std::uint32_t> FileAttributes(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(attributes);
}

bool ListFolder(const std::string& pattern, std::vector<DirEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAA data{};
    FindHandle find(FindFirstFileA(pattern.c_str(), &data));
    if (!find) {
        return false;
    }
    do {
        entries.push_back(
            DirEntry{data.cFileName, static_cast<std::uint32_t>(data.dwFileAttributes)});
    } while (FindNextFileA(find.get(), &data));
    return true;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    WIN32_FIND_DATAA data{};
    FindHandle find(FindFirstFileA(path.c_str(), &data));
    if (!find || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<std::uint64_t> FreeBytes(const std::string& folder) {
    ULARGE_INTEGER available{};
    if (folder.empty() || !GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

bool CreateFolder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

namespace {

MoveResult ResultOfMove(BOOL moved) {
    if (moved) {
        return MoveResult::Moved;
    }
    DWORD error = GetLastError();
    if (error == ERROR_NOT_SAME_DEVICE) {
        return MoveResult::OtherVolume;
    }
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
        error == ERROR_LOCK_VIOLATION) {
        return MoveResult::Busy;
    }
    return MoveResult::Failed;
}

} // namespace

MoveResult MoveExisting(const std::string& from, const std::string& to) {
    return ResultOfMove(MoveFileA(from.c_str(), to.c_str()));
}

MoveResult RenameExisting(const std::string& from, const std::string& to) {
    return ResultOfMove(MoveFileExA(from.c_str(), to.c_str(), 0));
}

MoveResult MoveReplacing(const std::string& from, const std::string& to) {
    // Without MOVEFILE_COPY_ALLOWED a move across volumes fails rather than copying over the
    // target, which would not be one step.
    return ResultOfMove(
        MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

std::optional<std::string> LongPathName(const std::string& path) {
    std::vector<char> buffer(MAX_PATH);
    while (true) {
        const DWORD length =
            GetLongPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
    FileHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    if (!bytes.empty() && (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                      &written, nullptr) ||
                           written != bytes.size())) {
        return false;
    }
    return FlushFileBuffers(file.get()) != 0;
}

struct ExclusiveFile::Impl {
    FileHandle file;
};

ExclusiveFile::ExclusiveFile(const std::string& path) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        impl_ = std::make_unique<Impl>();
        impl_->file = std::move(file);
    }
}

ExclusiveFile::~ExclusiveFile() = default;

bool ExclusiveFile::IsOpen() const {
    return impl_ != nullptr;
}

std::int64_t ExclusiveFile::Size() {
    if (!impl_) {
        return -1;
    }
    LARGE_INTEGER zero{};
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(impl_->file.get(), zero, &end, FILE_END) ||
        !SetFilePointerEx(impl_->file.get(), zero, nullptr, FILE_BEGIN)) {
        return -1;
    }
    return end.QuadPart;
}

std::int64_t ExclusiveFile::Read(char* buffer, std::int64_t count) {
    if (!impl_) {
        return 0;
    }
    std::int64_t total = 0;
    while (total < count) {
        DWORD chunk = static_cast<DWORD>(std::min<std::int64_t>(count - total, 0x40000000));
        DWORD got = 0;
        if (!::ReadFile(impl_->file.get(), buffer + total, chunk, &got, nullptr) || got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

} // namespace platform
