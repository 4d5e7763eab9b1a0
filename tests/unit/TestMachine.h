// The in-memory machine as the tests set it up: the operator's usual environment, and the
// operator's PC with Pelmora installed and a release on the update server.
#pragma once

#include "TestSettings.h"
#include "app/Main.h"
#include "platform/memory/Machine.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

using platform::memory::Click;
using platform::memory::Machine;
using platform::memory::MessageBoxRecord;
using platform::memory::Op;
using platform::memory::TheMachine;

// The target of manual mode, and the product's marker file under the shared documents.
inline const std::string kTarget = kDesktop + "Tarnell Temp Files\\";
inline const std::string kMarker =
    "C:\\Users\\Public\\Documents\\Pelmora Documents\\system-do not touch\\PelmorEmpty.aaa";

// A fresh machine with the operator's usual environment, and the window built on it.
class MachineTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;
    // Builds the window now (tests that change the environment first call it late).
    TFORM_MAIN& Form();
    Machine& M() { return TheMachine(); }

    std::unique_ptr<TFORM_MAIN> form_;
};

struct Box {
    std::string text;
    std::string caption;
    unsigned buttons = 0;
    bool operator==(const Box& o) const {
        return text == o.text && caption == o.caption && buttons == o.buttons;
    }
};

std::vector<Box> Boxes();
std::ostream& operator<<(std::ostream& out, const Box& box);

// Every folder and file on every drive, as full paths.
std::vector<std::string> Everything();

// A row of an update list. Its file holds "<path> <stamp>", on the server and installed
// alike: a file is new exactly when it holds the row of the served list.
struct Entry {
    std::string path;
    std::string stamp;
};
std::string Body(const Entry& entry);
std::string ListText(const std::vector<Entry>& entries);

// The operator's PC as Windows has it (C:\Users and C:\Program Files read-only), with the
// shared documents and Program Files in the environment, Pelmora's folder kInstall, and the
// update server.
class UpdateMachine : public MachineTest {
public:
    void SetUp() override;
    // The list and each listed file on the update server.
    void Serve(const std::vector<Entry>& release);
    // Each listed file in kInstall, and the list as its local list.
    void Install(const std::vector<Entry>& installed);
    // Normal mode on kInstall, as discovery leaves it.
    void NormalMode();
    void RunUpdate() { Click(Form().UpdateSoftwareButton); }
    // What the server was asked for besides the list, by path below the base.
    std::vector<std::string> Fetched();
    std::optional<std::string> At(const std::string& path) { return M().FileContent(path); }
};

} // namespace testing_support
