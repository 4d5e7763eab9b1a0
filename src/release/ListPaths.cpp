#include "ListPaths.h"

#include "Applicable.h"
#include "Names.h"

#include <map>

namespace release {

namespace {

// Windows counts the ISO 8859-1 superscripts one, two and three (in the Windows code page as
// in Latin-1) as digits of COM and LPT device names.
bool DeviceDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (and the superscripts) name devices, with any
// extension and blanks before it.
bool ReservedDeviceName(const std::string& segment) {
    std::string base = AsciiUpper(segment.substr(0, segment.find('.')));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$") {
        return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           DeviceDigit(static_cast<unsigned char>(base[3]));
}

std::optional<std::string> RefusedSegment(const std::string& segment, const CodePage& page) {
    if (segment.empty()) {
        return std::string("an empty folder or file name (\"//\", or \"/\" at the start or end)");
    }
    // Its characters passed already: what the updater refuses here is a name of dots or
    // blanks only.
    if (RefusedLevelName(segment, page)) {
        return std::string("a name made of dots or blanks only (such as \".\" or \"..\")");
    }
    if (segment.back() == '.' || segment.back() == ' ') {
        return std::string("a name ending in a dot or a blank, which Windows drops");
    }
    if (ReservedDeviceName(segment)) {
        return std::string("a name Windows reserves for a device (\"" + segment + "\")");
    }
    return std::nullopt;
}

std::string HexByte(unsigned char c) {
    const char* digits = "0123456789ABCDEF";
    return std::string("0x") + digits[c >> 4] + digits[c & 15];
}

} // namespace

std::optional<std::string> RefusedListPath(const std::string& path, const CodePage& page) {
    const std::size_t characters = page.Characters(path);
    if (characters > kMaxListPath) {
        return "a path of " + std::to_string(characters) + " characters, too long to install (" +
               std::to_string(kMaxListPath) + " at most)";
    }
    for (std::size_t pos = 0; pos < path.size(); pos = page.Next(path, pos)) {
        const auto c = static_cast<unsigned char>(path[pos]);
        if (page.Incomplete(path, pos)) {
            return "the byte " + HexByte(c) +
                   ", which begins a double-byte character in code page " +
                   std::to_string(page.number) +
                   ", without its second byte (Windows would name the file otherwise)";
        }
        if (page.Next(path, pos) != pos + 1) {
            continue; // a double-byte character
        }
        if (c == '\t') {
            return std::string("a TAB, which would end the path in the list");
        }
        if (c < 32 || c == 127) {
            return std::string("a control character");
        }
        if (c == '\\') {
            return std::string("a backslash (folders are separated by \"/\")");
        }
        if (ForbiddenInName(c)) {
            return std::string("the character '") + static_cast<char>(c) +
                   "', which Windows does not allow in a name";
        }
    }
    std::size_t pos = 0;
    while (true) {
        std::size_t slash = page.Find(path, "/", pos);
        std::string segment = path.substr(pos, slash == std::string::npos ? slash : slash - pos);
        if (auto why = RefusedSegment(segment, page)) {
            return why;
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
    if (UpdaterWorkingPath(path, page)) {
        return std::string("a name the updater uses for its own files (") + kLocalListName + ", " +
               kRunRecordName + ", " + kKeptSignatureName + ", " + kFetchedSignatureName + ", " +
               kKeptStatementName + ", " + kTempFileName + " at any depth, " + kBackupFolderName +
               "/ at the top)";
    }
    return std::nullopt;
}

std::optional<std::string> UnfetchableListPath(const std::string& path, bool eightBitNames,
                                               const CodePage& page) {
    for (std::size_t pos = 0; pos < path.size(); pos = page.Next(path, pos)) {
        const auto c = static_cast<unsigned char>(path[pos]);
        if (c == '%') {
            return std::string("a '%', which the server reads as the start of an escape");
        }
        if (c == '#') {
            return std::string("a '#', which ends the address before the name does");
        }
        if (c > 127 && !eightBitNames) {
            return std::string("a byte above 127, which the updater sends in the Windows code "
                               "page; give --8bit-names if the server names its files so "
                               "(--code-page N for operators of another code page than 1252)");
        }
    }
    return std::nullopt;
}

std::string CodePageRead(const std::string& path, const CodePage& page) {
    for (const char c : path) {
        if (static_cast<unsigned char>(c) > 127) {
            return " (its bytes above 127 read in code page " + std::to_string(page.number) +
                   (page.number == WesternCodePage().number
                        ? ", the default; --code-page N reads them in another)"
                        : ")");
        }
    }
    return std::string();
}

std::vector<std::string> RefusedReleasePaths(const std::vector<std::string>& paths,
                                             bool eightBitNames, const CodePage& page) {
    std::vector<std::string> problems;
    if (paths.empty()) {
        problems.push_back("the release is empty: there is no file to publish");
    }
    std::map<std::string, std::string> byKey;
    for (const auto& path : paths) {
        if (auto why = RefusedListPath(path, page)) {
            problems.push_back("\"" + path + "\": " + *why + CodePageRead(path, page));
        } else if (auto unfetchable = UnfetchableListPath(path, eightBitNames, page)) {
            problems.push_back("\"" + path + "\": " + *unfetchable +
                               ": no operator could fetch it");
        }
        auto [it, fresh] = byKey.emplace(SameFileKey(ListPathAsLocal(path), page), path);
        if (!fresh) {
            problems.push_back("\"" + path + "\" and \"" + it->second +
                               "\" differ only in letter case: on Windows they are one file");
        }
    }
    return problems;
}

} // namespace release
