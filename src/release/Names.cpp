#include "Names.h"

namespace release {

bool ForbiddenInName(unsigned char c) {
    return c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
           c == '*';
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
