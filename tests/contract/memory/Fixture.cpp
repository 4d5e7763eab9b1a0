#include "contract/Fixture.h"

#include "platform/memory/Machine.h"

namespace fixture {

using platform::memory::TheMachine;

std::string ScratchFolder() {
    TheMachine().Reset();
    TheMachine().MakeFolders("C:\\Scratch");
    return "C:\\Scratch\\";
}

void MakeFolder(const std::string& path, std::uint32_t attributes) {
    TheMachine().MakeFolders(path, attributes);
}

void MakeFile(const std::string& path, const std::string& content, std::uint32_t attributes) {
    TheMachine().WriteFile(path, content, attributes);
}

std::optional<std::string> Content(const std::string& path) {
    return TheMachine().FileContent(path);
}

char MissingDrive() {
    return 'Q';
}

bool AllFolderAttributesKept() {
    return true;
}

void SetEnv(const std::string& name, const std::string& value) {
    TheMachine().SetEnv(name, value);
}
void UnsetEnv(const std::string& name) {
    TheMachine().UnsetEnv(name);
}

HeldFile::HeldFile(const std::string& path) : path_(path) {
    TheMachine().HoldFile(path, true);
}
HeldFile::~HeldFile() {
    TheMachine().HoldFile(path_, false);
}

RunningProgram::RunningProgram() : id_(4242), moduleName_("quorvel_sleeper.exe") {
    TheMachine().processes.push_back({id_, moduleName_, true, true});
}

RunningProgram::~RunningProgram() {
    End();
}

void RunningProgram::End() {
    for (auto& p : TheMachine().processes) {
        if (p.id == id_) {
            p.running = false;
        }
    }
}

} // namespace fixture
