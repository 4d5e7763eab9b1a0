// How the Windows ANSI code page reads the bytes of a name: which bytes begin a double-byte
// character (whose second byte may be any byte from 0x40 up, "\" and "|" among them), and how
// each single-byte character is upper-cased. The rules of names step by character with it.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace release {

struct CodePage {
    unsigned number = 1252;
    std::array<bool, 256> lead{};           // first bytes of double-byte characters
    std::array<bool, 256> trail{};          // their second bytes, in the known pages
    std::array<unsigned char, 256> upper{}; // each single-byte character upper-cased

    // Where the character after the one at pos begins: a lead byte takes the next byte with
    // it, unless the text ends there (as CharNextExA steps).
    std::size_t Next(const std::string& text, std::size_t pos) const;
    // Characters, as Windows counts them in a path.
    std::size_t Characters(const std::string& text) const;
    // Single-byte characters upper-cased, double-byte ones as they are: how names are
    // compared for one file.
    std::string Folded(const std::string& text) const;
    // The first position from pos of a character that is one of the bytes chars, or npos:
    // a second byte never matches.
    std::size_t Find(const std::string& text, const char* chars, std::size_t pos = 0) const;
    // Whether the character at pos begins with a lead byte that no second byte of this code
    // page follows (the text ends, or another byte comes): no character of the page, which
    // Windows would turn into another name.
    bool Incomplete(const std::string& text, std::size_t pos) const;
};

// The code pages the release tool knows: Windows-1252 (Western) and the double-byte code
// pages 932 (Japanese), 936 (Simplified Chinese), 949 (Korean) and 950 (Traditional Chinese),
// each with its second bytes (which a page read from the system leaves unknown).
std::optional<CodePage> KnownCodePage(unsigned number);

// The known code pages, each with what it is for: "1252 (Western), 932 (Japanese), ...".
std::string KnownCodePagesNamed();

// A code page of single bytes whose only letters are ASCII's: how the in-memory machine reads
// one the tables do not know.
CodePage AsciiCodePage(unsigned number);

// Windows-1252, the code page of the updater's market and the tool's default.
const CodePage& WesternCodePage();

} // namespace release
