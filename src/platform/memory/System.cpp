#include "../System.h"

#include "Machine.h"

namespace platform {

using memory::TheMachine;

std::optional<std::string> EnvironmentVariable(const std::string& name) {
    auto& m = TheMachine();
    if (m.Enter("GetEnvironmentVariable", name)) {
        return std::nullopt;
    }
    auto it = m.env.find(memory::UpperAscii(name));
    if (it == m.env.end()) {
        return std::nullopt;
    }
    return it->second.second;
}

std::string OwnExecutablePath() {
    return TheMachine().ownExecutablePath;
}

std::uint32_t OsMajorVersion() {
    auto& m = TheMachine();
    if (m.Enter("GetVersionEx", "")) {
        return 0;
    }
    return m.osMajorVersion;
}

CriticalErrorsSuppressed::CriticalErrorsSuppressed() : previous_(TheMachine().errorMode) {
    TheMachine().errorMode = previous_ | 0x1;
}

CriticalErrorsSuppressed::~CriticalErrorsSuppressed() {
    TheMachine().errorMode = previous_;
}

// The machine's clock moves on; no timer fires, since nothing is pumped.
void PauseMilliseconds(unsigned milliseconds) {
    auto& m = TheMachine();
    m.Enter("Pause", std::to_string(milliseconds));
    m.tickMs += milliseconds;
    m.pausedMs += milliseconds;
}

int CompareTextNoCase(const std::string& a, const std::string& b) {
    std::string ua = memory::UpperAscii(a);
    std::string ub = memory::UpperAscii(b);
    return ua < ub ? -1 : (ua == ub ? 0 : 1);
}

std::string UpperCase(const std::string& text) {
    return memory::UpperAscii(text);
}

} // namespace platform
