#include "TestMachine.h"
#include "app/Settings.h"
#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "release/Hex.h"
#include "run/Run.h"
#include "transfer/Transfer.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>

namespace {

using namespace testing_support;

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
const Box kListNotMoved{"Could not move file list. Please update manually.", "Update Error", 0};

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

// An installed Pelmora 4.1.2 and a release on the update server.
class UpdateRun : public UpdateMachine {
public:
    const std::vector<Entry> kOld = {{"Pelmora.exe", "1"},     {"bin/core.dll", "1"},
                                     {"bin/ui.dll", "1"},      {"data/a.dat", "1"},
                                     {"data/deep/b.dat", "1"}, {"AppLaunch.exe", "1"}};
    // The installed rows, with the given ones changed.
    std::vector<Entry> Release(const std::vector<int>& changed) const {
        auto release = kOld;
        for (int row : changed) {
            release[static_cast<std::size_t>(row)].stamp = "2";
        }
        return release;
    }
    std::string Old(int row) const { return Body(kOld[static_cast<std::size_t>(row)]); }
    std::string New(int row) const { return Body(Release({row})[static_cast<std::size_t>(row)]); }
    bool Launched() { return !M().process.launches.empty(); }
    void ExpectControlsEnabled(bool enabled) {
        EXPECT_EQ(Form().UpdateSoftwareButton.Enabled(), enabled);
        EXPECT_EQ(Form().CheckPathButton.Enabled(), enabled);
        EXPECT_EQ(Form().ForceUpdate.Enabled(), enabled);
    }
};

TEST_F(UpdateRun, StartUpFetchesTheReleaseIntoTheDesktopFolderAndStartsTheLauncher) {
    const std::vector<Entry> release = {
        {"AppLaunch.exe", "1"}, {"bin/core.dll", "1"}, {"data/deep/b.dat", "2"}};
    Serve(release);
    M().WriteFile(kMarker, "marker");
    TFORM_MAIN& form = Form();
    platform::RunMessageLoop(form.Window);
    for (const auto& e : release) {
        EXPECT_EQ(At(kTarget + Windows(e.path)), Body(e));
    }
    EXPECT_FALSE(M().IsFile(kTarget + "PelmoraUpdaterList.txt")) << "the list copy is removed";
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
    EXPECT_FALSE(M().IsFolder(kTarget + "UpdateBackup")) << "nothing is backed up";
    EXPECT_EQ(At(kMarker), "marker") << "the marker belongs to normal mode";
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(M().process.launches.size(), 1u);
    EXPECT_EQ(M().process.launches[0].commandLine, "\"" + kTarget + "AppLaunch.exe\"")
        << "quoted, so that no C:\\Users\\op\\Desktop\\Tarnell.exe is started instead";
    EXPECT_TRUE(M().process.minimised);
    EXPECT_TRUE(M().process.terminated);
    EXPECT_FALSE(form.AutoTimer.Enabled());
}

TEST_F(UpdateRun, ManualModeSkipsFilesAlreadyInTheFolder) {
    M().WriteFile(kTarget + "bin\\core.dll", "kept");
    Serve({{"AppLaunch.exe", "1"}, {"bin/core.dll", "2"}});
    RunUpdate();
    EXPECT_EQ(Fetched(), std::vector<std::string>{"AppLaunch.exe"});
    EXPECT_EQ(At(kTarget + "bin\\core.dll"), "kept");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(M().process.terminated);
}

// Each replaced file's previous version goes to the run's backup folder, with the marker;
// every row's backup folder is made, and the new list takes the old one's place.
TEST_F(UpdateRun, NormalModeReplacesExactlyTheChangedRows) {
    struct Case {
        const char* name;
        std::vector<int> changed;
        bool force;
        std::vector<Box> boxes;
    };
    const Case cases[] = {
        {"nothing changed", {}, false, {kNoUpdate}},
        {"one file", {1}, false, {Count(1)}},
        {"three, the product's own among them", {0, 2, 4}, false, {Count(3), kProductUpdated}},
        {"forced", {}, true, {Count(6), kProductUpdated}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Install(kOld);
        const auto release = Release(c.changed);
        Serve(release);
        M().WriteFile(kMarker, "marker");
        NormalMode();
        Form().ForceUpdate.SetChecked(c.force);
        RunUpdate();
        EXPECT_EQ(Boxes(), c.boxes);
        std::vector<std::string> fetched;
        std::vector<std::string> backedUp = {"PelmorEmpty.aaa"};
        for (std::size_t i = 0; i < kOld.size(); ++i) {
            const std::string path = Windows(kOld[i].path);
            EXPECT_EQ(At(kInstall + path), Body(release[i]));
            if (c.force || release[i].stamp != kOld[i].stamp) {
                fetched.push_back(kOld[i].path);
                backedUp.push_back(path);
                EXPECT_EQ(At(kRunBackup + path), Body(kOld[i]));
            }
        }
        EXPECT_EQ(Fetched(), fetched);
        auto inBackup = M().FilesBelow(kRunBackup);
        std::sort(inBackup.begin(), inBackup.end());
        std::sort(backedUp.begin(), backedUp.end());
        EXPECT_EQ(inBackup, backedUp);
        EXPECT_TRUE(M().IsFolder(kRunBackup + "data\\deep"));
        EXPECT_FALSE(M().IsFile(kMarker));
        EXPECT_EQ(At(kInstall + "PelmoraUpdaterList.txt"), ListText(release));
        EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
        ASSERT_EQ(M().process.launches.size(), 1u);
        EXPECT_EQ(M().process.launches[0].program, kInstall + "AppLaunch.exe");
        EXPECT_TRUE(M().process.terminated);
    }
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

// One failure in a run, and what the operator and the disk are left with. A file expected
// as nullopt is absent.
TEST_F(UpdateRun, SingleFailures) {
    using Files = std::vector<std::pair<std::string, std::optional<std::string>>>;
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::vector<Box> boxes;
        Files files;
        bool launched;
        unsigned pausedAtLeastMs;
    };
    const std::string temp = "C:\\Quorvel\\temp1234.$$$";
    int moves = 0;
    const Case cases[] = {
        {"the first target folder cannot be made while the marker exists",
         [&] {
             auto release = kOld;
             release.insert(release.begin(), Entry{"newdir/x.dll", "1"});
             Serve(release);
             M().process.failOps.insert(Op::CreateFolder);
         },
         {FolderBox(kInstall + "newdir"), kMarkerFailed},
         {{kMarker, "marker"}},
         false,
         0},
        {"a folder later in the list cannot be made, after replaced files",
         [&] {
             auto release = Release({0});
             release.insert(release.begin() + 1, Entry{"newdir/x.dll", "1"});
             Serve(release);
             M().process.failWhen = [](Op op, const std::string& detail) {
                 return op == Op::CreateFolder && detail == kInstall + "newdir";
             };
         },
         {FolderBox(kInstall + "newdir"), kUpdateManually},
         {{kInstall + "Pelmora.exe", New(0)}, {kRunBackup + "Pelmora.exe", Old(0)}},
         true,
         0},
        {"a download fails: the run stops at once",
         [&] {
             Serve(Release({0, 2}));
             M().world.http[kBase + "bin/ui.dll"].status = 404;
         },
         {Download("ui.dll")},
         {{kInstall + "Pelmora.exe", New(0)},
          {kInstall + "bin\\ui.dll", Old(2)},
          {temp, std::nullopt}, // no error page is kept
          {kMarker, "marker"}},
         false,
         0},
        {"the previous version cannot be backed up: it stays in place",
         [&] {
             Serve(Release({1}));
             M().HoldFile(kInstall + "bin\\core.dll");
         },
         {{"Could not move files to the backup location.", "core.dll", 0}, kUpdateManually},
         {{kInstall + "bin\\core.dll", Old(1)}, {temp, New(1)}},
         true,
         1800}, // tried again for about two seconds
        {"the new version cannot be put in place: the previous one is back at its path",
         [&] {
             Serve(Release({1, 2, 3}));
             M().process.onMove = [&](const std::string& from, const std::string&) {
                 if (from == temp && ++moves >= 3) {
                     M().HoldFile(from); // a virus scanner keeps the third download
                 }
             };
         },
         {{"Could not move downloaded file.", "a.dat", 0}, kUpdateManually},
         {{kInstall + "bin\\core.dll", New(1)},
          {kInstall + "bin\\ui.dll", New(2)},
          {kInstall + "data\\a.dat", Old(3)},
          {kRunBackup + "data\\a.dat", std::nullopt}},
         true,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        moves = 0;
        Install(kOld);
        M().WriteFile(kMarker, "marker");
        NormalMode();
        c.arrange();
        RunUpdate();
        EXPECT_EQ(Boxes(), c.boxes);
        for (const auto& [path, content] : c.files) {
            if (content) {
                EXPECT_EQ(At(path), *content) << path;
            } else {
                EXPECT_FALSE(M().IsFile(path)) << path;
            }
        }
        EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"))
            << "the new list must not claim files that were not fetched";
        EXPECT_EQ(Launched(), c.launched);
        EXPECT_EQ(M().process.minimised, c.launched);
        ExpectControlsEnabled(!c.launched);
        EXPECT_GE(M().process.pausedMs, c.pausedAtLeastMs);
    }
}

TEST_F(UpdateRun, TargetFolderThatIsTheUpdatersOwnFolderReportsARename) {
    Install(kOld);
    Serve(Release({1}));
    M().world.ownExecutablePath = kInstall + "bin\\Quorvel.exe";
    M().WriteFile(kInstall + "bin\\Quorvel.exe", "MZ");
    M().process.failWhen = [](Op op, const std::string& detail) {
        return op == Op::MoveFileEx && detail.find("temp1234") != std::string::npos;
    };
    NormalMode();
    RunUpdate();
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes()[0], (Box{"Could not rename downloaded file.", "core.dll", 0}));
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), Old(1));
}

