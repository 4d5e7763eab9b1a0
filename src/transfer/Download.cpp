// File names of list paths, download URLs and the download of one listed file.
#include "../app/Main.h"
#include "../files/ProgramFiles.h"
#include "../platform/Files.h"
#include "../platform/Http.h"
#include "../platform/System.h"
#include "../release/ReleaseFormat.h"
#include "Ahead.h"
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

// A stamp states what its file is when it names both its size and its hash, as the release
// tool writes it; the protected build also holds an older stamp to the hash it names.
bool StampStatesTheFile(const std::string& stamp) {
    return release::StampSize(stamp) && release::StampDigest(stamp);
}

std::optional<platform::Sha256Digest> RowDigest(TFORM_MAIN& form, int row) {
    const std::string& stamp = form.FileListGrid.Cell(1, row);
    if (StampStatesTheFile(stamp) || protection::HashAlwaysChecked()) {
        return release::StampDigest(stamp);
    }
    return std::nullopt;
}

DownloadBounds RowBounds(TFORM_MAIN& form, int row) {
    DownloadBounds bounds;
    const std::string& stamp = form.FileListGrid.Cell(1, row);
    if (StampStatesTheFile(stamp) || protection::HashAlwaysChecked()) {
        bounds.exactLength = release::StampSize(stamp);
    }
    if (!bounds.exactLength) {
        bounds.maxLength = protection::UnsizedFileMaximum();
    }
    return bounds;
}

namespace {

// The row's own fetch: the one started ahead of its turn when there is one, else one
// started now.
std::unique_ptr<RowFetch> FetchOfRow(TFORM_MAIN& form, int row, FetchAhead* ahead) {
    const std::string listPath = form.FileListGrid.Cell(0, row);
    const std::string stamp = form.FileListGrid.Cell(1, row);
    std::unique_ptr<RowFetch> fetch = ahead ? ahead->Take(listPath, stamp) : nullptr;
    if (!fetch) {
        fetch = StartRowFetch(form, row, TakePart(listPath, stamp, RowBounds(form, row)),
                              TempFilePath(), ahead ? ahead->Room() : nullptr,
                              ahead ? ahead->OwnTurn() : platform::Turn());
    }
    return fetch;
}

// A fetch that ended: once whole and (where the stamp names it) of the listed hash, its file
// is the temporary file; otherwise it stays as a part when it can resume.
bool Finish(TFORM_MAIN& form, int row, RowFetch& fetch) {
    const platform::TransferReport& report = fetch.transfer->Wait();
    if (report.end != platform::TransferEnd::Complete) {
        KeepOrDropPart(fetch.part, fetch.path, fetch.listPath, fetch.stamp, report);
        fetch.transfer.reset();
        return false;
    }
    const std::string temp = TempFilePath();
    const bool matches = !fetch.expected || report.digest == fetch.expected;
    const bool placed = matches && (fetch.path == temp || MoveFilePatiently(fetch.path, temp));
    if (!matches) {
        DropPart(fetch.part);
        platform::RemoveFileIfPresent(fetch.path);
        protection::TellFileMismatch(form, row);
    }
    PartDone(fetch.part);
    fetch.transfer.reset();
    return placed && platform::FileExists(temp);
}

} // namespace

// The row's file into the temporary file, or into its kept part from where an earlier attempt
// stopped when that part is still the server's file. With a run's cache, the files of rows
// ahead are fetched meanwhile, and this row's may already be under way or in.
bool DownloadFile(TFORM_MAIN& form, int row) {
    platform::RemoveFileIfPresent(TempFilePath());
    if (!protection::RowVerifiable(form, row)) {
        return false;
    }
    FetchAhead* ahead = FetchAhead::Current();
    std::unique_ptr<RowFetch> fetch = FetchOfRow(form, row, ahead);
    if (ahead != nullptr) {
        ahead->StartAfter(row, *fetch);
    }
    // The labels show the file the run waits for: one fetched ahead and already in is not.
    const bool waits = !fetch->transfer->Ended();
    if (waits) {
        ShowDownloadLabels(form, true);
        form.ShowFileName.SetText(form.FileListGrid.Cell(0, row));
    }
    ProcessMessages();
    // While the row's own file is under way, those ahead that arrive are replaced at once
    // (and those that arrived while the labels were painted).
    while (ahead != nullptr && !fetch->transfer->Ended()) {
        ahead->StartAfter(row, *fetch);
        fetch->transfer->WaitFor(FetchAhead::kPollMs);
    }
    // One refused ahead of its turn (for room, perhaps, while others were under way) is
    // fetched again now.
    if (fetch->ahead && fetch->transfer->Wait().end == platform::TransferEnd::Refused &&
        *fetch->noRoom) {
        LetGo(*fetch);
        fetch = StartRowFetch(form, row, TakePart(fetch->listPath, fetch->stamp, fetch->bounds),
                              TempFilePath(), ahead->Room(), ahead->OwnTurn());
        fetch->transfer->Wait();
    }
    if (ahead != nullptr) {
        ahead->StartAfter(row, *fetch); // in the place of those that arrived meanwhile
    }
    if (waits) {
        ShowDownloadLabels(form, false);
    }
    ProcessMessages();
    return Finish(form, row, *fetch);
}
