// The product's running process, found by the base name of its main module.
#include "../platform/Processes.h"
#include "../platform/System.h"
#include "Discovery.h"

#include <vector>

namespace {

constexpr std::uint32_t kMaxProcesses = 1024;
constexpr std::uint32_t kModuleNameSize = 260;

} // namespace

std::uint32_t FindProcessByName(const std::string& name) {
    std::vector<std::uint32_t> ids(kMaxProcesses);
    std::uint32_t bytes = 0;
    if (!platform::ListProcessIds(ids.data(), kMaxProcesses * 4, bytes)) {
        return 0;
    }
    std::vector<char> moduleName(kModuleNameSize);
    for (std::uint32_t i = 0; i < bytes / 4 && i < kMaxProcesses; ++i) {
        platform::ProcessHandle process(platform::ProcessQueryInformation | platform::ProcessVmRead,
                                        ids[i]);
        if (!process.IsOpen()) {
            continue;
        }
        std::uint32_t length = process.ModuleBaseName(moduleName.data(), kModuleNameSize);
        if (length == 0) {
            continue;
        }
        if (platform::CompareTextNoCase(std::string(moduleName.data(), length), name) == 0) {
            return ids[i];
        }
    }
    return 0;
}

bool IsProcessRunning(std::uint32_t processId) {
    platform::ProcessHandle process(platform::Synchronize, processId);
    return process.IsOpen() && process.Wait(0) == platform::WaitTimeout;
}