TEST_F(UpdateRun, MarkerThatCannotBeMovedAfterACompleteLoop) {
    Install(kOld);
    Serve(Release({1}));
    M().WriteFile(kMarker, "marker");
    M().process.failWhen = [](Op op, const std::string& detail) {
        return op == Op::MoveFile && detail.find("PelmorEmpty") != std::string::npos;
    };
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{kMarkerFailed});
    EXPECT_EQ(At(kMarker), "marker");
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), New(1));
    EXPECT_EQ(At(kInstall + "PelmoraUpdaterList.txt"), ListText(Release({1})))
        << "every file is new";
    ExpectControlsEnabled(true);
    EXPECT_FALSE(Launched());
}

// A virus scanner looks at a file for a moment: the previous version on its way to the
// backup, the fresh list on its way into place, or that list once there. The move or the
// read waits and is then done.
TEST_F(UpdateRun, AFileHeldForAMomentIsMovedOnceReleased) {
    const std::string kept[] = {kInstall + "bin\\core.dll", "C:\\Quorvel\\PelmoraUpdaterList.txt",
                                kInstall + "PelmoraUpdaterList.txt"};
    for (const std::string& held : kept) {
        SCOPED_TRACE(held);
        TearDown();
        SetUp();
        Install(kOld);
        Serve(Release({1}));
        int tries = 0;
        bool arrived = false;
        M().process.onMove = [&](const std::string& from, const std::string& to) {
            if (from == held) {
                M().HoldFile(from, ++tries < 3);
            }
            arrived = arrived || to == held;
        };
        M().process.failWhen = [&](Op op, const std::string& detail) {
            return arrived && op == Op::OpenFile && detail == held && tries < 3 && ++tries < 3;
        };
        NormalMode();
        RunUpdate();
        EXPECT_EQ(tries, 3);
        EXPECT_EQ(Boxes(), std::vector<Box>{Count(1)});
        EXPECT_EQ(At(kRunBackup + "bin\\core.dll"), Old(1));
        EXPECT_EQ(At(kInstall + "bin\\core.dll"), New(1));
        EXPECT_EQ(At(kInstall + "PelmoraUpdaterList.txt"), ListText(Release({1})));
        EXPECT_EQ(M().process.pumps, 1 + 2) << "no messages are handled while waiting";
    }
}

