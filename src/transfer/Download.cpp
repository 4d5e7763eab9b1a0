// File names of list paths, download URLs and the download of one listed file.
#include "../app/Main.h"
#include "../files/ProgramFiles.h"
#include "../platform/Files.h"
#include "../platform/Http.h"
#include "../platform/System.h"
#include "../release/ReleaseFormat.h"
#include "Parts.h"
#include "Protection.h"
#include "Transfer.h"

std::string ListPathFileName(TFORM_MAIN& form, int row) {
    const std::string& path = form.FileListGrid.Cell(0, row);
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CacheBustingQueryFor(int first, int second) {
    return "?fakevariable=" + std::to_string(second) + std::to_string(first);
}

std::string CacheBustingQuery(RandomGenerator& random) {
    int first = random.Draw();
    int second = random.Draw();
    return CacheBustingQueryFor(first, second);
}

namespace {

void ShowDownloadLabels(TFORM_MAIN& form, bool visible) {
    form.DownloadLabel.SetVisible(visible);
    form.ShowFileName.SetVisible(visible);
}

} // namespace

DownloadBounds RowBounds(TFORM_MAIN& form, int row) {
    DownloadBounds bounds;
    bounds.exactLength = release::StampSize(form.FileListGrid.Cell(1, row));
    if (!bounds.exactLength) {
        bounds.maxLength = protection::UnsizedFileMaximum();
    }
    return bounds;
}

// The row's file into the temporary file, or into its kept part from where an earlier attempt
// stopped when that part is still the server's file; once whole and (where the stamp names
// it) of the listed hash, it is the temporary file.
bool DownloadFile(TFORM_MAIN& form, int row) {
    const std::string temp = TempFilePath();
    platform::RemoveFileIfPresent(temp);
    if (!protection::RowVerifiable(form, row)) {
        return false;
    }
    const std::string listPath = form.FileListGrid.Cell(0, row);
    const std::string stamp = form.FileListGrid.Cell(1, row);
    const DownloadBounds bounds = RowBounds(form, row);
    const auto expected = release::StampDigest(stamp);
    const std::optional<KeptPart> part = TakePart(listPath, stamp, bounds);
    platform::TransferRequest request{
        form.URLPath.Text() + listPath + CacheBustingQuery(form.Random), part ? part->data : temp,
        part ? part->resume.have : 0, part ? part->resume.validator : std::string(),
        expected.has_value()};
    ShowDownloadLabels(form, true);
    form.ShowFileName.SetText(listPath);
    ProcessMessages();
    platform::Transfer transfer(
        request, RuleFor(request.path, bounds,
                         part ? std::optional<ResumeFrom>(part->resume) : std::nullopt));
    const platform::TransferReport& report = transfer.Wait();
    ShowDownloadLabels(form, false);
    ProcessMessages();
    if (report.end != platform::TransferEnd::Complete) {
        KeepOrDropPart(part, request.path, listPath, stamp, report);
        return false;
    }
    const bool matches = !expected || report.digest == expected;
    const bool placed = matches && (!part || MoveFilePatiently(part->data, temp));
    PartDone(part);
    if (!matches) {
        platform::RemoveFileIfPresent(request.path);
        protection::TellFileMismatch(form, row);
    }
    return placed && platform::FileExists(temp);
}
