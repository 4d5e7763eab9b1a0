#include "TestMachine.h"

#include "platform/Files.h"

#include <ostream>

namespace testing_support {

void MachineTest::SetUp() {
    TheMachine().Reset();
    TheMachine().SetEnv("HOMEDRIVE", "C:");
    TheMachine().SetEnv("HOMEPATH", "\\Users\\op");
}

void MachineTest::TearDown() {
    form_.reset();
}

TFORM_MAIN& MachineTest::Form() {
    if (!form_) {
        form_ = std::make_unique<TFORM_MAIN>();
    }
    return *form_;
}

std::vector<Box> Boxes() {
    std::vector<Box> boxes;
    for (const auto& b : TheMachine().process.boxes) {
        boxes.push_back(Box{b.text, b.caption, b.buttons});
    }
    return boxes;
}

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "{\"" << box.text << "\", \"" << box.caption << "\", " << box.buttons << "}";
}

namespace {
void CollectAll(const platform::memory::Node& node, const std::string& path,
                std::vector<std::string>& out) {
    for (const auto& [key, child] : node.children) {
        const std::string childPath = path + "\\" + child->name;
        out.push_back(childPath);
        CollectAll(*child, childPath, out);
    }
}
} // namespace

std::vector<std::string> Everything() {
    std::vector<std::string> out;
    for (const auto& [letter, drive] : TheMachine().world.tree.drives) {
        CollectAll(drive.root, std::string(1, letter) + ":", out);
    }
    return out;
}

std::string Body(const Entry& entry) {
    return entry.path + " " + entry.stamp;
}

std::string ListText(const std::vector<Entry>& entries) {
    std::string text;
    for (const auto& e : entries) {
        text += e.path + "\t" + e.stamp + "\r\n";
    }
    return text;
}

void UpdateMachine::SetUp() {
    MachineTest::SetUp();
    M().SetEnv("PUBLIC", "C:\\Users\\Public");
    M().SetEnv("ProgramFiles", "C:\\Program Files");
    M().MakeFolders(kDesktop);
    M().SetAttributes("C:\\Users", platform::AttrReadOnly);
    M().MakeFolders(kInstall);
    M().SetAttributes("C:\\Program Files", platform::AttrReadOnly);
}

void UpdateMachine::Serve(const std::vector<Entry>& release) {
    M().Serve(kBase + "filelist.txt", ListText(release));
    for (const auto& e : release) {
        M().Serve(kBase + e.path, Body(e));
    }
}

void UpdateMachine::Install(const std::vector<Entry>& installed) {
    for (const auto& e : installed) {
        M().WriteFile(kInstall + Windows(e.path), Body(e));
    }
    M().WriteFile(kInstall + "PelmoraUpdaterList.txt", ListText(installed));
}

void UpdateMachine::NormalMode() {
    Click(Form().ManualUpdate);
    Form().ExeName.SetText("Pelmora.exe");
    Form().PelmoraPath.SetText(kInstall);
    Form().UpdateSoftwareButton.SetEnabled(true);
}

std::vector<std::string> UpdateMachine::Fetched() {
    std::vector<std::string> out;
    for (const auto& r : M().world.requests) {
        std::string path = r.substr(0, r.find('?'));
        if (path != kBase + "filelist.txt") {
            out.push_back(path.substr(kBase.size()));
        }
    }
    return out;
}

} // namespace testing_support
