// The record of an update run under way in a target folder. It is made before the local
// list is replaced and removed when the run has ended, so finding it means that the last run
// there never ended (power lost, process ended): the local list may claim versions that are
// not in place. It also names every previous version moved to a backup folder, before the
// move, so that a version whose successor never arrived can be put back.
#pragma once

#include <string>

std::string RunRecordPath(const std::string& targetFolder);

bool RunRecordExists(const std::string& record);

// Makes the record, or keeps the one an unfinished run left; false when it cannot be made.
bool BeginRunRecord(const std::string& record);

// Notes that the file at targetPath is about to be moved to backupPath.
bool RecordBackup(const std::string& record, const std::string& backupPath,
                  const std::string& targetPath);

struct RecordRepair {
    bool complete = true; // the record was read whole and no recorded place is left empty
    bool damaged = false; // some lines named moves outside the target and backup folders
};

// Puts back each recorded previous version whose place is empty, the latest first. Only a move from
// the backup folder below the record's own target folder to a place in that target folder is made;
// any other line is ignored and the record reported damaged.
RecordRepair RestoreRecordedBackups(const std::string& record);

// Removes the record once no recorded place is left empty; otherwise it stays for the next
// run to finish the repair.
void EndRunRecord(const std::string& record);
