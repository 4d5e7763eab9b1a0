#include "../System.h"

#include "Machine.h"

namespace platform {

using memory::TheMachine;

std::optional<std::string> EnvironmentVariable(const std::string& name) {
    auto& m = TheMachine();
    if (m.Enter("GetEnvironmentVariable", name)) {
        return std::nullopt;
    }
    auto it = m.env.find(release::AsciiUpper(name));
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

struct InstanceLock::Impl {
    std::string name;
    bool acquired = false;
};

InstanceLock::InstanceLock(const std::string& name) : impl_(std::make_unique<Impl>()) {
    auto& m = TheMachine();
    impl_->name = name;
    if (m.Enter("CreateMutex", name)) {
        impl_->acquired = true; // as on Windows: no mutex, no one to wait for
        return;
    }
    impl_->acquired = m.namedLocks[name]++ == 0;
    if (!impl_->acquired) {
        impl_->name.clear();
        --m.namedLocks[name];
    }
}

InstanceLock::~InstanceLock() {
    auto& m = TheMachine();
    auto it = impl_->acquired ? m.namedLocks.find(impl_->name) : m.namedLocks.end();
    if (it != m.namedLocks.end() && it->second > 0) {
        --it->second;
    }
}

bool InstanceLock::Acquired() const {
    return impl_->acquired;
}

// The machine's clock moves on; no timer fires, since nothing is pumped.
void PauseMilliseconds(unsigned milliseconds) {
    auto& m = TheMachine();
    m.Enter("Pause", std::to_string(milliseconds));
    m.tickMs += milliseconds;
    m.pausedMs += milliseconds;
}

int CompareTextNoCase(const std::string& a, const std::string& b) {
    std::string ua = release::AsciiUpper(a);
    std::string ub = release::AsciiUpper(b);
    return ua < ub ? -1 : (ua == ub ? 0 : 1);
}

std::string UpperCase(const std::string& text) {
    return release::AsciiUpper(text);
}

} // namespace platform
