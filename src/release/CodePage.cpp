#include "CodePage.h"

#include <cstring>

namespace release {

namespace {

CodePage Western() {
    CodePage page = AsciiCodePage(1252);
    // à to þ (but ÷) are À to Þ; š œ ž ÿ are Š Œ Ž Ÿ.
    for (int c = 0xE0; c <= 0xFE; ++c) {
        if (c != 0xF7) {
            page.upper[c] = static_cast<unsigned char>(c - 0x20);
        }
    }
    page.upper[0x9A] = 0x8A;
    page.upper[0x9C] = 0x8C;
    page.upper[0x9E] = 0x8E;
    page.upper[0xFF] = 0x9F;
    return page;
}

CodePage DoubleByte(unsigned number, int first, int last, int first2 = 0, int last2 = -1) {
    CodePage page = AsciiCodePage(number);
    for (int c = first; c <= last; ++c) {
        page.lead[c] = true;
    }
    for (int c = first2; c <= last2; ++c) {
        page.lead[c] = true;
    }
    return page;
}

} // namespace

CodePage AsciiCodePage(unsigned number) {
    CodePage page;
    page.number = number;
    for (int c = 0; c < 256; ++c) {
        page.upper[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return page;
}

std::size_t CodePage::Next(const std::string& text, std::size_t pos) const {
    if (pos >= text.size()) {
        return text.size();
    }
    const bool pair = lead[static_cast<unsigned char>(text[pos])] && pos + 1 < text.size() &&
                      text[pos + 1] != '\0';
    return pos + (pair ? 2 : 1);
}

std::size_t CodePage::Characters(const std::string& text) const {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); pos = Next(text, pos)) {
        ++count;
    }
    return count;
}

std::string CodePage::Folded(const std::string& text) const {
    std::string folded = text;
    for (std::size_t pos = 0; pos < folded.size();) {
        const std::size_t next = Next(folded, pos);
        if (next == pos + 1) {
            folded[pos] = static_cast<char>(upper[static_cast<unsigned char>(folded[pos])]);
        }
        pos = next;
    }
    return folded;
}

std::size_t CodePage::Find(const std::string& text, const char* chars, std::size_t pos) const {
    for (; pos < text.size(); pos = Next(text, pos)) {
        if (text[pos] != '\0' && std::strchr(chars, text[pos]) != nullptr) {
            return pos;
        }
    }
    return std::string::npos;
}

std::optional<CodePage> KnownCodePage(unsigned number) {
    switch (number) {
    case 1252:
        return Western();
    case 932:
        return DoubleByte(932, 0x81, 0x9F, 0xE0, 0xFC);
    case 936:
    case 949:
    case 950:
        return DoubleByte(number, 0x81, 0xFE);
    default:
        return std::nullopt;
    }
}

const CodePage& WesternCodePage() {
    static const CodePage page = Western();
    return page;
}

} // namespace release