TEST_F(UpdateRun, ModeClickDuringADownloadChangesTheModeAndFolderForTheRestOfTheRun) {
    Install(kOld);
    Serve(Release({0, 3}));
    NormalMode();
    // Pump 1 is SetControlsEnabled; pump 2 comes before the first download.
    M().AtPump(2, [&] { Click(Form().ManualUpdate); });
    RunUpdate();
    const std::string desktopTarget = kDesktop + "Pelmora Updater Files\\";
    EXPECT_EQ(At(kInstall + "Pelmora.exe"), New(0)) << "the row already under way";
    EXPECT_EQ(At(desktopTarget + "data\\a.dat"), New(3));
    EXPECT_EQ(At(kInstall + "data\\a.dat"), Old(3));
    EXPECT_TRUE(Boxes().empty()) << "a manual-mode run reports no success";
    ASSERT_EQ(M().process.launches.size(), 0u) << "no launcher in the desktop folder";
    EXPECT_TRUE(M().process.minimised);
}

TEST_F(UpdateRun, ModeClickFromManualToNormalDuringADownload) {
    Serve({{"bin/core.dll", "1"}, {"bin/ui.dll", "1"}, {"AppLaunch.exe", "1"}});
    // Pump 1 is SetControlsEnabled; pump 2 comes before the first download.
    M().AtPump(2, [&] { Click(Form().ManualUpdate); });
    RunUpdate();
    EXPECT_EQ(At(kTarget + "bin\\core.dll"), "bin/core.dll 1") << "the row under way";
    EXPECT_FALSE(M().IsFile(kTarget + "bin\\ui.dll"));
    EXPECT_EQ(Form().PelmoraPath.Text(), "") << "normal mode has no target until one is found";
    ASSERT_FALSE(Boxes().empty());
    for (const auto& box : Boxes()) {
        EXPECT_FALSE(box.caption.empty()) << "no success is reported: " << box.text;
    }
    EXPECT_EQ(Boxes().back(), kUpdateManually);
    EXPECT_FALSE(M().process.terminated);
}

