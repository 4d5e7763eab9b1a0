// Process-wide facts and switches the logic needs of the operating system.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Names are matched without regard to case, as Windows does.
std::optional<std::string> EnvironmentVariable(const std::string& name);

// Full path of the running program file.
std::string OwnExecutablePath();

// Major version of the operating system as GetVersionExA reports it; 0 when the call fails.
std::uint32_t OsMajorVersion();

// While alive, a drive that is not ready fails quietly instead of raising a "no disk" dialog.
class CriticalErrorsSuppressed {
public:
    CriticalErrorsSuppressed();
    ~CriticalErrorsSuppressed();
    CriticalErrorsSuppressed(const CriticalErrorsSuppressed&) = delete;
    CriticalErrorsSuppressed& operator=(const CriticalErrorsSuppressed&) = delete;

private:
    std::uint32_t previous_;
};

// A lock named across every process of the user's session, held while the object lives
// (and by Windows until the process ends, however it ends).
class InstanceLock {
public:
    explicit InstanceLock(const std::string& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another holder had the lock first.
    bool Acquired() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Waits without handling any window message.
void PauseMilliseconds(unsigned milliseconds);

// Compares two texts as whole strings ignoring case, by the system's rules (lstrcmpiA).
int CompareTextNoCase(const std::string& a, const std::string& b);

// Upper-cases a text by the system's locale rules (CharUpperBuffA).
std::string UpperCase(const std::string& text);

// The ANSI code page every name of the ANSI calls is read in (GetACP).
unsigned AnsiCodePage();
// Whether the byte begins a double-byte character in that code page (IsDBCSLeadByteEx).
bool LeadByte(unsigned char c);

} // namespace platform
