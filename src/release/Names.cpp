#include "Names.h"

namespace release {

bool ForbiddenInName(unsigned char c) {
    return c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
           c == '*';
}

bool UpdaterWorkingPath(const std::string& listPath) {
    static const char* const workingFiles[] = {kLocalListName, kTempFileName, kRunRecordName,
                                               kKeptSignatureName, kFetchedSignatureName};
    // Levels as Windows takes them: a leading separator names no level (the updater drops
    // it), either separator ends a level, and trailing dots and blanks are dropped.
    const std::size_t first = listPath.find_first_not_of("/\\");
    std::size_t start = first == std::string::npos ? listPath.size() : first;
    while (start <= listPath.size()) {
        std::size_t end = listPath.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = listPath.size();
        }
        std::string level = AsciiUpper(listPath.substr(start, end - start));
        level.erase(level.find_last_not_of(". ") + 1);
        if (start == first && level == AsciiUpper(kBackupFolderName)) {
            return true;
        }
        for (const char* name : workingFiles) {
            if (level == AsciiUpper(name)) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
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
