#include "Glob.h"

namespace publish {

namespace {

// Whether the pattern from p matches the name or path from s, both read by character in the
// code page: a second byte is never "*", "?", "/" or a letter of its own.
bool Match(const std::string& pattern, std::size_t p, const std::string& text, std::size_t s,
           const release::CodePage& page) {
    while (p < pattern.size()) {
        if (pattern[p] == '*') {
            const bool any = p + 1 < pattern.size() && pattern[p + 1] == '*';
            const std::size_t rest = p + (any ? 2 : 1);
            for (std::size_t t = s;; t = page.Next(text, t)) {
                if (Match(pattern, rest, text, t, page)) {
                    return true;
                }
                if (t >= text.size() || (!any && text[t] == '/')) {
                    return false;
                }
            }
        }
        if (s >= text.size()) {
            return false;
        }
        const std::size_t pNext = page.Next(pattern, p);
        const std::size_t sNext = page.Next(text, s);
        if (pattern[p] == '?' ? text[s] == '/'
                              : page.Folded(pattern.substr(p, pNext - p)) !=
                                    page.Folded(text.substr(s, sNext - s))) {
            return false;
        }
        p = pNext;
        s = sNext;
    }
    return s >= text.size();
}

} // namespace

bool Excluded(const std::string& given, const std::string& path, const release::CodePage& page) {
    // A maker on Windows writes "Big Data\*.pak"; list paths hold no backslash.
    std::string pattern = given;
    for (std::size_t pos = 0; pos < pattern.size(); pos = page.Next(pattern, pos)) {
        if (pattern[pos] == '\\') {
            pattern[pos] = '/';
        }
    }
    if (page.Find(pattern, "/") != std::string::npos) {
        return Match(pattern, 0, path, 0, page);
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = page.Find(path, "/", start);
        std::string name = path.substr(start, end == std::string::npos ? end : end - start);
        if (Match(pattern, 0, name, 0, page)) {
            return true;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return false;
}

} // namespace publish
