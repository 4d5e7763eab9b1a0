#include "TestMachine.h"
#include "platform/Files.h"
#include "run/Run.h"
#include "transfer/Transfer.h"

#include <stdexcept>

namespace {

using platform::memory::Click;
using testing_support::Box;
using testing_support::Boxes;
using testing_support::kBase;
using testing_support::kDesktop;
using testing_support::kInstall;
using testing_support::MachineTest;
using testing_support::Windows;

const std::string kMarker =
    "C:\\Users\\Public\\Documents\\Pelmora Documents\\system-do not touch\\PelmorEmpty.aaa";
const std::string kStamp = "7-12-2026-9-41-01-AM";
const std::string kRunBackup = kInstall + "UpdateBackup\\" + kStamp + "\\";

const Box kUpdateManually{"Please update the files manually.\nMake sure you are logged in as "
                          "Administrator.\nContact Tarnell for help.",
                          "Error", 0};
const Box kNoUpdate{"All Pelmora files are new. No update required.", "", 0};
const Box kProductUpdated{"Pelmora has been updated to the latest version.\nPlease check version "
                          "number in the top lefthand corner when running Pelmora.",
                          "", 0};
const Box kMarkerFailed{"Could not move backup folder. Please update manually.", "Update Error", 0};

Box Count(int n) {
    return Box{std::to_string(n) + " Files Have been updated", "", 0};
}
Box Download(const std::string& name) {
    return Box{"Could not download file. Check network connections or your PC's firewall.", name,
               0};
}
Box FolderBox(const std::string& folder) {
    return Box{folder + "\nCould not create this folder.", "Update Error", 0};
}

struct Entry {
    std::string path;
    std::string stamp;
};

// A machine with an installed Pelmora 4.1.2 and a release on the update server.
class UpdateRun : public MachineTest {
public:
    void SetUp() override {
        MachineTest::SetUp();
        M().SetEnv("PUBLIC", "C:\\Users\\Public");
        M().SetEnv("ProgramFiles", "C:\\Program Files");
        M().MakeFolders(kDesktop);
        M().SetAttributes("C:\\Users", platform::AttrReadOnly);
        M().MakeFolders(kInstall);
        M().SetAttributes("C:\\Program Files", platform::AttrReadOnly);
        M().regional.shortDate = "d/MM/yyyy";
        M().regional.timeFormat = "h:mm:ss tt";
    }

    std::string ListText(const std::vector<Entry>& entries) {
        std::string text;
        for (const auto& e : entries) {
            text += e.path + "\t" + e.stamp + "\r\n";
        }
        return text;
    }
    // Serves the list and every file with the body "new <path>".
    void Serve(const std::vector<Entry>& entries) {
        M().Serve(kBase + "filelist.txt", ListText(entries));
        for (const auto& e : entries) {
            M().Serve(kBase + e.path, "new " + e.path);
        }
    }
    // Installs every file with the body "old <path>" and the list as the local list.
    void Install(const std::vector<Entry>& entries) {
        for (const auto& e : entries) {
            M().WriteFile(kInstall + Windows(e.path), "old " + e.path);
        }
        M().WriteFile(kInstall + "PelmoraUpdaterList.txt", ListText(entries));
    }
    // Normal mode on the installation, as discovery leaves it.
    void NormalMode() {
        Click(Form().ManualUpdate);
        Form().ExeName.SetText("Pelmora.exe");
        Form().PelmoraPath.SetText(kInstall);
        Form().UpdateSoftwareButton.SetEnabled(true);
    }
    void RunUpdate() { Click(Form().UpdateSoftwareButton); }
    std::optional<std::string> At(const std::string& path) { return M().FileContent(path); }
    bool Launched() const { return !platform::memory::TheMachine().launches.empty(); }
    std::vector<std::string> Fetched() {
        std::vector<std::string> out;
        for (const auto& r : M().requests) {
            std::string path = r.substr(0, r.find('?'));
            if (path != kBase + "filelist.txt") {
                out.push_back(path.substr(kBase.size()));
            }
        }
        return out;
    }
    void ExpectControlsEnabled(bool enabled) {
        EXPECT_EQ(Form().UpdateSoftwareButton.Enabled(), enabled);
        EXPECT_EQ(Form().CheckPathButton.Enabled(), enabled);
        EXPECT_EQ(Form().ForceUpdate.Enabled(), enabled);
    }

