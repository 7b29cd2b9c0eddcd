// Column widths saved in the registry and read back, against a temporary store.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "TempDir.h"

using namespace QSGrid;
namespace reg = VIDodadaZadoVove;

namespace {

const std::string kKey = "Software\\QSoft\\QSRedorodo\\GridColumns";

class ColumnPersistence : public ::testing::Test {
 protected:
  ColumnPersistence() : grid_(new TQSStringGrid(&parent_)) {
    grid_->SetColCount(9);
    for (int c = 0; c < 9; ++c) {
      grid_->SetColWidths(c, 40 + c);
    }
  }
  TQSStringGrid& grid() { return *grid_; }

  testsupport::ScopedRegistryDir registry_;
  gridtest::MessageBoxRecorder boxes_;
  QWidget parent_;
  TQSStringGrid* grid_;
};

TEST_F(ColumnPersistence, SavingWritesOneSubKeyPerColumnAndDropsOldOnes) {
  reg::WriteToRegistry(reg::HKEY_CURRENT_USER, kKey + "\\11", "Width", reg::Variant(5), false, "");
  grid().HideCol(4);
  grid().SaveColumnsToRegistry(reg::HKEY_CURRENT_USER, kKey);
  const auto names = reg::ReadKeysFromRegistry(reg::HKEY_CURRENT_USER, kKey, false, "");
  EXPECT_EQ(names.size(), 9u);
  EXPECT_EQ(std::count(names.begin(), names.end(), "11"), 0);
  for (int c = 0; c < 9; ++c) {
    const reg::Variant width = reg::ReadFromRegistry(
        reg::HKEY_CURRENT_USER, kKey + "\\" + std::to_string(c), "Width", 3, false, "");
    EXPECT_EQ(width.AsInt(), c == 4 ? -1 : 40 + c) << c;
  }
  EXPECT_TRUE(boxes_.Calls().empty());
}

TEST_F(ColumnPersistence, ReadingRestoresWidthsButNotHiding) {
  grid().HideCol(4);
  grid().SaveColumnsToRegistry(reg::HKEY_CURRENT_USER, kKey);
  for (int c = 0; c < 9; ++c) {
    grid().SetColWidths(c, 99);
  }
  grid().ReadColumnsFromRegistry(reg::HKEY_CURRENT_USER, kKey);
  for (int c = 0; c < 9; ++c) {
    EXPECT_EQ(grid().ColWidths(c), c == 4 ? 99 : 40 + c) << c;
  }
}

TEST_F(ColumnPersistence, StrayAndStaleSubKeysAreSkipped) {
  grid().SaveColumnsToRegistry(reg::HKEY_CURRENT_USER, kKey);
  reg::WriteToRegistry(reg::HKEY_CURRENT_USER, kKey + "\\abc", "Width", reg::Variant(7), false, "");
  reg::WriteToRegistry(reg::HKEY_CURRENT_USER, kKey + "\\10", "Width", reg::Variant(7), false, "");
  reg::WriteToRegistry(reg::HKEY_CURRENT_USER, kKey + "\\3", "Other", reg::Variant(7), false, "");
  reg::DeleteFromRegistry(reg::HKEY_CURRENT_USER, kKey + "\\3", "Width", false, "");
  for (int c = 0; c < 9; ++c) {
    grid().SetColWidths(c, 99);
  }
  EXPECT_NO_THROW(grid().ReadColumnsFromRegistry(reg::HKEY_CURRENT_USER, kKey));
  EXPECT_EQ(grid().ColWidths(0), 40);
  EXPECT_EQ(grid().ColWidths(3), 99);  // no width value: kept
  EXPECT_EQ(grid().ColWidths(8), 48);
}

TEST_F(ColumnPersistence, AMissingKeyChangesNothing) {
  grid().ReadColumnsFromRegistry(reg::HKEY_CURRENT_USER, kKey + "\\Nowhere");
  for (int c = 0; c < 9; ++c) {
    EXPECT_EQ(grid().ColWidths(c), 40 + c);
  }
}

}  // namespace
