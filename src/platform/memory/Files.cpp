// Files and folders of the in-memory machine, with the failure rules of the Windows calls.
#include "../Files.h"

#include "Machine.h"

namespace platform {

using memory::Drive;
using memory::Node;
using memory::ParsePath;
using memory::TheMachine;

std::optional<std::uint32_t> FileAttributes(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter("FileAttributes", path)) {
        return std::nullopt;
    }
    Node* node = m.tree.Find(path);
    if (node == nullptr) {
        return std::nullopt;
    }
    return node->attributes;
}

bool ListFolder(const std::string& pattern, std::vector<DirEntry>& entries) {
    auto& m = TheMachine();
    entries.clear();
    if (m.Enter("ListFolder", pattern)) {
        return false;
    }
    if (pattern.size() < 2 || pattern.substr(pattern.size() - 2) != "\\*") {
        return false;
    }
    auto parsed = ParsePath(pattern.substr(0, pattern.size() - 1));
    if (!parsed) {
        return false;
    }
    auto drive = m.tree.drives.find(parsed->drive);
    if (drive != m.tree.drives.end() && !drive->second.ready && (m.errorMode & 0x1) == 0) {
        ++m.noDiskDialogs;
    }
    Node* folder = m.tree.Find(*parsed);
    if (folder == nullptr || !folder->IsFolder()) {
        return false;
    }
    if (!parsed->levels.empty()) {
        entries.push_back({".", 0x10});
        entries.push_back({"..", 0x10});
    }
    for (const auto& [key, child] : folder->children) {
        entries.push_back({child->name, child->attributes});
    }
    // A listing with no entry at all cannot start, as on Windows.
    return !entries.empty();
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter("FileSize", path)) {
        return std::nullopt;
    }
    Node* node = m.tree.Find(path);
    if (node == nullptr || node->IsFolder()) {
        return std::nullopt;
    }
    return node->content.size();
}

bool CreateFolder(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter("CreateFolder", path)) {
        return false;
    }
    if (path.size() >= memory::kMaxFolderPath) {
        return false;
    }
    auto parsed = ParsePath(path);
    if (!parsed) {
        return false;
    }
    Node* parent = m.tree.Parent(*parsed);
    if (parent == nullptr) {
        return false;
    }
    auto& slot = parent->children[release::AsciiUpper(parsed->levels.back())];
    if (slot) {
        return false;
    }
    slot = std::make_unique<Node>();
    slot->name = parsed->levels.back();
    slot->attributes = 0x10;
    return true;
}

MoveResult MoveExisting(const std::string& from, const std::string& to) {
    auto& m = TheMachine();
    if (m.onMove) {
        m.onMove(from, to);
    }
    if (m.Enter("MoveFile", from + " -> " + to)) {
        return MoveResult::Failed;
    }
    auto source = ParsePath(from);
    auto target = ParsePath(to);
    if (!source || !target) {
        return MoveResult::Failed;
    }
    Node* sourceParent = m.tree.Parent(*source);
    Node* sourceNode = m.tree.Find(*source);
    Node* targetParent = m.tree.Parent(*target);
    if (sourceParent == nullptr || sourceNode == nullptr || targetParent == nullptr) {
        return MoveResult::Failed;
    }
    if (sourceNode->heldByOther || sourceNode->openReaders > 0) {
        return MoveResult::Busy;
    }
    std::string targetKey = release::AsciiUpper(target->levels.back());
    std::string sourceKey = release::AsciiUpper(source->levels.back());
    bool sameEntry = sourceParent == targetParent && sourceKey == targetKey;
    if (!sameEntry && targetParent->children.count(targetKey) != 0) {
        return MoveResult::Failed;
    }
    // Across drives Windows copies the file, then deletes the source: a target drive that
    // fills up part-way keeps what was copied and the source stays.
    Drive* targetDrive = m.tree.FindDrive(target->drive);
    if (source->drive != target->drive && !sourceNode->IsFolder() && targetDrive != nullptr &&
        targetDrive->capacity.has_value()) {
        std::uint64_t used = targetDrive->UsedBytes();
        std::uint64_t room = *targetDrive->capacity > used ? *targetDrive->capacity - used : 0;
        if (sourceNode->content.size() > room) {
            auto partial = std::make_unique<Node>();
            partial->name = target->levels.back();
            partial->attributes = sourceNode->attributes;
            partial->content = sourceNode->content.substr(0, static_cast<std::size_t>(room));
            targetParent->children[targetKey] = std::move(partial);
            return MoveResult::Failed;
        }
    }
    std::unique_ptr<Node> moved = std::move(sourceParent->children[sourceKey]);
    sourceParent->children.erase(sourceKey);
    moved->name = target->levels.back();
    targetParent->children[targetKey] = std::move(moved);
    return MoveResult::Moved;
}

