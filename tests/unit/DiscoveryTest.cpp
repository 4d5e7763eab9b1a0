#include "discovery/Discovery.h"
#include "TestMachine.h"
#include "platform/Files.h"

namespace {

using namespace testing_support;

const Box kNotFound{"Could not find the Pelmora executable.\nPlease make sure Pelmora is installed "
                    "or installed correctly.\nProgram may require manual update.",
                    "Update Error", 0};

Box NotValid(const std::string& folder) {
    return Box{folder + " is not a valid Pelmora directory.\nPlease update the Pelmora_Mx.exe file "
                        "manually.",
               "Error", 0};
}

Box Incorrect(const std::string& folder) {
    return Box{folder + " is an incorrect version of Pelmora.\nPlease contact Tarnell for the "
                        "correct updater program.",
               "Error", 0};
}

// Normal mode, with the product's settings of a build for Pelmora 4.x.
class Discovery : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        M().SetEnv("ProgramFiles", "C:\\Program Files");
        Click(Form().ManualUpdate);
        Form().ExeName.SetText("Pelmora.exe");
        SetBounds("4000000", "5000000");
    }
    void SetBounds(const char* min, const char* max) {
        Form().Min_Version.SetText(min);
        Form().Max_Version.SetText(max);
    }
    void Install(const std::string& folder) {
        M().MakeFolders(folder);
        M().WriteFile(folder + "\\Pelmora.exe", "MZ");
    }
    void Check() { Click(Form().CheckPathButton); }
    std::string Path() { return Form().PelmoraPath.Text(); }
    bool UpdateEnabled() { return Form().UpdateSoftwareButton.Enabled(); }
};