    const std::vector<Entry> kOld = {{"Pelmora.exe", "1"},     {"bin/core.dll", "1"},
                                     {"bin/ui.dll", "1"},      {"data/a.dat", "1"},
                                     {"data/deep/b.dat", "1"}, {"AppLaunch.exe", "1"}};
};

TEST_F(UpdateRun, StartUpFetchesTheReleaseIntoTheDesktopFolderAndStartsTheLauncher) {
    Serve({{"AppLaunch.exe", "1"}, {"bin/core.dll", "1"}, {"data/deep/b.dat", "2"}});
    TFORM_MAIN& form = Form();
    platform::RunMessageLoop(form.Window);
    const std::string target = kDesktop + "Tarnell Temp Files\\";
    EXPECT_EQ(At(target + "AppLaunch.exe"), "new AppLaunch.exe");
    EXPECT_EQ(At(target + "bin\\core.dll"), "new bin/core.dll");
    EXPECT_EQ(At(target + "data\\deep\\b.dat"), "new data/deep/b.dat");
    EXPECT_FALSE(M().IsFile(target + "PelmoraUpdaterList.txt")) << "the list copy is removed";
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
    EXPECT_FALSE(M().IsFolder(target + "UpdateBackup")) << "nothing is backed up";
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(M().launches.size(), 1u);
    EXPECT_EQ(M().launches[0].commandLine, "\"" + target + "AppLaunch.exe\"");
    EXPECT_TRUE(M().minimised);
    EXPECT_TRUE(M().terminated);
    EXPECT_FALSE(form.AutoTimer.Enabled());
}

TEST_F(UpdateRun, ManualModeSkipsFilesAlreadyInTheFolder) {
    const std::string target = kDesktop + "Tarnell Temp Files\\";
    M().WriteFile(target + "bin\\core.dll", "kept");
    Serve({{"AppLaunch.exe", "1"}, {"bin/core.dll", "2"}});
    RunUpdate();
    EXPECT_EQ(Fetched(), std::vector<std::string>{"AppLaunch.exe"});
    EXPECT_EQ(At(target + "bin\\core.dll"), "kept");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(M().terminated);
}

TEST_F(UpdateRun, NormalModeWithNothingChanged) {
    Install(kOld);
    Serve(kOld);
    M().WriteFile(kMarker, "marker");
    NormalMode();
    RunUpdate();
    EXPECT_TRUE(Fetched().empty());
    EXPECT_EQ(Boxes(), std::vector<Box>{kNoUpdate});
    EXPECT_TRUE(M().IsFolder(kRunBackup + "bin"));
    EXPECT_TRUE(M().IsFolder(kRunBackup + "data\\deep"));
    EXPECT_EQ(At(kRunBackup + "PelmorEmpty.aaa"), "marker");
    EXPECT_FALSE(M().IsFile(kMarker));
    EXPECT_EQ(M().FilesBelow(kRunBackup), std::vector<std::string>{"PelmorEmpty.aaa"});
    EXPECT_TRUE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
    ASSERT_EQ(M().launches.size(), 1u);
    EXPECT_EQ(M().launches[0].program, kInstall + "AppLaunch.exe");
    EXPECT_TRUE(M().terminated);
}

TEST_F(UpdateRun, ThreeReplacedOneOfThemTheProductExecutable) {
    Install(kOld);
    auto release = kOld;
    release[0].stamp = "2";
    release[2].stamp = "2";
    release[4].stamp = "2";
    Serve(release);
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Fetched(),
              (std::vector<std::string>{"Pelmora.exe", "bin/ui.dll", "data/deep/b.dat"}));
    EXPECT_EQ(Boxes(), (std::vector<Box>{Count(3), kProductUpdated}));
    EXPECT_EQ(At(kInstall + "Pelmora.exe"), "new Pelmora.exe");
    EXPECT_EQ(At(kInstall + "bin\\ui.dll"), "new bin/ui.dll");
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "old bin/core.dll");
    EXPECT_EQ(At(kRunBackup + "Pelmora.exe"), "old Pelmora.exe");
    EXPECT_EQ(At(kRunBackup + "bin\\ui.dll"), "old bin/ui.dll");
    EXPECT_EQ(At(kRunBackup + "data\\deep\\b.dat"), "old data/deep/b.dat");
    EXPECT_EQ(M().FilesBelow(kRunBackup).size(), 3u);
    EXPECT_EQ(At(kInstall + "PelmoraUpdaterList.txt"), ListText(release));
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
    EXPECT_TRUE(M().terminated);
}

