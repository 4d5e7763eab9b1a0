#include "TestMachine.h"
#include "files/RunRecord.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "release/ReleaseFormat.h"
#include "transfer/Transfer.h"

#include <functional>
#include <optional>

namespace {

using namespace testing_support;

using Rows = std::vector<std::pair<std::string, std::string>>;

Rows GridRows(const platform::Grid& grid) {
    Rows rows;
    for (int r = 0; r < grid.RowCount(); ++r) {
        rows.emplace_back(grid.Cell(0, r), grid.Cell(1, r));
    }
    return rows;
}

class ListReading : public MachineTest {};

TEST_F(ListReading, LinesBecomeEntries) {
    struct Case {
        std::string text;
        Rows rows;
    };
    const std::string longStamp(250, 's');
    const Case cases[] = {
        {"a/b.dll\t2011-05-02\r\n", {{"a/b.dll", "2011-05-02"}}},
        {"a/b.dll\t2011-05-02", {{"a/b.dll", "2011-05-02"}}},
        {"", {{"", ""}}},
        {"a", {{"", ""}}},
        {"ab", {{"", ""}}},
        {"\r\n", {{"", ""}}},
        {"abc", {{"abc", ""}}},
        {"x\t1\r\nab", {{"x", "1"}}}, // the last 2 characters are dropped, the TAB still splits
        {"x\t1\r\n\r\n\r\ny\t2\r\n", {{"x", "1"}, {"y", "2"}}},
        {"x\tS\r\n\r\n\r\n\r\n", {{"x", "S"}, {"", ""}}},
        // a lone LF or CR ends a line as CR LF does: no path or stamp holds a line break
        {"a\nb\tS\r\nc.dll\r\n", {{"a", ""}, {"b", "S"}, {"c.dll", ""}}},
        {"a\rb\tS", {{"a", ""}, {"b", "S"}}},
        {"x\t1\ny\t2\n\nz\t3\n", {{"x", "1"}, {"y", "2"}, {"z", "3"}}},
        {"x\t1\ry\t2\r\r\n", {{"x", "1"}, {"y", "2"}}}, // the rest of 2 bytes is dropped
        {"p\tA\tB\r\n", {{"p", "A\tB"}}},
        {"whole line\r\n", {{"whole line", ""}}},
        {"\r\nabc", {{"abc", ""}}},
        {"p\t" + longStamp + "\r\nq\t1", {{"p", longStamp}, {"q", "1"}}},
        {std::string("a\0b\tS\0T", 7), {{std::string("a\0b", 3), std::string("S\0T", 3)}}},
        {"\tstamp only", {{"", "stamp only"}}},
    };
    for (const auto& c : cases) {
        Form().FileListGrid.Clear();
        ReadListIntoGrid(c.text, Form().FileListGrid);
        EXPECT_EQ(GridRows(Form().FileListGrid), c.rows) << testing::PrintToString(c.text);
        // The release tool reads a list as the updater does, without the grid's empty rows.
        Rows entries;
        for (const auto& e : release::ParseList(c.text)) {
            entries.emplace_back(e.path, e.stamp);
        }
        Rows filled;
        for (const auto& row : c.rows) {
            if (!row.first.empty() || !row.second.empty()) {
                filled.push_back(row);
            }
        }
        EXPECT_EQ(entries, filled) << testing::PrintToString(c.text);
    }
    EXPECT_EQ(release::WriteList({{"a", "1"}, {"b", "2"}}), "a\t1\r\nb\t2\r\n");
}

TEST_F(ListReading, ReadFileTextGivesTheBytesOrNothing) {
    M().WriteFile("C:\\l.txt", std::string("a\0\xff\r\n", 5));
    EXPECT_EQ(ReadFileText("C:\\l.txt"), std::string("a\0\xff\r\n", 5));
    EXPECT_EQ(ReadFileText("C:\\none.txt"), "");
    M().HoldFile("C:\\l.txt");
    EXPECT_EQ(ReadFileText("C:\\l.txt"), "");
    M().HoldFile("C:\\l.txt", false);
    M().process.failOps.insert(Op::ReadFile);
    EXPECT_EQ(ReadFileText("C:\\l.txt"), "");
    EXPECT_TRUE(Boxes().empty()) << "failures the file operations report show nothing";
    EXPECT_EQ(M().OpenFileHandles(), 0);
}

TEST_F(ListReading, AnErrorWhileReadingShowsTheFileErrorBoxWithOkAndCancel) {
    M().WriteFile("C:\\l.txt", "abc");
    M().world.reportedSizes["C:\\L.TXT"] = INT64_MAX; // no buffer can be had
    M().process.onMessageBox = [](const platform::memory::MessageBoxRecord&) {
        return platform::IdCancel;
    };
    EXPECT_EQ(ReadFileText("C:\\l.txt"), "");
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"Can't perform one of the following file operations: "
                                          "Open, Seek, Read, Close.",
                                          "File Error", 1}}));
    EXPECT_EQ(M().OpenFileHandles(), 0);
}

