#include "app/Main.h"
#include "contract/Fixture.h"
#include "discovery/Discovery.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<std::string> Rows(const platform::Grid& grid) {
    std::vector<std::string> rows;
    for (int r = 0; r < grid.RowCount(); ++r) {
        rows.push_back(grid.Cell(0, r));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

class DiscoveryContract : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fixture::ScratchFolder();
        form_ = std::make_unique<TFORM_MAIN>();
        form_->AutoTimer.SetEnabled(false);
    }
    void TearDown() override { form_.reset(); }
    std::string root_;
    std::unique_ptr<TFORM_MAIN> form_;
};

TEST_F(DiscoveryContract, SearchTakesOnlyPlainFoldersAndFiltersByUpperCasedName) {
    using namespace platform;
    fixture::MakeFolder(root_ + "Pelmora 4.1");
    fixture::MakeFolder(root_ + "pelmora 4.2");
    fixture::MakeFolder(root_ + "Other");
    fixture::MakeFolder(root_ + "Pelmora hidden", AttrDirectory | AttrHidden);
    fixture::MakeFolder(root_ + "Pelmora system", AttrDirectory | AttrSystem);
    fixture::MakeFolder(root_ + "Pelmora both", AttrDirectory | AttrHidden | AttrSystem);
    fixture::MakeFile(root_ + "Pelmora file", "x");
    if (fixture::AllFolderAttributesKept()) {
        fixture::MakeFolder(root_ + "Pelmora readonly", AttrDirectory | AttrReadOnly);
        fixture::MakeFolder(root_ + "Pelmora archive", AttrDirectory | AttrArchive);
    }
    SearchFolders(*form_, root_, true);
    EXPECT_EQ(Rows(form_->SearchDataGrid),
              (std::vector<std::string>{root_ + "Pelmora 4.1", root_ + "pelmora 4.2"}));
    form_->SearchDataGrid.Clear();
    SearchFolders(*form_, root_, false);
    EXPECT_EQ(
        Rows(form_->SearchDataGrid),
        (std::vector<std::string>{root_ + "Other", root_ + "Pelmora 4.1", root_ + "pelmora 4.2"}));
}

TEST_F(DiscoveryContract, MissingDriveOrFolderAddsNothing) {
    SearchFolders(*form_, std::string(1, fixture::MissingDrive()) + ":\\", false);
    SearchFolders(*form_, root_ + "Missing\\", false);
    EXPECT_EQ(form_->SearchDataGrid.RowCount(), 1);
    EXPECT_EQ(form_->SearchDataGrid.Cell(0, 0), "");
}

} // namespace