// The folder chosen among the candidates, and what is said about the others.
TEST_F(Discovery, ChoosesTheHighestAcceptedVersionOrSaysWhy) {
    const std::string none = "File Not Found";
    const std::string tiedProgramFiles = "C:\\Program Files\\Tarnell\\Pelmora 4.3";
    struct Case {
        std::vector<std::string> installed; // folders holding the executable, in this order
        std::string chosen;                 // PelmoraPath afterwards
        std::vector<Box> boxes;
        std::vector<std::string> folders = {}; // candidates without the executable
        const char* min = "4000000";
        const char* max = "5000000";
        int candidates = 0; // the rows the search found; 0: not looked at
    };
    const Case cases[] = {
        {{}, none, {kNotFound}, {"C:\\Tools"}},
        {{"C:\\Pelmora 4.1.2"},
         "C:\\Pelmora 4.1.2\\",
         {},
         {"C:\\Tools", "C:\\Pelmora"},
         "4000000",
         "5000000",
         2},
        // the bounds are inclusive below and exclusive above
        {{"C:\\Pelmora 4.0.0"}, "C:\\Pelmora 4.0.0\\", {}},
        {{"C:\\Pelmora 4.999.999"}, "C:\\Pelmora 4.999.999\\", {}},
        {{"C:\\Pelmora 5.0"}, none, {Incorrect("C:\\Pelmora 5.0"), kNotFound}},
        {{"C:\\Pelmora 3.999.999"}, none, {Incorrect("C:\\Pelmora 3.999.999"), kNotFound}},
        {{"C:\\Pelmora 0.0.1"}, "C:\\Pelmora 0.0.1\\", {}},
        // the bounds of a plain build reject every version but 0.0.1
        {{"C:\\Pelmora 4.1.2"}, none, {Incorrect("C:\\Pelmora 4.1.2"), kNotFound}, {}, "0", "0"},
        // drive roots come before the maker's folder, drive C before drive E on a tie
        {{"D:\\Pelmora 4.2", "E:\\Pelmora 4.3.0", tiedProgramFiles}, "E:\\Pelmora 4.3.0\\", {}},
        {{"D:\\Pelmora 4.2", "E:\\Pelmora 4.3.0", tiedProgramFiles, "C:\\Pelmora 4.3"},
         "C:\\Pelmora 4.3\\",
         {}},
        // the first versioned row out of range stops the choice, and no later row is examined
        {{"C:\\Pelmora 3.9", "D:\\Pelmora 4.1"}, none, {Incorrect("C:\\Pelmora 3.9"), kNotFound}},
        {{"C:\\Pelmora 5.1", "D:\\Pelmora.4.1"}, none, {Incorrect("C:\\Pelmora 5.1"), kNotFound}},
        // a version that cannot be read stops it too, after a fine row
        {{"C:\\Pelmora 4.1.2", "C:\\Pelmora.4.1"}, none, {NotValid("C:\\Pelmora.4.1"), kNotFound}},
        {{"C:\\Pelmora 4.1.2", "C:\\Pelmora 4..1"},
         none,
         {NotValid("C:\\Pelmora 4..1"), kNotFound}},
        {{"C:\\Pelmora 4.1.2", "C:\\Pelmora 99999999999"},
         none,
         {NotValid("C:\\Pelmora 99999999999"), kNotFound}},
        {{"C:\\Pelmora 4.1.2", "C:\\Pelmora 2148"},
         none,
         {NotValid("C:\\Pelmora 2148"), kNotFound}},
        {{"C:\\Pelmora 4.1.2", "C:\\Pelmora 1.3000000"},
         none,
         {NotValid("C:\\Pelmora 1.3000000"), kNotFound}},
        // the chosen folder holds a folder of the executable's name, which is no file
        {{}, none, {kNotFound}, {"C:\\Pelmora 4.1.2\\Pelmora.exe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installed.empty() ? c.folders[0] : c.installed.back());
        TearDown();
        SetUp();
        M().AddDrive('D');
        M().AddDrive('E');
        SetBounds(c.min, c.max);
        for (const auto& folder : c.folders) {
            M().MakeFolders(folder);
        }
        for (const auto& folder : c.installed) {
            Install(folder);
        }
        Check();
        EXPECT_EQ(Path(), c.chosen);
        EXPECT_EQ(UpdateEnabled(), c.chosen != none);
        EXPECT_EQ(Boxes(), c.boxes);
        if (c.candidates != 0) {
            EXPECT_EQ(Form().SearchDataGrid.RowCount(), c.candidates);
        }
    }
}

TEST_F(Discovery, MissingAndNotReadyDrivesAddNothingAndRaiseNoDialog) {
    M().AddDrive('A');
    Install("A:\\Pelmora 4.9"); // A and B are never searched
    M().AddDrive('D', false);
    Install("E:\\Pelmora 4.8"); // no drive E
    Install("C:\\Pelmora 4.1");
    Check();
    EXPECT_EQ(Path(), "C:\\Pelmora 4.1\\");
    EXPECT_EQ(M().process.noDiskDialogs, 0);
    EXPECT_EQ(M().process.errorMode, 0u) << "the error mode is put back";
    int listings = M().CallCount(Op::ListFolder);
    EXPECT_EQ(listings, 25) << "24 drive roots and the maker's folder";
}

TEST_F(Discovery, UnsetProgramFilesSearchesTarnellOnTheCurrentDrive) {
    M().UnsetEnv("ProgramFiles");
    Install("C:\\Tarnell\\Pelmora 4.4");
    Check();
    EXPECT_EQ(Path(), "\\Tarnell\\Pelmora 4.4\\");
    EXPECT_TRUE(UpdateEnabled());
}

TEST_F(Discovery, AnyNumberOfCandidateRows) {
    M().MakeFolders("C:\\Program Files\\Tarnell");
    for (int i = 0; i < 300; ++i) {
        M().MakeFolders("C:\\Program Files\\Tarnell\\Pelmora 4.0." + std::to_string(i));
    }
    M().WriteFile("C:\\Program Files\\Tarnell\\Pelmora 4.0.299\\Pelmora.exe", "MZ");
    Check();
    EXPECT_EQ(Path(), "C:\\Program Files\\Tarnell\\Pelmora 4.0.299\\");
}

TEST_F(Discovery, RunningProductRefusesTheClick) {
    Install("C:\\Pelmora 4.1.2");
    Form().PelmoraPath.SetText("D:\\Earlier\\");
    Form().SearchDataGrid.Append("C:\\kept");
    M().world.processes.push_back({40, "explorer.exe", true, true});
    M().world.processes.push_back({41, "PELMORA.EXE", true, true});
    Form().UpdateSoftwareButton.SetEnabled(true);
    Check();
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"The Pelmora application is currently running.\nPlease "
                                          "close the application before applying the update.",
                                          "Update Error", 0}}));
    EXPECT_EQ(Path(), "D:\\Earlier\\");
    EXPECT_EQ(Form().SearchDataGrid.Cell(0, 0), "C:\\kept");
    EXPECT_FALSE(UpdateEnabled());

    M().world.processes[1].running = false;
    M().process.boxes.clear();
    Check();
    EXPECT_EQ(Path(), "C:\\Pelmora 4.1.2\\");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Discovery, ProcessesThatCannotBeOpenedAreNotTheProduct) {
    Install("C:\\Pelmora 4.1.2");
    M().world.processes.push_back({41, "Pelmora.exe", true, false});
    Check();
    EXPECT_EQ(Path(), "C:\\Pelmora 4.1.2\\");
    M().process.failOps.insert(Op::EnumProcesses);
    Check();
    EXPECT_EQ(Path(), "C:\\Pelmora 4.1.2\\");
}

TEST_F(Discovery, StartedFromTheBrowserCacheRefusesTheClick) {
    const char* paths[] = {
        "C:\\Users\\op\\Local Settings\\Temporary Internet Files\\Quorvel.exe",
        "C:\\Users\\op\\AppData\\Local\\Microsoft\\Windows\\INetCache\\Content.IE5\\X1\\Quorvel."
        "exe",
    };
    for (const char* path : paths) {
        M().process.boxes.clear();
        M().world.ownExecutablePath = path;
        Form().PelmoraPath.SetText("");
        Check();
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].caption, "Update Error");
        EXPECT_EQ(Boxes()[0].text.substr(0, 31), "This application cannot operate");
        EXPECT_EQ(Path(), "");
    }
    M().world.ownExecutablePath = "C:\\temporary internet files\\Quorvel.exe"; // case counts
    M().process.boxes.clear();
    Check();
    EXPECT_EQ(Boxes(), std::vector<Box>{kNotFound});
}

TEST_F(Discovery, OnlyTheFirst1024ProcessesAreLookedAt) {
    for (std::uint32_t id = 1; id <= 1100; ++id) {
        M().world.processes.push_back({id, "other.exe", true, true});
    }
    M().world.processes[1023].moduleName = "Pelmora.exe";
    EXPECT_EQ(FindProcessByName("PELMORA.EXE"), 1024u);
    M().world.processes[1023].moduleName = "other.exe";
    M().world.processes[1024].moduleName = "Pelmora.exe";
    EXPECT_EQ(FindProcessByName("PELMORA.EXE"), 0u);
}

} // namespace
