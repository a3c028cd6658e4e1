#include "heightgrid/data/HeightImport.h"

#include "project/Project.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TProject> NewProject()
{
    auto p = std::make_unique<TProject>();
    EXPECT_TRUE(p->NewGrid(4, 3, 30.0, 30.0));
    p->Grid.Cells[1][1].Height = 100.0;
    p->Grid.MaxHeight = 100.0;
    p->Grid.MinHeight = 0.0;
    return p;
}

} // namespace

TEST(HeightCommit, ANewGridReplacesTheOldOne)
{
    auto p = NewProject();
    TImportResult r = ImportPGMData("P2 2 3 255 1 2 3 4 5 6", TPGMImportOptions{12.5, 20.0});
    ASSERT_TRUE(r.Ok);
    std::string error;
    ASSERT_TRUE(CommitHeightImport(*p, r.Grid, error)) << error;
    EXPECT_EQ(p->Grid.SizeX, 2);
    EXPECT_EQ(p->Grid.SizeY, 3);
    EXPECT_EQ(p->Grid.SpacingY, 20.0);
    EXPECT_EQ(p->Grid.MapWidth, 12.5);
    EXPECT_EQ(p->Grid.Cells[1][2].Height, 6.0);
    EXPECT_EQ(p->Grid.MaxHeight, 6.0);
    EXPECT_EQ(p->Grid.MinHeight, 1.0);
}

TEST(HeightCommit, AnImportThatStoresNothingKeepsTheHeightRange)
{
    auto p = NewProject();
    TImportResult r = ImportTextData("", p->Grid);
    ASSERT_TRUE(r.Ok);
    std::string error;
    ASSERT_TRUE(CommitHeightImport(*p, r.Grid, error));
    EXPECT_EQ(p->Grid.Cells[1][1].Height, NullHeight);
    EXPECT_EQ(p->Grid.MaxHeight, 100.0);
    EXPECT_EQ(p->Grid.MinHeight, 0.0);
}

TEST(HeightCommit, AFailedOrStaleImportLeavesTheProjectAlone)
{
    auto p = NewProject();
    TImportResult bad = ImportTextData("1 2 oops", p->Grid);
    EXPECT_FALSE(bad.Ok); // nothing to commit: the caller shows bad.Error
    EXPECT_EQ(p->Grid.Cells[1][1].Height, 100.0);

    // Heights read for a grid that has since changed size are not forced into it.
    TImportResult r = ImportTextData("7 7 7", p->Grid);
    ASSERT_TRUE(r.Ok);
    ASSERT_TRUE(p->NewGrid(5, 5, 30.0, 30.0));
    p->Grid.Cells[0][0].Height = 42.0;
    std::string error;
    EXPECT_FALSE(CommitHeightImport(*p, r.Grid, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(p->Grid.Cells[0][0].Height, 42.0);
}
