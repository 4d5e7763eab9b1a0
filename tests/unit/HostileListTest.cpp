// Update lists written to do harm: nothing is created, written or moved outside the target
// folder and its run backup folder, and each refusal is told.
#include "TestMachine.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/RateWatch.h"

namespace {

using namespace testing_support;

// A control character as the boxes show it.
std::string Visible(std::string text) {
    std::string out;
    for (unsigned char c : text) {
        static const char digits[] = "0123456789abcdef";
        out += c < 32 ? std::string("\\x") + digits[c >> 4] + digits[c & 15]
                      : std::string(1, static_cast<char>(c));
    }
    return out;
}

// No box shows a control character but its line breaks.
void ExpectVisibleBoxes() {
    for (const auto& box : Boxes()) {
        for (unsigned char c : box.text + box.caption) {
            EXPECT_TRUE(c >= 32 || c == '\n') << "box shows byte " << int(c) << ": " << box.text;
        }
    }
}

class HostileList : public UpdateMachine {
public:
    // A normal-mode run of a list with an unchanged entry, the given line and a new entry;
    // the line meets another stamp in the local list.
    void RunWith(const std::string& line) {
        M().AddDrive('D');
        M().MakeFolders("D:\\Data");
        M().MakeFolders("C:\\Windows");
        Install(
            {{"good.dll", "1"}, {"AppLaunch.exe", "0"}, {"documents folder/manual page.txt", "1"}});
        Serve({{"good.dll", "1"}, {"last.dll", "2"}});
        M().Serve(kBase + "filelist.txt", "good.dll\t1\r\n" + line + "\r\nlast.dll\t2\r\n");
        Form().AutoTimer.SetEnabled(false);
        NormalMode();
        before_ = Everything();
        RunUpdate();
    }

    void ExpectNothingOutside(const std::string& what) {
        for (const auto& path : Everything()) {
            bool inside = path.rfind(kInstall, 0) == 0 || path.rfind("C:\\Quorvel\\", 0) == 0;
            bool existed = std::find(before_.begin(), before_.end(), path) != before_.end();
            EXPECT_TRUE(inside || existed) << what << " reached " << path;
        }
    }

