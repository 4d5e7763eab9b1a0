// Process enumeration and start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Ids of the processes that run now, the first 1024 the system lists; empty when it lists
// none.
std::vector<std::uint32_t> ProcessIds();

// Base name of a process's main module; empty when the process cannot be opened to read it.
std::string MainModuleName(std::uint32_t processId);

// Whether the process can be opened and has not ended.
bool ProcessRunning(std::uint32_t processId);

// Starts a program from a command line, not waited for; its handles are closed at once.
bool StartProcess(const std::string& commandLine);

} // namespace platform