// Without a launcher to start, the window is left minimised with every button locked.
TEST_F(UpdateRun, WithoutALauncherTheWindowStaysMinimisedAndLocked) {
    for (bool manual : {true, false}) {
        SCOPED_TRACE(manual ? "manual mode" : "normal mode");
        TearDown();
        SetUp();
        auto release = kOld;
        release.pop_back(); // no AppLaunch.exe
        Install(release);
        Serve(release);
        if (!manual) {
            NormalMode();
        }
        RunUpdate();
        EXPECT_EQ(Boxes(), manual ? std::vector<Box>{} : std::vector<Box>{kNoUpdate});
        EXPECT_TRUE(M().process.minimised);
        EXPECT_FALSE(M().process.terminated);
        ExpectControlsEnabled(false);
    }
}

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
        // other separators stay; the regional pictures themselves are the clock contract's
        {"M/d/yy", "H.mm.ss", "AM", {2026, 3, 4, 17, 8, 9}, "3-4-26-17.08.09"},
        {"yyyy-MM-dd", "tt hh:mm:ss", "AM", {2026, 3, 4, 13, 8, 9}, "2026-03-04-PM-01-08-09"},
        // a month name stays a name; an empty designator keeps its blank, as Windows writes it
        {"dd-MMM-yy", "h:mm:ss tt", "", {2026, 12, 7, 9, 41, 1}, "07-Dec-26-9-41-01-"},
        {"dddd d MMMM yyyy",
         "HH:mm:ss",
         "AM",
         {2026, 12, 7, 9, 41, 1},
         "Monday-7-December-2026-09-41-01"},
    };
    for (const auto& c : cases) {
        M().world.regional.shortDate = c.shortDate;
        M().world.regional.timeFormat = c.timeFormat;
        M().world.regional.amDesignator = c.am;
        M().world.localTime = c.now;
        EXPECT_EQ(MakeRunStamp(), c.stamp) << c.shortDate << " " << c.timeFormat;
    }
}

TEST_F(UpdateRun, DocumentsRootByOperatingSystemVersion) {
    M().SetEnv("ALLUSERSPROFILE", "C:\\Documents and Settings\\All Users");
    M().world.osMajorVersion = 5;
    EXPECT_EQ(DocumentsRoot(), "C:\\Documents and Settings\\All Users\\");
    M().world.osMajorVersion = 6;
    EXPECT_EQ(DocumentsRoot(), "C:\\Users\\Public\\");
    M().process.failOps.insert(Op::GetVersionEx); // reads as version 0
    EXPECT_EQ(DocumentsRoot(), "C:\\Documents and Settings\\All Users\\");
    M().process.failOps.clear();
    M().UnsetEnv("PUBLIC");
    EXPECT_EQ(DocumentsRoot(), "\\");
}