TEST_F(UpdateRun, OneFileReplaced) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    Serve(release);
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{Count(1)});
}

TEST_F(UpdateRun, ForceUpdateReplacesEveryRow) {
    Install(kOld);
    Serve(kOld);
    NormalMode();
    Form().ForceUpdate.SetChecked(true);
    RunUpdate();
    EXPECT_EQ(Fetched().size(), kOld.size());
    EXPECT_EQ(Boxes(), (std::vector<Box>{Count(6), kProductUpdated}));
    EXPECT_EQ(M().FilesBelow(kRunBackup).size(), kOld.size());
}

TEST_F(UpdateRun, RowInsertedMidListShiftsTheLaterRows) {
    Install(kOld);
    auto release = kOld;
    // Rows pair by position: the new row meets bin/ui.dll's local stamp "1" and is not
    // fetched; the rows after it meet other stamps; the last one meets none at all.
    release.insert(release.begin() + 2, Entry{"bin/new.dll", "1"});
    release[3].stamp = "x";
    release[4].stamp = "x";
    release[5].stamp = "x";
    Serve(release);
    M().WriteFile(kInstall + "bin\\new.dll", "installed by hand");
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Fetched(), (std::vector<std::string>{"bin/ui.dll", "data/a.dat", "data/deep/b.dat",
                                                   "AppLaunch.exe"}));
    EXPECT_EQ(Boxes(), std::vector<Box>{Count(4)});
}

TEST_F(UpdateRun, FirstTargetFolderFailsWhileTheMarkerExists) {
    Install(kOld);
    auto release = kOld;
    release.insert(release.begin(), Entry{"newdir/x.dll", "1"});
    Serve(release);
    M().WriteFile(kMarker, "marker");
    NormalMode();
    M().failOps.insert("CreateFolder");
    RunUpdate();
    EXPECT_EQ(Boxes(), (std::vector<Box>{FolderBox(kInstall + "newdir"), kMarkerFailed}));
    EXPECT_EQ(At(kMarker), "marker");
    ExpectControlsEnabled(true);
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"))
        << "the new list must not claim files that were not fetched";
    EXPECT_FALSE(Launched());
}

TEST_F(UpdateRun, FolderFailureLaterInTheListAfterReplacedFiles) {
    Install(kOld);
    auto release = kOld;
    release[0].stamp = "2";
    release.insert(release.begin() + 1, Entry{"newdir/x.dll", "1"});
    Serve(release);
    NormalMode();
    M().failWhen = [](const std::string& op, const std::string& detail) {
        return op == "CreateFolder" && detail == kInstall + "newdir";
    };
    RunUpdate();
    EXPECT_EQ(Boxes(), (std::vector<Box>{FolderBox(kInstall + "newdir"), kUpdateManually}));
    EXPECT_EQ(At(kInstall + "Pelmora.exe"), "new Pelmora.exe");
    EXPECT_EQ(At(kRunBackup + "Pelmora.exe"), "old Pelmora.exe");
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
    EXPECT_TRUE(Launched());
    EXPECT_TRUE(M().terminated);
}

