#include "Names.h"

namespace release {

bool ForbiddenInName(unsigned char c) {
    return c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
           c == '*';
}

bool UpdaterWorkingPath(const std::string& listPath) {
    // Upper-cased once: every entry of a list is held against them before a run fetches.
    static const std::string workingFiles[] = {
        AsciiUpper(kLocalListName),        AsciiUpper(kTempFileName),
        AsciiUpper(kRunRecordName),        AsciiUpper(kKeptSignatureName),
        AsciiUpper(kFetchedSignatureName), AsciiUpper(kPartsFolderName)};
    static const std::string backupFolder = AsciiUpper(kBackupFolderName);
    // Levels as Windows takes them: a leading separator names no level (the updater drops
    // it), either separator ends a level, and trailing dots and blanks are dropped.
    const std::size_t first = listPath.find_first_not_of("/\\");
    std::size_t start = first == std::string::npos ? listPath.size() : first;
    while (start <= listPath.size()) {
        std::size_t end = listPath.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = listPath.size();
        }
        const std::string level =
            AsciiUpper(NameAsWindowsTakesIt(listPath.substr(start, end - start)));
        if (start == first && level == backupFolder) {
            return true;
        }
        for (const std::string& name : workingFiles) {
            if (level == name) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
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