TEST_F(UpdateRun, FailedListDownloadEndsTheRunWithControlsAsTheyWere) {
    NormalMode();
    M().world.http.clear();
    RunUpdate();
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "Download Error");
    EXPECT_TRUE(Form().UpdateSoftwareButton.Enabled());
    EXPECT_FALSE(M().process.minimised);
}

// --- a full disk, a second updater, a home folder at a drive root

class FullDisk : public UpdateRun {
public:
    // The updater runs from D:, so every move into the installation on C: is a copy, and C:
    // has room for only `spare` more bytes.
    void UpdaterOnAnotherDrive() {
        M().AddDrive('D');
        M().MakeFolders("D:\\Quorvel");
        M().world.ownExecutablePath = "D:\\Quorvel\\Quorvel.exe";
    }
    void LeaveRoomOnC(std::uint64_t spare) {
        M().LimitDrive('C', M().world.tree.FindDrive('C')->UsedBytes() + spare);
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
    Serve(Release({2}));
    M().Serve(kBase + "bin/ui.dll", std::string(600016, 'n'));
    NormalMode();
    LeaveRoomOnC(167936);
    RunUpdate();
    EXPECT_EQ(At(kInstall + "bin\\ui.dll"), Old(2));
    ExpectNoStagedFile();
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"Could not move downloaded file.", "ui.dll", 0},
                                         kUpdateManually}));
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));

    // Space freed, the operator runs it again: every file is fetched and lands whole.
    M().LimitDrive('C', 1u << 30);
    form_.reset();
    M().Restart();
    M().world.localTime.minute += 1;
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
    EXPECT_EQ(Boxes(), std::vector<Box>{kListNotMoved});
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
    EXPECT_TRUE(Fetched().empty());
    EXPECT_EQ(At(kInstall + "Pelmora.exe"), Old(0));
}

TEST_F(UpdateRun, ASecondUpdaterChangesNothingAndSaysSo) {
    Serve(kOld);
    platform::InstanceLock first("Quorvel.Updater.Pelmora"); // the first updater still runs
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"The updater is already running.\nPlease wait until it "
                                          "has finished. This copy has changed nothing and will "
                                          "now close.",
                                          "Update Error", 0}}));
    EXPECT_TRUE(M().world.requests.empty());
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
            EXPECT_TRUE(M().process.launches.empty());
            continue;
        }
        const std::string desktop = c.desktop;
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(At(desktop + "bin\\core.dll"), "bin/core.dll 1");
        ASSERT_EQ(M().process.launches.size(), 1u);
        EXPECT_EQ(M().process.launches[0].program, desktop + "AppLaunch.exe");
    }
}

// A run that ends before it touched a file (the list held by a scanner cannot be replaced)
// leaves no record: the next run trusts the list in place and fetches only what changed.
TEST_F(UpdateRun, ARunThatChangedNothingLeavesNoRecord) {
    Install(kOld);
    Serve(Release({1}));
    NormalMode();
    M().HoldFile(kInstall + "PelmoraUpdaterList.txt");
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{kListNotMoved});
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterRun.txt"));
    M().HoldFile(kInstall + "PelmoraUpdaterList.txt", false);
    M().process.boxes.clear();
    M().world.requests.clear();
    RunUpdate();
    EXPECT_EQ(Fetched(), std::vector<std::string>{"bin/core.dll"});
    EXPECT_EQ(Boxes(), std::vector<Box>{Count(1)});
}

