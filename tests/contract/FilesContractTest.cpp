// The same expectations on the in-memory machine and on Windows.
#include "contract/Fixture.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace platform;

class FilesContract : public ::testing::Test {
protected:
    void SetUp() override { root_ = fixture::ScratchFolder(); }
    std::string root_;
};

std::vector<std::string> Rows(const std::vector<DirEntry>& entries) {
    std::vector<std::string> rows;
    for (const auto& e : entries) {
        rows.push_back(e.name + ":" + std::to_string(e.attributes));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

TEST_F(FilesContract, ListingGivesNamesWithTheirAttributes) {
    fixture::MakeFolder(root_ + "Plain");
    fixture::MakeFolder(root_ + "Hidden", AttrDirectory | AttrHidden);
    fixture::MakeFolder(root_ + "System", AttrDirectory | AttrSystem);
    fixture::MakeFolder(root_ + "ReadOnly", AttrDirectory | AttrReadOnly);
    fixture::MakeFolder(root_ + "Archive", AttrDirectory | AttrArchive);
    fixture::MakeFolder(root_ + "HiddenArchive", AttrDirectory | AttrHidden | AttrArchive);
    fixture::MakeFile(root_ + "file.txt", "x", AttrArchive);
    fixture::MakeFile(root_ + "hidden.txt", "x", AttrArchive | AttrHidden);
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListFolder(root_ + "*", entries));
    // Wine keeps only the hidden and system attributes of folders; Windows and the
    // in-memory machine keep them all.
    bool kept = fixture::AllFolderAttributesKept();
    EXPECT_EQ(Rows(entries),
              (std::vector<std::string>{"..:16", ".:16", kept ? "Archive:48" : "Archive:16",
                                        "Hidden:18", kept ? "HiddenArchive:50" : "HiddenArchive:18",
                                        "Plain:16", kept ? "ReadOnly:17" : "ReadOnly:16",
                                        "System:20", "file.txt:32", "hidden.txt:34"}));
}

TEST_F(FilesContract, ListingOfAMissingFolderOrDriveCannotStart) {
    std::vector<DirEntry> entries{{"stale", 0}};
    EXPECT_FALSE(ListFolder(root_ + "Missing\\*", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(ListFolder(std::string(1, fixture::MissingDrive()) + ":\\*", entries));
}

// A short alias resolves to the long name of what it names; a path that names nothing
// resolves to nothing.
TEST_F(FilesContract, ShortAliasesResolveToTheirLongNames) {
    fixture::MakeFile(root_ + "PelmoraUpdaterRun.txt", "record");
    const std::string alias = fixture::ShortName(root_ + "PelmoraUpdaterRun.txt");
    ASSERT_FALSE(alias.empty());
    EXPECT_NE(alias, "PelmoraUpdaterRun.txt");
    const auto resolved = LongPathName(root_ + alias);
    ASSERT_TRUE(resolved.has_value()) << alias;
    EXPECT_EQ(resolved->substr(resolved->size() - 22), "\\PelmoraUpdaterRun.txt");
    EXPECT_EQ(LongPathName(root_ + "PelmoraUpdaterRun.txt"), resolved);
    EXPECT_FALSE(LongPathName(root_ + "missing.txt").has_value());
}

TEST_F(FilesContract, FreeSpaceIsToldForAFolderAndNotForAMissingDrive) {
    const auto free = FreeBytes(root_);
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(FreeBytes(std::string(1, fixture::MissingDrive()) + ":\\").has_value());
}

TEST_F(FilesContract, AttributesTellFilesFromFolders) {
    fixture::MakeFolder(root_ + "Sub");
    fixture::MakeFile(root_ + "a.dll", "abc");
    ASSERT_TRUE(FileAttributes(root_ + "Sub").has_value());
    EXPECT_NE(*FileAttributes(root_ + "Sub") & AttrDirectory, 0u);
    EXPECT_NE(*FileAttributes(root_ + "SUB\\") & AttrDirectory, 0u) << "names match without case";
    EXPECT_EQ(*FileAttributes(root_ + "A.DLL") & AttrDirectory, 0u);
    EXPECT_FALSE(FileAttributes(root_ + "none").has_value());
}

TEST_F(FilesContract, CreatingAFolderThatExistsFailsAndChangesNothing) {
    EXPECT_TRUE(CreateFolder(root_ + "New"));
    fixture::MakeFile(root_ + "New\\keep.txt", "keep");
    EXPECT_FALSE(CreateFolder(root_ + "New"));
    EXPECT_FALSE(CreateFolder(root_ + "NEW"));
    EXPECT_EQ(fixture::Content(root_ + "New\\keep.txt"), "keep");
    EXPECT_FALSE(CreateFolder(root_ + "Missing\\Child")) << "the parent must exist";
}

// Both moves within one volume: a move that copies where it must, and a rename that never does.
TEST_F(FilesContract, MoveNeverReplacesAndNeedsItsTargetFolder) {
    for (auto move : {&MoveExisting, &platform::RenameExisting}) {
        fixture::MakeFile(root_ + "new.dll", "new");
        fixture::MakeFile(root_ + "old.dll", "old");
        EXPECT_EQ(move(root_ + "new.dll", root_ + "old.dll"), MoveResult::Failed);
        EXPECT_EQ(fixture::Content(root_ + "new.dll"), "new");
        EXPECT_EQ(fixture::Content(root_ + "old.dll"), "old");
        EXPECT_EQ(move(root_ + "new.dll", root_ + "Missing\\new.dll"), MoveResult::Failed);
        EXPECT_EQ(fixture::Content(root_ + "new.dll"), "new");
        EXPECT_EQ(move(root_ + "none.dll", root_ + "x.dll"), MoveResult::Failed);
        fixture::MakeFolder(root_ + "Sub");
        EXPECT_EQ(move(root_ + "new.dll", root_ + "Sub\\moved.dll"), MoveResult::Moved);
        EXPECT_FALSE(fixture::Content(root_ + "new.dll").has_value());
        EXPECT_EQ(fixture::Content(root_ + "Sub\\moved.dll"), "new");
        RemoveFile(root_ + "Sub\\moved.dll");
        RemoveFile(root_ + "old.dll");
    }
}

// A target that may not be replaced keeps what it holds, and the source stays. (Wine replaces
// a read-only target, where Windows refuses: left out.)
TEST_F(FilesContract, ReplacingMoveTakesTheTargetsPlaceInOneStep) {
    fixture::MakeFile(root_ + "new.sig", "new");
    fixture::MakeFile(root_ + "kept.sig", "old");
    fixture::MakeFolder(root_ + "Sub");
    EXPECT_EQ(MoveReplacing(root_ + "new.sig", root_ + "kept.sig"), MoveResult::Moved);
    EXPECT_EQ(MoveReplacing(root_ + "kept.sig", root_ + "free.sig"), MoveResult::Moved);
    EXPECT_EQ(MoveReplacing(root_ + "kept.sig", root_ + "free.sig"), MoveResult::Failed);
    {
        fixture::HeldFile held(root_ + "free.sig");
        for (const char* target : {"Sub", "Missing\\a.sig", "free.sig"}) {
            fixture::MakeFile(root_ + "a.sig", "a");
            EXPECT_NE(MoveReplacing(root_ + "a.sig", root_ + target), MoveResult::Moved) << target;
            EXPECT_EQ(fixture::Content(root_ + "a.sig"), "a");
        }
        EXPECT_EQ(MoveReplacing(root_ + "a.sig", root_ + "free.sig"), MoveResult::Busy);
        EXPECT_EQ(MoveReplacing(root_ + "free.sig", root_ + "b.sig"), MoveResult::Busy);
    }
    EXPECT_EQ(fixture::Content(root_ + "free.sig"), "new");
}

TEST_F(FilesContract, MoveOfAFileHeldByAnotherProgramIsBusy) {
    fixture::MakeFile(root_ + "held.dll", "held");
    {
        fixture::HeldFile held(root_ + "held.dll");
        EXPECT_EQ(MoveExisting(root_ + "held.dll", root_ + "moved.dll"), MoveResult::Busy);
        EXPECT_EQ(platform::RenameExisting(root_ + "held.dll", root_ + "moved.dll"),
                  MoveResult::Busy);
        EXPECT_FALSE(RemoveFile(root_ + "held.dll"));
    }
    EXPECT_EQ(MoveExisting(root_ + "held.dll", root_ + "moved.dll"), MoveResult::Moved);
}

TEST_F(FilesContract, DeleteRemovesFilesOnly) {
    fixture::MakeFile(root_ + "a.txt", "a");
    fixture::MakeFolder(root_ + "Sub");
    EXPECT_TRUE(RemoveFile(root_ + "a.txt"));
    EXPECT_FALSE(RemoveFile(root_ + "a.txt"));
    EXPECT_FALSE(RemoveFile(root_ + "Sub"));
    EXPECT_TRUE(FileAttributes(root_ + "Sub").has_value());
}

TEST_F(FilesContract, ReadingGivesTheWholeFileOrNothingWhenHeld) {
    std::string content("a\0b\r\nc", 6);
    fixture::MakeFile(root_ + "list.txt", content);
    {
        ExclusiveFile file(root_ + "list.txt");
        ASSERT_TRUE(file.IsOpen());
        ASSERT_EQ(file.Size(), 6);
        std::string buffer(7, '\0');
        EXPECT_EQ(file.Read(buffer.data(), 6), 6);
        EXPECT_EQ(buffer.substr(0, 6), content);
        ExclusiveFile second(root_ + "list.txt");
        EXPECT_FALSE(second.IsOpen()) << "the first opener shares with nobody";
    }
    fixture::HeldFile held(root_ + "list.txt");
    ExclusiveFile file(root_ + "list.txt");
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Size(), -1);
    char c = 0;
    EXPECT_EQ(file.Read(&c, 1), 0);
    ExclusiveFile missing(root_ + "none.txt");
    EXPECT_FALSE(missing.IsOpen());
}

} // namespace

namespace {

TEST_F(FilesContract, AppendMakesTheFileThenAddsToItsEnd) {
    const std::string record = root_ + "record.txt";
    ASSERT_TRUE(AppendToFile(record, ""));
    EXPECT_EQ(fixture::Content(record), "");
    ASSERT_TRUE(AppendToFile(record, "a\tb\r\n"));
    ASSERT_TRUE(AppendToFile(record, "c\td\r\n"));
    EXPECT_EQ(fixture::Content(record), "a\tb\r\nc\td\r\n");
}

TEST_F(FilesContract, AppendFailsWhereNoFileCanBeWritten) {
    EXPECT_FALSE(AppendToFile(root_ + "Missing\\record.txt", "x"));
    fixture::MakeFolder(root_ + "Folder");
    EXPECT_FALSE(AppendToFile(root_ + "Folder", "x"));
    fixture::MakeFile(root_ + "held.txt", "kept");
    {
        fixture::HeldFile held(root_ + "held.txt");
        EXPECT_FALSE(AppendToFile(root_ + "held.txt", "x"));
    }
    EXPECT_EQ(fixture::Content(root_ + "held.txt"), "kept");
}

} // namespace
