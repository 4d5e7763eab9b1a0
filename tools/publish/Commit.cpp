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

Status CommitRelease(const OutputNames& names, const std::string& list,
                     const std::optional<std::string>& signature) {
    auto fail = [&](const Failure& failure) -> Status {
        RemoveQuietly(names.listTemp);
        RemoveQuietly(names.signatureTemp);
        RemoveQuietly(names.listKept);
        return Failure{failure.fault, failure.problem + "; the folder is as it was"};
    };
    Status step = MakeFolder(names.folder);
    if (step) {
        step = WriteDurably(names.listTemp, list);
    }
    if (step && signature) {
        step = WriteDurably(names.signatureTemp, *signature);
    }
    const bool hadList = Exists(names.list);
    if (step && signature && hadList) {
        step = KeepCopy(names.list, names.listKept);
    }
    if (step) {
        step = RenameReplacing(names.listTemp, names.list);
    }
    if (!step) {
        return fail(step.failure());
    }
    if (signature) {
        Status placed = RenameReplacing(names.signatureTemp, names.signature);
        if (!placed) {
            Status undo = Done{};
            if (hadList) {
                undo = RenameReplacing(names.listKept, names.list);
            } else {
                RemoveQuietly(names.list);
            }
            FlushFolder(names.folder);
            if (!undo) {
                RemoveQuietly(names.signatureTemp);
                return Failure{placed.failure().fault,
                               placed.problem() +
                                   "; and the previous list could not be put back (" +
                                   undo.problem() + "): it is kept as \"" + names.listKept + "\""};
            }
            return fail(placed.failure());
        }
    }
    RemoveQuietly(names.listKept);
    FlushFolder(names.folder);
    return Done{};
}

} // namespace publish
