// The one JSON object --json prints: members in the order they are added.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace publish {

class JsonObject {
public:
    JsonObject& Add(const std::string& name, const std::string& text);
    JsonObject& Add(const std::string& name, const char* text);
    JsonObject& Add(const std::string& name, std::uint64_t number);
    JsonObject& Add(const std::string& name, bool flag);
    JsonObject& Add(const std::string& name, const std::vector<std::string>& texts);
    JsonObject& Add(const std::string& name, const JsonObject& object);
    // A member that is null when the value is missing.
    template <class T> JsonObject& Add(const std::string& name, const std::optional<T>& value) {
        return value ? Add(name, *value) : Raw(name, "null");
    }
    std::string Text() const { return "{" + members_ + "}"; }

private:
    JsonObject& Raw(const std::string& name, const std::string& json);
    std::string members_;
};

// A string as JSON writes it; bytes that are no valid UTF-8 are written as \u00XX.
std::string JsonString(const std::string& text);

} // namespace publish
