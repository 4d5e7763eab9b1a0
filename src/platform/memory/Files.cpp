// Files and folders of the in-memory machine, with the failure rules of the Windows calls.
#include "../Files.h"

#include "Machine.h"

namespace platform {

using memory::Drive;
using memory::Node;
using memory::Op;
using memory::ParsePath;
using memory::TheMachine;

std::optional<std::uint32_t> FileAttributes(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter(Op::FileAttributes, path)) {
        return std::nullopt;
    }
    Node* node = m.world.tree.Find(path);
    if (node == nullptr) {
        return std::nullopt;
    }
    return node->attributes;
}

bool ListFolder(const std::string& pattern, std::vector<DirEntry>& entries) {
    auto& m = TheMachine();
    entries.clear();
    if (m.Enter(Op::ListFolder, pattern)) {
        return false;
    }
    if (pattern.size() < 2 || pattern.substr(pattern.size() - 2) != "\\*") {
        return false;
    }
    auto parsed = ParsePath(pattern.substr(0, pattern.size() - 1));
    if (!parsed) {
        return false;
    }
    auto drive = m.world.tree.drives.find(parsed->drive);
    if (drive != m.world.tree.drives.end() && !drive->second.ready &&
        (m.process.errorMode & 0x1) == 0) {
        ++m.process.noDiskDialogs;
    }
    Node* folder = m.world.tree.Find(*parsed);
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
    if (m.Enter(Op::FileSize, path)) {
        return std::nullopt;
    }
    Node* node = m.world.tree.Find(path);
    if (node == nullptr || node->IsFolder()) {
        return std::nullopt;
    }
    return node->content.size();
}

// A drive without a limit has a terabyte free; a missing folder or drive tells nothing.
std::optional<std::uint64_t> FreeBytes(const std::string& folder) {
    auto& m = TheMachine();
    if (m.Enter(Op::FreeBytes, folder)) {
        return std::nullopt;
    }
    auto parsed = memory::ParsePath(folder);
    memory::Drive* drive = parsed ? m.world.tree.FindDrive(parsed->drive) : nullptr;
    if (drive == nullptr || !drive->ready || m.world.tree.Find(*parsed) == nullptr) {
        return std::nullopt;
    }
    if (!drive->capacity.has_value()) {
        return std::uint64_t{1} << 40;
    }
    const std::uint64_t used = drive->UsedBytes();
    return *drive->capacity > used ? *drive->capacity - used : 0;
}

bool CreateFolder(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter(Op::CreateFolder, path)) {
        return false;
    }
    auto parsed = ParsePath(path);
    if (!parsed) {
        return false;
    }
    Node* parent = m.world.tree.Parent(*parsed);
    if (parent == nullptr) {
        return false;
    }
    if (parent->children.count(release::AsciiUpper(parsed->levels.back())) != 0) {
        return false;
    }
    parent->Child(parsed->levels.back(), AttrDirectory);
    return true;
}

namespace {

// MoveFileA (copyAllowed) or MoveFileExA without flags.
MoveResult Move(Op op, const std::string& from, const std::string& to, bool copyAllowed) {
    auto& m = TheMachine();
    if (m.Enter(op, from + " -> " + to)) {
        return MoveResult::Failed;
    }
    if (m.process.onMove) {
        m.process.onMove(from, to);
    }
    auto source = ParsePath(from);
    auto target = ParsePath(to);
    if (!source || !target) {
        return MoveResult::Failed;
    }
    Node* sourceParent = m.world.tree.Parent(*source);
    Node* sourceNode = m.world.tree.Find(*source);
    Node* targetParent = m.world.tree.Parent(*target);
    if (sourceParent == nullptr || sourceNode == nullptr || targetParent == nullptr) {
        return MoveResult::Failed;
    }
    if (m.InUse(*sourceNode)) {
        return MoveResult::Busy;
    }
    if (!copyAllowed && source->drive != target->drive) {
        return MoveResult::OtherVolume;
    }
    std::string targetKey = release::AsciiUpper(target->levels.back());
    std::string sourceKey = release::AsciiUpper(source->levels.back());
    bool sameEntry = sourceParent == targetParent && sourceKey == targetKey;
    if (!sameEntry && targetParent->children.count(targetKey) != 0) {
        return MoveResult::Failed;
    }
    // Across drives Windows copies the file, then deletes the source: a target drive that
    // fills up part-way keeps what was copied and the source stays.
    Drive* targetDrive = m.world.tree.FindDrive(target->drive);
    if (source->drive != target->drive && !sourceNode->IsFolder() && targetDrive != nullptr &&
        targetDrive->capacity.has_value()) {
        std::uint64_t used = targetDrive->UsedBytes();
        std::uint64_t room = *targetDrive->capacity > used ? *targetDrive->capacity - used : 0;
        if (sourceNode->content.size() > room) {
            Node& partial = targetParent->Child(target->levels.back(), sourceNode->attributes);
            partial.content = sourceNode->content.substr(0, static_cast<std::size_t>(room));
            return MoveResult::Failed;
        }
    }
    std::unique_ptr<Node> moved = std::move(sourceParent->children[sourceKey]);
    sourceParent->children.erase(sourceKey);
    moved->name = target->levels.back();
    moved->shortName = ShortNameFor(moved->name, *targetParent);
    targetParent->children[targetKey] = std::move(moved);
    return MoveResult::Moved;
}

} // namespace

