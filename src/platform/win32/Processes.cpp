#include "../Processes.h"

#include "Handles.h"

#include <windows.h>

#include <psapi.h>

namespace platform {

namespace {

constexpr DWORD kMaxProcesses = 1024;

} // namespace

std::vector<std::uint32_t> ProcessIds() {
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "process ids are 32-bit");
    std::vector<std::uint32_t> ids(kMaxProcesses);
    DWORD used = 0;
    if (!EnumProcesses(reinterpret_cast<DWORD*>(ids.data()), kMaxProcesses * sizeof(DWORD),
                       &used)) {
        return {};
    }
    ids.resize(used / sizeof(DWORD));
    return ids;
}

std::string MainModuleName(std::uint32_t processId) {
    KernelHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process) {
        return std::string();
    }
    char name[MAX_PATH] = {};
    DWORD length = GetModuleBaseNameA(process.get(), nullptr, name, MAX_PATH);
    return std::string(name, length);
}

bool ProcessRunning(std::uint32_t processId) {
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
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
    KernelHandle thread(process.hThread);
    KernelHandle started(process.hProcess);
    return true;
}

} // namespace platform
