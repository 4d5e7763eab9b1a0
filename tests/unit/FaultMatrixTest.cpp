// Every platform call of an update run, made to fail in turn, and every fault point made to
// fail at each of its calls: no fault may lose a file, leave a wrong body in place, keep a
// list that claims versions not in place, or be reported as success. Then the process dies
// at every call of a run, and a fresh updater must bring every file up.
#include "TestMachine.h"

#include <iostream>
#include <map>
#include <set>

namespace {

using namespace testing_support;
using platform::memory::kAllOps;
using platform::memory::PlatformCall;

const std::string kMarkerFolder = kMarker.substr(0, kMarker.rfind('\\') + 1);

// 9 entries in 3 folders; 4 changed, one of them the product's executable.
const std::vector<Entry> kInstalled = {
    {"AppLaunch.exe", "1"},     {"Pelmora.exe", "1"},     {"bin/core.dll", "1"},
    {"bin/ui.dll", "1"},        {"bin/net.dll", "1"},     {"data/maps/world.dat", "1"},
    {"data/maps/sea.dat", "1"}, {"data/readme.txt", "1"}, {"bin/help.chm", "1"},
};
const std::vector<Entry> kRelease = {
    {"AppLaunch.exe", "1"},     {"Pelmora.exe", "2"},     {"bin/core.dll", "1"},
    {"bin/ui.dll", "2"},        {"bin/net.dll", "1"},     {"data/maps/world.dat", "2"},
    {"data/maps/sea.dat", "1"}, {"data/readme.txt", "1"}, {"bin/help.chm", "2"},
};

// Ops whose failure reads as "absent" or whose result the run is told not to look at:
// their faults may change the outcome without a message.
const std::set<Op> kSilentOps = {Op::FileAttributes,         Op::DeleteFile,   Op::CreateProcess,
                                 Op::GetEnvironmentVariable, Op::GetVersionEx, Op::Sleep};

bool SuccessBox(const MessageBoxRecord& box) {
    return box.caption.empty();
}

// What the operator is left with: the files at their target paths, the local list, the
// marker wherever it went, the launcher. Extra copies in the backup folder are no loss.
struct Outcome {
    std::map<std::string, std::string> files;
    bool launched = false;
    bool operator==(const Outcome& o) const { return files == o.files && launched == o.launched; }
};

class FaultMatrix : public UpdateMachine {
public:
    void Arrange(bool manual) {
        TearDown();
        SetUp();
        if (!manual) {
            Install(kInstalled);
            M().WriteFile(kMarker, "marker");
        }
        Serve(kRelease);
        // A part of one changed file, kept by an earlier run that was cut short: the run
        // resumes it while the files after it are fetched ahead.
        const std::string ui = Body(kRelease[3]);
        M().world.http[kBase + kRelease[3].path].etag = "\"ui-2\"";
        M().WriteFile("C:\\Quorvel\\PelmoraUpdaterParts\\0.part", ui.substr(0, 4));
        M().WriteFile("C:\\Quorvel\\PelmoraUpdaterParts\\0.txt",
                      kRelease[3].path + "\t" + kRelease[3].stamp + "\t" +
                          std::to_string(ui.size()) + "\t\"ui-2\"\r\n");
        Form().AutoTimer.SetEnabled(false);
        if (!manual) {
            NormalMode();
        }
        M().process.calls.clear();
    }
    std::string Folder(bool manual) const { return manual ? kTarget : kInstall; }
    bool AllNew(bool manual) {
        for (const auto& e : kRelease) {
            if (At(Folder(manual) + Windows(e.path)) != Body(e)) {
                return false;
            }
        }
        return true;
    }

    Outcome Snapshot() {
        Outcome o;
        for (const auto& f : M().FilesBelow("C:\\")) {
            const bool backup = f.find("UpdateBackup\\") != std::string::npos;
            // Kept parts are a cache: what is in it is no loss either way.
            if (f.find("PelmoraUpdaterParts\\") != std::string::npos) {
                continue;
            }
            if (!backup || f.find("PelmorEmpty") != std::string::npos) {
                o.files[backup ? "the marker, backed up" : f] = *At("C:\\" + f);
            }
        }
        o.launched = !M().process.launches.empty();
        return o;
    }

