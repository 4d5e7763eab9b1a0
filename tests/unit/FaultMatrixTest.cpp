// Every platform call of an update run, made to fail in turn: no fault may lose a file,
// leave a wrong body in place, keep a list that claims versions not in place, or be
// reported as success.
#include "TestMachine.h"
#include "platform/Files.h"

#include <iostream>
#include <map>
#include <set>

namespace {

using platform::memory::Click;
using platform::memory::TheMachine;
using testing_support::kBase;
using testing_support::kDesktop;
using testing_support::kInstall;
using testing_support::Windows;

const std::string kMarkerFolder =
    "C:\\Users\\Public\\Documents\\Pelmora Documents\\system-do not touch\\";

struct Entry {
    std::string path;
    std::string oldStamp;
    std::string newStamp;
    bool Changed() const { return oldStamp != newStamp; }
};

// 9 entries in 3 folders; 4 changed, one of them the product's executable.
const std::vector<Entry> kEntries = {
    {"AppLaunch.exe", "1", "1"},     {"Pelmora.exe", "1", "2"},
    {"bin/core.dll", "1", "1"},      {"bin/ui.dll", "1", "2"},
    {"bin/net.dll", "1", "1"},       {"data/maps/world.dat", "1", "2"},
    {"data/maps/sea.dat", "1", "1"}, {"data/readme.txt", "1", "1"},
    {"bin/help.chm", "1", "2"},
};

std::string ListText(bool fresh) {
    std::string text;
    for (const auto& e : kEntries) {
        text += e.path + "\t" + (fresh ? e.newStamp : e.oldStamp) + "\r\n";
    }
    return text;
}

std::string OldBody(const Entry& e) {
    return "old " + e.path;
}
std::string NewBody(const Entry& e) {
    return e.Changed() ? "new " + e.path : OldBody(e);
}

// Ops whose failure reads as "absent" or whose result the run is told not to look at:
// their faults may change the outcome without a message.
const std::set<std::string> kSilentOps = {"FileAttributes",         "DeleteFile",   "CreateProcess",
                                          "GetEnvironmentVariable", "GetVersionEx", "Pause"};

bool SuccessBox(const platform::memory::MessageBoxRecord& box) {
    return box.caption.empty();
}

// What the operator is left with: the files at their target paths, the local list, the
// marker, the launcher. Extra copies in the backup folder are no loss.
struct Outcome {
    std::map<std::string, std::string> files;
    bool launched = false;
    bool operator==(const Outcome& o) const { return files == o.files && launched == o.launched; }
};

class FaultMatrix : public ::testing::Test {
public:
    void Arrange(bool manual) {
        auto& m = TheMachine();
        m.Reset();
        m.SetEnv("HOMEDRIVE", "C:");
        m.SetEnv("HOMEPATH", "\\Users\\op");
        m.SetEnv("PUBLIC", "C:\\Users\\Public");
        m.MakeFolders(kDesktop);
        m.SetAttributes("C:\\Users", platform::AttrReadOnly);
        m.MakeFolders(kInstall);
        m.SetAttributes("C:\\Program Files", platform::AttrReadOnly);
        m.Serve(kBase + "filelist.txt", ListText(true));
        for (const auto& e : kEntries) {
            m.Serve(kBase + e.path, NewBody(e)); // an unchanged file is served as installed
            if (!manual) {
                m.WriteFile(kInstall + Windows(e.path), OldBody(e));
            }
        }
        if (!manual) {
            m.WriteFile(kInstall + "PelmoraUpdaterList.txt", ListText(false));
            m.WriteFile(kMarkerFolder + "PelmorEmpty.aaa", "marker");
        }
        form_ = std::make_unique<TFORM_MAIN>();
        form_->AutoTimer.SetEnabled(false);
        if (!manual) {
            Click(form_->ManualUpdate);
            form_->ExeName.SetText("Pelmora.exe");
            form_->PelmoraPath.SetText(kInstall);
            form_->UpdateSoftwareButton.SetEnabled(true);
        }
        m.calls.clear();
    }
    void Run() { Click(form_->UpdateSoftwareButton); }
    void TearDown() override { form_.reset(); }

    Outcome Snapshot() {
        Outcome o;
        for (const auto& f : TheMachine().FilesBelow("C:\\")) {
            if (f.find("UpdateBackup\\") == std::string::npos ||
                f.find("PelmorEmpty") != std::string::npos) {
                o.files["C:\\" + f] = *TheMachine().FileContent("C:\\" + f);
            }
        }
        o.launched = !TheMachine().launches.empty();
        return o;
    }

