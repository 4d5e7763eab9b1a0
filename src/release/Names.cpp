#include "Names.h"

namespace release {

bool ForbiddenInName(unsigned char c) {
    return c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
           c == '*';
}

bool UpdaterWorkingPath(const std::string& listPath) {
    static const char* const workingFiles[] = {kLocalListName, kTempFileName, kRunRecordName,
                                               kKeptSignatureName, kFetchedSignatureName};
    std::size_t start = 0;
    while (start <= listPath.size()) {
        std::size_t end = listPath.find('/', start);
        if (end == std::string::npos) {
            end = listPath.size();
        }
        const std::string level = AsciiUpper(listPath.substr(start, end - start));
        if (start == 0 && level == AsciiUpper(kBackupFolderName)) {
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
