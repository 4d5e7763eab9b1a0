#include "Names.h"

namespace release {

bool ForbiddenInName(unsigned char c) {
    return c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
           c == '*';
}

std::string NameAsWindowsTakesIt(std::string name) {
    if (name != "." && name != "..") {
        name.erase(name.find_last_not_of(". ") + 1);
    }
    return name;
}

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace release