    // The invariants after a normal-mode run with call `index` failing.
    void CheckNormal(long index, const std::string& op, const Outcome& clean) {
        auto& m = TheMachine();
        SCOPED_TRACE("fault at call " + std::to_string(index) + " (" + op + ")");
        const std::string backupRoot = kInstall + "UpdateBackup\\";
        bool allNew = true;
        for (const auto& e : kEntries) {
            auto content = m.FileContent(kInstall + Windows(e.path));
            ASSERT_TRUE(content.has_value()) << e.path << " was lost";
            ASSERT_TRUE(*content == OldBody(e) || *content == NewBody(e))
                << e.path << ": " << *content;
            allNew = allNew && *content == NewBody(e);
            if (e.Changed() && *content == NewBody(e)) {
                bool backedUp = false;
                for (const auto& f : m.FilesBelow(backupRoot)) {
                    backedUp = backedUp || (m.FileContent(backupRoot + f) == OldBody(e) &&
                                            f.size() >= e.path.size());
                }
                EXPECT_TRUE(backedUp) << "no backup of the previous " << e.path;
            }
        }
        auto list = m.FileContent(kInstall + "PelmoraUpdaterList.txt");
        if (op != "DeleteFile" && list.has_value()) {
            EXPECT_TRUE(*list == ListText(false) || *list == ListText(true)) << *list;
            if (*list == ListText(true)) {
                EXPECT_TRUE(allNew) << "the local list claims versions that are not in place";
            }
        }
        CheckMessages(op, Snapshot() == clean);
        CheckNothingStrayed();
    }

    void CheckManual(long index, const std::string& op, const Outcome& clean) {
        auto& m = TheMachine();
        SCOPED_TRACE("fault at call " + std::to_string(index) + " (" + op + ")");
        const std::string target = kDesktop + "Tarnell Temp Files\\";
        bool all = true;
        for (const auto& e : kEntries) {
            auto content = m.FileContent(target + Windows(e.path));
            if (content.has_value()) {
                EXPECT_EQ(*content, NewBody(e)) << "an incomplete or wrong file";
            }
            all = all && content.has_value();
        }
        if (op != "DeleteFile" && m.IsFile(target + "PelmoraUpdaterList.txt")) {
            EXPECT_TRUE(all) << "the list claims files that are not there";
        }
        EXPECT_FALSE(m.IsFolder(target + "UpdateBackup")) << "manual mode backs nothing up";
        CheckMessages(op, Snapshot() == clean);
        CheckNothingStrayed();
    }

    // A changed outcome is told, unless the failing call is one the run does not look at;
    // a failure is never followed by a success message.
    void CheckMessages(const std::string& op, bool sameAsClean) {
        bool failureShown = false;
        for (const auto& box : TheMachine().boxes) {
            if (!SuccessBox(box)) {
                failureShown = true;
            } else {
                EXPECT_FALSE(failureShown) << "success reported after a failure: " << box.text;
            }
        }
        if (!sameAsClean && kSilentOps.count(op) == 0) {
            EXPECT_TRUE(failureShown) << "the outcome changed without a word to the operator";
        }
    }

    // Files lie only in the installation, the desktop folder, the updater's own folder and
    // the shared documents.
    void CheckNothingStrayed() {
        for (const auto& f : TheMachine().FilesBelow("C:\\")) {
            std::string path = "C:\\" + f;
            bool allowed = path.rfind(kInstall, 0) == 0 || path.rfind(kDesktop, 0) == 0 ||
                           path.rfind("C:\\Quorvel\\", 0) == 0 || path.rfind(kMarkerFolder, 0) == 0;
            EXPECT_TRUE(allowed) << "a file outside: " << path;
        }
    }

    // Runs the matrix: the clean run's calls, then each call failing in turn.
    template <typename Check> long Matrix(bool manual, Check check) {
        Arrange(manual);
        Run();
        Outcome clean = Snapshot();
        std::vector<platform::memory::PlatformCall> calls = TheMachine().calls;
        for (std::size_t k = 0; k < calls.size(); ++k) {
            TearDown();
            Arrange(manual);
            TheMachine().failCallIndex = static_cast<long>(k);
            Run();
            (this->*check)(static_cast<long>(k), calls[k].op, clean);
            if (HasFatalFailure()) {
                break;
            }
        }
        return static_cast<long>(calls.size());
    }

    std::unique_ptr<TFORM_MAIN> form_;
};

TEST_F(FaultMatrix, NormalModeSurvivesEverySingleFault) {
    long points = Matrix(false, &FaultMatrix::CheckNormal);
    std::cout << "[ fault matrix ] normal mode: " << points << " fault points exercised\n";
    EXPECT_GT(points, 120);
}

TEST_F(FaultMatrix, ManualModeSurvivesEverySingleFault) {
    long points = Matrix(true, &FaultMatrix::CheckManual);
    std::cout << "[ fault matrix ] manual mode: " << points << " fault points exercised\n";
    EXPECT_GT(points, 100);
}

TEST_F(FaultMatrix, CleanNormalRunReplacesTheFourChangedFiles) {
    Arrange(false);
    Run();
    for (const auto& e : kEntries) {
        EXPECT_EQ(TheMachine().FileContent(kInstall + Windows(e.path)), NewBody(e));
    }
    ASSERT_EQ(TheMachine().boxes.size(), 2u);
    EXPECT_EQ(TheMachine().boxes[0].text, "4 Files Have been updated");
}

} // namespace

