// Parts of files whose transfer was cut short (a lost connection, a stall, a refusal after
// some bytes, a killed process, a power cut), kept in the updater's own folder so that the
// next attempt asks only for the rest. Each part is a data file and, beside it, what
// identifies it: the list path, the stamp, the full length and the server's validator. The
// description is written only once an attempt has ended, so a kill at any moment leaves a
// part that can resume or one that is dropped, never one joined to the wrong bytes.
#pragma once

#include "Fetch.h"

#include <optional>
#include <string>

namespace platform {
class Grid;
}

// The most parts kept, and their bytes together.
constexpr int kMaxParts = 16;
constexpr std::uint64_t kMaxPartBytes = 4ull << 30;

// A kept part that can resume: its slot, its data file and where it stops.
struct KeptPart {
    int number = 0;
    std::string data;
    ResumeFrom resume;
};

// The part kept for the file a list path and stamp name, when it can resume within the
// bounds; one that cannot goes. While the attempt runs, the part is not described: a kill
// meanwhile leaves bytes that no later attempt joins to anything.
std::optional<KeptPart> TakePart(const std::string& listPath, const std::string& stamp,
                                 const DownloadBounds& bounds);

// The slots this process writes or holds.
std::size_t PartSlotsInUse();

// Where a file fetched ahead of its turn is written: its kept part as TakePart gives it,
// else a free slot; nothing when every slot is taken. The folder is read once for both.
std::optional<KeptPart> PartForAhead(const std::string& listPath, const std::string& stamp,
                                     const DownloadBounds& bounds);

// After an attempt that did not complete, the file it wrote (the kept part, or a fresh file):
// it stays as a part, described, when it can resume (some bytes of a known full length, a
// validator, within the bounds on parts); otherwise it goes. A kept part that an answer
// neither continued nor replaced goes as well: the server no longer offers its rest.
void KeepOrDropPart(const std::optional<KeptPart>& part, const std::string& written,
                    const std::string& listPath, const std::string& stamp,
                    const platform::TransferReport& report);

// After an attempt whose file was taken away whole: its slot is free again.
void PartDone(const std::optional<KeptPart>& part);
// A part whose bytes are of no more use: it goes.
void DropPart(const std::optional<KeptPart>& part);

// Only parts of the list in use stay: those whose path and stamp no row of the list names go,
// and so does anything else in the parts folder.
void KeepPartsOfList(const platform::Grid& list);
