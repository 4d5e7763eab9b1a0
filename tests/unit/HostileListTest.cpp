// Update lists written to do harm: nothing is created, written or moved outside the target
// folder and its run backup folder, and each refusal is told.
#include "TestMachine.h"
#include "platform/Files.h"

namespace {

using namespace testing_support;

class HostileList : public UpdateMachine {
public:
    // A normal-mode run of a list with an unchanged entry, the given line and a new entry;
    // the line meets another stamp in the local list.
    void RunWith(const std::string& line) {
        M().AddDrive('D');
        M().MakeFolders("D:\\Data");
        M().MakeFolders("C:\\Windows");
        Install({{"good.dll", "1"}, {"AppLaunch.exe", "0"}});
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

// Refused, by its name or its folder, before anything is fetched: the run ends as a failed
// one and no list claims anything.
class HostileEntry : public HostileList, public ::testing::WithParamInterface<std::string> {};

TEST_P(HostileEntry, ThatReachesOutsideIsRefusedAndTold) {
    const std::string& line = GetParam();
    RunWith(line);
    ExpectNothingOutside(line);
    ASSERT_EQ(Boxes().size(), 2u) << line;
    const std::string text = Boxes()[0].text;
    EXPECT_EQ(Boxes()[0].caption, "Update Error") << text;
    EXPECT_TRUE(text.rfind(line.substr(0, line.find('\t')), 0) == 0 || text.rfind(kInstall, 0) == 0)
        << "the box names the entry or its folder: " << text;
    EXPECT_EQ(Boxes()[1].caption, "Error") << "please update manually";
    EXPECT_TRUE(Fetched().empty());
    EXPECT_FALSE(M().IsFile(kInstall + "PelmoraUpdaterList.txt"));
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