namespace {

using platform::memory::AdvanceClock;
using platform::memory::MessageBoxRecord;

// The process dies at every call of a run in turn (power lost, or the operator ends a window
// that does not answer); then a fresh updater runs on the same disk as the operator would.
// Whatever the moment, the rerun ends with every listed file new, nothing stray, and no
// success was ever reported while a listed file was missing or stale.
class CrashMatrix : public FaultMatrix {
public:
    bool AllNew(bool manual) {
        const std::string target = manual ? kDesktop + "Tarnell Temp Files\\" : kInstall;
        for (const auto& e : kEntries) {
            if (TheMachine().FileContent(target + Windows(e.path)) != NewBody(e)) {
                return false;
            }
        }
        return true;
    }

    void WatchSuccessReports(bool manual) {
        TheMachine().onMessageBox = [this, manual](const MessageBoxRecord& box) {
            if (SuccessBox(box)) {
                EXPECT_TRUE(AllNew(manual)) << "success reported over a stale file: " << box.text;
            }
            return 1;
        };
    }

    // A fresh program on the same disk; in normal mode the operator has the installation
    // found first, since the product's executable itself may have been caught mid-update.
    void Rerun(bool manual) {
        form_.reset();
        FORM_MAIN = nullptr;
        TheMachine().Restart();
        TheMachine().SetEnv("ProgramFiles", "C:\\Program Files");
        TheMachine().localTime.minute += 1; // the operator starts it again a little later
        WatchSuccessReports(manual);
        form_ = std::make_unique<TFORM_MAIN>();
        if (manual) {
            AdvanceClock(200);
            return;
        }
        form_->AutoTimer.SetEnabled(false);
        Click(form_->ManualUpdate);
        form_->ExeName.SetText("Pelmora.exe");
        form_->Min_Version.SetText("4000000");
        form_->Max_Version.SetText("5000000");
        Click(form_->CheckPathButton);
        ASSERT_EQ(form_->PelmoraPath.Text(), kInstall) << "the installation is no longer found";
        Run();
    }

    void CheckRecovered(long index, const std::string& op, bool manual) {
        SCOPED_TRACE("killed at call " + std::to_string(index) + " (" + op + ")");
        const std::string target = manual ? kDesktop + "Tarnell Temp Files\\" : kInstall;
        for (const auto& e : kEntries) {
            EXPECT_EQ(TheMachine().FileContent(target + Windows(e.path)), NewBody(e)) << e.path;
        }
        for (const auto& f : TheMachine().FilesBelow(target)) {
            EXPECT_EQ(f.find("temp1234.$$$"), std::string::npos) << "left behind: " << f;
            EXPECT_EQ(f.find("PelmoraUpdaterRun.txt"), std::string::npos) << "left behind: " << f;
        }
        if (!manual) {
            auto marker = TheMachine().FileContent(kMarkerFolder + "PelmorEmpty.aaa");
            bool markerBackedUp = false;
            for (const auto& f : TheMachine().FilesBelow(kInstall + "UpdateBackup\\")) {
                markerBackedUp = markerBackedUp || f.find("PelmorEmpty.aaa") != std::string::npos;
            }
            EXPECT_TRUE(marker.has_value() || markerBackedUp) << "the marker file was lost";
        }
        EXPECT_TRUE(TheMachine().launches.size() == 1u) << "the rerun did not start the launcher";
        CheckNothingStrayed();
    }

    long Crashes(bool manual) {
        Arrange(manual);
        Run();
        const std::vector<platform::memory::PlatformCall> calls = TheMachine().calls;
        for (std::size_t k = 0; k < calls.size(); ++k) {
            TearDown();
            Arrange(manual);
            WatchSuccessReports(manual);
            TheMachine().killAtCall = static_cast<long>(k);
            Run();
            Rerun(manual);
            CheckRecovered(static_cast<long>(k), calls[k].op, manual);
            if (HasFailure()) {
                break;
            }
        }
        return static_cast<long>(calls.size());
    }
};

TEST_F(CrashMatrix, NormalModeRecoversFromAKillAtEveryCall) {
    long points = Crashes(false);
    std::cout << "[ crash matrix ] normal mode: " << points << " crash points exercised\n";
    EXPECT_GT(points, 120);
}

TEST_F(CrashMatrix, ManualModeRecoversFromAKillAtEveryCall) {
    long points = Crashes(true);
    std::cout << "[ crash matrix ] manual mode: " << points << " crash points exercised\n";
    EXPECT_GT(points, 100);
}

} // namespace
