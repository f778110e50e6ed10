// A URL table model and count label attached as the target of the table
// operations, as the main window attaches its own.
#ifndef VELMORA_TESTS_IMPORT_TABLE_FIXTURE_H_
#define VELMORA_TESTS_IMPORT_TABLE_FIXTURE_H_

#include <gtest/gtest.h>

#include <QLabel>
#include <memory>
#include <vector>

#include "app/url_table.h"
#include "app/url_table_model.h"

namespace velmora {

class TableFixture : public testing::Test {
 protected:
  void SetUp() override {
    model_ = std::make_unique<UrlTableModel>();
    label_ = std::make_unique<QLabel>();
    AttachUrlTable(model_.get(), label_.get());
  }
  void TearDown() override { AttachUrlTable(nullptr, nullptr); }

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

  std::unique_ptr<UrlTableModel> model_;
  std::unique_ptr<QLabel> label_;
};

}  // namespace velmora

#endif  // VELMORA_TESTS_IMPORT_TABLE_FIXTURE_H_
