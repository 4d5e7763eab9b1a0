// Update lists written to do harm: nothing is created, written or moved outside the target
// folder and its run backup folder, and each refusal is told.
#include "TestMachine.h"
#include "platform/Files.h"

namespace {

using namespace testing_support;

const std::string kInstall = "C:\\Tarnell\\Pelmora 4.1.2\\";

class HostileList : public testing_support::MachineTest {
public:
    // A normal-mode run of a list with a good entry, the hostile one, and another good one.
    void RunWith(const std::string& hostileLine) {
        M().AddDrive('D');
        M().MakeFolders("D:\\Data");
        M().MakeFolders("C:\\Windows");
        M().WriteFile(kInstall + "good.dll", "old");
        M().WriteFile(kInstall + "AppLaunch.exe", "MZ");
        std::string list = "good.dll\t2\r\n" + hostileLine + "\r\nlast.dll\t2\r\n";
        M().Serve(kBase + "filelist.txt", list);
        M().Serve(kBase + "good.dll", "new");
        M().Serve(kBase + "last.dll", "new");
        TFORM_MAIN& form = Form();
        form.AutoTimer.SetEnabled(false);
        Click(form.ManualUpdate);
        form.PelmoraPath.SetText(kInstall);
        before_ = Everything();
        form.UpdateSoftwareButtonClick();
    }

    void ExpectNothingOutside(const std::string& what) {
        for (const auto& path : Everything()) {
            bool inside = path.rfind(kInstall, 0) == 0 || path.rfind("C:\\Quorvel\\", 0) == 0 ||
                          (kInstall.rfind(path + "\\", 0) == 0);
            bool existed = std::find(before_.begin(), before_.end(), path) != before_.end();
            EXPECT_TRUE(inside || existed) << what << " reached " << path;
        }
    }

    // Either the run went through, with the entry inside the installation, or it failed and
    // said so; silence with a failed run is not allowed.
    void ExpectToldOrDone(const std::string& what) {
        bool failed = false;
        for (const auto& box : M().boxes) {
            failed = failed || !box.caption.empty(); // success messages have no caption
        }
        bool done = M().FileContent(kInstall + "last.dll") == "new";
        EXPECT_TRUE(failed != done) << what << ": failed " << failed << ", done " << done;
        EXPECT_TRUE(M().FileContent(kInstall + "good.dll").has_value()) << what;
    }

    std::vector<std::string> before_;
};

class HostileEntry : public HostileList, public ::testing::WithParamInterface<std::string> {};

TEST_P(HostileEntry, ThatReachesOutsideIsRefusedAndTold) {
    const std::string& entry = GetParam();
    RunWith(entry);
    ExpectNothingOutside(entry);
    ExpectToldOrDone(entry);
    bool told = M().boxes.size() >= 2 && M().boxes.back().caption == "Error";
    EXPECT_TRUE(told) << entry << " was not refused";
}

INSTANTIATE_TEST_SUITE_P(ReachingOutside, HostileEntry,
                         ::testing::Values("../x.dll\t1", "../../Windows/x.dll\t1", "./x.dll\t1",
                                           "a/../../x.dll\t1", "/../x.dll\t1", "C:/x.dll\t1",
                                           "D:/Data/x.dll\t1", "C:x.dll\t1", "//server/share/x\t1",
                                           "\\\\server\\share\\x\t1", "a/b:c\t1", "a:b/c.dll\t1",
                                           "bin/x\x01y.dll\t1", "bin/\x1f/y.dll\t1", "..\t1",
                                           ".\t1", "bin/..\t1", "... /x.dll\t1", "x.dll::$DATA\t1",
                                           "bin\\..\\..\\x.dll\t1"));

class AwkwardEntry : public HostileList, public ::testing::WithParamInterface<std::string> {};

TEST_P(AwkwardEntry, StaysInsideAndNeverFailsSilently) {
    RunWith(GetParam());
    std::string what = GetParam().substr(0, 40);
    ExpectNothingOutside(what);
    ExpectToldOrDone(what);
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
