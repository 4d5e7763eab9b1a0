#include "../System.h"

#include "Handles.h"

#include <cstring>
#include <vector>

namespace platform {

namespace {

bool SameNameIgnoringCase(const char* a, const std::string& b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        char x = a[i], y = b[i];
        x = (x >= 'a' && x <= 'z') ? static_cast<char>(x - 'a' + 'A') : x;
        y = (y >= 'a' && y <= 'z') ? static_cast<char>(y - 'a' + 'A') : y;
        if (x != y) {
            return false;
        }
    }
    return true;
}

struct EnvironmentBlock {
    char* block = GetEnvironmentStringsA();
    EnvironmentBlock() = default;
    EnvironmentBlock(const EnvironmentBlock&) = delete;
    EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
    ~EnvironmentBlock() {
        if (block != nullptr) {
            FreeEnvironmentStringsA(block);
        }
    }
};

} // namespace

// Read from the environment block: under Wine, GetEnvironmentVariableA gives a value in a
// double-byte code page one byte short for each double-byte character (it counts the
// characters), so a home folder holding one would lose its last byte.
std::optional<std::string> EnvironmentVariable(const std::string& name) {
    EnvironmentBlock environment;
    if (environment.block == nullptr) {
        return std::string(); // as a failed read: the caller finds no such folder
    }
    for (const char* entry = environment.block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (!name.empty() && std::strlen(entry) > name.size() && entry[name.size()] == '=' &&
            SameNameIgnoringCase(entry, name, name.size())) {
            return std::string(entry + name.size() + 1);
        }
    }
    return std::nullopt;
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
