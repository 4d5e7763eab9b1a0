#include "../System.h"

#include "Handles.h"

#include <vector>

namespace platform {

std::optional<std::string> EnvironmentVariable(const std::string& name) {
    SetLastError(ERROR_SUCCESS);
    DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (needed == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return std::nullopt;
        }
        return std::string();
    }
    std::vector<char> buffer(needed);
    DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), needed);
    if (length == 0 || length >= needed) {
        return std::string();
    }
    return std::string(buffer.data(), length);
}

std::string OwnExecutablePath() {
    std::vector<char> buffer(MAX_PATH);
    while (true) {
        DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::uint32_t OsMajorVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExA(&info)) {
        return 0;
    }
    return info.dwMajorVersion;
}

CriticalErrorsSuppressed::CriticalErrorsSuppressed()
    : previous_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {
    SetErrorMode(previous_ | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

CriticalErrorsSuppressed::~CriticalErrorsSuppressed() {
    SetErrorMode(previous_);
}

struct InstanceLock::Impl {
    KernelHandle mutex;
    bool acquired = false;
};

// A mutex that cannot be made at all does not keep the operator from updating: only a
// holder that is really there does.
InstanceLock::InstanceLock(const std::string& name) : impl_(std::make_unique<Impl>()) {
    impl_->mutex = KernelHandle(CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str()));
    impl_->acquired = !impl_->mutex || GetLastError() != ERROR_ALREADY_EXISTS;
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::Acquired() const {
    return impl_->acquired;
}

void PauseMilliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

int CompareTextNoCase(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str());
}

std::string UpperCase(const std::string& text) {
    std::string upper = text;
    if (!upper.empty()) {
        CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    }
    return upper;
}

unsigned AnsiCodePage() {
    return GetACP();
}

bool LeadByte(unsigned char c) {
    return IsDBCSLeadByteEx(CP_ACP, c) != FALSE;
}

} // namespace platform