    // The invariants after a normal-mode run that met the fault.
    void CheckNormal(Op op, const Outcome& clean) {
        const std::string backupRoot = kInstall + "UpdateBackup\\";
        for (std::size_t i = 0; i < kRelease.size(); ++i) {
            const Entry& old = kInstalled[i];
            auto content = At(kInstall + Windows(old.path));
            ASSERT_TRUE(content.has_value()) << old.path << " was lost";
            ASSERT_TRUE(*content == Body(old) || *content == Body(kRelease[i])) << *content;
            if (old.stamp != kRelease[i].stamp && *content == Body(kRelease[i])) {
                bool backedUp = false;
                for (const auto& f : M().FilesBelow(backupRoot)) {
                    backedUp = backedUp || At(backupRoot + f) == Body(old);
                }
                EXPECT_TRUE(backedUp) << "no backup of the previous " << old.path;
            }
        }
        auto list = At(kInstall + "PelmoraUpdaterList.txt");
        if (op != Op::DeleteFile && list.has_value()) {
            EXPECT_TRUE(*list == ListText(kInstalled) || *list == ListText(kRelease)) << *list;
            EXPECT_TRUE(*list != ListText(kRelease) || AllNew(false))
                << "the local list claims versions that are not in place";
        }
        CheckMessages(op, Snapshot() == clean);
        CheckNothingStrayed();
    }

    void CheckManual(Op op, const Outcome& clean) {
        bool all = true;
        for (const auto& e : kRelease) {
            auto content = At(kTarget + Windows(e.path));
            if (content.has_value()) {
                EXPECT_EQ(*content, Body(e)) << "an incomplete or wrong file";
            }
            all = all && content.has_value();
        }
        if (op != Op::DeleteFile && M().IsFile(kTarget + "PelmoraUpdaterList.txt")) {
            EXPECT_TRUE(all) << "the list claims files that are not there";
        }
        EXPECT_FALSE(M().IsFolder(kTarget + "UpdateBackup")) << "manual mode backs nothing up";
        CheckMessages(op, Snapshot() == clean);
        CheckNothingStrayed();
    }