MoveResult MoveExisting(const std::string& from, const std::string& to) {
    return Move(Op::MoveFile, from, to, true);
}

MoveResult RenameExisting(const std::string& from, const std::string& to) {
    return Move(Op::MoveFileEx, from, to, false);
}

// As MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH: the entry changes
// in one step, so a process that dies at this call sees either the old target or the new.
MoveResult MoveReplacing(const std::string& from, const std::string& to) {
    auto& m = TheMachine();
    if (m.Enter(Op::MoveFileEx, from + " -> " + to)) {
        return MoveResult::Failed;
    }
    auto source = ParsePath(from);
    auto target = ParsePath(to);
    if (!source || !target || source->drive != target->drive || target->levels.empty()) {
        return MoveResult::Failed;
    }
    Node* sourceParent = m.world.tree.Parent(*source);
    Node* sourceNode = m.world.tree.Find(*source);
    Node* targetParent = m.world.tree.Parent(*target);
    Node* targetNode = m.world.tree.Find(*target);
    if (sourceParent == nullptr || sourceNode == nullptr || sourceNode->IsFolder() ||
        targetParent == nullptr || (targetNode != nullptr && targetNode->IsFolder())) {
        return MoveResult::Failed;
    }
    if (m.InUse(*sourceNode) || (targetNode != nullptr && m.InUse(*targetNode))) {
        return MoveResult::Busy;
    }
    if (targetNode == sourceNode) {
        return MoveResult::Moved;
    }
    if (targetNode != nullptr && !m.Writable(*targetNode)) {
        return MoveResult::Failed;
    }
    const std::string sourceKey = release::AsciiUpper(source->levels.back());
    std::unique_ptr<Node> moved = std::move(sourceParent->children[sourceKey]);
    sourceParent->children.erase(sourceKey);
    moved->name = target->levels.back();
    moved->shortName = ShortNameFor(moved->name, *targetParent);
    targetParent->children[release::AsciiUpper(target->levels.back())] = std::move(moved);
    return MoveResult::Moved;
}

bool RemoveFile(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter(Op::DeleteFile, path)) {
        return false;
    }
    auto parsed = ParsePath(path);
    if (!parsed) {
        return false;
    }
    Node* parent = m.world.tree.Parent(*parsed);
    Node* node = m.world.tree.Find(*parsed);
    if (parent == nullptr || node == nullptr || !m.Writable(*node)) {
        return false;
    }
    parent->Remove(parsed->levels.back());
    return true;
}

std::optional<std::string> LongPathName(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter(Op::GetLongPathName, path)) {
        return std::nullopt;
    }
    auto parsed = ParsePath(path);
    if (!parsed || m.world.tree.Find(*parsed) == nullptr) {
        return std::nullopt;
    }
    std::string full = std::string(1, parsed->drive) + ":";
    Node* node = &m.world.tree.FindDrive(parsed->drive)->root;
    for (const auto& level : parsed->levels) {
        node = node->Named(level);
        full += "\\" + node->name;
    }
    return !path.empty() && path.back() == '\\' ? full + "\\" : full;
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
    auto& m = TheMachine();
    if (m.Enter(Op::AppendFile, path)) {
        return false;
    }
    auto parsed = ParsePath(path);
    if (!parsed || parsed->levels.empty()) {
        return false;
    }
    Node* parent = m.world.tree.Parent(*parsed);
    if (parent == nullptr) {
        return false;
    }
    Node* node = m.world.tree.Find(*parsed);
    if (node != nullptr && !m.Writable(*node)) {
        return false;
    }
    Drive* drive = m.world.tree.FindDrive(parsed->drive);
    if (drive != nullptr && drive->capacity.has_value() &&
        drive->UsedBytes() + bytes.size() > *drive->capacity) {
        return false;
    }
    if (node == nullptr) {
        node = &parent->Child(parsed->levels.back(), AttrArchive);
    }
    node->content += bytes;
    return true;
}

struct ExclusiveFile::Impl {
    Node* node = nullptr;
    std::string path;
    std::int64_t position = 0;
};

ExclusiveFile::ExclusiveFile(const std::string& path) {
    auto& m = TheMachine();
    if (m.Enter(Op::OpenFile, path)) {
        return;
    }
    Node* node = m.world.tree.Find(path);
    if (node == nullptr || node->IsFolder() || m.InUse(*node)) {
        return;
    }
    m.process.openFiles.insert(node);
    impl_ = std::make_unique<Impl>(Impl{node, path});
}

ExclusiveFile::~ExclusiveFile() {
    if (impl_) {
        TheMachine().process.openFiles.erase(impl_->node);
    }
}

bool ExclusiveFile::IsOpen() const {
    return impl_ != nullptr;
}

std::int64_t ExclusiveFile::Size() {
    auto& m = TheMachine();
    if (!impl_ || m.Enter(Op::SeekFile, impl_->path)) {
        return -1;
    }
    impl_->position = 0;
    auto reported = m.world.reportedSizes.find(release::AsciiUpper(impl_->path));
    if (reported != m.world.reportedSizes.end()) {
        return reported->second;
    }
    return static_cast<std::int64_t>(impl_->node->content.size());
}

std::int64_t ExclusiveFile::Read(char* buffer, std::int64_t count) {
    auto& m = TheMachine();
    if (!impl_ || m.Enter(Op::ReadFile, impl_->path) || count <= 0) {
        return 0;
    }
    const Node* node = impl_->node;
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
