// Processes of the in-memory machine. A handle is the 1-based index of its process.
#include "../Processes.h"

#include "Machine.h"

#include <cstring>

namespace platform {

using memory::TheMachine;

namespace {

struct HandleRecord {
    std::uint32_t processId;
    std::uint32_t access;
};

// Handles stay valid even when a test ends the process meanwhile.
std::vector<HandleRecord>& Handles() {
    static std::vector<HandleRecord> handles;
    return handles;
}

memory::Process* FindProcess(std::uint32_t id) {
    for (auto& p : TheMachine().processes) {
        if (p.id == id) {
            return &p;
        }
    }
    return nullptr;
}

const HandleRecord* Record(void* handle) {
    auto index = reinterpret_cast<std::uintptr_t>(handle);
    if (index == 0 || index > Handles().size()) {
        return nullptr;
    }
    return &Handles()[index - 1];
}

} // namespace

bool ListProcessIds(std::uint32_t* ids, std::uint32_t bytes, std::uint32_t& bytesReturned) {
    auto& m = TheMachine();
    bytesReturned = 0;
    if (m.Enter("EnumProcesses", "")) {
        return false;
    }
    std::uint32_t capacity = bytes / 4;
    std::uint32_t n = 0;
    for (const auto& p : m.processes) {
        if (!p.running || n == capacity) {
            continue;
        }
        ids[n++] = p.id;
    }
    bytesReturned = n * 4;
    return true;
}

ProcessHandle::ProcessHandle(std::uint32_t access, std::uint32_t processId) {
    auto& m = TheMachine();
    if (m.Enter("OpenProcess", std::to_string(processId))) {
        return;
    }
    memory::Process* p = FindProcess(processId);
    if (processId == 0 || p == nullptr || !p->openable) {
        return;
    }
    Handles().push_back(HandleRecord{processId, access});
    handle_ = reinterpret_cast<void*>(static_cast<std::uintptr_t>(Handles().size()));
    ++m.openProcessHandles;
}

ProcessHandle::~ProcessHandle() {
    if (handle_ != nullptr) {
        --TheMachine().openProcessHandles;
    }
}

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) {
            --TheMachine().openProcessHandles;
        }
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

std::uint32_t ProcessHandle::ModuleBaseName(char* buffer, std::uint32_t size) const {
    const HandleRecord* record = Record(handle_);
    if (record == nullptr || TheMachine().Enter("GetModuleBaseName", "")) {
        return 0;
    }
    constexpr std::uint32_t needed = ProcessQueryInformation | ProcessVmRead;
    memory::Process* p = FindProcess(record->processId);
    if ((record->access & needed) != needed || p == nullptr || !p->running || size == 0) {
        return 0;
    }
    std::uint32_t n = static_cast<std::uint32_t>(p->moduleName.size());
    if (n >= size) {
        n = size - 1;
    }
    std::memcpy(buffer, p->moduleName.data(), n);
    buffer[n] = '\0';
    return n;
}

std::uint32_t ProcessHandle::Wait(std::uint32_t) const {
    const HandleRecord* record = Record(handle_);
    if (record == nullptr || (record->access & Synchronize) == 0 ||
        TheMachine().Enter("WaitForSingleObject", "")) {
        return WaitFailed;
    }
    memory::Process* p = FindProcess(record->processId);
    return p != nullptr && p->running ? WaitTimeout : WaitObject0;
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
