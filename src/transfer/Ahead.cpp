#include "Ahead.h"

#include "../app/Main.h"
#include "../app/Settings.h"
#include "../files/ProgramFiles.h"
#include "../platform/Files.h"
#include "../release/Applicable.h"
#include "../release/ListPaths.h"
#include "../release/ReleaseFormat.h"
#include "Protection.h"
#include "Transfer.h"

namespace {

FetchAhead*& CurrentCache() {
    static FetchAhead* current = nullptr;
    return current;
}

// The rule of a row's transfer: the download rules, and room for it beside the others.
platform::HeadRule RowRule(const RowFetch& fetch) {
    const std::string folder = fetch.path.substr(0, fetch.path.find_last_of('\\') + 1);
    std::optional<ResumeFrom> resume;
    if (fetch.part && fetch.part->resume.have > 0) {
        resume = fetch.part->resume;
    }
    return [folder, bounds = fetch.bounds, resume, room = fetch.room, ticket = fetch.ticket,
            noRoom = fetch.noRoom](const platform::ResponseHead& head) {
        const std::optional<std::uint64_t> freeBytes = platform::FreeBytes(folder);
        platform::BodyPlan plan = PlanBody(head, bounds, room ? std::nullopt : freeBytes, resume);
        if (room && plan.use != platform::BodyPlan::Use::Refuse &&
            !room->Reserve(plan.length, freeBytes, *ticket)) {
            *noRoom = true;
            return platform::BodyPlan{};
        }
        return plan;
    };
}

} // namespace

bool RoomInFlight::Reserve(std::uint64_t length, std::optional<std::uint64_t> freeBytes,
                           std::uint64_t& ticket) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t room =
        !freeBytes ? ~0ull : (*freeBytes > kFreeSpaceMargin ? *freeBytes - kFreeSpaceMargin : 0);
    if (room < reserved_ || length > room - reserved_) {
        return false;
    }
    reserved_ += length;
    ticket += length;
    return true;
}

void RoomInFlight::Release(std::uint64_t& ticket) {
    std::lock_guard<std::mutex> lock(mutex_);
    reserved_ -= ticket;
    ticket = 0;
}

RowFetch::~RowFetch() {
    if (transfer) {
        transfer->Cancel();
    }
    if (room) {
        room->Release(*ticket);
    }
}

std::unique_ptr<RowFetch> StartRowFetch(TFORM_MAIN& form, int row, std::optional<KeptPart> part,
                                        const std::string& fresh,
                                        std::shared_ptr<RoomInFlight> room, platform::Turn turn) {
    auto fetch = std::make_unique<RowFetch>();
    fetch->listPath = form.FileListGrid.Cell(0, row);
    fetch->stamp = form.FileListGrid.Cell(1, row);
    fetch->bounds = RowBounds(form, row);
    fetch->expected = RowDigest(form, row);
    fetch->part = std::move(part);
    fetch->path = fetch->part ? fetch->part->data : fresh;
    fetch->room = std::move(room);
    platform::TransferRequest request{form.URLPath.Text() + fetch->listPath +
                                          CacheBustingQuery(form.Random),
                                      fetch->path, 0, std::string(), fetch->expected.has_value()};
    if (fetch->part && fetch->part->resume.have > 0) {
        request.from = fetch->part->resume.have;
        request.ifRange = fetch->part->resume.validator;
    }
    fetch->transfer = std::make_unique<platform::Transfer>(request, RowRule(*fetch), turn);
    return fetch;
}

void LetGo(RowFetch& fetch) {
    if (!fetch.transfer) {
        return;
    }
    fetch.transfer->Cancel();
    const platform::TransferReport& report = fetch.transfer->Wait();
    if (report.end == platform::TransferEnd::Complete) {
        DropPart(fetch.part);
    } else {
        KeepOrDropPart(fetch.part, fetch.path, fetch.listPath, fetch.stamp, report);
    }
    fetch.transfer.reset();
}

FetchAhead::FetchAhead(TFORM_MAIN& form) : form_(form) {
    if (settings::kTransfers > 1) {
        CurrentCache() = this;
    }
}

FetchAhead::~FetchAhead() {
    if (CurrentCache() == this) {
        CurrentCache() = nullptr;
    }
    for (auto& [key, fetch] : cache_) {
        LetGo(*fetch);
    }
}

FetchAhead* FetchAhead::Current() {
    return CurrentCache();
}

// As the row's turn would decide it now, without making a folder or touching a file: a
// changed stamp (or ForceUpdate), and in normal mode a missing file too; in manual mode only
// a file not there. A name the run would refuse is never fetched ahead.
bool FetchAhead::LooksFetched(int row) {
    const std::string& listPath = form_.FileListGrid.Cell(0, row);
    const std::string fileName = ListPathFileName(form_, row);
    if (fileName.empty() || release::RefusedLevelName(fileName, SystemCodePage()) ||
        !protection::RowVerifiableSilently(form_, row)) {
        return false;
    }
    const std::string target = form_.PelmoraPath.Text() + release::ListPathAsLocal(listPath);
    if (form_.ManualUpdate.Checked()) {
        return StampChanged(form_, row) && !platform::FileExists(target);
    }
    return StampChanged(form_, row) || !platform::FileExists(target);
}

// Those under way or waiting in their line count against the transfers lined up; those
// arrived and not yet taken are held to a few times the limit, so that files ahead never pile
// up far beyond the row.
int FetchAhead::UnderWay() {
    int count = 0;
    for (auto& [key, fetch] : cache_) {
        count += fetch->transfer->Ended() ? 0 : 1;
    }
    return count;
}

void FetchAhead::StartAfter(int row, const RowFetch& own) {
    next_ = std::max(next_, row + 1);
    const int ownUnderWay = own.transfer && !own.transfer->Ended() ? 1 : 0;
    while (UnderWay() + ownUnderWay < kLinedUp * settings::kTransfers &&
           static_cast<int>(cache_.size()) < kHeldPerTransfer * settings::kTransfers &&
           next_ < form_.FileListGrid.RowCount()) {
        // Every slot of the parts folder taken (by files in that wait for their rows): the
        // row is fetched ahead once one comes free, never passed over.
        if (slotsWhenFull_ && PartSlotsInUse() >= *slotsWhenFull_) {
            return;
        }
        const int ahead = next_;
        auto key =
            std::make_pair(form_.FileListGrid.Cell(0, ahead), form_.FileListGrid.Cell(1, ahead));
        if (cache_.count(key) || !LooksFetched(ahead)) {
            ++next_;
            continue;
        }
        std::optional<KeptPart> part = PartForAhead(key.first, key.second, RowBounds(form_, ahead));
        if (!part) {
            slotsWhenFull_ = PartSlotsInUse();
            return;
        }
        slotsWhenFull_.reset();
        ++next_;
        auto fetch = StartRowFetch(form_, ahead, std::move(part), std::string(), room_,
                                   {&line_, platform::Turn::Place::InTurn});
        fetch->ahead = true;
        cache_.emplace(key, std::move(fetch));
    }
}

std::unique_ptr<RowFetch> FetchAhead::Take(const std::string& listPath, const std::string& stamp) {
    auto it = cache_.find({listPath, stamp});
    if (it == cache_.end()) {
        return nullptr;
    }
    std::unique_ptr<RowFetch> fetch = std::move(it->second);
    cache_.erase(it);
    return fetch;
}
