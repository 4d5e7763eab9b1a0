// Process enumeration and start.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

constexpr std::uint32_t ProcessQueryInformation = 0x0400;
constexpr std::uint32_t ProcessVmRead = 0x0010;
constexpr std::uint32_t Synchronize = 0x100000;
constexpr std::uint32_t WaitObject0 = 0x0;
constexpr std::uint32_t WaitTimeout = 0x102;
constexpr std::uint32_t WaitFailed = 0xFFFFFFFF;

// Fills ids with up to bytes / 4 process ids; bytesReturned tells how many bytes were used.
bool ListProcessIds(std::uint32_t* ids, std::uint32_t bytes, std::uint32_t& bytesReturned);

// An open process handle, closed when destroyed.
class ProcessHandle {
public:
    ProcessHandle() = default;
    ProcessHandle(std::uint32_t access, std::uint32_t processId);
    ~ProcessHandle();
    ProcessHandle(ProcessHandle&& other) noexcept;
    ProcessHandle& operator=(ProcessHandle&& other) noexcept;
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    // Base name of the main module into a buffer of size bytes; the length copied, 0 on failure.
    std::uint32_t ModuleBaseName(char* buffer, std::uint32_t size) const;
    std::uint32_t Wait(std::uint32_t milliseconds) const;

private:
    void* handle_ = nullptr;
};

// Starts a program from a command line, not waited for; its handles are closed at once.
bool StartProcess(const std::string& commandLine);

} // namespace platform