    // A changed outcome is told, unless the failing call is one the run does not look at;
    // a failure is never followed by a success message.
    void CheckMessages(Op op, bool sameAsClean) {
        bool failureShown = false;
        for (const auto& box : M().process.boxes) {
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
        for (const auto& f : M().FilesBelow("C:\\")) {
            std::string path = "C:\\" + f;
            bool allowed = path.rfind(kInstall, 0) == 0 || path.rfind(kDesktop, 0) == 0 ||
                           path.rfind("C:\\Quorvel\\", 0) == 0 || path.rfind(kMarkerFolder, 0) == 0;
            EXPECT_TRUE(allowed) << "a file outside: " << path;
        }
    }

    // The clean run, which must bring every file up (or the matrix would prove nothing), and
    // its calls.
    std::vector<PlatformCall> CleanRun(bool manual) {
        Arrange(manual);
        RunUpdate();
        EXPECT_TRUE(AllNew(manual));
        EXPECT_EQ(M().process.launches.size(), 1u);
        EXPECT_EQ(Boxes().size(), manual ? 0u : 2u);
        EXPECT_EQ(M().world.http[kBase + kRelease[3].path].bytesSent, Body(kRelease[3]).size() - 4)
            << "the kept part was not resumed";
        return M().process.calls;
    }

    // Each call of the clean run failing in turn, then each fault point failing at every call.
    template <typename Check> std::size_t Matrix(bool manual, Check check) {
        const std::vector<PlatformCall> calls = CleanRun(manual);
        const Outcome clean = Snapshot();
        for (std::size_t k = 0; k < calls.size() && !HasFatalFailure(); ++k) {
            SCOPED_TRACE("fault at call " + std::to_string(k) + " (" +
                         std::string(OpName(calls[k].op)) + ")");
            Arrange(manual);
            M().process.failCallIndex = static_cast<long>(k);
            RunUpdate();
            (this->*check)(calls[k].op, clean);
        }
        for (Op op : kAllOps) {
            SCOPED_TRACE("every call of " + std::string(OpName(op)) + " fails");
            Arrange(manual);
            M().process.failOps = {op};
            RunUpdate();
            (this->*check)(op, clean);
        }
        return calls.size();
    }
};

TEST_F(FaultMatrix, NormalModeSurvivesEverySingleFault) {
    std::size_t points = Matrix(false, &FaultMatrix::CheckNormal);
    std::cout << "[ fault matrix ] normal mode: " << points << " fault points exercised\n";
    EXPECT_GT(points, 80u);
}

TEST_F(FaultMatrix, ManualModeSurvivesEverySingleFault) {
    std::size_t points = Matrix(true, &FaultMatrix::CheckManual);
    std::cout << "[ fault matrix ] manual mode: " << points << " fault points exercised\n";
    EXPECT_GT(points, 60u);
}

// The process dies at every call of a run in turn (power lost, or the operator ends a window
// that does not answer); then a fresh updater runs on the same disk as the operator would.
// Whatever the moment, the rerun ends with every listed file new, nothing stray, and no
// success was ever reported while a listed file was missing or stale.
class CrashMatrix : public FaultMatrix {
public:
    void WatchSuccessReports(bool manual) {
        M().process.onMessageBox = [this, manual](const MessageBoxRecord& box) {
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
        M().Restart();
        M().world.localTime.minute += 1; // the operator starts it again a little later
        WatchSuccessReports(manual);
        if (manual) {
            Form();
            platform::memory::AdvanceClock(200);
            return;
        }
        Form().AutoTimer.SetEnabled(false);
        Click(Form().ManualUpdate);
        Form().ExeName.SetText("Pelmora.exe");
        Form().Min_Version.SetText("4000000");
        Form().Max_Version.SetText("5000000");
        Click(Form().CheckPathButton);
        ASSERT_EQ(Form().PelmoraPath.Text(), kInstall) << "the installation is no longer found";
        RunUpdate();
    }

    void CheckRecovered(bool manual) {
        EXPECT_TRUE(AllNew(manual));
        for (const auto& f : M().FilesBelow(Folder(manual))) {
            EXPECT_EQ(f.find("temp1234.$$$"), std::string::npos) << "left behind: " << f;
            EXPECT_EQ(f.find("PelmoraUpdaterRun.txt"), std::string::npos) << "left behind: " << f;
        }
        if (!manual) {
            bool markerBackedUp = false;
            for (const auto& f : M().FilesBelow(kInstall + "UpdateBackup\\")) {
                markerBackedUp = markerBackedUp || f.find("PelmorEmpty.aaa") != std::string::npos;
            }
            EXPECT_TRUE(M().IsFile(kMarker) || markerBackedUp) << "the marker file was lost";
        }
        EXPECT_EQ(M().process.launches.size(), 1u) << "the rerun did not start the launcher";
        CheckNothingStrayed();
    }

    std::size_t Crashes(bool manual) {
        const std::vector<PlatformCall> calls = CleanRun(manual);
        for (std::size_t k = 0; k < calls.size() && !HasFailure(); ++k) {
            SCOPED_TRACE("killed at call " + std::to_string(k) + " (" +
                         std::string(OpName(calls[k].op)) + ")");
            Arrange(manual);
            WatchSuccessReports(manual);
            M().process.killAtCall = static_cast<long>(k);
            RunUpdate();
            Rerun(manual);
            CheckRecovered(manual);
        }
        return calls.size();
    }
};

TEST_F(CrashMatrix, NormalModeRecoversFromAKillAtEveryCall) {
    std::size_t points = Crashes(false);
    std::cout << "[ crash matrix ] normal mode: " << points << " crash points exercised\n";
    EXPECT_GT(points, 80u);
}

TEST_F(CrashMatrix, ManualModeRecoversFromAKillAtEveryCall) {
    std::size_t points = Crashes(true);
    std::cout << "[ crash matrix ] manual mode: " << points << " crash points exercised\n";
    EXPECT_GT(points, 60u);
}

} // namespace
