#include "Glob.h"

namespace publish {

namespace {

// Letters as Windows compares names: in either case. Only ASCII letters are folded; a
// name's bytes above 127 are compared as they are.
char Folded(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool Match(const char* p, const char* s) {
    for (; *p != '\0'; ++p, ++s) {
        if (p[0] == '*') {
            const bool any = p[1] == '*';
            const char* rest = p + (any ? 2 : 1);
            for (const char* t = s;; ++t) {
                if (Match(rest, t)) {
                    return true;
                }
                if (*t == '\0' || (!any && *t == '/')) {
                    return false;
                }
            }
        }
        if (*s == '\0' || (p[0] == '?' ? *s == '/' : Folded(*p) != Folded(*s))) {
            return false;
        }
    }
    return *s == '\0';
}

} // namespace

bool Excluded(const std::string& given, const std::string& path) {
    // A maker on Windows writes "Big Data\*.pak"; list paths hold no backslash.
    std::string pattern = given;
    for (char& c : pattern) {
        c = c == '\\' ? '/' : c;
    }
    if (pattern.find('/') != std::string::npos) {
        return Match(pattern.c_str(), path.c_str());
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        std::string name = path.substr(start, end == std::string::npos ? end : end - start);
        if (Match(pattern.c_str(), name.c_str())) {
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
