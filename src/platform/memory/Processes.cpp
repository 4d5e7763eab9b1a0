// Processes of the in-memory machine.
#include "../Processes.h"

#include "Machine.h"

namespace platform {

using memory::TheMachine;

namespace {

constexpr std::size_t kMaxProcesses = 1024;
constexpr std::size_t kModuleNameSize = 260; // a longer name comes back cut to fit

memory::Process* FindProcess(std::uint32_t id) {
    for (auto& p : TheMachine().processes) {
        if (p.id == id) {
            return &p;
        }
    }
    return nullptr;
}

// A process handle the machine counts as open while this lives; null when the process
// cannot be opened.
class OpenedProcess {
public:
    explicit OpenedProcess(std::uint32_t processId) {
        auto& m = TheMachine();
        if (m.Enter("OpenProcess", std::to_string(processId))) {
            return;
        }
        memory::Process* p = FindProcess(processId);
        if (processId == 0 || p == nullptr || !p->openable) {
            return;
        }
        id_ = processId;
        ++m.openProcessHandles;
    }
    ~OpenedProcess() {
        if (id_ != 0) {
            --TheMachine().openProcessHandles;
        }
    }
    OpenedProcess(const OpenedProcess&) = delete;
    OpenedProcess& operator=(const OpenedProcess&) = delete;

    explicit operator bool() const { return id_ != 0; }
    // The process, unless a test has removed it meanwhile.
    memory::Process* Get() const { return FindProcess(id_); }

private:
    std::uint32_t id_ = 0;
};

} // namespace

std::vector<std::uint32_t> ProcessIds() {
    auto& m = TheMachine();
    if (m.Enter("EnumProcesses", "")) {
        return {};
    }
    std::vector<std::uint32_t> ids;
    for (const auto& p : m.processes) {
        if (p.running && ids.size() < kMaxProcesses) {
            ids.push_back(p.id);
        }
    }
    return ids;
}

std::string MainModuleName(std::uint32_t processId) {
    OpenedProcess process(processId);
    if (!process || TheMachine().Enter("GetModuleBaseName", "")) {
        return std::string();
    }
    memory::Process* p = process.Get();
    if (p == nullptr || !p->running) {
        return std::string();
    }
    return p->moduleName.substr(0, kModuleNameSize - 1);
}

bool ProcessRunning(std::uint32_t processId) {
    OpenedProcess process(processId);
    if (!process || TheMachine().Enter("WaitForSingleObject", "")) {
        return false;
    }
    memory::Process* p = process.Get();
    return p != nullptr && p->running;
}

namespace {

bool ExistingFile(const std::string& path) {
    auto* node = TheMachine().tree.Find(path);
    return node != nullptr && !node->IsFolder();
}

// The program a command line names, found as CreateProcessA finds it without an
// application name: a quoted first token is taken whole; otherwise each blank in turn
// may end the program name, and the first prefix that names a file wins.
std::string ResolveProgram(const std::string& commandLine) {
    auto withExe = [](std::string name) {
        auto slash = name.find_last_of('\\');
        auto dot = name.find_last_of('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
            name += ".exe";
        }
        return name;
    };
    if (!commandLine.empty() && commandLine[0] == '"') {
        auto end = commandLine.find('"', 1);
        std::string name = withExe(commandLine.substr(1, end == std::string::npos ? end : end - 1));
        return ExistingFile(name) ? name : std::string();
    }
    std::size_t pos = 0;
    while (true) {
        std::size_t blank = commandLine.find(' ', pos);
        std::string name = withExe(commandLine.substr(0, blank));
        if (ExistingFile(name)) {
            return name;
        }
        if (blank == std::string::npos) {
            return std::string();
        }
        pos = blank + 1;
    }
}

} // namespace

bool StartProcess(const std::string& commandLine) {
    auto& m = TheMachine();
    if (m.Enter("CreateProcess", commandLine)) {
        return false;
    }
    std::string program = ResolveProgram(commandLine);
    if (program.empty()) {
        return false;
    }
    m.launches.push_back(memory::Launch{commandLine, program});
    return true;
}

} // namespace platform
