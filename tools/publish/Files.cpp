#include "Files.h"

#include "KeyAccess.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

namespace fs = std::filesystem;

namespace publish {

namespace {

std::string Quoted(const std::string& file) {
    return "\"" + file + "\"";
}

std::string SystemReason() {
    return errno != 0 ? std::string(std::strerror(errno)) : std::string("the system refused");
}

// Waits until the file's bytes are on the disk, so that a rename made after it never
// leaves a name for an empty or partial file after a power cut.
bool SyncToDisk(const fs::path& path) {
#ifdef _WIN32
    int fd = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        return false;
    }
    bool synced = _commit(fd) == 0;
    _close(fd);
#else
    int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) {
        return false;
    }
    bool synced = fsync(fd) == 0;
    close(fd);
#endif
    return synced;
}

} // namespace

std::string Join(const std::string& folder, const std::string& path) {
    return (fs::path(folder) / fs::path(path)).string();
}

std::string FolderOf(const std::string& file) {
    const fs::path parent = fs::path(file).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::optional<std::string> PathWithin(const std::string& folder, const std::string& path) {
    std::error_code rootError;
    std::error_code innerError;
    fs::path root = fs::weakly_canonical(fs::path(folder), rootError);
    fs::path inner = fs::weakly_canonical(fs::path(path), innerError);
    fs::path relative = inner.lexically_relative(root);
    if (rootError || innerError || relative.empty() || *relative.begin() == "..") {
        return std::nullopt;
    }
    return relative == "." ? std::string() : relative.generic_string();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(path), ec));
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::path(path), ec);
}

Result<std::string> ReadFile(const std::string& file, std::uint64_t limit) {
    std::error_code ec;
    fs::file_status status = fs::status(fs::path(file), ec);
    if (!fs::exists(status)) {
        return Refusal("cannot read " + Quoted(file) + ": it does not exist");
    }
    if (!fs::is_regular_file(status)) {
        return Refusal("cannot read " + Quoted(file) + ": it is " +
                       (fs::is_directory(status) ? "a folder" : "not a regular file"));
    }
    const std::uintmax_t size = fs::file_size(fs::path(file), ec);
    if (ec) {
        return IoFailure("cannot read " + Quoted(file) + ": " + ec.message());
    }
    if (size > limit) {
        return Refusal("cannot read " + Quoted(file) + ": " + std::to_string(size) +
                       " bytes, more than the " + std::to_string(limit) + " such a file can have");
    }
    errno = 0;
    std::ifstream in(fs::path(file), std::ios::binary);
    if (!in) {
        return IoFailure("cannot open " + Quoted(file) + ": " + SystemReason());
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    // istream::read turns a failing read into a state, never into an exception.
    in.read(&text[0], static_cast<std::streamsize>(size));
    if (in.bad() || static_cast<std::uintmax_t>(in.gcount()) != size) {
        return IoFailure("cannot read " + Quoted(file) + ": " + SystemReason());
    }
    return text;
}

Status WriteDurably(const std::string& file, const std::string& content) {
    errno = 0;
    {
        std::ofstream out(fs::path(file), std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            Failure failure = IoFailure("cannot write " + Quoted(file) + ": " + SystemReason());
            RemoveQuietly(file);
            return failure;
        }
    }
    if (!SyncToDisk(fs::path(file))) {
        Failure failure =
            IoFailure("cannot flush " + Quoted(file) + " to the disk: " + SystemReason());
        RemoveQuietly(file);
        return failure;
    }
    return Done{};
}

Status WriteNewPrivateFile(const std::string& file, const std::string& content) {
    if (Exists(file)) {
        return Refusal(Quoted(file) + " exists; a key file is never overwritten");
    }
    errno = 0;
    std::ofstream out(fs::path(file), std::ios::binary);
    if (!out) {
        return IoFailure("cannot write " + Quoted(file) + ": " + SystemReason());
    }
    // The private key is for its owner only, before a byte of it is written.
    if (Status owned = MakeOwnerOnly(file); !owned) {
        out.close();
        RemoveQuietly(file);
        return owned;
    }
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out || !SyncToDisk(fs::path(file))) {
        Failure failure = IoFailure("cannot write " + Quoted(file) + ": " + SystemReason());
        RemoveQuietly(file);
        return failure;
    }
    return Done{};
}

Status RenameReplacing(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(fs::path(from), fs::path(to), ec);
    if (ec) {
        return IoFailure("cannot put " + Quoted(to) + " in place: " + ec.message());
    }
    return Done{};
}

Status KeepCopy(const std::string& file, const std::string& copy) {
    RemoveQuietly(copy);
    std::error_code ec;
    fs::create_hard_link(fs::path(file), fs::path(copy), ec);
    if (!ec) {
        return Done{};
    }
    auto content = ReadFile(file, std::numeric_limits<std::uint64_t>::max());
    if (!content) {
        return content.failure();
    }
    return WriteDurably(copy, *content);
}

void RemoveQuietly(const std::string& file) {
    std::error_code ec;
    fs::remove(fs::path(file), ec);
}

Status MakeFolder(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(fs::path(folder), ec);
    if (ec || !IsFolder(folder)) {
        const std::string problem = "cannot make the folder " + Quoted(folder) + ": " +
                                    (ec ? ec.message() : std::string("a file is in the way"));
        return ec ? IoFailure(problem) : Refusal(problem);
    }
    return Done{};
}

void FlushFolder(const std::string& folder) {
#ifndef _WIN32
    int fd = open(folder.c_str(), O_RDONLY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
#else
    (void)folder;
#endif
}

} // namespace publish
