#include "WholeFile.h"

#include "../platform/Files.h"

#include <exception>
#include <vector>

FileRead ReadFileBytes(const std::string& path, std::string& text) {
    text.clear();
    try {
        platform::ExclusiveFile file(path);
        std::int64_t size = file.Size();
        if (size < 0) {
            return FileRead::Unreadable;
        }
        std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
        std::int64_t got = file.Read(buffer.data(), size);
        text.append(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
        return got == size ? FileRead::Whole : FileRead::Unreadable;
    } catch (const std::exception&) {
        return FileRead::Raised;
    }
}
