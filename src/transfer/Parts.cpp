#include "Parts.h"

#include "../files/ProgramFiles.h"
#include "../files/WholeFile.h"
#include "../platform/Files.h"
#include "../platform/Ui.h"

#include <set>
#include <vector>

namespace {

// Slots handed out and not yet given back, so two attempts never share one.
std::set<int>& SlotsInUse() {
    static std::set<int> inUse;
    return inUse;
}

std::string PartsFolder() {
    return OwnFolder() + release::kPartsFolderName + "\\";
}

std::string DataPath(int number) {
    return PartsFolder() + std::to_string(number) + ".part";
}

std::string InfoPath(int number) {
    return PartsFolder() + std::to_string(number) + ".txt";
}

struct PartInfo {
    std::string listPath;
    std::string stamp;
    ResumeFrom resume;
};

std::string InfoText(const PartInfo& info) {
    return info.listPath + "\t" + info.stamp + "\t" + std::to_string(info.resume.fullLength) +
           "\t" + info.resume.validator + "\r\n";
}

// A description as InfoText writes it; nothing for any other text.
std::optional<PartInfo> ParseInfo(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab = text.find('\t'); tab != std::string::npos;
         tab = text.find('\t', start)) {
        fields.push_back(text.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(text.substr(start));
    if (fields.size() != 4 || fields[3].size() < 2 ||
        fields[3].compare(fields[3].size() - 2, 2, "\r\n") != 0 || fields[2].empty() ||
        fields[2].size() > 19 || fields[2].find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    PartInfo info{fields[0], fields[1], {}};
    info.resume.fullLength = std::stoull(fields[2]);
    info.resume.validator = fields[3].substr(0, fields[3].size() - 2);
    return info;
}

std::optional<PartInfo> ReadInfo(int number) {
    std::string text;
    if (ReadFileBytes(InfoPath(number), text) != FileRead::Whole) {
        return std::nullopt;
    }
    return ParseInfo(text);
}

void Drop(int number) {
    platform::RemoveFileIfPresent(InfoPath(number));
    platform::RemoveFileIfPresent(DataPath(number));
}

// The numbers of the slots the folder holds a file of, described or not.
std::set<int> NumbersOnDisk() {
    std::set<int> numbers;
    std::vector<platform::DirEntry> entries;
    if (!platform::ListFolder(PartsFolder() + "*", entries)) {
        return numbers;
    }
    for (int number = 0; number < kMaxParts; ++number) {
        for (const auto& entry : entries) {
            if (entry.name == std::to_string(number) + ".part" ||
                entry.name == std::to_string(number) + ".txt") {
                numbers.insert(number);
            }
        }
    }
    return numbers;
}

std::uint64_t BytesKept(const std::set<int>& numbers) {
    std::uint64_t total = 0;
    for (int number : numbers) {
        total += platform::FileSize(DataPath(number)).value_or(0);
    }
    return total;
}

// A slot neither on disk nor in use; -1 when all are taken.
int FreeSlot(const std::set<int>& onDisk) {
    for (int number = 0; number < kMaxParts; ++number) {
        if (!onDisk.count(number) && !SlotsInUse().count(number)) {
            return number;
        }
    }
    return -1;
}

} // namespace

namespace {

std::optional<KeptPart> TakePartOf(const std::set<int>& onDisk, const std::string& listPath,
                                   const std::string& stamp, const DownloadBounds& bounds) {
    for (int number : onDisk) {
        std::optional<PartInfo> info = SlotsInUse().count(number) ? std::nullopt : ReadInfo(number);
        if (!info || info->listPath != listPath || info->stamp != stamp) {
            continue;
        }
        const auto have = platform::FileSize(DataPath(number));
        const ResumeFrom& resume = info->resume;
        if (!have || *have == 0 || *have >= resume.fullLength || resume.validator.empty() ||
            resume.fullLength > bounds.maxLength ||
            (bounds.exactLength && resume.fullLength != *bounds.exactLength)) {
            Drop(number);
            return std::nullopt;
        }
        platform::RemoveFile(InfoPath(number));
        SlotsInUse().insert(number);
        KeptPart part{number, DataPath(number), resume};
        part.resume.have = *have;
        return part;
    }
    return std::nullopt;
}

std::optional<KeptPart> FreshPartBeside(const std::set<int>& onDisk) {
    const int number = FreeSlot(onDisk);
    if (number < 0 || (onDisk.empty() && !platform::FolderExists(PartsFolder()) &&
                       !platform::CreateFolder(PartsFolder()))) {
        return std::nullopt;
    }
    SlotsInUse().insert(number);
    return KeptPart{number, DataPath(number), {}};
}

} // namespace

std::size_t PartSlotsInUse() {
    return SlotsInUse().size();
}

std::optional<KeptPart> TakePart(const std::string& listPath, const std::string& stamp,
                                 const DownloadBounds& bounds) {
    return TakePartOf(NumbersOnDisk(), listPath, stamp, bounds);
}

std::optional<KeptPart> PartForAhead(const std::string& listPath, const std::string& stamp,
                                     const DownloadBounds& bounds) {
    std::set<int> onDisk = NumbersOnDisk();
    if (auto part = TakePartOf(onDisk, listPath, stamp, bounds)) {
        return part;
    }
    return FreshPartBeside(onDisk);
}

void KeepOrDropPart(const std::optional<KeptPart>& part, const std::string& written,
                    const std::string& listPath, const std::string& stamp,
                    const platform::TransferReport& report) {
    PartInfo info{listPath, stamp, {}};
    const auto have = platform::FileSize(written);
    if (report.bytes > 0) {
        // The bytes are those of the answer that came: its validator and full length.
        const platform::ResponseHead& head = report.head;
        info.resume.validator = ResumeValidator(head);
        info.resume.fullLength = head.range ? head.range->total : head.length.value_or(0);
    } else if (part && have == part->resume.have && report.head.status == 0) {
        info.resume = part->resume; // no answer came: the part is as it was
    }
    if (part) {
        SlotsInUse().erase(part->number);
    }
    const std::set<int> onDisk = NumbersOnDisk();
    const int number = part ? part->number : FreeSlot(onDisk);
    std::set<int> others = onDisk;
    others.erase(number);
    const bool resumable = number >= 0 && have && *have > 0 && *have < info.resume.fullLength &&
                           !info.resume.validator.empty() &&
                           BytesKept(others) + *have <= kMaxPartBytes;
    if (resumable && !part && !platform::FolderExists(PartsFolder())) {
        platform::CreateFolder(PartsFolder());
    }
    const bool kept = resumable && (part || MoveFilePatiently(written, DataPath(number))) &&
                      platform::AppendToFile(InfoPath(number), InfoText(info));
    if (!kept) {
        platform::RemoveFileIfPresent(written);
        if (number >= 0) {
            Drop(number);
        }
    }
}

// Its description went when the attempt began.
void PartDone(const std::optional<KeptPart>& part) {
    if (part) {
        SlotsInUse().erase(part->number);
    }
}

void DropPart(const std::optional<KeptPart>& part) {
    if (part) {
        Drop(part->number);
        SlotsInUse().erase(part->number);
    }
}

void KeepPartsOfList(const platform::Grid& list) {
    if (!platform::FolderExists(PartsFolder())) {
        return;
    }
    std::vector<platform::DirEntry> entries;
    if (platform::ListFolder(PartsFolder() + "*", entries)) {
        for (const auto& entry : entries) {
            bool ours = false;
            for (int number = 0; number < kMaxParts; ++number) {
                ours = ours || entry.name == std::to_string(number) + ".part" ||
                       entry.name == std::to_string(number) + ".txt";
            }
            if (!ours && (entry.attributes & platform::AttrDirectory) == 0) {
                platform::RemoveFile(PartsFolder() + entry.name);
            }
        }
    }
    for (int number : NumbersOnDisk()) {
        if (SlotsInUse().count(number)) {
            continue;
        }
        std::optional<PartInfo> info = ReadInfo(number);
        bool named = false;
        for (int row = 0; info && !named && row < list.RowCount(); ++row) {
            named = list.Cell(0, row) == info->listPath && list.Cell(1, row) == info->stamp;
        }
        if (!named) {
            Drop(number);
        }
    }
}
