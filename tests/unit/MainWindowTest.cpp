#include "TestMachine.h"
#include "app/ExceptionDisplay.h"
#include "platform/GridCells.h"
#include "platform/memory/Machine.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace {

using namespace testing_support;

class MainWindow : public MachineTest {};

TEST_F(MainWindow, DesktopFolderFollowsHomeDriveAndHomePath) {
    struct Case {
        const char* drive;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"C:", "\\Users\\op", "C:\\Users\\op\\Desktop\\Tarnell Temp Files\\"},
        {nullptr, "\\Users\\op", "\\Users\\op\\Desktop\\Tarnell Temp Files\\"},
        {"D:", nullptr, "D:\\Desktop\\Tarnell Temp Files\\"},
        {nullptr, nullptr, "\\Desktop\\Tarnell Temp Files\\"},
    };
    for (const auto& c : cases) {
        TheMachine().UnsetEnv("HOMEDRIVE");
        TheMachine().UnsetEnv("HOMEPATH");
        if (c.drive) {
            TheMachine().SetEnv("homedrive", c.drive); // names match without regard to case
        }
        if (c.path) {
            TheMachine().SetEnv("HomePath", c.path);
        }
        TFORM_MAIN form;
        EXPECT_EQ(form.PelmoraPath.Text(), c.expected);
    }
}

// Known answers of state := state * 22695477 + 1 (mod 2^32), each draw bits 16 to 30 of the
// new state; the first draw after seeding is dropped. The window seeds it from the clock.
TEST_F(MainWindow, RandomGeneratorKnownSequencesAfterSeeding) {
    struct Case {
        std::uint32_t seed;
        std::uint32_t state;
        int draws[5];
    };
    const Case cases[] = {
        {0, 1, {346, 130, 10982, 1090, 11656}},
        {1000, 1220640521, {14062, 5795, 15161, 15600, 27360}},
        {4294967295u, 4272271820u, {561, 22046, 20874, 23292, 16195}},
        {123456789, 2900351834u, {30417, 18134, 20399, 5943, 11361}},
    };
    for (const auto& c : cases) {
        RandomGenerator r;
        r.Seed(c.seed);
        TheMachine().world.unixTime = c.seed;
        TFORM_MAIN form;
        EXPECT_EQ(r.State(), c.state) << c.seed;
        EXPECT_EQ(form.Random.State(), c.state) << c.seed;
        for (int expected : c.draws) {
            EXPECT_EQ(r.Draw(), expected) << c.seed;
            EXPECT_EQ(form.Random.Draw(), expected) << c.seed;
        }
    }
}

TEST_F(MainWindow, TheOneInstanceIsForgottenWhenItsWindowGoes) {
    auto first = std::make_unique<TFORM_MAIN>();
    EXPECT_EQ(FORM_MAIN, first.get());
    auto second = std::make_unique<TFORM_MAIN>();
    first.reset();
    EXPECT_EQ(FORM_MAIN, second.get()) << "an earlier window leaves the later one in place";
    second.reset();
    EXPECT_EQ(FORM_MAIN, nullptr);
}

TEST_F(MainWindow, ModeSwitchBothWays) {
    TFORM_MAIN& f = Form();
    Click(f.ManualUpdate); // cleared: normal mode
    EXPECT_FALSE(f.ManualUpdate.Checked());
    EXPECT_EQ(f.PelmoraPath.Text(), "");
    EXPECT_TRUE(f.CheckPathButton.Enabled());
    EXPECT_TRUE(f.ForceUpdate.Enabled());
    EXPECT_FALSE(f.UpdateSoftwareButton.Enabled());

    f.ForceUpdate.SetChecked(true);
    Click(f.ManualUpdate); // set again: manual mode, the other desktop folder
    EXPECT_TRUE(f.ManualUpdate.Checked());
    EXPECT_EQ(f.PelmoraPath.Text(), "C:\\Users\\op\\Desktop\\Pelmora Updater Files\\");
    EXPECT_FALSE(f.ForceUpdate.Checked());
    EXPECT_FALSE(f.ForceUpdate.Enabled());
    EXPECT_FALSE(f.CheckPathButton.Enabled());
    EXPECT_TRUE(f.UpdateSoftwareButton.Enabled());

    Click(f.ManualUpdate);
    EXPECT_FALSE(f.ForceUpdate.Checked()) << "clearing the mode leaves ForceUpdate as it was";
    f.ForceUpdate.SetChecked(true);
    f.ForceUpdate.SetEnabled(false);
    Click(f.ManualUpdate);
    Click(f.ManualUpdate);
    EXPECT_TRUE(f.ForceUpdate.Enabled());
}

TEST_F(MainWindow, SetControlsEnabledInBothModes) {
    TFORM_MAIN& f = Form();
    int pumps = TheMachine().process.pumps;
    f.SetControlsEnabled(false);
    EXPECT_FALSE(f.CheckPathButton.Enabled());
    EXPECT_FALSE(f.UpdateSoftwareButton.Enabled());
    EXPECT_FALSE(f.ForceUpdate.Enabled());
    EXPECT_TRUE(f.ManualUpdate.Enabled());
    EXPECT_EQ(TheMachine().process.pumps, pumps + 1);

    f.SetControlsEnabled(true); // manual mode: only the update button
    EXPECT_FALSE(f.CheckPathButton.Enabled());
    EXPECT_FALSE(f.ForceUpdate.Enabled());
    EXPECT_TRUE(f.UpdateSoftwareButton.Enabled());

    f.ManualUpdate.SetChecked(false);
    f.SetControlsEnabled(false);
    f.SetControlsEnabled(true);
    EXPECT_TRUE(f.CheckPathButton.Enabled());
    EXPECT_TRUE(f.ForceUpdate.Enabled());
    EXPECT_TRUE(f.UpdateSoftwareButton.Enabled());
    EXPECT_EQ(TheMachine().process.pumps, pumps + 4);
}

