#include "../Processes.h"

#include <windows.h>

#include <psapi.h>

#include <vector>

namespace platform {

bool ListProcessIds(std::uint32_t* ids, std::uint32_t bytes, std::uint32_t& bytesReturned) {
    DWORD used = 0;
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "process ids are 32-bit");
    BOOL ok = ::EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &used);
    bytesReturned = ok ? used : 0;
    return ok != 0;
}

ProcessHandle::ProcessHandle(std::uint32_t access, std::uint32_t processId)
    : handle_(OpenProcess(access, FALSE, processId)) {}

ProcessHandle::~ProcessHandle() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

std::uint32_t ProcessHandle::ModuleBaseName(char* buffer, std::uint32_t size) const {
    if (handle_ == nullptr) {
        return 0;
    }
    return GetModuleBaseNameA(handle_, nullptr, buffer, size);
}

std::uint32_t ProcessHandle::Wait(std::uint32_t milliseconds) const {
    if (handle_ == nullptr) {
        return WaitFailed;
    }
    return WaitForSingleObject(handle_, milliseconds);
}

bool StartProcess(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace platform
