// The product's running process, found by the base name of its main module.
#include "../platform/Processes.h"
#include "../platform/System.h"
#include "Discovery.h"

std::uint32_t FindProcessByName(const std::string& name) {
    for (std::uint32_t id : platform::ProcessIds()) {
        std::string moduleName = platform::MainModuleName(id);
        if (!moduleName.empty() && platform::CompareTextNoCase(moduleName, name) == 0) {
            return id;
        }
    }
    return 0;
}

bool IsProcessRunning(std::uint32_t processId) {
    return platform::ProcessRunning(processId);
}
