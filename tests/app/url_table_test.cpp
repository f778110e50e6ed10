// The URL table model and its operations: index rules, the thread rule, and what
// happens once the table is gone.
#include "table/url_table.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <atomic>
#include <memory>
#include <thread>

#include "table/url_table_model.h"

namespace velmora {
namespace {

// A fresh model and label attached as the operations' target.
class UrlTableTest : public testing::Test {
 protected:
  void SetUp() override {
    model_ = std::make_unique<UrlTableModel>();
    label_ = std::make_unique<QLabel>();
    tester_ = std::make_unique<QAbstractItemModelTester>(
        model_.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    AttachUrlTable(model_.get(), label_.get());
  }
  void TearDown() override {
    tester_.reset();
    AttachUrlTable(nullptr, nullptr);
  }

  void Fill(int rows) {
    ClearRows();
    for (int k = 1; k <= rows; ++k) InsertRow(k, "row" + std::to_string(k - 1));
  }

  // Pumps the main thread's events until `done` or a generous bound passes.
  static void PumpUntil(const std::atomic<bool>& done) {
    QDeadlineTimer deadline(10000);
    while (!done.load() && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
  }

  std::unique_ptr<UrlTableModel> model_;
  std::unique_ptr<QLabel> label_;
  std::unique_ptr<QAbstractItemModelTester> tester_;
};

// A bulk append adds the rows one InsertRow past the end each would, after the
// rows already there, and reports them to views as one insertion.
TEST_F(UrlTableTest, AppendRowsAddsAfterTheLastRowInOrder) {
  Fill(2);
  SetCellText(1, 1, "kept");
  int insertions = 0;
  QObject::connect(model_.get(), &QAbstractItemModel::rowsInserted,
                   [&insertions](const QModelIndex&, int first, int last) {
                     ++insertions;
                     EXPECT_EQ(first, 2);
                     EXPECT_EQ(last, 4);
                   });
  AppendRows({"a", "", "c\x1A\xB0"});
  EXPECT_EQ(insertions, 1);
  ASSERT_EQ(RowCount(), 5);
  const char* expected[] = {"row0", "row1", "a", "", "c\x1A\xB0"};
  for (int r = 0; r < 5; ++r) {
    EXPECT_EQ(GetCellText(r, 0), expected[r]) << "row " << r;
    EXPECT_EQ(GetCellText(r, 1), r == 1 ? "kept" : "") << "row " << r;
  }
  AppendRows({});
  EXPECT_EQ(insertions, 1);
}

TEST_F(UrlTableTest, InsertPositionRules) {
  struct Case {
    const char* name;
    int rowsBefore;
    int position;
    int expectedIndex;
  };
  const Case cases[] = {
      {"past the end of an empty table appends at 0", 0, 5, 0},
      {"0 puts the row first", 3, 0, 0},
      {"-1 appends", 3, -1, 3},
      {"in the middle", 3, 1, 1},
      {"exactly the count appends", 3, 3, 3},
      {"one past the count appends", 3, 4, 3},
      {"large negative appends", 2, -100, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fill(c.rowsBefore);
    EXPECT_EQ(InsertRow(c.position, "new"), c.expectedIndex);
    ASSERT_EQ(RowCount(), c.rowsBefore + 1);
    EXPECT_EQ(GetCellText(c.expectedIndex, 0), "new");
    EXPECT_EQ(GetCellText(c.expectedIndex, 1), "");
    // The rows that were there keep their order around the new one.
    for (int r = 0, old = 0; r < RowCount(); ++r) {
      if (r == c.expectedIndex) continue;
      EXPECT_EQ(GetCellText(r, 0), "row" + std::to_string(old++));
    }
  }
}

TEST_F(UrlTableTest, ImportStyleNumberingAppendsInOrder) {
  ClearRows();
  for (int k = 1; k <= 4; ++k) InsertRow(k, "item" + std::to_string(k));
  ASSERT_EQ(RowCount(), 4);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(GetCellText(r, 0), "item" + std::to_string(r + 1));
}

TEST_F(UrlTableTest, MissingCellsGiveEmptyAndIgnoreWrites) {
  Fill(3);
  SetCellText(1, 1, "summary");
  struct Case {
    const char* name;
    int row;
    int column;
  };
  const Case missing[] = {{"row past the end", 7, 0},
                          {"column past the end", 0, 2},
                          {"negative row", -1, 0},
                          {"negative column", 0, -1},
                          {"row == count", 3, 1}};
  for (const Case& c : missing) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetCellText(c.row, c.column), "");
    SetCellText(c.row, c.column, "x");
    EXPECT_EQ(RowCount(), 3);
  }
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(GetCellText(r, 0), "row" + std::to_string(r));
    EXPECT_EQ(GetCellText(r, 1), r == 1 ? "summary" : "");
  }
}

TEST_F(UrlTableTest, ClearKeepsColumnsAndCellsKeepBytes) {
  Fill(2);
  ClearRows();
  EXPECT_EQ(RowCount(), 0);
  EXPECT_EQ(model_->columnCount(), 2);
  ClearRows();  // clearing an empty table is harmless
  // 校验成功 in code page 936, plus a byte sequence that is not valid code page 936.
  const Text chinese = "\xD0\xA3\xD1\xE9\xB3\xC9\xB9\xA6";
  const Text odd = "a\x81";
  InsertRow(-1, chinese);
  SetCellText(0, 1, odd);
  EXPECT_EQ(GetCellText(0, 0), chinese);
  EXPECT_EQ(GetCellText(0, 1), odd);
  EXPECT_EQ(model_->data(model_->index(0, 0)).toString(), QString::fromUtf8("校验成功"));
}

TEST_F(UrlTableTest, ModelShape) {
  EXPECT_EQ(model_->headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("URL地址"));
  EXPECT_EQ(model_->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("返回关键词"));
  EXPECT_FALSE(model_->headerData(2, Qt::Horizontal).isValid());
  Fill(1);
  EXPECT_FALSE(model_->flags(model_->index(0, 0)) & Qt::ItemIsEditable);
  EXPECT_FALSE(model_->data(model_->index(5, 0)).isValid());
}

TEST_F(UrlTableTest, CountLabel) {
  SetCountLabelText("\xCD\xA8\xB9\xFD");  // 通过
  EXPECT_EQ(label_->text(), QString::fromUtf8("通过"));
}

TEST_F(UrlTableTest, WorkerCallsAreServedByTheMainThread) {
  Fill(2);
  std::atomic<bool> done{false};
  Text seen;
  int index = -2;
  int count = -1;
  std::thread worker([&] {
    seen = GetCellText(1, 0);
    SetCellText(1, 1, "from worker");
    index = InsertRow(-1, "appended");
    count = RowCount();
    SetCountLabelText("7");
    done = true;
  });
  PumpUntil(done);
  worker.join();
  EXPECT_EQ(seen, "row1");
  EXPECT_EQ(index, 2);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(model_->Cell(1, 1), "from worker");
  EXPECT_EQ(label_->text(), "7");
}

TEST_F(UrlTableTest, WorkerCallsAfterTheTableIsGoneDoNothing) {
  Fill(2);
  model_.reset();
  label_.reset();
  std::atomic<bool> done{false};
  Text seen = "unset";
  int index = 0;
  int count = -1;
  std::thread worker([&] {
    seen = GetCellText(0, 0);
    index = InsertRow(0, "x");
    count = RowCount();
    SetCellText(0, 1, "x");
    ClearRows();
    SetCountLabelText("x");
    done = true;
  });
  PumpUntil(done);
  worker.join();
  EXPECT_EQ(seen, "");
  EXPECT_EQ(index, -1);
  EXPECT_EQ(count, 0);
  // And directly on the main thread.
  EXPECT_EQ(GetCellText(0, 0), "");
  EXPECT_EQ(RowCount(), 0);
}

}  // namespace
}  // namespace velmora