TEST(CacheBusting, NumberIsTheSecondDrawThenTheFirst) {
    EXPECT_EQ(CacheBustingQueryFor(7, 12345), "?fakevariable=123457");
    EXPECT_EQ(CacheBustingQueryFor(0, 0), "?fakevariable=00");
    RandomGenerator random;
    random.Seed(99);
    RandomGenerator copy = random;
    int first = copy.Draw();
    int second = copy.Draw();
    EXPECT_EQ(CacheBustingQuery(random), CacheBustingQueryFor(first, second));
    EXPECT_NE(CacheBustingQuery(random), CacheBustingQueryFor(first, second)) << "fresh draws";
}

// The remote list served, the updater in C:\Quorvel.
class GetList : public MachineTest {
public:
    void SetUp() override {
        MachineTest::SetUp();
        M().MakeFolders(kDesktop);
        M().SetAttributes("C:\\Users", platform::AttrReadOnly); // as Windows has it
    }
    void ServeList(const std::string& text) { M().Serve(kBase + "filelist.txt", text); }
};

TEST_F(GetList, ManualModeMakesTheFolderAndPutsTheListInPlace) {
    ServeList("a.dll\t1\r\nsub/b.dll\t2\r\n");
    ASSERT_EQ(GetUpdateList(Form()), ListOutcome::Read);
    EXPECT_TRUE(M().IsFolder(kTarget));
    EXPECT_EQ(M().FileContent(kTarget + "PelmoraUpdaterList.txt"), "a.dll\t1\r\nsub/b.dll\t2\r\n");
    EXPECT_FALSE(M().IsFile("C:\\Quorvel\\PelmoraUpdaterList.txt"));
    EXPECT_EQ(GridRows(Form().FileListGrid), (Rows{{"a.dll", "1"}, {"sub/b.dll", "2"}}));
    EXPECT_EQ(GridRows(Form().LocalFileListGrid), (Rows{{"", ""}, {"", ""}}));
    ASSERT_EQ(M().world.requests.size(), 1u);
    EXPECT_EQ(M().world.requests[0].rfind(kBase + "filelist.txt?fakevariable=", 0), 0u);
    EXPECT_EQ(M().process.pumps, 0) << "the list download pumps nothing";
    EXPECT_FALSE(Form().DownloadLabel.Visible());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(GetList, LocalListIsReadThenReplacedAndItsGridFitsTheRemoteRows) {
    Click(Form().ManualUpdate);
    Form().PelmoraPath.SetText("C:\\Pelmora 4.1\\");
    M().WriteFile("C:\\Pelmora 4.1\\PelmoraUpdaterList.txt",
                  "a.dll\told\r\nb.dll\t2\r\nc.dll\t3\r\n");
    ServeList("a.dll\tnew\r\nb.dll\t2\r\n");
    ASSERT_EQ(GetUpdateList(Form()), ListOutcome::Read);
    EXPECT_EQ(GridRows(Form().LocalFileListGrid), (Rows{{"a.dll", "old"}, {"b.dll", "2"}}));
    EXPECT_EQ(M().FileContent("C:\\Pelmora 4.1\\PelmoraUpdaterList.txt"),
              "a.dll\tnew\r\nb.dll\t2\r\n");
    EndRunRecord(RunRecordPath("C:\\Pelmora 4.1\\")); // as the run does when it has ended

    ServeList("a.dll\tnew\r\nb.dll\t2\r\nc.dll\t3\r\nd.dll\t4\r\n");
    ASSERT_EQ(GetUpdateList(Form()), ListOutcome::Read);
    EXPECT_EQ(GridRows(Form().LocalFileListGrid),
              (Rows{{"a.dll", "new"}, {"b.dll", "2"}, {"", ""}, {"", ""}}));
}

// Each row: whether a local list lies in the target folder before, what the server answers,
// what else goes wrong, and what becomes of the lists: the outcome, what the operator is
// told, the file at the local list's place afterwards (nullopt: none), and whether the
// server was asked at all.
TEST_F(GetList, WhatBecomesOfTheLists) {
    const std::string local = kTarget + "PelmoraUpdaterList.txt";
    const std::string list = "a.dll\t2\r\nb.dll\t3\r\n";
    const Box fileList{"Could not file list. Check network connections or your PC's firewall.",
                       "Download Error", 0};
    const Box fileError{"Can't perform one of the following file operations: Open, Seek, Read, "
                        "Close.",
                        "File Error", 1};
    auto answer = [&]() -> platform::memory::HttpResponse& {
        return M().world.http[kBase + "filelist.txt"];
    };
    struct Case {
        const char* name;
        bool localBefore;
        std::function<void()> arrange;
        ListOutcome outcome;
        std::vector<Box> boxes;
        std::optional<std::string> localAfter;
        bool asked;
    };
    const Case cases[] = {
        {"not found",
         true,
         [&] { answer().status = 404; },
         ListOutcome::NoList,
         {fileList},
         std::nullopt,
         true},
        {"server error",
         true,
         [&] { answer().status = 500; },
         ListOutcome::NoList,
         {fileList},
         std::nullopt,
         true},
        {"refused",
         true,
         [&] { answer().refused = true; },
         ListOutcome::NoList,
         {fileList},
         std::nullopt,
         true},
        {"cut short",
         true,
         [&] { answer().cutAfter = 3; },
         ListOutcome::NoList,
         {fileList},
         std::nullopt,
         true},
        {"empty",
         true,
         [&] { ServeList(""); },
         ListOutcome::NoList,
         {fileList},
         std::nullopt,
         true},
        {"one byte",
         true,
         [&] { ServeList("a"); },
         ListOutcome::NoList,
         {fileList},
         std::nullopt,
         true},
        {"nobody answers",
         true,
         [&] { M().world.http.clear(); },
         ListOutcome::NoList,
         {fileList},
         std::nullopt,
         true},
        {"exactly two bytes: no entries",
         true,
         [&] { ServeList("ab"); },
         ListOutcome::Read,
         {},
         "ab",
         true},
        {"the target folder cannot be made",
         false,
         [&] { M().process.failOps.insert(Op::CreateFolder); },
         ListOutcome::Refused,
         {{kTarget.substr(0, kTarget.size() - 1) + "\nCould not create this folder.",
           "Update Error", 0}},
         std::nullopt,
         false},
        {"the new list cannot be opened once in place",
         false,
         [&] {
             M().process.failWhen = [&](Op op, const std::string& d) {
                 return op == Op::OpenFile && d == local;
             };
         },
         ListOutcome::NoList,
         {fileError},
         std::nullopt,
         true},
        {"no buffer can be had for the new list",
         false,
         [&] { M().world.reportedSizes[platform::UpperCase(local)] = INT64_MAX; },
         ListOutcome::NoList,
         {fileError},
         std::nullopt,
         true},
        {"the old list cannot be deleted, so the new one cannot take its place",
         true,
         [&] { M().HoldFile(local); },
         ListOutcome::OldListKept,
         {{"Could not move file list. Please update manually.", "Update Error", 0}},
         "a.dll\t1\r\n",
         true},
        // The updater's own folder cannot take the list: said before anything is touched,
        // naming the folder or its drive, and the network is not blamed.
        {"the updater's folder is not writable",
         true,
         [&] {
             M().process.failWhen = [](Op op, const std::string& detail) {
                 return op == Op::AppendFile && detail.rfind("C:\\Quorvel\\", 0) == 0;
             };
         },
         ListOutcome::Refused,
         {{"C:\\Quorvel\\\nThe updater cannot write in its own folder, where it fetches the "
           "update list.\nNothing was changed. Please run the updater from a folder you may "
           "write in.",
           "Update Error", 0}},
         "a.dll\t1\r\n",
         false},
        {"the updater's drive has no room",
         true,
         [&] { M().LimitDrive('C', 16u << 20); },
         ListOutcome::Refused,
         {{"The drive C: of the updater's folder C:\\Quorvel\\ has less than 16 MB free: the "
           "updater cannot fetch the update list into its own folder there.\nNothing was "
           "changed. Please make room on the drive and try again.",
           "Update Error", 0}},
         "a.dll\t1\r\n",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.localBefore) {
            M().WriteFile(local, "a.dll\t1\r\n");
        }
        ServeList(list);
        c.arrange();
        EXPECT_EQ(GetUpdateList(Form()), c.outcome);
        EXPECT_EQ(Boxes(), c.boxes);
        EXPECT_EQ(M().FileContent(local), c.localAfter);
        EXPECT_EQ(!M().world.requests.empty(), c.asked);
        if (c.outcome == ListOutcome::NoList && c.localBefore) {
            EXPECT_EQ(GridRows(Form().LocalFileListGrid), (Rows{{"a.dll", "1"}}))
                << "the local list was read before it went";
        }
        if (c.outcome == ListOutcome::OldListKept) {
            EXPECT_EQ(M().FileContent("C:\\Quorvel\\PelmoraUpdaterList.txt"), list);
        }
        if (c.outcome == ListOutcome::Read) {
            EXPECT_EQ(GridRows(Form().FileListGrid), (Rows{{"", ""}}));
        }
    }
}

TEST_F(GetList, UpdaterInsideTheTargetFolderFetchesStraightIntoPlace) {
    Click(Form().ManualUpdate);
    M().world.ownExecutablePath = "C:\\Pelmora 4.1\\Quorvel.exe";
    M().MakeFolders("C:\\Pelmora 4.1");
    Form().PelmoraPath.SetText("C:\\pelmora 4.1\\");
    ServeList("a.dll\t2\r\n");
    ASSERT_EQ(GetUpdateList(Form()), ListOutcome::Read);
    EXPECT_EQ(M().FileContent("C:\\Pelmora 4.1\\PelmoraUpdaterList.txt"), "a.dll\t2\r\n");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(GetList, ReplacementDecision) {
    struct Case {
        const char* local;
        const char* remote;
        bool force, manual, present, replace;
    };
    const Case cases[] = {
        {"1", "1", false, false, true, false},
        {"1", "2", false, false, false, true},
        {"", "", false, false, true, false},
        {"", "", true, false, false, true},
        // normal mode: a listed file missing from the installation is fetched all the same
        {"1", "1", false, false, false, true},
        {"", "", false, false, false, true},
        {"", "2", false, false, false, true},
        {"a", "A", false, false, false, true},
        {"1", "1", true, false, true, true},
        {"1", "2", false, true, true, false},
        {"1", "2", true, true, true, false},
        {"1", "2", false, true, false, true},
        {"1", "1", false, true, false, false},
        {"1", "1", true, true, false, true},
    };
    for (const auto& c : cases) {
        Form().ManualUpdate.SetChecked(c.manual);
        Form().ForceUpdate.SetChecked(c.force);
        Form().LocalFileListGrid.SetCell(1, 0, c.local);
        Form().FileListGrid.SetCell(1, 0, c.remote);
        M().RemoveDrive('D');
        M().AddDrive('D');
        if (c.present) {
            M().WriteFile("D:\\a.dll", "x");
        }
        EXPECT_EQ(MustReplace(Form(), 0, "D:\\a.dll"), c.replace)
            << c.local << "/" << c.remote << " force " << c.force << " manual " << c.manual
            << " present " << c.present;
    }
}

} // namespace