// A record of an unfinished run that cannot be read (another program has it open) still
// names a previous version away from its place: a failed run does not remove it unread.
TEST_F(UpdateRun, ARecordThatCannotBeReadIsNotRemoved) {
    const std::string record = kInstall + "PelmoraUpdaterRun.txt";
    Install(kOld);
    M().world.tree.Find(kInstall + "bin")->Remove("core.dll");
    M().WriteFile(kInstall + "UpdateBackup\\1-1-2026\\bin\\core.dll", Old(1));
    M().WriteFile(record, kInstall + "UpdateBackup\\1-1-2026\\bin\\core.dll\t" + kInstall +
                              "bin\\core.dll\r\n");
    Serve(Release({0}));
    M().world.http[kBase + "Pelmora.exe"].status = 500;
    M().process.failWhen = [&](Op op, const std::string& detail) {
        return op == Op::OpenFile && detail == record;
    };
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{Download("Pelmora.exe")});
    EXPECT_TRUE(M().IsFile(record));
}

// Two unfinished runs backed up the same file: the version it had last goes back.
TEST_F(UpdateRun, TheLastPreviousVersionOfAFileGoesBack) {
    Install(kOld);
    M().world.tree.Find(kInstall + "bin")->Remove("core.dll");
    std::string record;
    for (const char* stamp : {"1-1-2026", "2-1-2026"}) {
        const std::string backup = kInstall + "UpdateBackup\\" + stamp + "\\bin\\core.dll";
        M().WriteFile(backup, stamp);
        record += backup + "\t" + kInstall + "bin\\core.dll\r\n";
    }
    M().WriteFile(kInstall + "PelmoraUpdaterRun.txt", record);
    Serve(Release({0}));
    M().world.http[kBase + "Pelmora.exe"].status = 500;
    NormalMode();
    RunUpdate();
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), "2-1-2026");
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
    EXPECT_EQ(At(kInstall + "sub\\b.dll"), "sub\\b.dll 1");
}

// A transfer cut short keeps its part; the next run asks only for the rest when the server's
// file is still the one the part came from, and otherwise lands the server's file whole.
TEST_F(UpdateRun, ACutTransferResumesOnlyWhereItIsTheSameFile) {
    const std::string body(1000, 'n');
    const std::string changed(1000, 'c');
    const struct {
        const char* name;
        std::string etag;         // the validator of the first answer
        std::string etagLater;    // of the second ("" : none, so no part is kept)
        bool ranges;              // the server answers a Range
        std::string contentRange; // a 206 with this Content-Range instead of the right one
        std::string lands;        // what the second run installs ("" : it fails)
        std::uint64_t sentLater;  // body bytes the second run is sent
    } cases[] = {
        {"the same file", "\"v1\"", "\"v1\"", true, "", body, 600},
        {"changed on the server", "\"v1\"", "\"v2\"", true, "", changed, 1000},
        {"no validator", "", "", true, "", body, 1000},
        {"a weak validator", "W/\"v1\"", "W/\"v1\"", true, "", body, 1000},
        {"Range ignored", "\"v1\"", "\"v1\"", false, "", body, 1000},
        {"a Content-Range that does not fit", "\"v1\"", "\"v1\"", true, "bytes 401-999/1000", "",
         0},
        {"a total that is not the file's", "\"v1\"", "\"v1\"", true, "bytes 400-999/1001", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Install(kOld);
        Serve(Release({1}));
        auto& answer = M().world.http[kBase + "bin/core.dll"];
        answer.body = body;
        answer.etag = c.etag;
        answer.cutAfter = 400;
        NormalMode();
        RunUpdate();
        ASSERT_EQ(Boxes(), std::vector<Box>{Download("core.dll")});
        answer.cutAfter = std::string::npos;
        answer.bytesSent = 0;
        answer.etag = c.etagLater;
        answer.ranges = c.ranges;
        if (c.etagLater != c.etag) {
            answer.body = changed;
        }
        if (!c.contentRange.empty()) {
            answer.contentRange = c.contentRange;
        }
        M().process.boxes.clear();
        RunUpdate();
        EXPECT_EQ(answer.bytesSent, c.sentLater);
        EXPECT_EQ(At(kInstall + "bin\\core.dll"), c.lands.empty() ? Old(1) : c.lands);
        EXPECT_EQ(M().FilesBelow("C:\\Quorvel\\PelmoraUpdaterParts").empty(), true)
            << "a part outlived its file";
    }
}

// Files of rows ahead arrive in whatever order the network brings them: the run still takes
// each at its row's turn, with the same moves and messages; when a row's download fails, the
// files fetched for later rows are never installed and nothing of them is left.
TEST_F(UpdateRun, FilesFetchedAheadAreOnlyACache) {
    const struct {
        const char* name;
        bool reversed; // the later transfers arrive first
        int failing;   // the row whose download fails, -1 for none
    } cases[] = {
        {"in order", false, -1},
        {"last first", true, -1},
        {"row 2 fails", false, 2},
        {"row 2 fails, last first", true, 2},
    };
    std::vector<std::string> firstMoves;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Install(kOld);
        Serve(Release({0, 1, 2, 3, 4}));
        if (c.failing >= 0) {
            M().world.http[kBase + kOld[static_cast<std::size_t>(c.failing)].path].status = 500;
        }
        if (c.reversed) {
            M().process.arrivals = [](const std::vector<std::string>& urls) {
                std::vector<std::size_t> order;
                for (std::size_t i = urls.size(); i-- > 0;) {
                    order.push_back(i);
                }
                return order;
            };
        }
        NormalMode();
        RunUpdate();
        std::vector<std::string> moves;
        for (const auto& call : M().process.calls) {
            if ((call.op == Op::MoveFile || call.op == Op::MoveFileEx) &&
                call.detail.find(kInstall) != std::string::npos) {
                moves.push_back(call.detail);
            }
        }
        for (int row = 0; row < 5; ++row) {
            const bool replaced = c.failing < 0 || row < c.failing;
            EXPECT_EQ(At(kInstall + Windows(kOld[static_cast<std::size_t>(row)].path)),
                      replaced ? New(row) : Old(row));
        }
        if (c.failing < 0) {
            EXPECT_EQ(Boxes(), (std::vector<Box>{Count(5), kProductUpdated}));
            if (firstMoves.empty()) {
                firstMoves = moves;
            }
            EXPECT_EQ(moves, firstMoves) << "the moves depend on the order of arrival";
        } else {
            EXPECT_EQ(Boxes(), std::vector<Box>{Download("ui.dll")});
        }
        for (const auto& f : M().FilesBelow("C:\\Quorvel")) {
            EXPECT_EQ(f.find(".part"), std::string::npos) << "left beside the updater: " << f;
            EXPECT_NE(f, "temp1234.$$$");
        }
    }
}

