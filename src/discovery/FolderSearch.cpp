// One level of sub-folders of a folder, as the library's directory listing gives them.
#include "../app/Main.h"
#include "../app/Settings.h"
#include "../platform/Files.h"
#include "../platform/System.h"
#include "Discovery.h"

#include <vector>

namespace {

// The listing asked for folders leaves out whatever is hidden, system or a volume label.
constexpr std::uint32_t kExcluded =
    platform::AttrHidden | platform::AttrSystem | platform::AttrVolumeLabel;

bool PlainFolder(const platform::DirEntry& entry) {
    if ((entry.attributes & kExcluded) != 0 || entry.name == "." || entry.name == "..") {
        return false;
    }
    return (entry.attributes & platform::AttrDirectory) == entry.attributes;
}

// An empty filter is absent from every name, as the library's substring search has it.
bool PassesFilter(const std::string& name) {
    const std::string filter = settings::kFolderFilter;
    return !filter.empty() && platform::UpperCase(name).find(filter) != std::string::npos;
}

} // namespace

void SearchFolders(TFORM_MAIN& form, const std::string& folder, bool onlyMatching) {
    platform::CriticalErrorsSuppressed quiet;
    std::vector<platform::DirEntry> entries;
    if (!platform::ListFolder(folder + "*", entries)) {
        return;
    }
    for (const auto& entry : entries) {
        if (!PlainFolder(entry) || (onlyMatching && !PassesFilter(entry.name))) {
            continue;
        }
        form.SearchDataGrid.Append(folder + entry.name);
    }
}