TEST_F(UpdateRun, DownloadFailureStopsAtOnceAndForgetsTheNewList) {
    Install(kOld);
    auto release = kOld;
    release[0].stamp = "2";
    release[2].stamp = "2";
    Serve(release);
    M().http[kBase + "bin/ui.dll"].status = 404;
    M().WriteFile(kMarker, "marker");
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{Download("ui.dll")});
    EXPECT_EQ(At(kInstall + "Pelmora.exe"), "new Pelmora.exe");
    EXPECT_EQ(At(kInstall + "bin\\ui.dll"), "old bin/ui.dll");
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$")) << "no error page is kept";
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
    EXPECT_EQ(At(kMarker), "marker");
    ExpectControlsEnabled(true);
    EXPECT_FALSE(Launched());
    EXPECT_FALSE(M().minimised);
}

TEST_F(UpdateRun, PreviousVersionThatCannotBeBackedUpStaysInPlace) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    Serve(release);
    M().HoldFile(kInstall + "bin\\core.dll");
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(),
              (std::vector<Box>{{"Could not move files to the backup location.", "core.dll", 0},
                                kUpdateManually}));
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "old bin/core.dll");
    EXPECT_EQ(At("C:\\Quorvel\\temp1234.$$$"), "new bin/core.dll");
    EXPECT_GE(M().pausedMs, 1800u) << "tried again for about two seconds";
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
    EXPECT_TRUE(Launched());
}

TEST_F(UpdateRun, NewVersionThatCannotBePutInPlaceLeavesThePreviousOneAtItsPath) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    release[2].stamp = "2";
    release[3].stamp = "2";
    Serve(release);
    NormalMode();
    int moves = 0;
    M().onMove = [&](const std::string& from, const std::string&) {
        if (from == "C:\\Quorvel\\temp1234.$$$" && ++moves >= 3) {
            M().HoldFile(from); // a virus scanner keeps the third download
        }
    };
    RunUpdate();
    EXPECT_EQ(Boxes(),
              (std::vector<Box>{{"Could not move downloaded file.", "a.dat", 0}, kUpdateManually}));
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "new bin/core.dll");
    EXPECT_EQ(At(kInstall + "bin\\ui.dll"), "new bin/ui.dll");
    EXPECT_EQ(At(kInstall + "data\\a.dat"), "old data/a.dat") << "the previous version is back";
    EXPECT_FALSE(M().IsFile(kRunBackup + "data\\a.dat"));
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
    EXPECT_TRUE(Launched());
}

TEST_F(UpdateRun, TargetFolderThatIsTheUpdatersOwnFolderReportsARename) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    Serve(release);
    M().ownExecutablePath = kInstall + "bin\\Quorvel.exe";
    M().WriteFile(kInstall + "bin\\Quorvel.exe", "MZ");
    M().failWhen = [](const std::string& op, const std::string& detail) {
        return op == "MoveFile" && detail.find("temp1234") != std::string::npos;
    };
    NormalMode();
    RunUpdate();
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes()[0], (Box{"Could not rename downloaded file.", "core.dll", 0}));
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "old bin/core.dll");
}

TEST_F(UpdateRun, MarkerThatCannotBeMovedAfterACompleteLoop) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    Serve(release);
    M().WriteFile(kMarker, "marker");
    M().failWhen = [](const std::string& op, const std::string& detail) {
        return op == "MoveFile" && detail.find("PelmorEmpty") != std::string::npos;
    };
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{kMarkerFailed});
    EXPECT_EQ(At(kMarker), "marker");
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "new bin/core.dll");
    EXPECT_EQ(At(kInstall + "PelmoraUpdaterList.txt"), ListText(release)) << "every file is new";
    ExpectControlsEnabled(true);
    EXPECT_FALSE(Launched());
}

TEST_F(UpdateRun, FileHeldForAMomentIsMovedOnceReleased) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    Serve(release);
    M().HoldFile(kInstall + "bin\\core.dll");
    int tries = 0;
    M().onMove = [&](const std::string& from, const std::string&) {
        if (from == kInstall + "bin\\core.dll" && ++tries == 3) {
            M().HoldFile(from, false);
        }
    };
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{Count(1)});
    EXPECT_EQ(At(kRunBackup + "bin\\core.dll"), "old bin/core.dll");
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "new bin/core.dll");
    EXPECT_EQ(M().pumps, 1 + 2) << "no messages are handled while waiting";
}

