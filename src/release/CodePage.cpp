#include "CodePage.h"

#include <cstring>
#include <initializer_list>

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

struct ByteRange {
    int first;
    int last;
};

void Mark(std::array<bool, 256>& bytes, std::initializer_list<ByteRange> ranges) {
    for (const ByteRange& r : ranges) {
        for (int c = r.first; c <= r.last; ++c) {
            bytes[static_cast<std::size_t>(c)] = true;
        }
    }
}

CodePage DoubleByte(unsigned number, std::initializer_list<ByteRange> leads,
                    std::initializer_list<ByteRange> trails) {
    CodePage page = AsciiCodePage(number);
    Mark(page.lead, leads);
    Mark(page.trail, trails);
    return page;
}

// The code pages the tool knows, what each is for, and how its bytes are read.
struct Known {
    unsigned number;
    const char* what;
    CodePage (*make)();
};

const Known kKnown[] = {
    {1252, "Western", Western},
    {932, "Japanese", // Shift-JIS
     [] {
         return DoubleByte(932, {{0x81, 0x9F}, {0xE0, 0xFC}}, {{0x40, 0x7E}, {0x80, 0xFC}});
     }},
    {936, "Simplified Chinese", // GBK
     [] {
         return DoubleByte(936, {{0x81, 0xFE}}, {{0x40, 0x7E}, {0x80, 0xFE}});
     }},
    {949, "Korean", // Unified Hangul Code
     [] {
         return DoubleByte(949, {{0x81, 0xFE}}, {{0x41, 0x5A}, {0x61, 0x7A}, {0x81, 0xFE}});
     }},
    {950, "Traditional Chinese", // Big5
     [] {
         return DoubleByte(950, {{0x81, 0xFE}}, {{0x40, 0x7E}, {0xA1, 0xFE}});
     }},
};

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

bool CodePage::Incomplete(const std::string& text, std::size_t pos) const {
    return pos < text.size() && lead[static_cast<unsigned char>(text[pos])] &&
           (pos + 1 == text.size() || !trail[static_cast<unsigned char>(text[pos + 1])]);
}

std::optional<CodePage> KnownCodePage(unsigned number) {
    for (const Known& k : kKnown) {
        if (k.number == number) {
            return k.make();
        }
    }
    return std::nullopt;
}

std::string KnownCodePagesNamed() {
    std::string named;
    for (const Known& k : kKnown) {
        named += (named.empty() ? "" : ", ") + std::to_string(k.number) + " (" + k.what + ")";
    }
    return named;
}

const CodePage& WesternCodePage() {
    static const CodePage page = Western();
    return page;
}

} // namespace release