    std::vector<std::string> before_;
};

// Refused whole, by its name or its folder, before anything is made or fetched: one box, no
// folder left behind, and no list that claims anything.
class HostileEntry : public HostileList, public ::testing::WithParamInterface<std::string> {};

TEST_P(HostileEntry, ThatReachesOutsideIsRefusedAndTold) {
    const std::string& line = GetParam();
    RunWith(line);
    ExpectNothingOutside(line);
    ASSERT_EQ(Boxes().size(), 1u) << line;
    const std::string text = Boxes()[0].text;
    EXPECT_EQ(Boxes()[0].caption, "Update Error") << text;
    EXPECT_TRUE(text.rfind(Visible(line.substr(0, line.find('\t'))), 0) == 0 ||
                text.rfind(kInstall, 0) == 0)
        << "the box names the entry or its folder: " << text;
    ExpectVisibleBoxes();
    EXPECT_TRUE(Fetched().empty());
    std::vector<std::string> left = before_;
    left.erase(std::find(left.begin(), left.end(), kInstall + "PelmoraUpdaterList.txt"));
    EXPECT_EQ(Everything(), left) << "nothing made, only the list gone: " << line;
    EXPECT_EQ(At(kInstall + "good.dll"), "good.dll 1");
}

INSTANTIATE_TEST_SUITE_P(ReachingOutside, HostileEntry,
                         ::testing::Values("../x.dll\t1", "../../Windows/x.dll\t1", "./x.dll\t1",
                                           "a/../../x.dll\t1", "/../x.dll\t1", "C:/x.dll\t1",
                                           "D:/Data/x.dll\t1", "C:x.dll\t1", "//server/share/x\t1",
                                           "\\\\server\\share\\x\t1", "a/b:c\t1", "a:b/c.dll\t1",
                                           "bin/x\x01y.dll\t1", "bin/\x1f/y.dll\t1", "..\t1",
                                           ".\t1", "bin/..\t1", "bin/.\t1", "... /x.dll\t1",
                                           "x.dll::$DATA\t1", "bin\\..\\..\\x.dll\t1"));

// Lists this updater cannot apply at all, refused whole before anything is fetched: one box,
// the installation, its list and its record as they were but for the list fetched anew.
struct Unappliable {
    const char* name;
    std::string line;
    std::string box; // how the box begins
};

// Cases are named, and printed on a failure, by what they are: some hold megabytes.
void PrintTo(const Unappliable& c, std::ostream* os) {
    *os << c.name;
}

template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.name;
    for (char& ch : name) {
        ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

class UnappliableList : public HostileList, public ::testing::WithParamInterface<Unappliable> {};

TEST_P(UnappliableList, IsRefusedWholeBeforeAnythingIsFetched) {
    const Unappliable& c = GetParam();
    RunWith(c.line);
    ExpectNothingOutside(c.name);
    ASSERT_EQ(Boxes().size(), 1u) << c.name;
    EXPECT_EQ(Boxes()[0].text.substr(0, c.box.size()), c.box) << c.name;
    EXPECT_EQ(Boxes()[0].caption, "Update Error") << c.name;
    EXPECT_LT(Boxes()[0].text.size(), 300u) << "a long path is shortened for the box";
    ExpectVisibleBoxes();
    EXPECT_TRUE(Fetched().empty()) << c.name;
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt")) << c.name;
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterRun.txt")) << c.name;
    EXPECT_EQ(At(kInstall + "good.dll"), "good.dll 1") << c.name;
    EXPECT_TRUE(M().process.launches.empty()) << c.name;
}

std::string Levels(std::size_t bytes) {
    std::string path;
    while (path.size() < bytes) {
        path += "a/";
    }
    return path + "x.dll\t1";
}

const std::string kCannotInstall = "\nThe update list names this file in a way that cannot";
const std::string kTwice = "\nThe update list names this file more than once.";
const std::string kNoFolder = "\nCould not create this folder.";

INSTANTIATE_TEST_SUITE_P(
    Whole, UnappliableList,
    ::testing::Values(
        Unappliable{"run record", "PelmoraUpdaterRun.txt\t1",
                    "PelmoraUpdaterRun.txt" + kCannotInstall},
        Unappliable{"record in another case", "pelmoraupdaterrun.TXT\t9",
                    "pelmoraupdaterrun.TXT" + kCannotInstall},
        Unappliable{"local list below", "bin/PelmoraUpdaterList.txt\t1",
                    "bin/PelmoraUpdaterList.txt" + kCannotInstall},
        Unappliable{"kept signature", "PelmoraUpdaterRelease.sig\t1",
                    "PelmoraUpdaterRelease.sig" + kCannotInstall},
        Unappliable{"temporary name deep", "a/b/TEMP1234.$$$\t1",
                    "a/b/TEMP1234.$$$" + kCannotInstall},
        Unappliable{"backup folder", "updatebackup/1-1-2026/x.dll\t1",
                    "updatebackup/1-1-2026/x.dll" + kCannotInstall},
        Unappliable{"backup folder after a slash", "/UpdateBackup/1-1-2026/x.dll\t1",
                    "/UpdateBackup/1-1-2026/x.dll" + kCannotInstall},
        Unappliable{"record with a dot Windows drops", "PelmoraUpdaterRun.txt.\t1",
                    "PelmoraUpdaterRun.txt." + kCannotInstall},
        Unappliable{"list with a blank Windows drops", "bin/PelmoraUpdaterList.txt \t1",
                    "bin/PelmoraUpdaterList.txt " + kCannotInstall},
        Unappliable{"same path, other stamp", "good.dll\t2", "good.dll" + kTwice},
        Unappliable{"same path, other case", "GOOD.DLL\t1", "GOOD.DLL" + kTwice},
        Unappliable{"same path, leading slash", "/good.dll\t1", "/good.dll" + kTwice},
        Unappliable{"same path, a dot Windows drops", "good.dll.\t1", "good.dll." + kTwice},
        Unappliable{"short alias of the run record", "PELMOR~2.TXT\t1",
                    "PELMOR~2.TXT" + kCannotInstall},
        Unappliable{"short alias of the local list, at the top", "pelmor~1.txt\t1",
                    "pelmor~1.txt" + kCannotInstall},
        Unappliable{"long and short name of one file", "AppLaunch.exe\t5\r\nAPPLAU~1.EXE\t5",
                    "APPLAU~1.EXE" + kTwice},
        Unappliable{"one file in a folder by long and short names",
                    "documents folder/manual page.txt\t1\r\nDOCUME~1/MANUAL~1.TXT\t1",
                    "DOCUME~1/MANUAL~1.TXT" + kTwice},
        Unappliable{"same path, an accented letter in another case",
                    "caf\xe9.dll\t1\r\nCAF\xc9.DLL\t1", "CAF\xc9.DLL" + kTwice},
        Unappliable{"target past MAX_PATH", std::string(230, 'n') + ".dll\t1", kInstall + "nnn"},
        Unappliable{"five megabytes of levels", Levels(5 << 20), kInstall + "a\\a"},
        Unappliable{"a NUL", std::string("nul\0byte.dll\t1", 14),
                    "The update list from the server is damaged: entry 2 holds a NUL byte"}),
    CaseName<Unappliable>);

// A filtering proxy's text page answered for the list, at start-up and in normal mode:
// refused whole as damaged before any folder of it is made or anything fetched, and the run
// installs nothing (start-up has made only its own download folder).
TEST_F(HostileList, APageInPlaceOfTheListInstallsNothing) {
    const std::string page = "Access Denied\r\nYour request was blocked by the proxy.\r\nPlease "
                             "see the helpdesk page at intranet\\\r\nReference 4711\r\n";
    for (const bool startUp : {true, false}) {
        SCOPED_TRACE(startUp ? "start-up" : "normal mode");
        TearDown();
        SetUp();
        Install({{"good.dll", "1"}, {"AppLaunch.exe", "0"}});
        M().Serve(kBase + "filelist.txt", page);
        Form().AutoTimer.SetEnabled(false);
        if (!startUp) {
            NormalMode();
        }
        before_ = Everything();
        RunUpdate();
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].text.rfind("The update list from the server is damaged: none of its "
                                        "lines holds a TAB",
                                        0),
                  0u)
            << Boxes()[0].text;
        EXPECT_TRUE(Fetched().empty());
        for (const auto& path : Everything()) {
            const bool made = std::find(before_.begin(), before_.end(), path) == before_.end();
            EXPECT_FALSE(made && path + "\\" != kTarget) << "made " << path;
        }
        EXPECT_EQ(At(kInstall + "good.dll"), "good.dll 1");
        EXPECT_TRUE(M().process.launches.empty());
    }
}

