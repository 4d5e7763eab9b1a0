#include "Commit.h"

#include "Files.h"
#include "release/KeyStatement.h"
#include "release/Names.h"

namespace publish {

namespace {

const std::string kTempSuffix = ".tmp";
const std::string kKeptSuffix = ".old";

} // namespace

OutputNames::OutputNames(const std::string& outFolder)
    : folder(outFolder), list(Join(outFolder, release::kListName)),
      signature(Join(outFolder, release::kSignatureName)), listTemp(list + kTempSuffix),
      signatureTemp(signature + kTempSuffix), listKept(list + kKeptSuffix) {}

std::vector<std::string> OutputFileNames() {
    const std::string list = release::kListName;
    const std::string signature = release::kSignatureName;
    // The key statements lie beside the list for the updater to fetch; never installed.
    return {list,
            signature,
            list + kTempSuffix,
            signature + kTempSuffix,
            list + kKeptSuffix,
            release::kStatementFolder};
}

std::optional<std::string> CommitRelease(const OutputNames& names, const std::string& list,
                                         const std::optional<std::string>& signature) {
    std::string problem;
    auto fail = [&]() -> std::optional<std::string> {
        RemoveQuietly(names.listTemp);
        RemoveQuietly(names.signatureTemp);
        RemoveQuietly(names.listKept);
        return problem + "; the folder is as it was";
    };
    if (!MakeFolder(names.folder, problem) || !WriteDurably(names.listTemp, list, problem) ||
        (signature && !WriteDurably(names.signatureTemp, *signature, problem))) {
        return fail();
    }
    const bool hadList = Exists(names.list);
    if (signature && hadList && !KeepCopy(names.list, names.listKept, problem)) {
        return fail();
    }
    if (!RenameReplacing(names.listTemp, names.list, problem)) {
        return fail();
    }
    if (signature && !RenameReplacing(names.signatureTemp, names.signature, problem)) {
        std::string undo;
        if (hadList ? !RenameReplacing(names.listKept, names.list, undo)
                    : (RemoveQuietly(names.list), false)) {
            FlushFolder(names.folder);
            RemoveQuietly(names.signatureTemp);
            return problem + "; and the previous list could not be put back (" + undo +
                   "): it is kept as \"" + names.listKept + "\"";
        }
        FlushFolder(names.folder);
        return fail();
    }
    RemoveQuietly(names.listKept);
    FlushFolder(names.folder);
    return std::nullopt;
}

} // namespace publish
