#include "Machine.h"

namespace platform::memory {

Machine& TheMachine() {
    static Machine machine;
    return machine;
}

Machine::Machine() {
    tree.AddDrive('C');
    MakeFolders("C:\\Quorvel");
}

namespace {
void CloseHandlesBelow(Node& node) {
    node.openReaders = 0;
    for (auto& [key, child] : node.children) {
        CloseHandlesBelow(*child);
    }
}
} // namespace

void Machine::Restart() {
    FileTree keptTree = std::move(tree);
    auto keptEnv = env;
    auto keptHttp = http;
    auto keptProcesses = processes;
    auto keptSizes = reportedSizes;
    const std::string keptOwnPath = ownExecutablePath;
    const auto keptOs = osMajorVersion;
    const auto keptUnixTime = unixTime;
    const auto keptLocalTime = localTime;
    const auto keptRegional = regional;
    const auto keptTick = tickMs;
    Reset();
    tree = std::move(keptTree);
    for (auto& [letter, drive] : tree.drives) {
        CloseHandlesBelow(drive.root);
    }
    env = keptEnv;
    http = keptHttp;
    processes = keptProcesses;
    reportedSizes = keptSizes;
    ownExecutablePath = keptOwnPath;
    osMajorVersion = keptOs;
    unixTime = keptUnixTime;
    localTime = keptLocalTime;
    regional = keptRegional;
    tickMs = keptTick;
}

void Machine::LimitDrive(char letter, std::uint64_t capacity) {
    if (Drive* drive = tree.FindDrive(letter)) {
        drive->capacity = capacity;
    }
}

void Machine::MakeFolders(const std::string& path, std::uint32_t attributes) {
    auto parsed = ParsePath(path);
    if (!parsed || tree.drives.count(parsed->drive) == 0) {
        return;
    }
    Node* node = &tree.drives[parsed->drive].root;
    for (std::size_t i = 0; i < parsed->levels.size(); ++i) {
        const std::string& level = parsed->levels[i];
        auto& slot = node->children[release::AsciiUpper(level)];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->name = level;
            slot->attributes = 0x10;
        }
        node = slot.get();
    }
    if (!parsed->levels.empty()) {
        node->attributes = attributes | 0x10;
    }
}

void Machine::WriteFile(const std::string& path, const std::string& content,
                        std::uint32_t attributes) {
    auto parsed = ParsePath(path);
    if (!parsed || parsed->levels.empty()) {
        return;
    }
    std::string folder = std::string(1, parsed->drive) + ":";
    for (std::size_t i = 0; i + 1 < parsed->levels.size(); ++i) {
        folder += "\\" + parsed->levels[i];
    }
    if (Node* existingFolder = tree.Find(folder); existingFolder == nullptr) {
        MakeFolders(folder);
    }
    Node* parent = tree.Find(folder);
    if (parent == nullptr) {
        return;
    }
    auto& slot = parent->children[release::AsciiUpper(parsed->levels.back())];
    if (!slot) {
        slot = std::make_unique<Node>();
        slot->name = parsed->levels.back();
    }
    slot->attributes = attributes & ~0x10u;
    slot->content = content;
}

bool Machine::IsFile(const std::string& path) {
    Node* node = tree.Find(path);
    return node != nullptr && !node->IsFolder();
}

bool Machine::IsFolder(const std::string& path) {
    Node* node = tree.Find(path);
    return node != nullptr && node->IsFolder();
}

std::optional<std::string> Machine::FileContent(const std::string& path) {
    Node* node = tree.Find(path);
    if (node == nullptr || node->IsFolder()) {
        return std::nullopt;
    }
    return node->content;
}

void Machine::SetAttributes(const std::string& path, std::uint32_t attributes) {
    if (Node* node = tree.Find(path)) {
        node->attributes = (attributes & ~0x10u) | (node->attributes & 0x10u);
    }
}

void Machine::HoldFile(const std::string& path, bool held) {
    if (Node* node = tree.Find(path)) {
        node->heldByOther = held;
    }
}

namespace {
void CollectFiles(const Node& node, const std::string& prefix, std::vector<std::string>& out) {
    for (const auto& [key, child] : node.children) {
        std::string name = prefix.empty() ? child->name : prefix + "\\" + child->name;
        if (child->IsFolder()) {
            CollectFiles(*child, name, out);
        } else {
            out.push_back(name);
        }
    }
}
} // namespace

std::vector<std::string> Machine::FilesBelow(const std::string& folder) {
    std::vector<std::string> out;
    if (Node* node = tree.Find(folder); node != nullptr && node->IsFolder()) {
        CollectFiles(*node, "", out);
    }
    return out;
}

void Machine::SetEnv(const std::string& name, const std::string& value) {
    env[release::AsciiUpper(name)] = {name, value};
}

void Machine::UnsetEnv(const std::string& name) {
    env.erase(release::AsciiUpper(name));
}

bool Machine::Enter(const char* op, const std::string& detail) {
    long index = static_cast<long>(calls.size());
    calls.push_back(PlatformCall{op, detail});
    int nth = ++opCounts_[op];
    if (index == killAtCall) {
        dead = true;
    }
    if (dead) {
        return true;
    }
    if (index == failCallIndex || failOps.count(op) != 0 || (failWhen && failWhen(op, detail))) {
        return true;
    }
    auto it = failNth.find(op);
    return it != failNth.end() && it->second == nth;
}

int Machine::CallCount(const std::string& op) const {
    auto it = opCounts_.find(op);
    return it == opCounts_.end() ? 0 : it->second;
}

} // namespace platform::memory