bool RemoveFile(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter("DeleteFile", path)) {
        return false;
    }
    auto parsed = ParsePath(path);
    if (!parsed) {
        return false;
    }
    Node* parent = m.tree.Parent(*parsed);
    Node* node = m.tree.Find(*parsed);
    if (parent == nullptr || node == nullptr || node->IsFolder()) {
        return false;
    }
    if (node->heldByOther || node->openReaders > 0 || (node->attributes & AttrReadOnly) != 0) {
        return false;
    }
    parent->children.erase(release::AsciiUpper(parsed->levels.back()));
    return true;
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
    auto& m = TheMachine();
    if (m.Enter("AppendFile", path)) {
        return false;
    }
    auto parsed = ParsePath(path);
    if (!parsed || parsed->levels.empty()) {
        return false;
    }
    Node* parent = m.tree.Parent(*parsed);
    if (parent == nullptr) {
        return false;
    }
    Node* node = m.tree.Find(*parsed);
    if (node != nullptr && (node->IsFolder() || node->heldByOther || node->openReaders > 0 ||
                            (node->attributes & AttrReadOnly) != 0)) {
        return false;
    }
    Drive* drive = m.tree.FindDrive(parsed->drive);
    if (drive != nullptr && drive->capacity.has_value() &&
        drive->UsedBytes() + bytes.size() > *drive->capacity) {
        return false;
    }
    if (node == nullptr) {
        auto& slot = parent->children[release::AsciiUpper(parsed->levels.back())];
        slot = std::make_unique<Node>();
        slot->name = parsed->levels.back();
        slot->attributes = AttrArchive;
        node = slot.get();
    }
    node->content += bytes;
    return true;
}

struct ExclusiveFile::Impl {
    std::string path;
    std::int64_t position = 0;
};

ExclusiveFile::ExclusiveFile(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter("OpenFile", path)) {
        return;
    }
    Node* node = m.tree.Find(path);
    if (node == nullptr || node->IsFolder() || node->heldByOther || node->openReaders > 0) {
        return;
    }
    ++node->openReaders;
    ++m.openFileHandles;
    impl_ = std::make_unique<Impl>();
    impl_->path = path;
}

ExclusiveFile::~ExclusiveFile() {
    if (!impl_) {
        return;
    }
    auto& m = TheMachine();
    --m.openFileHandles;
    if (Node* node = m.tree.Find(impl_->path)) {
        --node->openReaders;
    }
}

bool ExclusiveFile::IsOpen() const {
    return impl_ != nullptr;
}

std::int64_t ExclusiveFile::Size() {
    auto& m = TheMachine();
    if (!impl_ || m.Enter("SeekFile", impl_->path)) {
        return -1;
    }
    Node* node = m.tree.Find(impl_->path);
    impl_->position = 0;
    auto reported = m.reportedSizes.find(release::AsciiUpper(impl_->path));
    if (reported != m.reportedSizes.end()) {
        return reported->second;
    }
    return node != nullptr ? static_cast<std::int64_t>(node->content.size()) : -1;
}

std::int64_t ExclusiveFile::Read(char* buffer, std::int64_t count) {
    auto& m = TheMachine();
    if (!impl_ || m.Enter("ReadFile", impl_->path)) {
        return 0;
    }
    Node* node = m.tree.Find(impl_->path);
    if (node == nullptr || count <= 0) {
        return 0;
    }
    auto size = static_cast<std::int64_t>(node->content.size());
    std::int64_t n = std::min(count, size - impl_->position);
    if (n <= 0) {
        return 0;
    }
    node->content.copy(buffer, static_cast<std::size_t>(n),
                       static_cast<std::size_t>(impl_->position));
    impl_->position += n;
    return n;
}

} // namespace platform
