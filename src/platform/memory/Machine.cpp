#include "Machine.h"

#include <stdexcept>

namespace platform::memory {

Machine& TheMachine() {
    static Machine machine;
    return machine;
}

World::World() {
    tree.AddDrive('C');
    tree.MakeFolders("C:\\Quorvel", 0x10);
}

void Machine::LimitDrive(char letter, std::uint64_t capacity) {
    if (Drive* drive = world.tree.FindDrive(letter)) {
        drive->capacity = capacity;
    }
}

bool Machine::Writable(const Node& node) const {
    return !node.IsFolder() && !InUse(node) && (node.attributes & 0x1) == 0;
}

bool Machine::IsFile(const std::string& path) {
    Node* node = world.tree.Find(path);
    return node != nullptr && !node->IsFolder();
}

bool Machine::IsFolder(const std::string& path) {
    Node* node = world.tree.Find(path);
    return node != nullptr && node->IsFolder();
}

std::optional<std::string> Machine::FileContent(const std::string& path) {
    Node* node = world.tree.Find(path);
    if (node == nullptr || node->IsFolder()) {
        return std::nullopt;
    }
    return node->content;
}

void Machine::SetAttributes(const std::string& path, std::uint32_t attributes) {
    if (Node* node = world.tree.Find(path)) {
        node->attributes = (attributes & ~0x10u) | (node->attributes & 0x10u);
    }
}

void Machine::SetShortName(const std::string& path, const std::string& shortName) {
    if (Node* node = world.tree.Find(path)) {
        node->shortName = shortName;
    }
}

void Machine::HoldFile(const std::string& path, bool held) {
    if (Node* node = world.tree.Find(path)) {
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
    if (Node* node = world.tree.Find(folder); node != nullptr && node->IsFolder()) {
        CollectFiles(*node, "", out);
    }
    return out;
}

void Machine::SetEnv(const std::string& name, const std::string& value) {
    world.env[release::AsciiUpper(name)] = {name, value};
}

void Machine::UnsetEnv(const std::string& name) {
    world.env.erase(release::AsciiUpper(name));
}

void Machine::Serve(const std::string& url, const std::string& body) {
    HttpResponse response;
    response.body = body;
    world.http[url] = response;
}

bool Machine::Enter(Op op, const std::string& detail) {
    const long index = static_cast<long>(process.calls.size());
    process.calls.push_back(PlatformCall{op, detail});
    const int nth = ++process.callCounts[static_cast<std::size_t>(op)];
    process.dead = process.dead || index == process.killAtCall;
    if (process.dead || index == process.failCallIndex || process.failOps.count(op) != 0 ||
        (process.failWhen && process.failWhen(op, detail))) {
        return true;
    }
    auto it = process.failNth.find(op);
    return it != process.failNth.end() && it->second == nth;
}

} // namespace platform::memory
