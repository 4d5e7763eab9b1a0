// The release folder on disk: its files with their dates and hashes, and whole-file reads
// and writes.
#pragma once

#include "Plan.h"

#include <optional>
#include <string>
#include <vector>

namespace publish {

// Every file below the folder but the tool's own outputs, or nothing when the folder
// cannot be walked (the reason in problem).
std::optional<std::vector<std::string>> ListReleaseFiles(const std::string& folder,
                                                         std::string& problem);
std::optional<FoundFile> Examine(const std::string& folder, const std::string& path);
std::optional<platform::Sha256Digest> FileDigest(const std::string& file);

std::optional<std::string> ReadFile(const std::string& file);
// Written beside the target first, then renamed over it.
bool WriteFileReplacing(const std::string& file, const std::string& content);
// Fails when the file exists.
bool WriteNewFile(const std::string& file, const std::string& content);
bool Exists(const std::string& path);
std::string Join(const std::string& folder, const std::string& path);

} // namespace publish