// More files than the parts folder has slots: while those fetched ahead wait for their rows,
// the next row waits for a slot and is fetched ahead once one is free, never passed over to
// be fetched only at its turn. The labels show only for a file the run waits for: the first
// alone, as every later one is in when its turn comes. Never more than the limit are sent
// at once, though more are lined up.
TEST_F(UpdateRun, NoRowIsPassedOverWhileThePartsFolderIsFull) {
    std::vector<Entry> release;
    for (int i = 0; i < 40; ++i) {
        release.push_back({"f" + std::to_string(i) + ".dll", "1"});
    }
    Serve(release);
    Form().AutoTimer.SetEnabled(false);
    int labelled = 0;
    long mostSent = 0;
    for (int pump = 1; pump < 200; ++pump) {
        M().AtPump(pump, [&] {
            labelled += Form().DownloadLabel.Visible() ? 1 : 0;
            const auto& sent = M().process.transfers;
            mostSent = std::max<long>(mostSent, std::count_if(sent.begin(), sent.end(),
                                                              [](auto& t) { return !t.ended(); }));
        });
    }
    RunUpdate();
    EXPECT_EQ(Fetched().size(), release.size());
    EXPECT_EQ(labelled, settings::kTransfers > 1 ? 1 : 40);
    EXPECT_EQ(mostSent, settings::kTransfers);
}

