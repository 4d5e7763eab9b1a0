// The unfinished-run record: one line a backup move, "backup path TAB target path CR LF",
// appended and flushed before the move it names.
#include "RunRecord.h"

#include "../platform/Files.h"
#include "ProgramFiles.h"
#include "WholeFile.h"

#include <utility>
#include <vector>

namespace {

using Move = std::pair<std::string, std::string>; // backup path, target path

std::string ReadRecord(const std::string& record) {
    std::string text;
    ReadFileBytes(record, text);
    return text;
}

// Only whole lines count: a line cut short by a lost write named a move not yet made.
std::vector<Move> RecordedMoves(const std::string& record) {
    const std::string text = ReadRecord(record);
    std::vector<Move> moves;
    std::size_t pos = 0;
    for (std::size_t end = text.find("\r\n", pos); end != std::string::npos;
         end = text.find("\r\n", pos)) {
        const std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        auto tab = line.find('\t');
        if (tab != std::string::npos && tab > 0 && tab + 1 < line.size()) {
            moves.emplace_back(line.substr(0, tab), line.substr(tab + 1));
        }
    }
    return moves;
}

} // namespace

std::string RunRecordPath(const std::string& targetFolder) {
    return targetFolder + release::kRunRecordName;
}

bool RunRecordExists(const std::string& record) {
    return platform::FileExists(record);
}

bool BeginRunRecord(const std::string& record) {
    return platform::AppendToFile(record, std::string());
}

bool RecordBackup(const std::string& record, const std::string& backupPath,
                  const std::string& targetPath) {
    return platform::AppendToFile(record, backupPath + "\t" + targetPath + "\r\n");
}

bool RestoreRecordedBackups(const std::string& record) {
    bool complete = true;
    for (const auto& [backup, target] : RecordedMoves(record)) {
        if (platform::FileExists(target)) {
            continue;
        }
        if (!platform::FileExists(backup) || !MoveFilePatiently(backup, target)) {
            complete = false;
        }
    }
    return complete;
}

void EndRunRecord(const std::string& record) {
    if (RunRecordExists(record) && RestoreRecordedBackups(record)) {
        platform::RemoveFile(record);
    }
}
