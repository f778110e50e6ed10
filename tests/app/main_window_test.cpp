// The main window's design, its table view, keyboard and button events.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <memory>
#include <vector>

#include "app/drop_target.h"
#include "table/display_text.h"
#include "table/url_table.h"
#include "table/url_table_model.h"

namespace velmora {
namespace {

struct Calls {
  int start = 0;
  int sitemap = 0;
  std::vector<Text> drops;
};

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>(
        WindowHandlers{[this] { ++calls_.start; }, [this] { ++calls_.sitemap; },
                       [this](const Text& paths) { calls_.drops.push_back(paths); }});
  }

  QWidget* Control(const char* name) const {
    return window_->findChild<QWidget*>(QString::fromUtf8(name));
  }

  Calls calls_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, ControlsFollowTheDesign) {
  struct Expected {
    const char* name;
    QRect rect;
    const char* text;  // nullptr: no caption
    bool visible;
    bool tabStop;
  };
  const Expected design[] = {
      {"按钮2", {232, 216, 152, 32}, "XML地址", true, true},
      {"透明标签2", {40, 216, 48, 24}, "0", true, false},
      {"透明标签1", {8, 216, 48, 24}, "通过", true, false},
      {"按钮1", {60, 216, 152, 32}, "启动", true, true},
      {"拖放对象1", {176, 216, 56, 48}, nullptr, false, false},
      {"超级列表框1", {2, 0, 400, 200}, nullptr, true, true},
  };
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  std::vector<QWidget*> created;
  for (QObject* child : window_->children()) {
    if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->objectName().isEmpty()) {
      created.push_back(widget);
    }
  }
  ASSERT_EQ(created.size(), std::size(design));
  for (size_t i = 0; i < std::size(design); ++i) {
    const Expected& e = design[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(created[i]->objectName(), QString::fromUtf8(e.name)) << "creation order";
    QWidget* control = Control(e.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), e.rect);
    EXPECT_EQ(control->isVisible(), e.visible);
    EXPECT_EQ(bool(control->focusPolicy() & Qt::TabFocus), e.tabStop);
    if (e.text == nullptr) continue;
    const QString text = QString::fromUtf8(e.text);
    if (auto* button = qobject_cast<QPushButton*>(control))
      EXPECT_EQ(button->text(), text);
    else if (auto* label = qobject_cast<QLabel*>(control))
      EXPECT_EQ(label->text(), text);
    else
      ADD_FAILURE() << "no caption";
  }
  // Every control lies inside the client area.
  const QRect client = window_->rect();
  for (const Expected& e : design) EXPECT_TRUE(client.contains(e.rect)) << e.name;
}

TEST_F(MainWindowTest, WindowFrameAndPlacement) {
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QCoreApplication::processEvents();
  EXPECT_EQ(window_->windowTitle(), "Velmora - Trisk");
  EXPECT_EQ(window_->size(), MainWindow::ClientSizeFor(kFallbackFrame))
      << "offscreen has no caption";
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize()) << "fixed size";
  const Qt::WindowFlags flags = window_->windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  const QRect screen = window_->screen()->geometry();
  EXPECT_EQ(window_->pos(), QPoint((screen.width() - 410) / 2, (screen.height() - 300) / 2));
  EXPECT_EQ(MainWindow::ClientSizeFor({4, 30, 4, 4}), QSize(402, 266));
}

