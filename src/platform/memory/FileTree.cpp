#include "FileTree.h"

namespace platform::memory {

namespace {
std::uint64_t BytesBelow(const Node& node) {
    std::uint64_t total = node.content.size();
    for (const auto& [key, child] : node.children) {
        total += BytesBelow(*child);
    }
    return total;
}
} // namespace

std::uint64_t Drive::UsedBytes() const {
    return BytesBelow(root);
}

std::optional<ParsedPath> ParsePath(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    ParsedPath parsed;
    std::size_t pos = 0;
    if (path.size() >= 2 && path[1] == ':') {
        char letter = release::AsciiUpper(path.substr(0, 1))[0];
        if (letter < 'A' || letter > 'Z') {
            return std::nullopt;
        }
        parsed.drive = letter;
        pos = 2;
    } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        return std::nullopt; // network paths: the machine has no network shares
    } else {
        parsed.drive = 'C'; // drive-relative and relative paths start at the current drive
    }
    while (pos <= path.size()) {
        std::size_t next = path.find('\\', pos);
        if (next == std::string::npos) {
            next = path.size();
        }
        std::string level = path.substr(pos, next - pos);
        pos = next + 1;
        if (level.empty() || level == ".") {
            continue;
        }
        if (level == "..") {
            if (!parsed.levels.empty()) {
                parsed.levels.pop_back();
            }
            continue;
        }
        parsed.levels.push_back(level);
    }
    return parsed;
}

void FileTree::AddDrive(char letter, bool ready) {
    Drive& drive = drives[letter];
    drive.ready = ready;
    drive.root.name = std::string(1, letter) + ":";
    drive.root.attributes = 0x10;
}

void FileTree::RemoveDrive(char letter) {
    drives.erase(letter);
}

Drive* FileTree::FindDrive(char letter) {
    auto it = drives.find(letter);
    if (it == drives.end() || !it->second.ready) {
        return nullptr;
    }
    return &it->second;
}

Node* FileTree::Find(const ParsedPath& path) {
    Drive* drive = FindDrive(path.drive);
    if (drive == nullptr) {
        return nullptr;
    }
    Node* node = &drive->root;
    for (const std::string& level : path.levels) {
        if (!node->IsFolder()) {
            return nullptr;
        }
        node = node->Named(level);
        if (node == nullptr) {
            return nullptr;
        }
    }
    return node;
}

namespace {

// Whether Windows keeps a name as its own short name: at most 8 characters, a dot and 3, no
// blank and none of the characters 8.3 names leave out.
bool ShortNameItself(const std::string& name) {
    const std::size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    return !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
           ext.find('.') == std::string::npos && name.find_first_of(" +,;=[]") == std::string::npos;
}

// The first 6 characters an 8.3 name may hold, "~", the first free number, and 3 of the
// extension, upper-cased: the alias Windows makes, PELMOR~1.TXT for PelmoraUpdaterList.txt.
std::string MakeShortName(const std::string& name, const Node& parent) {
    const std::size_t dot = name.rfind('.');
    auto letters = [](const std::string& text, std::size_t count) {
        std::string out;
        for (char c : text) {
            if (out.size() < count && std::string(" .+,;=[]").find(c) == std::string::npos) {
                out += c;
            }
        }
        return release::AsciiUpper(out);
    };
    const std::string base = letters(name.substr(0, dot), 6);
    const std::string ext =
        dot == std::string::npos ? std::string() : letters(name.substr(dot + 1), 3);
    for (int n = 1;; ++n) {
        const std::string alias = base + "~" + std::to_string(n) + (ext.empty() ? "" : "." + ext);
        bool taken = false;
        for (const auto& [key, child] : parent.children) {
            taken = taken || key == alias || (child && child->shortName == alias);
        }
        if (!taken) {
            return alias;
        }
    }
}

} // namespace

std::string ShortNameFor(const std::string& name, const Node& parent) {
    return ShortNameItself(name) ? std::string() : MakeShortName(name, parent);
}

Node* Node::Named(const std::string& level) {
    const std::string key = release::AsciiUpper(level);
    auto it = children.find(key);
    if (it != children.end()) {
        return it->second.get();
    }
    if (key.find('~') == std::string::npos) {
        return nullptr; // only a short alias holds one
    }
    for (auto& [name, child] : children) {
        if (!child->shortName.empty() && release::AsciiUpper(child->shortName) == key) {
            return child.get();
        }
    }
    return nullptr;
}

Node* FileTree::Find(const std::string& path) {
    auto parsed = ParsePath(path);
    return parsed ? Find(*parsed) : nullptr;
}

Node& Node::Child(const std::string& childName, std::uint32_t childAttributes) {
    auto& slot = children[release::AsciiUpper(childName)];
    if (!slot) {
        auto made = std::make_unique<Node>();
        made->name = childName;
        made->attributes = childAttributes;
        made->shortName = ShortNameFor(childName, *this);
        slot = std::move(made);
    }
    return *slot;
}

Node* FileTree::MakeLevels(const ParsedPath& path, std::size_t count) {
    auto drive = drives.find(path.drive);
    if (drive == drives.end()) {
        return nullptr;
    }
    Node* node = &drive->second.root;
    for (std::size_t i = 0; i < count; ++i) {
        node = &node->Child(path.levels[i], 0x10);
    }
    return node;
}

void FileTree::MakeFolders(const std::string& path, std::uint32_t attributes) {
    auto parsed = ParsePath(path);
    Node* node = parsed ? MakeLevels(*parsed, parsed->levels.size()) : nullptr;
    if (node != nullptr && !parsed->levels.empty()) {
        node->attributes = attributes | 0x10;
    }
}

void FileTree::WriteFile(const std::string& path, const std::string& content,
                         std::uint32_t attributes) {
    auto parsed = ParsePath(path);
    Node* folder = parsed && !parsed->levels.empty()
                       ? MakeLevels(*parsed, parsed->levels.size() - 1)
                       : nullptr;
    if (folder != nullptr) {
        Node& file = folder->Child(parsed->levels.back(), 0);
        file.attributes = attributes & ~0x10u;
        file.content = content;
    }
}

Node* FileTree::Parent(const ParsedPath& path) {
    if (path.levels.empty()) {
        return nullptr;
    }
    ParsedPath parent = path;
    parent.levels.pop_back();
    Node* node = Find(parent);
    return node != nullptr && node->IsFolder() ? node : nullptr;
}

} // namespace platform::memory
