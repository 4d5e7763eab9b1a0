// Files of rows ahead that the run will fetch, fetched while it waits for the file before
// them. Only a cache, keyed by list path and stamp (a stamp that states size and hash keys
// them too): each row still decides at its own turn, and a fetched file no row takes goes when
// the run ends, but for a cut one that can resume, which stays as a part. Only the thread that
// owns the window uses it; the transfers write into the updater's parts folder only.
#pragma once

#include "../app/Settings.h"
#include "../platform/Http.h"
#include "Fetch.h"
#include "Parts.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

class TFORM_MAIN;

// The announced lengths of the transfers under way together, held against the free space of
// the drive they are written to, less the margin: a transfer that does not fit is refused and
// fetched again at its row's turn.
class RoomInFlight {
public:
    // Whether length more fits; it is then counted under the ticket until Release.
    bool Reserve(std::uint64_t length, std::optional<std::uint64_t> freeBytes,
                 std::uint64_t& ticket);
    void Release(std::uint64_t& ticket);

private:
    std::mutex mutex_;
    std::uint64_t reserved_ = 0;
};

// One row's file under way: where it is written, what it may be and what it must hash to.
struct RowFetch {
    std::string listPath;
    std::string stamp;
    DownloadBounds bounds;
    std::optional<platform::Sha256Digest> expected;
    std::optional<KeptPart> part; // the slot of the parts folder it is written to
    std::string path;
    std::shared_ptr<RoomInFlight> room;
    std::shared_ptr<std::uint64_t> ticket = std::make_shared<std::uint64_t>(0);
    std::shared_ptr<bool> noRoom = std::make_shared<bool>(false); // refused for room only
    std::unique_ptr<platform::Transfer> transfer;
    bool ahead = false; // started before its row's turn

    RowFetch() = default;
    RowFetch(const RowFetch&) = delete;
    RowFetch& operator=(const RowFetch&) = delete;
    ~RowFetch();
};

// Starts the fetch of a row's file, at its turn: into its kept part when one can resume, else
// into the given fresh file.
std::unique_ptr<RowFetch> StartRowFetch(TFORM_MAIN& form, int row, std::optional<KeptPart> part,
                                        const std::string& fresh,
                                        std::shared_ptr<RoomInFlight> room, platform::Turn turn);

class FetchAhead {
public:
    explicit FetchAhead(TFORM_MAIN& form);
    ~FetchAhead();
    FetchAhead(const FetchAhead&) = delete;
    FetchAhead& operator=(const FetchAhead&) = delete;

    // The cache of the run under way, if any.
    static FetchAhead* Current();
    // How often one waiting for transfers ahead looks at them again.
    static constexpr unsigned kPollMs = 2;

    // Starts fetches of rows after this one that the run looks set to fetch. At most
    // settings::kTransfers go on at once; as many again wait in line, each sent the moment
    // one before it ends.
    void StartAfter(int row, const RowFetch& own);
    // The turn of a row's own fetch that was not started ahead: before those waiting.
    platform::Turn OwnTurn() { return {&line_, platform::Turn::Place::First}; }
    // The fetch of this path and stamp, out of the cache; nothing when none was started.
    std::unique_ptr<RowFetch> Take(const std::string& listPath, const std::string& stamp);
    const std::shared_ptr<RoomInFlight>& Room() const { return room_; }

private:
    bool LooksFetched(int row);
    int UnderWay();
    static constexpr int kHeldPerTransfer = 4;
    static constexpr int kLinedUp = 2; // transfers started, per one allowed at once

    TFORM_MAIN& form_;
    int next_ = 0; // the first row not yet looked at
    // The slots in use when none was free: the next row waits until fewer are.
    std::optional<std::size_t> slotsWhenFull_;
    std::map<std::pair<std::string, std::string>, std::unique_ptr<RowFetch>> cache_;
    std::shared_ptr<RoomInFlight> room_ = std::make_shared<RoomInFlight>();
    platform::TransferLine line_{settings::kTransfers};
};

// What becomes of a fetch that was not taken, or whose row gave it up: a whole file goes; a
// cut one stays as a part when it can resume.
void LetGo(RowFetch& fetch);
