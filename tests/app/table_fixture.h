// The real main window, whose table and count label the table operations reach,
// and the helpers to read them back.
#ifndef VELMORA_TESTS_APP_TABLE_FIXTURE_H_
#define VELMORA_TESTS_APP_TABLE_FIXTURE_H_

#include <gtest/gtest.h>

#include <QLabel>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "table/url_table.h"

namespace velmora {

class TableFixture : public testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>();
    label_ = window_->findChild<QLabel*>(kCountLabelName);
    ASSERT_NE(label_, nullptr);
  }
  void TearDown() override { window_.reset(); }

  // Fills the table with rows that an import must clear.
  static void FillWithOldRows() {
    ClearRows();
    InsertRow(-1, "old row 1");
    InsertRow(-1, "old row 2");
  }

  // Column 0 of every row, in order; column 1 must be empty.
  static std::vector<Text> Rows() {
    std::vector<Text> rows;
    for (int r = 0; r < RowCount(); ++r) {
      rows.push_back(GetCellText(r, 0));
      EXPECT_EQ(GetCellText(r, 1), "") << "row " << r;
    }
    return rows;
  }

  std::unique_ptr<MainWindow> window_;
  QLabel* label_ = nullptr;
};

}  // namespace velmora

#endif  // VELMORA_TESTS_APP_TABLE_FIXTURE_H_