TEST_F(MainWindow, TimerFiresOnceAfter100Ms) {
    TheMachine().MakeFolders(testing_support::kDesktop);
    TFORM_MAIN& f = Form();
    // Each run of the timer's handler starts an update, which first asks for the list.
    auto runs = [] {
        const std::string list = testing_support::kBase + "filelist.txt";
        const auto& requests = TheMachine().world.requests;
        return std::count_if(requests.begin(), requests.end(),
                             [&](const std::string& r) { return r.rfind(list, 0) == 0; });
    };
    platform::memory::AdvanceClock(99);
    EXPECT_EQ(runs(), 0);
    platform::memory::AdvanceClock(1);
    EXPECT_EQ(runs(), 1);
    platform::memory::AdvanceClock(10000);
    EXPECT_EQ(runs(), 1);
    EXPECT_FALSE(f.AutoTimer.Enabled());
}

TEST_F(MainWindow, ErrorInAHandlerReachesTheExceptionDisplayAndTheWindowStaysUsable) {
    TFORM_MAIN& f = Form();
    f.CheckPathButton.SetEnabled(true);
    f.CheckPathButton.OnClick(Guarded([] { throw std::runtime_error("Access violation"); }));
    Click(f.CheckPathButton);
    Click(f.CheckPathButton);
    ASSERT_EQ(TheMachine().process.boxes.size(), 2u);
    EXPECT_EQ(TheMachine().process.boxes[0].text, "Access violation.");
    EXPECT_EQ(TheMachine().process.boxes[0].caption, "Quorvel");
    EXPECT_EQ(TheMachine().process.boxes[0].buttons, 0x10u);
    EXPECT_TRUE(TheMachine().process.boxes[0].error);
    Click(f.ManualUpdate);
    EXPECT_EQ(f.PelmoraPath.Text(), "");
}

TEST_F(MainWindow, AWindowOrControlThatCannotBeMadeIsToldAndNothingRuns) {
    for (int nth : {1, 2, 9, 20}) { // the window, a label, a grid, the last control
        TheMachine().Reset();
        TheMachine().process.failNth[Op::CreateWindow] = nth;
        EXPECT_EQ(RunProgram(), 0);
        ASSERT_EQ(TheMachine().process.boxes.size(), 1u) << nth;
        EXPECT_EQ(TheMachine().process.boxes[0].text,
                  "Not enough memory resources are available to process this command.")
            << nth;
        EXPECT_EQ(TheMachine().process.boxes[0].caption, "Quorvel");
        EXPECT_TRUE(TheMachine().process.boxes[0].error);
        EXPECT_TRUE(TheMachine().world.requests.empty()) << "no run without a whole window";
        EXPECT_EQ(FORM_MAIN, nullptr);
    }
}

TEST(ExceptionDisplayText, AppendsAFullStopByTheLastCharacter) {
    struct Case {
        const char* message;
        const char* shown;
    };
    const Case cases[] = {
        {"", ""},
        {"Out of memory", "Out of memory."},
        {"Done.", "Done."},
        {"Why?", "Why?."},
        {"Value -", "Value -"},
        {"List ,", "List ,"},
        {"Path /", "Path /."},
        {"Code 7", "Code 7."},
        {"\xE9", "\xE9."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExceptionDisplayText(c.message), c.shown) << c.message;
    }
}

TEST(GridAsList, AppendReusesTheEmptyLastRowAndClearLeavesOneRow) {
    TheMachine().Reset();
    platform::Window window("w", 10, 10);
    platform::Grid grid(window, platform::GridSpec{2, 100, {}, 0});
    grid.Append("a");
    EXPECT_EQ(grid.RowCount(), 1);
    grid.Append("b");
    EXPECT_EQ(grid.RowCount(), 2);
    grid.SetCell(0, 1, "");
    grid.Append("c");
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.Cell(0, 1), "c");
    grid.SetCell(1, 0, "stamp");
    grid.SetRowCount(5);
    EXPECT_EQ(grid.Cell(0, 4), "");
    grid.SetRowCount(1);
    grid.SetRowCount(2);
    EXPECT_EQ(grid.Cell(0, 1), "") << "rows regained are empty";
    grid.Clear();
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_EQ(grid.Cell(0, 0), "");
    EXPECT_EQ(grid.Cell(1, 0), "");
    EXPECT_EQ(grid.Cell(5, 9), "") << "outside the grid reads as empty";
}

// A clear that changes nothing must say so (the list view is then spared a repaint), and
// one that changes anything must not hide it.
TEST(GridCells, ClearTellsWhetherAnythingChanged) {
    struct Case {
        int rows;
        const char* first;
        const char* second;
        bool changed;
    };
    const Case cases[] = {
        {1, "", "", false}, {1, "a", "", true},  {1, "", "stamp", true},
        {2, "", "", true},  {3, "a", "b", true},
    };
    for (const auto& c : cases) {
        platform::GridCells cells(2);
        cells.SetRowCount(c.rows);
        cells.SetCell(0, 0, c.first);
        cells.SetCell(1, 0, c.second);
        EXPECT_EQ(cells.Clear(), c.changed)
            << c.rows << " '" << c.first << "' '" << c.second << "'";
        EXPECT_EQ(cells.RowCount(), 1);
        EXPECT_FALSE(cells.Clear()) << "a second clear changes nothing";
    }
}

} // namespace