// Where a stamp states the file's size and hash, as the release tool writes it, a file of
// another size or hash is refused with the download message and never installed; a stamp
// without them takes what comes.
TEST_F(UpdateRun, FilesAreHeldToTheSizeAndHashTheirStampStates) {
    const std::string good = "the release's core";
    const std::string hash = release::ToHex(*platform::Sha256Of(good));
    const std::string sized =
        "2026-12-01\tsha256=" + hash + "\tsize=" + std::to_string(good.size());
    const struct {
        std::string stamp;
        std::string served;
        bool installed;
    } cases[] = {
        {sized, good, true},
        {sized, "Access Denied\r\nYour request was blocked.\r\n", false},
        {sized, good.substr(1) + "!", false}, // the same size, another hash
        {"2026-12-01", "Access Denied\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.served);
        TearDown();
        SetUp();
        Install(kOld);
        auto release = kOld;
        release[1].stamp = c.stamp;
        Serve(release);
        M().Serve(kBase + "bin/core.dll", c.served);
        NormalMode();
        RunUpdate();
        EXPECT_EQ(At(kInstall + "bin\\core.dll"), c.installed ? c.served : Old(1));
        if (!c.installed) {
            EXPECT_EQ(Boxes(), std::vector<Box>{Download("core.dll")});
            EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
        }
    }
}

TEST_F(UpdateRun, AFailedDownloadIsNotTakenFromAStaleTemporaryFile) {
    Install(kOld);
    Serve(Release({1}));
    M().world.http[kBase + "bin/core.dll"].status = 500;
    // Another program holds a file left under the temporary name, so it cannot go first.
    M().WriteFile("C:\\Quorvel\\temp1234.$$$", "stale");
    M().HoldFile("C:\\Quorvel\\temp1234.$$$");
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), std::vector<Box>{Download("core.dll")});
    EXPECT_EQ(At(kInstall + "bin\\core.dll"), Old(1));
}

TEST_F(UpdateRun, AnErrorInTheStartUpRunReachesTheExceptionDisplayAndTheWindowStays) {
    Serve({{"AppLaunch.exe", "1"}});
    M().process.onMove = [](const std::string&, const std::string&) {
        throw std::runtime_error("The device is not ready");
    };
    Form();
    platform::memory::AdvanceClock(100);
    ASSERT_EQ(M().process.boxes.size(), 1u);
    EXPECT_EQ(M().process.boxes[0].text, "The device is not ready.");
    EXPECT_TRUE(M().process.boxes[0].error);
    EXPECT_FALSE(Form().AutoTimer.Enabled()) << "the timer runs once";
    EXPECT_FALSE(M().process.terminated);
    EXPECT_EQ(FORM_MAIN, &Form());
    M().process.onMove = nullptr;
    RunUpdate();
    EXPECT_EQ(M().process.launches.size(), 1u) << "the window is still there to be used";
}

} // namespace

namespace {

// The platform calls of one run for a small release, by kind: a change that adds calls to
// every row is seen here.
std::map<Op, int> CallsOf(const std::function<void()>& run) {
    TheMachine().process.calls.clear();
    run();
    std::map<Op, int> calls;
    for (const auto& call : TheMachine().process.calls) {
        ++calls[call.op];
    }
    return calls;
}

TEST_F(UpdateRun, FileWorkOfARunIsPinned) {
    Serve(kOld);
    Form().AutoTimer.SetEnabled(false);
    // Six files in three folders: fetched into the desktop folder at start-up, then a
    // normal-mode run over them with nothing changed.
    const auto fetch = CallsOf([&] { RunUpdate(); });
    TearDown();
    SetUp();
    Serve(kOld);
    Install(kOld);
    NormalMode();
    const auto unchanged = CallsOf([&] { RunUpdate(); });
    // Files fetched ahead go to parts first and are looked for there (one at a time: not).
    const bool ahead = settings::kTransfers > 1;
    const struct {
        Op op;
        int fetch;
        int unchanged;
    } pinned[] = {
        {Op::FileAttributes, ahead ? 50 : 40, 27},
        {Op::FileSize, 2, 2},
        {Op::CreateFolder, ahead ? 5 : 4, 5},
        {Op::MoveFile, ahead ? 6 : 1, 1},
        {Op::MoveFileEx, 6, 0},
        {Op::DeleteFile, 3, 3},
        {Op::AppendFile, 2, 2},
        {Op::OpenFile, 2, 3},
        {Op::ReadFile, 2, 3},
        {Op::StartTransfer, 7, 1},
        {Op::ListFolder, 6, 0},
    };
    for (const auto& p : pinned) {
        EXPECT_EQ(fetch.count(p.op) ? fetch.at(p.op) : 0, p.fetch) << OpName(p.op) << " fetching";
        EXPECT_EQ(unchanged.count(p.op) ? unchanged.at(p.op) : 0, p.unchanged)
            << OpName(p.op) << " with nothing changed";
    }
}

} // namespace
