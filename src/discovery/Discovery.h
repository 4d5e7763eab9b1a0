// Finding the installed product: its running process and its installation folder.
#pragma once

#include <cstdint>
#include <string>

class TFORM_MAIN;

// Id of the first running process whose main module has this base name (any letter case);
// 0 when none.
std::uint32_t FindProcessByName(const std::string& name);

// True while the process runs; false when it ended or cannot be opened, id 0 included.
bool IsProcessRunning(std::uint32_t processId);

// Appends the plain sub-folders of folder (which ends in a backslash) to SearchDataGrid;
// with onlyMatching, only those whose upper-cased name holds the folder filter.
void SearchFolders(TFORM_MAIN& form, const std::string& folder, bool onlyMatching);

// The row of SearchDataGrid with the best accepted version, -1 for none; tells the
// operator about a row it rejects.
int SelectInstallFolder(TFORM_MAIN& form);
