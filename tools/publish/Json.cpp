#include "Json.h"

#include <cstdio>

namespace publish {

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when none begins there.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80         ? 1
                               : (c >> 5) == 6  ? 2
                               : (c >> 4) == 14 ? 3
                               : (c >> 3) == 30 ? 4
                                                : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) {
            return 0;
        }
    }
    return length;
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c >= 0x20 && length != 0) {
            json.append(text, i, length);
            i += length;
            continue;
        } else {
            // Control characters, and the bytes of a name in the Windows code page.
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04x", c);
            json += escape;
        }
        ++i;
    }
    return json + "\"";
}

JsonObject& JsonObject::Raw(const std::string& name, const std::string& json) {
    members_ += (members_.empty() ? "" : ",") + JsonString(name) + ":" + json;
    return *this;
}

JsonObject& JsonObject::Add(const std::string& name, const std::string& text) {
    return Raw(name, JsonString(text));
}

JsonObject& JsonObject::Add(const std::string& name, const char* text) {
    return Raw(name, JsonString(text));
}

JsonObject& JsonObject::Add(const std::string& name, std::uint64_t number) {
    return Raw(name, std::to_string(number));
}

JsonObject& JsonObject::Add(const std::string& name, bool flag) {
    return Raw(name, flag ? "true" : "false");
}

JsonObject& JsonObject::Add(const std::string& name, const std::vector<std::string>& texts) {
    std::string json = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        json += (i == 0 ? "" : ",") + JsonString(texts[i]);
    }
    return Raw(name, json + "]");
}

JsonObject& JsonObject::Add(const std::string& name, const JsonObject& object) {
    return Raw(name, object.Text());
}

} // namespace publish