// In code page 932 "\x83\x7c" is one character (a katakana), although its second byte is '|':
// names are walked by character, so a home folder and a list path holding it are fetched and
// installed; in code page 1252 the same path names a '|' and is refused.
TEST_F(HostileList, DoubleByteNamesAreWalkedByCharacter) {
    const std::string po = "\x83\x7c";
    for (const unsigned codePage : {932u, 1252u}) {
        SCOPED_TRACE(codePage);
        TearDown();
        SetUp();
        M().world.codePage = codePage;
        const std::string desktop = "C:\\Users\\" + po + "\\Desktop\\";
        M().MakeFolders(desktop);
        M().SetEnv("HOMEPATH", "\\Users\\" + po);
        Serve({{"good.dll", "1"}, {po + "/" + po + ".dll", "1"}});
        Form();
        platform::memory::AdvanceClock(100); // the start-up fetch
        const std::string fetched = desktop + "Tarnell Temp Files\\" + po + "\\" + po + ".dll";
        EXPECT_EQ(At(fetched).has_value(), codePage == 932);
        EXPECT_EQ(Boxes().empty(), codePage == 932);
    }
}

// Records a run could never have written: nothing they name is moved, the operator is told,
// and what a run of this folder did record is still put back.
class DamagedRecord : public HostileList, public ::testing::WithParamInterface<std::string> {};

TEST_P(DamagedRecord, MovesNothingOutsideAndSaysSo) {
    const std::string thesis = "C:\\Users\\op\\Documents\\thesis.txt";
    M().WriteFile(thesis, "thesis");
    M().WriteFile(kInstall + "UpdateBackup\\1-1-2026\\bin\\core.dll", "previous core");
    M().WriteFile(kInstall + "PelmoraUpdaterRun.txt",
                  GetParam() + "\r\n" + kInstall + "UpdateBackup\\1-1-2026\\bin\\core.dll\t" +
                      kInstall + "bin\\core.dll\r\n");
    RunWith("bin/core.dll\t1");
    ExpectNothingOutside(GetParam());
    EXPECT_EQ(At(thesis), "thesis") << GetParam();
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes()[0].text,
              kInstall + "\nThe record of an unfinished update in this folder is damaged: "
                         "some of its lines name files outside the installation and its "
                         "backup folder.\nThose lines were ignored; nothing was moved for "
                         "them.")
        << GetParam();
    EXPECT_TRUE(At(kInstall + "bin\\core.dll").has_value()) << "the recorded move was made";
}