TEST_F(UpdateRun, ModeClickDuringADownloadChangesTheModeAndFolderForTheRestOfTheRun) {
    Install(kOld);
    auto release = kOld;
    release[0].stamp = "2";
    release[3].stamp = "2";
    Serve(release);
    NormalMode();
    // Pump 1 is SetControlsEnabled; pump 2 comes before the first download.
    M().AtPump(2, [&] { Click(Form().ManualUpdate); });
    RunUpdate();
    const std::string desktopTarget = kDesktop + "Pelmora Updater Files\\";
    EXPECT_EQ(At(kInstall + "Pelmora.exe"), "new Pelmora.exe") << "the row already under way";
    EXPECT_EQ(At(desktopTarget + "data\\a.dat"), "new data/a.dat");
    EXPECT_EQ(At(kInstall + "data\\a.dat"), "old data/a.dat");
    EXPECT_TRUE(Boxes().empty()) << "a manual-mode run reports no success";
    ASSERT_EQ(M().launches.size(), 0u) << "no launcher in the desktop folder";
    EXPECT_TRUE(M().minimised);
}

TEST_F(UpdateRun, MissingLauncherLeavesTheWindowMinimisedWithoutAMessage) {
    Serve({{"bin/core.dll", "1"}});
    RunUpdate();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(M().minimised);
    EXPECT_FALSE(M().terminated);
    EXPECT_FALSE(Form().UpdateSoftwareButton.Enabled());
}

TEST_F(UpdateRun, LauncherIsStartedByItsQuotedPathNotALookAlike) {
    Serve({{"AppLaunch.exe", "1"}});
    M().WriteFile("C:\\Users\\op\\Desktop\\Tarnell.exe", "decoy");
    RunUpdate();
    ASSERT_EQ(M().launches.size(), 1u);
    EXPECT_EQ(M().launches[0].program, kDesktop + "Tarnell Temp Files\\AppLaunch.exe");
}

class UpdateRunHostileName : public UpdateRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(UpdateRunHostileName, CouldLeaveTheFolderSoIsRefusedBeforeAnyDownload) {
    const char* name = GetParam();
    Install(kOld);
    auto release = kOld;
    release.insert(release.begin() + 1, Entry{name, "9"});
    Serve(release);
    NormalMode();
    RunUpdate();
    ASSERT_EQ(Boxes().size(), 2u) << name;
    EXPECT_EQ(Boxes()[0].text.substr(0, std::string(name).size()), name);
    EXPECT_EQ(Boxes()[0].caption, "Update Error");
    EXPECT_EQ(Boxes()[1], kUpdateManually);
    EXPECT_TRUE(Fetched().empty()) << name;
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "old bin/core.dll");
}

INSTANTIATE_TEST_SUITE_P(FileNames, UpdateRunHostileName,
                         ::testing::Values("bin/..", "bin/.", "bin/a:b", "bin/x\x01.dll", ".."));

TEST_F(UpdateRun, RunStampFollowsTheRegionalFormats) {
    struct Case {
        const char* shortDate;
        const char* timeFormat;
        const char* am;
        platform::LocalDateTime now;
        const char* stamp;
    };
    const Case cases[] = {
        {"d/MM/yyyy", "h:mm:ss tt", "AM", {2026, 12, 7, 9, 41, 1}, "7-12-2026-9-41-01-AM"},
        {"d/MM/yyyy", "h:mm:ss tt", "AM", {2026, 12, 7, 21, 5, 9}, "7-12-2026-9-05-09-PM"},
        {"d/MM/yyyy", "h:mm:ss tt", "AM", {2026, 12, 7, 0, 0, 0}, "7-12-2026-12-00-00-AM"},
        {"dd.MM.yyyy", "HH:mm:ss", "AM", {2026, 3, 4, 7, 8, 9}, "04.03.2026-07-08-09"},
        {"M/d/yy", "H.mm.ss", "AM", {2026, 3, 4, 17, 8, 9}, "3-4-26-17.08.09"},
        {"yyyy-MM-dd", "tt hh:mm:ss", "AM", {2026, 3, 4, 13, 8, 9}, "2026-03-04-PM-01-08-09"},
        {"dd'de'MM", "H:mm:ss", "AM", {2026, 3, 4, 1, 2, 3}, "04de03-1-02-03"},
        // a month name stays a name; an empty designator keeps its blank, as Windows writes it
        {"dd-MMM-yy", "h:mm:ss tt", "", {2026, 12, 7, 9, 41, 1}, "07-Dec-26-9-41-01-"},
        {"dddd d MMMM yyyy",
         "HH:mm:ss",
         "AM",
         {2026, 12, 7, 9, 41, 1},
         "Monday-7-December-2026-09-41-01"},
    };
    for (const auto& c : cases) {
        M().regional.shortDate = c.shortDate;
        M().regional.timeFormat = c.timeFormat;
        M().regional.amDesignator = c.am;
        M().localTime = c.now;
        EXPECT_EQ(MakeRunStamp(), c.stamp) << c.shortDate << " " << c.timeFormat;
    }
}