TEST_F(MainWindowTest, TableViewAndDesignRow) {
  QTreeView* view = window_->TableView();
  UrlTableModel* model = window_->Table();
  QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(view->objectName(), QString::fromUtf8("超级列表框1"));
  EXPECT_EQ(view->model(), model);
  EXPECT_EQ(model->columnCount(), 2);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("URL地址"));
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("返回关键词"));
  EXPECT_EQ(view->header()->sectionSize(0), 200);
  EXPECT_EQ(view->header()->sectionSize(1), 500);
  EXPECT_FALSE(view->header()->isHidden());
  EXPECT_FALSE(view->header()->sectionsMovable());
  EXPECT_FALSE(view->isSortingEnabled());
  EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(view->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_EQ(view->palette().color(QPalette::Text), QColor(Qt::black));

  // The operations reach this window's table: the design-time row is there.
  ASSERT_EQ(RowCount(), 1);
  EXPECT_EQ(GetCellText(0, 0), "https://www.example.com/");
  EXPECT_EQ(GetCellText(0, 1), "\xD0\xA3\xD1\xE9\xB3\xC9\xB9\xA6");  // 校验成功
  EXPECT_FALSE(view->selectionModel()->hasSelection());

  // Selecting any cell marks only the row's first cell.
  InsertRow(-1, "second");
  view->selectionModel()->select(model->index(1, 1), QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(view->selectionModel()->selectedIndexes(), QModelIndexList{model->index(1, 0)});

  SetCountLabelText("5");
  EXPECT_EQ(qobject_cast<QLabel*>(Control("透明标签2"))->text(), "5");
}

TEST_F(MainWindowTest, TabVisitsTheTabStopsInCreationOrder) {
  std::vector<QString> order;
  QWidget* w = window_.get();
  do {
    w = w->nextInFocusChain();
    if (w != window_.get() && (w->focusPolicy() & Qt::TabFocus) && !w->isHidden()) {
      order.push_back(w->objectName());
    }
  } while (w != window_.get());
  const std::vector<QString> expected = {QString::fromUtf8("按钮2"), QString::fromUtf8("按钮1"),
                                         QString::fromUtf8("超级列表框1")};
  EXPECT_EQ(order, expected);
}

TEST_F(MainWindowTest, ButtonsReachTheirHandlers) {
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QTest::mouseClick(Control("按钮1"), Qt::LeftButton);
  EXPECT_EQ(calls_.start, 1);
  EXPECT_EQ(calls_.sitemap, 0);
  QTest::mouseClick(Control("按钮2"), Qt::LeftButton);
  EXPECT_EQ(calls_.start, 1);
  EXPECT_EQ(calls_.sitemap, 1);
}

TEST_F(MainWindowTest, EscapeClosesTheWindow) {
  window_->show();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  Control("按钮1")->setFocus();
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(calls_.start, 0);
}

TEST_F(MainWindowTest, OtherKeysDoNotClose) {
  window_->show();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  window_->TableView()->setFocus();
  QTest::keyClick(window_.get(), Qt::Key_F1);
  QTest::keyClick(window_->TableView(), Qt::Key_Return);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), window_->TableView()) << "Enter does not move focus";
}

TEST_F(MainWindowTest, AClickInARowSelectsItsFirstCellWithoutScrollingSideways) {
  window_->show();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QTreeView* view = window_->TableView();
  UrlTableModel* model = window_->Table();
  ClearRows();
  for (int k = 1; k <= 3; ++k) {
    InsertRow(k, "http://row" + std::to_string(k) + ".example/");
    SetCellText(k - 1, 1, "summary " + std::to_string(k));
  }
  QScrollBar* sideways = view->horizontalScrollBar();
  ASSERT_GT(sideways->maximum(), 0) << "the columns are wider than the view";
  const struct {
    const char* name;
    int scrolledTo;  // horizontal position before the click
  } cases[] = {{"scrolled to the left", 0}, {"scrolled halfway", sideways->maximum() / 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sideways->setValue(c.scrolledTo);
    for (int row = 0; row < 3; ++row) {
      // A point of the summary cell that is on screen.
      const QRect summary = view->visualRect(model->index(row, 1));
      const QPoint at(std::max(summary.left(), 0) + 20, summary.center().y());
      ASSERT_TRUE(view->viewport()->rect().contains(at));
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
      QCoreApplication::processEvents();
      EXPECT_EQ(view->selectionModel()->selectedIndexes(), QModelIndexList{model->index(row, 0)});
      EXPECT_EQ(view->currentIndex(), model->index(row, 0)) << "the focus frame is on the address";
      EXPECT_EQ(sideways->value(), c.scrolledTo);
    }
  }
  // Down moves to the next row's first cell; Left and Right only scroll.
  sideways->setValue(0);
  QTest::keyClick(view, Qt::Key_Up);
  EXPECT_EQ(view->currentIndex(), model->index(1, 0));
  QTest::keyClick(view, Qt::Key_Right);
  EXPECT_EQ(view->currentIndex(), model->index(1, 0));
  EXPECT_GT(sideways->value(), 0);
  QTest::keyClick(view, Qt::Key_Left);
  EXPECT_EQ(sideways->value(), 0);
}

TEST_F(MainWindowTest, ArrowKeysOnAButtonKeepTheFocus) {
  window_->show();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  for (const char* name : {"按钮1", "按钮2"}) {
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}) {
      SCOPED_TRACE(std::string(name) + " key " + std::to_string(key));
      Control(name)->setFocus();
      QTest::keyClick(Control(name), key);
      EXPECT_EQ(QApplication::focusWidget(), Control(name));
    }
  }
  // Tab still moves on.
  Control("按钮2")->setFocus();
  QTest::keyClick(Control("按钮2"), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Control("按钮1"));
  EXPECT_EQ(calls_.start + calls_.sitemap, 0);
}

