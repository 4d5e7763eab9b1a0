#include "discovery/Versions.h"

#include <gtest/gtest.h>

namespace {

struct TextToIntCase {
    const char* text;
    std::int32_t value;
};

TEST(TextToInt, ReadsAsTheLibraryConversionDoes) {
    const TextToIntCase cases[] = {
        {"0", 0},
        {"42", 42},
        {"  42", 42},
        {"+7", 7},
        {"-7", -7},
        {"$1F", 31},
        {"x1f", 31},
        {"X10", 16},
        {"0x10", 16},
        {"0X7fffffff", 2147483647},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", -1},
        {"-2147483649", -1},
        {"$80000000", -1},
        {"", -1},
        {" ", -1},
        {"42 ", -1},
        {"4a", -1},
        {"-", -1},
        {"$", -1},
        {"0x", -1},
        {"abc", -1},
        {"99999999999999999999", -1},
        {"\t5", -1},
        {"00012", 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextToInt(c.text), c.value) << '"' << c.text << '"';
    }
}

struct VersionCase {
    const char* text;
    VersionParts parts;
    std::int32_t packed;
};

TEST(VersionToNumber, PacksDottedVersions) {
    const VersionCase cases[] = {
        {"4.1.2", {4, 1, 2}, 4001002},
        {"4.1", {4, 1, 0}, 4001000},
        {"4", {4, 0, 0}, 4000000},
        {"4.1.2.7", {4, 1, 2}, 4001002},
        {"4.1.", {4, 1, 0}, 4001000},
        {"", {0, 0, 0}, 0},
        {"0.0.0", {0, 0, 0}, 0},
        {"0.0.1", {0, 0, 1}, 1},
        {"abc", {-1, 0, 0}, -1},
        {"-5", {-5, 0, 0}, -5},
        {"4.x.2", {4, -1, 2}, 3999002},
        {".5", {-1, 5, 0}, -995000},
        {"1.1000.0", {1, 1000, 0}, 2000000},
        {"1.2.3.4", {1, 2, 3}, 1002003},
        {"4. 1", {4, 1, 0}, 4001000},
        {"4.1 ", {4, -1, 0}, 3999000},
        {"2146.999.999", {2146, 999, 999}, 2146999999},
        // Does not fit in 32 bits: unreadable, never wrapped.
        {"2147.483.648", {2147, 483, 648}, -1},
        {"2148", {2148, 0, 0}, -1},
        {"1.3000000.0", {1, 3000000, 0}, -1},
        {"1.0.2147483647", {1, 0, 2147483647}, -1},
        {"-3000.1", {-3000, 1, 0}, -1},
    };
    for (const auto& c : cases) {
        VersionParts parts = ReadVersionParts(c.text);
        EXPECT_EQ(parts.major, c.parts.major) << c.text;
        EXPECT_EQ(parts.minor, c.parts.minor) << c.text;
        EXPECT_EQ(parts.build, c.parts.build) << c.text;
        EXPECT_EQ(VersionToNumber(c.text), c.packed) << c.text;
    }
}

struct TailCase {
    const char* path;
    const char* tail;
    VersionParts parts;
};

TEST(FolderVersionTail, CutsTheVersionOffAFolderPath) {
    const TailCase cases[] = {
        {"C:\\Program Files\\Tarnell\\Pelmora 4.1.2", "4.1.2", {4, 1, 2}},
        {"D:\\Pelmora 4.1", "4.1", {4, 1, 0}},
        {"C:\\Pelmora", "", {0, 0, 0}},
        {"C:\\Pelmora.4.1", ".4.1", {-1, 4, 1}},
        {"C:\\Pelmora 4..1", "4..1", {4, -1, 1}},
        {"C:\\Tools12", "12", {12, 0, 0}},
        {"C:\\2.0", "2.0", {2, 0, 0}},
        {"12.3", "12.3", {12, 3, 0}},
        {"", "", {0, 0, 0}},
        {"C:\\Pelmora 99999999999", "99999999999", {-1, 0, 0}},
        {"C:\\Pelmora \xB9\xB2", "", {0, 0, 0}}, // superscript digits are no digits
    };
    for (const auto& c : cases) {
        std::string tail = FolderVersionTail(c.path);
        EXPECT_EQ(tail, c.tail) << c.path;
        VersionParts parts = ReadVersionParts(tail);
        EXPECT_EQ(parts.major, c.parts.major) << c.path;
        EXPECT_EQ(parts.minor, c.parts.minor) << c.path;
        EXPECT_EQ(parts.build, c.parts.build) << c.path;
    }
}

} // namespace