TEST_F(UpdateRun, DocumentsRootByOperatingSystemVersion) {
    M().SetEnv("ALLUSERSPROFILE", "C:\\Documents and Settings\\All Users");
    M().osMajorVersion = 5;
    EXPECT_EQ(DocumentsRoot(), "C:\\Documents and Settings\\All Users\\");
    M().osMajorVersion = 6;
    EXPECT_EQ(DocumentsRoot(), "C:\\Users\\Public\\");
    M().failOps.insert("GetVersionEx"); // reads as version 0
    EXPECT_EQ(DocumentsRoot(), "C:\\Documents and Settings\\All Users\\");
    M().failOps.clear();
    M().UnsetEnv("PUBLIC");
    EXPECT_EQ(DocumentsRoot(), "\\");
}

TEST_F(UpdateRun, FailedListDownloadEndsTheRunWithControlsAsTheyWere) {
    NormalMode();
    M().http.clear();
    RunUpdate();
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "Download Error");
    EXPECT_TRUE(Form().UpdateSoftwareButton.Enabled());
    EXPECT_FALSE(M().minimised);
}

// --- a full disk, a second updater, a home folder at a drive root

class FullDisk : public UpdateRun {
public:
    // The updater runs from D:, so every move into the installation on C: is a copy, and C:
    // has room for only `spare` more bytes.
    void UpdaterOnAnotherDrive() {
        M().AddDrive('D');
        M().MakeFolders("D:\\Quorvel");
        M().ownExecutablePath = "D:\\Quorvel\\Quorvel.exe";
    }
    void LeaveRoomOnC(std::uint64_t spare) {
        M().LimitDrive('C', M().tree.FindDrive('C')->UsedBytes() + spare);
    }
    void ExpectNoStagedFile() {
        for (const auto& f : M().FilesBelow(kInstall)) {
            EXPECT_EQ(f.find("temp1234.$$$"), std::string::npos) << f;
        }
    }
};

TEST_F(FullDisk, NoCutFileAtTheTargetAndThePreviousVersionIsBack) {
    UpdaterOnAnotherDrive();
    Install(kOld);
    auto release = kOld;
    release[2].stamp = "2";
    Serve(release);
    M().Serve(kBase + "bin/ui.dll", std::string(600016, 'n'));
    NormalMode();
    LeaveRoomOnC(167936);
    RunUpdate();
    EXPECT_EQ(At(kInstall + "bin\\ui.dll"), "old bin/ui.dll");
    ExpectNoStagedFile();
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"Could not move downloaded file.", "ui.dll", 0},
                                         kUpdateManually}));
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));

    // Space freed, the operator runs it again: every file is fetched and lands whole.
    M().LimitDrive('C', 1u << 30);
    form_.reset();
    M().Restart();
    M().localTime.minute += 1;
    NormalMode();
    RunUpdate();
    EXPECT_EQ(At(kInstall + "bin\\ui.dll"), std::string(600016, 'n'));
    EXPECT_EQ(Boxes(), (std::vector<Box>{Count(static_cast<int>(kOld.size())), kProductUpdated}));
    ExpectNoStagedFile();
}

