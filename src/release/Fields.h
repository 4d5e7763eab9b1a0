// The pieces the release's text files are made of: lines, "name value" fields and decimal
// numbers written one way only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace release {

// Lines split at LF, a CR before it dropped; a last line without an end counts.
std::vector<std::string> Lines(const std::string& text);

// The value of a "name value" line.
std::optional<std::string> Field(const std::string& line, const std::string& name);

// A number of up to 19 decimal digits, without leading zeros (but "0" itself), at most the
// largest signed 64-bit value.
std::optional<std::uint64_t> ParseDecimal(const std::string& text);

} // namespace release
