// What a request asks of a file's bytes: the validators the server sends for every file, and
// the part a Range (under its If-Range) asks for.
#pragma once

#include <httplib.h>

#include <filesystem>
#include <string>

namespace update_server {

// A strong entity tag and the modification time of a file as it is on disk now: a file
// written again gets new ones (a new time, size or file).
struct Validators {
    std::string etag;          // "size-mtime-inode", in hexadecimal, quoted
    std::string lastModified;  // an HTTP date, whole seconds
    bool dateIsStrong = false; // the file has not changed within the last second
};

Validators ValidatorsOf(const std::filesystem::path& file);

// What to send of a file of size bytes.
struct Part {
    enum class Kind {
        Whole,         // 200 and every byte: no Range, one the server does not take (several
                       // ranges, a unit other than bytes), or an If-Range that does not match
        Range,         // 206 and the bytes from first to last
        Unsatisfiable, // 416: the first byte asked is past the file's end
    } kind = Kind::Whole;
    std::size_t first = 0;
    std::size_t last = 0;
};

Part PartAsked(const httplib::Request& req, const Validators& validators, std::size_t size);

} // namespace update_server