TEST_F(MainWindowTest, TheHeaderPressesButSortsNothing) {
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  ClearRows();
  for (const char* url : {"http://b.example/", "http://c.example/", "http://a.example/"}) {
    InsertRow(-1, url);
  }
  QHeaderView* header = window_->TableView()->header();
  EXPECT_TRUE(header->sectionsClickable());
  QSignalSpy clicked(header, &QHeaderView::sectionClicked);
  for (int section : {0, 1, 0}) {
    const QPoint at(header->sectionViewportPosition(section) + 20, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  }
  EXPECT_EQ(clicked.count(), 3);
  EXPECT_FALSE(header->isSortIndicatorShown());
  EXPECT_EQ(GetCellText(0, 0), "http://b.example/");
  EXPECT_EQ(GetCellText(1, 0), "http://c.example/");
  EXPECT_EQ(GetCellText(2, 0), "http://a.example/");
}

TEST_F(MainWindowTest, AFiftyMegabyteRowIsPaintedCappedAndKeptWhole) {
  constexpr size_t kHuge = 50u << 20;
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  ClearRows();
  // Two-byte characters, so a cut in the middle of one would show.
  Text huge;
  huge.reserve(kHuge);
  while (huge.size() < kHuge) huge += "\xD6\xD0";  // 中
  InsertRow(-1, huge);
  SetCellText(0, 1, "x" + huge);
  UrlTableModel* model = window_->Table();
  for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole)}) {
    for (int column : {0, 1}) {
      SCOPED_TRACE("role " + std::to_string(role) + " column " + std::to_string(column));
      const QString shown = model->data(model->index(0, column), role).toString();
      EXPECT_EQ(shown.size(), qsizetype(kShownCharacters) + 1);
      EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
      EXPECT_EQ(FromDisplayText(shown.left(shown.size() - 1)),
                column == 0 ? huge.substr(0, 2 * kShownCharacters)
                            : "x" + huge.substr(0, 2 * (kShownCharacters - 1)));
    }
  }
  // Painting the row ends; the cells still hold every byte.
  const QPixmap painted = window_->TableView()->viewport()->grab();
  EXPECT_FALSE(painted.isNull());
  EXPECT_EQ(GetCellText(0, 0).size(), huge.size());
  EXPECT_EQ(GetCellText(0, 1).size(), huge.size() + 1);
  // A short cell is shown whole, without an ellipsis.
  EXPECT_EQ(ToShownText("short"), "short");
  EXPECT_EQ(LeadingCharacters("a\xD6\xD0"
                              "b",
                              2),
            std::string_view("a\xD6\xD0"));
}

TEST_F(MainWindowTest, OperationsAfterTheWindowIsDestroyed) {
  window_.reset();
  EXPECT_EQ(RowCount(), 0);
  EXPECT_EQ(InsertRow(0, "x"), -1);
  EXPECT_EQ(GetCellText(0, 0), "");
  SetCellText(0, 0, "x");
  SetCountLabelText("x");
}

}  // namespace
}  // namespace velmora
