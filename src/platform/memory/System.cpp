#include "../System.h"

#include "Machine.h"
#include "release/CodePage.h"

namespace platform {

using memory::Op;
using memory::TheMachine;

// A failed call reads as an empty value, as the real one gives it.
std::optional<std::string> EnvironmentVariable(const std::string& name) {
    auto& m = TheMachine();
    if (m.Enter(Op::GetEnvironmentVariable, name)) {
        return std::string();
    }
    auto it = m.world.env.find(release::AsciiUpper(name));
    if (it == m.world.env.end()) {
        return std::nullopt;
    }
    return it->second.second;
}

std::string OwnExecutablePath() {
    return TheMachine().world.ownExecutablePath;
}

std::uint32_t OsMajorVersion() {
    auto& m = TheMachine();
    return m.Enter(Op::GetVersionEx) ? 0 : m.world.osMajorVersion;
}

CriticalErrorsSuppressed::CriticalErrorsSuppressed() : previous_(TheMachine().process.errorMode) {
    TheMachine().process.errorMode = previous_ | 0x1;
}

CriticalErrorsSuppressed::~CriticalErrorsSuppressed() {
    TheMachine().process.errorMode = previous_;
}

struct InstanceLock::Impl {
    std::string name;
    bool acquired = false;
    bool holds = false;
};

// A second holder fails, in this process as in any other, as CreateMutexA tells; no mutex
// at all keeps no one out.
InstanceLock::InstanceLock(const std::string& name) : impl_(std::make_unique<Impl>()) {
    auto& m = TheMachine();
    impl_->name = name;
    if (m.Enter(Op::CreateMutex, name)) {
        impl_->acquired = true;
        return;
    }
    impl_->acquired = impl_->holds = m.process.namedLocks.insert(name).second;
}

InstanceLock::~InstanceLock() {
    if (impl_->holds) {
        TheMachine().process.namedLocks.erase(impl_->name);
    }
}

bool InstanceLock::Acquired() const {
    return impl_->acquired;
}

// The machine's clock moves on; no timer fires, since nothing is pumped. A failed wait
// returns at once.
void PauseMilliseconds(unsigned milliseconds) {
    auto& m = TheMachine();
    if (!m.Enter(Op::Sleep, std::to_string(milliseconds))) {
        m.world.tickMs += milliseconds;
        m.process.pausedMs += milliseconds;
    }
}

namespace {

// The machine's code page as Windows reads it; one the tables do not know reads as ASCII.
release::CodePage MachineCodePage() {
    const unsigned number = TheMachine().world.codePage;
    if (auto page = release::KnownCodePage(number)) {
        return *page;
    }
    return release::AsciiCodePage(number);
}

} // namespace

int CompareTextNoCase(const std::string& a, const std::string& b) {
    return UpperCase(a).compare(UpperCase(b));
}

std::string UpperCase(const std::string& text) {
    return MachineCodePage().Folded(text);
}

unsigned AnsiCodePage() {
    return TheMachine().world.codePage;
}

bool LeadByte(unsigned char c) {
    return MachineCodePage().lead[c];
}

} // namespace platform