TEST_F(FullDisk, ACutListIsNotKept) {
    UpdaterOnAnotherDrive();
    Install(kOld);
    auto release = kOld;
    release[0].stamp = "a much longer stamp than the one in place, so the list no longer fits";
    Serve(release);
    NormalMode();
    LeaveRoomOnC(16);
    RunUpdate();
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"Could not move file list. Please update manually.",
                                          "Update Error", 0}}));
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
    EXPECT_TRUE(Fetched().empty());
    EXPECT_EQ(At(kInstall + "Pelmora.exe"), "old Pelmora.exe");
}

TEST_F(UpdateRun, ASecondUpdaterChangesNothingAndSaysSo) {
    Serve(kOld);
    M().namedLocks["Quorvel.Updater.Pelmora"] = 1; // the first updater is still running
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"The updater is already running.\nPlease wait until it "
                                          "has finished. This copy has changed nothing and will "
                                          "now close.",
                                          "Update Error", 0}}));
    EXPECT_TRUE(M().requests.empty());
    EXPECT_EQ(FORM_MAIN, nullptr) << "no window was made";
    EXPECT_TRUE(M().FilesBelow(kDesktop).empty());
}

// The start-up fetch by where the home folder lies: at a drive root it still lands on the
// desktop; without a drive the folder cannot be made, and the box names it as the settings do.
TEST_F(UpdateRun, StartUpFetchByHomeFolder) {
    struct Case {
        const char* homeDrive; // nullptr: unset
        const char* homePath;
        const char* desktop;   // where the release lands, or nullptr when it cannot
        const char* folderBox; // the box's folder when it cannot
    };
    const Case cases[] = {
        {"H:", "\\", "H:\\Desktop\\Tarnell Temp Files\\", nullptr},
        {nullptr, "\\Users\\op", nullptr, "\\Users\\op\\Desktop\\Tarnell Temp Files"},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        M().AddDrive('H');
        M().MakeFolders("H:\\Desktop");
        c.homeDrive ? M().SetEnv("HOMEDRIVE", c.homeDrive) : M().UnsetEnv("HOMEDRIVE");
        M().SetEnv("HOMEPATH", c.homePath);
        Serve({{"AppLaunch.exe", "1"}, {"bin/core.dll", "1"}});
        RunUpdate();
        if (c.desktop == nullptr) {
            EXPECT_EQ(Boxes(), std::vector<Box>{FolderBox(c.folderBox)});
            EXPECT_TRUE(M().launches.empty());
            continue;
        }
        const std::string desktop = c.desktop;
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(At(desktop + "bin\\core.dll"), "new bin/core.dll");
        ASSERT_EQ(M().launches.size(), 1u);
        EXPECT_EQ(M().launches[0].program, desktop + "AppLaunch.exe");
    }
}

// A run that ends before it touched a file (the list held by a scanner cannot be replaced)
// leaves no record: the next run trusts the list in place and fetches only what changed.
TEST_F(UpdateRun, ARunThatChangedNothingLeavesNoRecord) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    Serve(release);
    NormalMode();
    M().HoldFile(kInstall + "PelmoraUpdaterList.txt");
    RunUpdate();
    const Box moveFailed{"Could not move file list. Please update manually.", "Update Error", 0};
    EXPECT_EQ(Boxes(), std::vector<Box>{moveFailed});
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterRun.txt"));
    M().HoldFile(kInstall + "PelmoraUpdaterList.txt", false);
    M().boxes.clear();
    M().requests.clear();
    RunUpdate();
    EXPECT_EQ(Fetched(), std::vector<std::string>{"bin/core.dll"});
    EXPECT_EQ(Boxes(), std::vector<Box>{Count(1)});
}

TEST_F(UpdateRun, AnUnchangedRowPassesWhateverItsName) {
    auto release = kOld;
    release.push_back(Entry{"sub\\b.dll", "1"}); // a backslash: never installed by a fetch
    Install(release);
    Serve(release);
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{kNoUpdate});
    EXPECT_TRUE(Fetched().empty());
    EXPECT_EQ(At(kInstall + "sub\\b.dll"), "old sub\\b.dll");
}

