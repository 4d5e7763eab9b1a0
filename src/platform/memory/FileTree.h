// The in-memory machine's drives, folders and files, with paths read as Windows reads them:
// drive letters, "\" or "/" separators, names matched without regard to case but kept as made.
#pragma once

#include "../../release/Names.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::memory {

struct Node {
    std::string name; // as created
    std::uint32_t attributes = 0;
    std::string content;
    bool heldByOther = false; // another program holds the file open, sharing nothing
    std::string shortName;    // the 8.3 alias Windows gave a long name, if any
    std::map<std::string, std::unique_ptr<Node>> children; // keyed by upper-cased name

    bool IsFolder() const { return (attributes & 0x10) != 0; }
    // The child of that name; made with the name as given and these attributes when missing.
    Node& Child(const std::string& childName, std::uint32_t attributes);
    void Remove(const std::string& childName) { children.erase(release::AsciiUpper(childName)); }
    // The child a name or a short alias names; null when none.
    Node* Named(const std::string& level);
};

// The 8.3 alias Windows gives a new name in that folder; empty when the name is one itself.
std::string ShortNameFor(const std::string& name, const Node& parent);

struct Drive {
    bool ready = true;
    std::optional<std::uint64_t> capacity; // bytes of file content; none: unlimited
    Node root;

    std::uint64_t UsedBytes() const;
};

// A path split into its drive and its levels; "." and ".." already resolved.
struct ParsedPath {
    char drive = 0;
    std::vector<std::string> levels;
};

// Nothing for a network path or a drive that is no letter. Names are kept as written, without
// Windows' limits on characters and length or its dropping of trailing dots and blanks: the
// logic refuses hostile names itself, and nothing it does depends on those rules.
std::optional<ParsedPath> ParsePath(std::string path);

class FileTree {
public:
    void AddDrive(char letter, bool ready = true);
    void RemoveDrive(char letter);
    Drive* FindDrive(char letter);

    Node* Find(const ParsedPath& path);
    Node* Find(const std::string& path);
    // The folder that would hold the path's last level; null when missing.
    Node* Parent(const ParsedPath& path);
    // Makes every missing level; the last one gets the given attributes.
    void MakeFolders(const std::string& path, std::uint32_t attributes);
    // Makes the missing folders on the way.
    void WriteFile(const std::string& path, const std::string& content, std::uint32_t attributes);

    std::map<char, Drive> drives;

private:
    // The node `count` levels down the path, each missing level made a folder; null without
    // the drive.
    Node* MakeLevels(const ParsedPath& path, std::size_t count);
};

} // namespace platform::memory
