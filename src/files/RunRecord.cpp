// The unfinished-run record: one line a backup move, "backup path TAB target path CR LF",
// appended and flushed before the move it names.
#include "RunRecord.h"

#include "../platform/Files.h"
#include "../release/Names.h"
#include "ProgramFiles.h"
#include "WholeFile.h"

#include <utility>
#include <vector>

namespace {

using Move = std::pair<std::string, std::string>; // backup path, target path

// A path below a folder whose every level names a folder or file of its own: none empty,
// none "." or "..", no drive or separator of another kind.
bool ResolvedBelow(const std::string& path, const std::string& folder) {
    if (path.size() <= folder.size() ||
        release::AsciiUpper(path.substr(0, folder.size())) != release::AsciiUpper(folder)) {
        return false;
    }
    std::size_t start = folder.size();
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        end = end == std::string::npos ? path.size() : end;
        const std::string level = path.substr(start, end - start);
        if (level.empty() || level.find_first_not_of(". ") == std::string::npos ||
            level.find_first_of("/:") != std::string::npos) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// What a run in this target folder can have recorded: a previous version moved into its
// backup folder ("UpdateBackup\" + stamp + "\" + ...) from a place in the target folder.
bool MoveOfThisFolder(const Move& move, const std::string& targetFolder) {
    const std::string backups = targetFolder + release::kBackupFolderName + "\\";
    const auto& [backup, target] = move;
    const bool inABackupFolder =
        ResolvedBelow(backup, backups) && backup.find('\\', backups.size()) != std::string::npos;
    const bool outsideTheBackups =
        release::AsciiUpper(target + "\\").rfind(release::AsciiUpper(backups), 0) != 0;
    return inABackupFolder && ResolvedBelow(target, targetFolder) && outsideTheBackups;
}

// Only whole lines count: a line cut short by a lost write named a move not yet made. Lines
// that name any other move are left out, and the record is then damaged. A record that
// cannot be read whole names moves nobody can see: read is false then.
std::vector<Move> RecordedMoves(const std::string& record, bool& damaged, bool& read) {
    std::string text;
    read = ReadFileBytesPatiently(record, text) == FileRead::Whole;
    const std::string targetFolder = FolderOf(record);
    std::vector<Move> moves;
    std::size_t pos = 0;
    for (std::size_t end = text.find("\r\n", pos); end != std::string::npos;
         end = text.find("\r\n", pos)) {
        const std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        auto tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab + 1 >= line.size()) {
            damaged = true;
            continue;
        }
        Move move(line.substr(0, tab), line.substr(tab + 1));
        if (MoveOfThisFolder(move, targetFolder)) {
            moves.push_back(std::move(move));
        } else {
            damaged = true;
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

RecordRepair RestoreRecordedBackups(const std::string& record) {
    RecordRepair repair;
    bool read = false;
    const std::vector<Move> moves = RecordedMoves(record, repair.damaged, read);
    // A record that cannot be read may name moves still pending: it is never complete.
    repair.complete = read;
    // Latest first: when runs that never ended moved one file away more than once, the
    // version it had last goes back, not an older one.
    for (auto move = moves.rbegin(); move != moves.rend(); ++move) {
        const auto& [backup, target] = *move;
        if (platform::FileExists(target)) {
            continue;
        }
        if (!platform::FileExists(backup) || !MoveFilePatiently(backup, target)) {
            repair.complete = false;
        }
    }
    return repair;
}

void EndRunRecord(const std::string& record) {
    if (RunRecordExists(record) && RestoreRecordedBackups(record).complete) {
        platform::RemoveFile(record);
    }
}