TEST_F(UpdateRun, TheNewListHeldForAMomentIsMovedOnceReleased) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    Serve(release);
    const std::string downloaded = "C:\\Quorvel\\PelmoraUpdaterList.txt";
    int tries = 0;
    M().onMove = [&](const std::string& from, const std::string&) {
        if (from == downloaded) {
            M().HoldFile(from, ++tries < 3); // a scanner looks at the fresh file, then lets go
        }
    };
    NormalMode();
    RunUpdate();
    EXPECT_EQ(tries, 3);
    EXPECT_EQ(Boxes(), std::vector<Box>{Count(1)});
    EXPECT_EQ(At(kInstall + "PelmoraUpdaterList.txt"), ListText(release));
}

TEST_F(UpdateRun, TheMarkerIsLeftAloneInManualMode) {
    M().WriteFile(kMarker, "marker");
    Serve({{"AppLaunch.exe", "1"}, {"bin/core.dll", "1"}});
    RunUpdate();
    EXPECT_EQ(At(kMarker), "marker");
    EXPECT_TRUE(M().launches.size() == 1u);
}

TEST_F(UpdateRun, AFailedDownloadIsNotTakenFromAStaleTemporaryFile) {
    Install(kOld);
    auto release = kOld;
    release[1].stamp = "2";
    Serve(release);
    M().http[kBase + "bin/core.dll"].status = 500;
    // Another program holds a file left under the temporary name, so it cannot go first.
    M().WriteFile("C:\\Quorvel\\temp1234.$$$", "stale");
    M().HoldFile("C:\\Quorvel\\temp1234.$$$");
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{Download("core.dll")});
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "old bin/core.dll");
}

TEST_F(UpdateRun, ModeClickFromManualToNormalDuringADownload) {
    Serve({{"bin/core.dll", "1"}, {"bin/ui.dll", "1"}, {"AppLaunch.exe", "1"}});
    // Pump 1 is SetControlsEnabled; pump 2 comes before the first download.
    M().AtPump(2, [&] { Click(Form().ManualUpdate); });
    RunUpdate();
    const std::string desktopTarget = kDesktop + "Tarnell Temp Files\\";
    EXPECT_EQ(At(desktopTarget + "bin\\core.dll"), "new bin/core.dll") << "the row under way";
    EXPECT_FALSE(M().IsFile(desktopTarget + "bin\\ui.dll"));
    EXPECT_EQ(Form().PelmoraPath.Text(), "") << "normal mode has no target until one is found";
    ASSERT_FALSE(Boxes().empty());
    for (const auto& box : Boxes()) {
        EXPECT_FALSE(box.caption.empty()) << "no success is reported: " << box.text;
    }
    EXPECT_EQ(Boxes().back().text, "Please update the files manually.\nMake sure you are logged "
                                   "in as Administrator.\nContact Tarnell for help.");
    EXPECT_FALSE(M().terminated);
}

TEST_F(UpdateRun, MissingLauncherInNormalModeLeavesEveryButtonLocked) {
    auto installed = kOld;
    installed.pop_back(); // no AppLaunch.exe
    Install(installed);
    Serve(installed);
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{kNoUpdate});
    EXPECT_TRUE(M().minimised);
    EXPECT_FALSE(M().terminated);
    ExpectControlsEnabled(false);
}

TEST_F(UpdateRun, AnErrorInTheStartUpRunReachesTheExceptionDisplayAndTheWindowStays) {
    Serve({{"AppLaunch.exe", "1"}});
    M().onMove = [](const std::string&, const std::string&) {
        throw std::runtime_error("The device is not ready");
    };
    Form();
    platform::memory::AdvanceClock(100);
    ASSERT_EQ(M().boxes.size(), 1u);
    EXPECT_EQ(M().boxes[0].text, "The device is not ready.");
    EXPECT_TRUE(M().boxes[0].error);
    EXPECT_FALSE(Form().AutoTimer.Enabled()) << "the timer runs once";
    EXPECT_FALSE(M().terminated);
    EXPECT_EQ(FORM_MAIN, &Form());
    M().onMove = nullptr;
    RunUpdate();
    EXPECT_EQ(M().launches.size(), 1u) << "the window is still there to be used";
}

} // namespace