INSTANTIATE_TEST_SUITE_P(
    Outside, DamagedRecord,
    ::testing::Values(
        // a line of the record planted by a list: the operator's file into the installation
        "C:\\Users\\op\\Documents\\thesis.txt\t" + kInstall + "thesis.txt",
        // and a program into the Startup folder
        kInstall + "UpdateBackup\\1-1-2026\\x.exe\tC:\\Users\\op\\Start Menu\\x.exe",
        kInstall + "UpdateBackup\\..\\..\\x.dll\t" + kInstall + "x.dll",
        kInstall + "UpdateBackup\\1-1-2026\\x.dll\t" + kInstall + "..\\..\\x.dll",
        kInstall + "UpdateBackup\\1-1-2026\\x.dll\tD:\\Data\\x.dll",
        kInstall + "bin\\ui.dll\t" + kInstall + "bin\\core.dll",
        kInstall + "UpdateBackup\\x.dll\t" + kInstall + "UpdateBackup\\y.dll", "no tab at all"));

// Answers written to fill the disk or hold the window: each fails as a download, leaves no
// file behind, and the drive as it was.
struct HostileAnswer {
    const char* name;
    std::function<void(platform::memory::HttpResponse&)> shape;
};

void PrintTo(const HostileAnswer& c, std::ostream* os) {
    *os << c.name;
}

class HostileAnswers : public HostileList, public ::testing::WithParamInterface<HostileAnswer> {};

TEST_P(HostileAnswers, FailAsADownloadAndLeaveTheDiskAsItWas) {
    const HostileAnswer& c = GetParam();
    M().LimitDrive('C', 64u << 20);
    M().Serve(kBase + "last.dll", "last.dll 2");
    Install({{"good.dll", "1"}, {"AppLaunch.exe", "0"}});
    M().Serve(kBase + "filelist.txt", "good.dll\t1\r\nlast.dll\t2\r\n");
    c.shape(M().world.http[kBase + "last.dll"]);
    NormalMode();
    RunUpdate();
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"Could not download file. Check network connections or "
                                          "your PC's firewall.",
                                          "last.dll", 0}}))
        << c.name;
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$")) << c.name;
    EXPECT_FALSE(M().IsFile(kInstall + "last.dll")) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Endless, HostileAnswers,
    ::testing::Values(HostileAnswer{"announced above the free space",
                                    [](auto& r) { r.announcedLength = 20ull << 30; }},
                      HostileAnswer{"body past its length", [](auto& r) { r.announcedLength = 3; }},
                      HostileAnswer{"headers trickled past the rate window",
                                    [](auto& r) { r.headerMs = platform::kRateWindowMs; }},
                      HostileAnswer{"endless headers", [](auto& r) { r.headerBytes = 10u << 20; }}),
    CaseName<HostileAnswer>);

// A run ended by force with a huge download under the temporary name: the next run removes
// it before it fetches the list, so the disk it filled does not fail every run for ever.
TEST_F(HostileList, ALeftoverTemporaryFileNeverBlocksLaterRuns) {
    M().LimitDrive('C', 40u << 20);
    M().WriteFile("C:\\Quorvel\\temp1234.$$$", std::string(30u << 20, 'x'));
    RunWith(""); // a blank line: the list of good.dll and last.dll
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
    EXPECT_EQ(At(kInstall + "last.dll"), "last.dll 2");
}

class AwkwardEntry : public HostileList, public ::testing::WithParamInterface<std::string> {};

// Either the run went through, with the entry inside the installation, or it failed and
// said so; silence with a failed run is not allowed.
TEST_P(AwkwardEntry, StaysInsideAndNeverFailsSilently) {
    RunWith(GetParam());
    const std::string what = GetParam().substr(0, 40);
    ExpectNothingOutside(what);
    bool failed = false;
    for (const auto& box : Boxes()) {
        failed = failed || !box.caption.empty(); // success messages have no caption
    }
    EXPECT_NE(failed, At(kInstall + "last.dll") == "last.dll 2") << what;
    EXPECT_TRUE(At(kInstall + "good.dll").has_value()) << what;
    EXPECT_EQ(M().OpenFileHandles(), 0);
}

std::vector<std::string> AwkwardEntries() {
    std::string fortyLevels;
    for (int i = 0; i < 40; ++i) {
        fortyLevels += "l" + std::to_string(i) + "/";
    }
    return {
        std::string(300, 'n') + ".dll\t1",
        fortyLevels + "deep.dll\t1",
        "\t1",
        "bin/\t1",
        std::string(10 << 20, 'z'),
        std::string("nul\0byte.dll\t1", 14),
        "tab\tin\tstamp",
        "sp ace/x y.dll\t1",
    };
}

// Names by index: a parameter may be ten megabytes long.
INSTANTIATE_TEST_SUITE_P(Awkward, AwkwardEntry, ::testing::ValuesIn(AwkwardEntries()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return std::to_string(info.index);
                         });

} // namespace
