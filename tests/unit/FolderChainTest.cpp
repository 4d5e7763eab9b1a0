#include "TestMachine.h"
#include "platform/Files.h"
#include "transfer/Transfer.h"

namespace {

using namespace testing_support;

std::vector<std::string> FoldersMade() {
    std::vector<std::string> made;
    for (const auto& call : TheMachine().process.calls) {
        if (call.op == Op::CreateFolder) {
            made.push_back(call.detail);
        }
    }
    return made;
}

class FolderChain : public MachineTest {
public:
    std::string Local(const std::string& base, const std::string& path) {
        return ListPathToLocal(Form(), base, path);
    }
};

TEST_F(FolderChain, LevelsOfBaseAndPathAreMadeInOrder) {
    EXPECT_EQ(Local("C:\\Apps\\Prog\\", "data/img/a.bmp"), "C:\\Apps\\Prog\\data\\img\\");
    EXPECT_EQ(FoldersMade(),
              (std::vector<std::string>{"C:\\Apps", "C:\\Apps\\Prog", "C:\\Apps\\Prog\\data",
                                        "C:\\Apps\\Prog\\data\\img"}));
    EXPECT_TRUE(M().IsFolder("C:\\Apps\\Prog\\data\\img"));
    Form().FileListGrid.SetCell(0, 0, "data/img/a.bmp");
    EXPECT_EQ(ListPathFileName(Form(), 0), "a.bmp");
    // Made once: the second walk finds every level listed.
    M().process.calls.clear();
    EXPECT_EQ(Local("C:\\Apps\\Prog\\", "data/img/a.bmp"), "C:\\Apps\\Prog\\data\\img\\");
    EXPECT_TRUE(FoldersMade().empty());
    EXPECT_EQ(M().CallCount(Op::ListFolder), 0)
        << "missing folders are made and present ones known without listings";
    EXPECT_EQ(Form().SearchDataGrid.RowCount(), 1) << "the scratch grid is emptied";
}

// A folder that is missing is made without listing its siblings first, however many.
TEST_F(FolderChain, MissingFolderAmongManyIsMadeWithoutListingItsParent) {
    for (int i = 0; i < 500; ++i) {
        M().MakeFolders("C:\\Backup\\d" + std::to_string(i));
    }
    EXPECT_EQ(Local("C:\\Backup\\", "d500/a.dll"), "C:\\Backup\\d500\\");
    EXPECT_TRUE(M().IsFolder("C:\\Backup\\d500"));
    EXPECT_EQ(M().CallCount(Op::ListFolder), 0);
    // Only when making it fails is the parent listed, and the failure stays a failure.
    M().process.failOps.insert(Op::CreateFolder);
    EXPECT_EQ(Local("C:\\Backup\\", "d501/a.dll"), "ERROR: C:\\Backup\\d501");
    EXPECT_EQ(M().CallCount(Op::ListFolder), 1);
}

// Each row: where the walk starts, the list path, the one folder whose making fails (if
// any), the result, the file name, and the folders asked for, in order.
TEST_F(FolderChain, PathShapes) {
    struct Case {
        const char* base;
        const char* path;
        const char* failing;
        const char* folder;
        const char* fileName;
        std::vector<std::string> made;
    };
    const Case cases[] = {
        {"C:\\Inst\\", "a.dll", nullptr, "C:\\Inst\\", "a.dll", {"C:\\Inst"}},
        {"C:\\Inst\\", "/sub/a.dll", nullptr, "C:\\Inst\\sub\\", "a.dll", {"C:\\Inst\\sub"}},
        {"C:\\Inst\\",
         "sub\\deep\\a.dll",
         nullptr,
         "C:\\Inst\\sub\\deep\\",
         "sub\\deep\\a.dll",
         {"C:\\Inst\\sub\\deep"}},
        {"C:\\Inst\\", "sub/", nullptr, "C:\\Inst\\sub\\", "", {}},
        {"C:\\Inst\\", "a//b.dll", nullptr, "ERROR: C:\\Inst\\a\\", "b.dll", {"C:\\Inst\\a"}},
        {"C:\\Inst\\", "s/x.dll", nullptr, "C:\\Inst\\s\\", "x.dll", {"C:\\Inst\\s"}},
        {"C:\\Inst\\", "bin/x.dll", nullptr, "C:\\Inst\\bin\\", "x.dll", {"C:\\Inst\\bin"}},
        {"C:\\Inst\\",
         "Desktop/x.dll",
         nullptr,
         "C:\\Inst\\Desktop\\",
         "x.dll",
         {"C:\\Inst\\Desktop"}},
        // The error text names the folder without its closing backslash.
        {"C:\\Inst\\",
         "New/a.dll",
         "C:\\Inst\\New",
         "ERROR: C:\\Inst\\New",
         "a.dll",
         {"C:\\Inst\\New"}},
        // The walk goes on after a failed level, and names the last one.
        {"C:\\Inst\\",
         "w/b/c.dll",
         "C:\\Inst\\w",
         "ERROR: C:\\Inst\\w\\b",
         "c.dll",
         {"C:\\Inst\\w", "C:\\Inst\\w\\b"}},
        {"C:\\ERROR\\", "e.dll", nullptr, "C:\\ERROR\\", "e.dll", {"C:\\ERROR"}},
        {"\\\\server\\share\\", "a/b.dll", nullptr, "ERROR: \\\\s\\erver\\share\\a", "b.dll", {}},
    };
    for (const auto& c : cases) {
        M().process.calls.clear();
        const std::string failing = c.failing ? c.failing : "";
        M().process.failWhen = [&](Op op, const std::string& detail) {
            return op == Op::CreateFolder && detail == failing;
        };
        Form().FileListGrid.SetCell(0, 0, c.path);
        const std::string result = Local(c.base, c.path);
        EXPECT_EQ(result, c.folder) << c.path;
        EXPECT_EQ(ListPathFileName(Form(), 0), c.fileName) << c.path;
        EXPECT_EQ(FoldersMade(), c.made) << c.path;
        const bool error = std::string(c.folder).rfind("ERROR: ", 0) == 0;
        EXPECT_EQ(IsErrorText(result), error) << c.path;
        if (error) {
            EXPECT_EQ(ErrorFolder(result), std::string(c.folder).substr(7)) << c.path;
        }
    }
    EXPECT_TRUE(M().IsFolder("C:\\Inst\\s")) << "a name inside HOMEPATH is still made";
    EXPECT_TRUE(M().IsFolder("C:\\Inst\\bin"));
}

TEST_F(FolderChain, FoldersThatExistButAreNotListedCountAsPresent) {
    M().MakeFolders("C:\\Program Files\\Tarnell\\Pelmora 4.1");
    M().SetAttributes("C:\\Program Files", platform::AttrReadOnly);
    M().SetAttributes("C:\\Program Files\\Tarnell\\Pelmora 4.1",
                      platform::AttrArchive | platform::AttrNotIndexed);
    EXPECT_EQ(Local("C:\\Program Files\\Tarnell\\Pelmora 4.1\\", "data/a.dll"),
              "C:\\Program Files\\Tarnell\\Pelmora 4.1\\data\\");
    EXPECT_EQ(CreateFolderChain(Form(), "C:\\", "Program Files"), 0);
    EXPECT_EQ(CreateFolderChain(Form(), "C:\\Program Files", "Tarnell"), 0);
}

TEST_F(FolderChain, CreateFolderChainResults) {
    M().WriteFile("C:\\file", "x");
    struct Case {
        const char* parent;
        const char* name;
        int result;
    };
    const Case cases[] = {
        {"C:\\", "New", 1},         {"C:\\", "new", 0},     {"C:", "Other", -1},
        {"C:\\", "", -1},           {"", "x", -1},          {"C:", "", -1},
        {"noslash:", "x", -1},      {"\\\\srv\\", "x", -1}, {"C:\\", "file", -1},
        {"C:\\Missing\\", "x", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CreateFolderChain(Form(), c.parent, c.name), c.result)
            << c.parent << " + " << c.name;
    }
}

TEST_F(FolderChain, TheWayToTheUsersDesktopIsNeverMade) {
    // HOMEDRIVE C:, HOMEPATH \Users\op: nothing exists yet.
    EXPECT_EQ(CreateFolderChain(Form(), "C:\\", "Users"), 0);
    EXPECT_EQ(CreateFolderChain(Form(), "C:\\USERS\\", "OP"), 0) << "compared without case";
    EXPECT_EQ(CreateFolderChain(Form(), "C:\\Users\\op\\", "Desktop"), 0);
    EXPECT_FALSE(M().IsFolder("C:\\Users"));
    EXPECT_EQ(CreateFolderChain(Form(), "C:\\", "Use"), 1) << "part of a name is no ancestor";
    EXPECT_EQ(CreateFolderChain(Form(), "C:\\", "op"), 1);
    // The desktop download folder itself is made once the desktop is there.
    EXPECT_TRUE(IsErrorText(Local("C:\\", "Users\\op\\Desktop\\Tarnell Temp Files\\")));
    M().MakeFolders("C:\\Users\\op\\Desktop");
    M().SetAttributes("C:\\Users", platform::AttrReadOnly);
    EXPECT_EQ(Local("C:\\", "Users\\op\\Desktop\\Tarnell Temp Files\\"),
              "C:\\Users\\op\\Desktop\\Tarnell Temp Files\\");
}

class DownloadOne : public MachineTest {};

TEST_F(DownloadOne, FetchesIntoTheTemporaryFileAndShowsTheLabelsMeanwhile) {
    Form().FileListGrid.SetCell(0, 0, "sub/a b.dll");
    M().Serve(kBase + "sub/a b.dll", "new body");
    M().WriteFile("C:\\Quorvel\\temp1234.$$$", "stale");
    bool labelsShown = false;
    M().AtPump(1, [&] {
        labelsShown = Form().DownloadLabel.Visible() && Form().ShowFileName.Visible() &&
                      Form().ShowFileName.Text() == "sub/a b.dll";
    });
    EXPECT_TRUE(DownloadFile(Form(), 0));
    EXPECT_TRUE(labelsShown);
    EXPECT_EQ(M().process.pumps, 2);
    EXPECT_FALSE(Form().DownloadLabel.Visible());
    EXPECT_FALSE(Form().ShowFileName.Visible());
    EXPECT_EQ(M().FileContent("C:\\Quorvel\\temp1234.$$$"), "new body");
    ASSERT_EQ(M().world.requests.size(), 1u);
    EXPECT_EQ(M().world.requests[0].rfind(kBase + "sub/a b.dll?fakevariable=", 0), 0u);
}

TEST_F(DownloadOne, FailureLeavesNoTemporaryFileAndHidesTheLabels) {
    Form().FileListGrid.SetCell(0, 0, "a.dll");
    M().WriteFile("C:\\Quorvel\\temp1234.$$$", "stale");
    M().Serve(kBase + "a.dll", "body");
    M().world.http[kBase + "a.dll"].status = 404;
    EXPECT_FALSE(DownloadFile(Form(), 0));
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\temp1234.$$$"));
    EXPECT_FALSE(Form().DownloadLabel.Visible());
    // A call that reports failure after writing the file still fails.
    M().world.http[kBase + "a.dll"].status = 200;
    M().process.failOps.insert(Op::StartTransfer);
    EXPECT_FALSE(DownloadFile(Form(), 0));
}

} // namespace
