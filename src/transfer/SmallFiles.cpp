#include "SmallFiles.h"

#include "../app/Main.h"
#include "../files/ProgramFiles.h"
#include "../platform/Files.h"
#include "../platform/Http.h"
#include "../release/Names.h"
#include "Fetch.h"
#include "Transfer.h"

namespace protection {

SmallFetch FetchSmallFile(TFORM_MAIN& form, const std::string& remoteName, std::uint64_t bound,
                          std::string& bytes) {
    const std::string fetched = OwnFolder() + release::kFetchedSignatureName;
    platform::RemoveFileIfPresent(fetched);
    const std::string url = form.URLPath.Text() + remoteName + CacheBustingQuery(form.Random);
    SmallFetch result = SmallFetch::Fetched;
    if (!FetchFile(url, fetched, {std::nullopt, bound}) || !platform::FileExists(fetched)) {
        result = SmallFetch::Missing;
    } else if (ReadWholeFile(fetched, bytes) != FileRead::Whole) {
        result = SmallFetch::Unreadable;
    }
    platform::RemoveFileIfPresent(fetched);
    return result;
}

bool KeepWrittenThrough(const std::string& folder, const std::string& name,
                        const std::string& bytes) {
    const std::string staged = folder + release::kFetchedSignatureName;
    platform::RemoveFileIfPresent(staged);
    // A staged file that could not be removed would be added to: its size tells.
    if (platform::AppendToFile(staged, bytes) && platform::FileSize(staged) == bytes.size() &&
        ReplaceFilePatiently(staged, folder + name)) {
        return true;
    }
    platform::RemoveFileIfPresent(staged);
    return false;
}

} // namespace protection
