// Processes of the in-memory machine.
#include "../Processes.h"

#include "Machine.h"

namespace platform {

using memory::Op;
using memory::TheMachine;

namespace {

constexpr std::size_t kMaxProcesses = 1024;

// The process as OpenProcess gives it; null when it cannot be opened.
memory::Process* Opened(std::uint32_t processId) {
    auto& m = TheMachine();
    if (m.Enter(Op::OpenProcess, std::to_string(processId))) {
        return nullptr;
    }
    for (auto& p : m.world.processes) {
        if (p.id == processId) {
            return p.openable ? &p : nullptr;
        }
    }
    return nullptr;
}

} // namespace

std::vector<std::uint32_t> ProcessIds() {
    auto& m = TheMachine();
    if (m.Enter(Op::EnumProcesses)) {
        return {};
    }
    std::vector<std::uint32_t> ids;
    for (const auto& p : m.world.processes) {
        if (p.running && ids.size() < kMaxProcesses) {
            ids.push_back(p.id);
        }
    }
    return ids;
}

std::string MainModuleName(std::uint32_t processId) {
    memory::Process* p = Opened(processId);
    if (p == nullptr || TheMachine().Enter(Op::GetModuleBaseName) || !p->running) {
        return std::string();
    }
    return p->moduleName;
}

bool ProcessRunning(std::uint32_t processId) {
    memory::Process* p = Opened(processId);
    return p != nullptr && !TheMachine().Enter(Op::WaitForSingleObject) && p->running;
}

// The program is the quoted first token, or the text up to the first blank; it must be a file.
bool StartProcess(const std::string& commandLine) {
    auto& m = TheMachine();
    if (m.Enter(Op::CreateProcess, commandLine)) {
        return false;
    }
    const bool quoted = !commandLine.empty() && commandLine[0] == '"';
    const std::size_t end = commandLine.find(quoted ? '"' : ' ', quoted ? 1 : 0);
    const std::string program =
        quoted ? commandLine.substr(1, end == std::string::npos ? end : end - 1)
               : commandLine.substr(0, end);
    if (!m.IsFile(program)) {
        return false;
    }
    m.process.launches.push_back(memory::Launch{commandLine, program});
    return true;
}

} // namespace platform
