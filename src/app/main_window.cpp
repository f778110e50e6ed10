#include "app/main_window.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "app/batch.h"
#include "app/drop_target.h"
#include "app/message_box.h"
#include "app/results_out.h"
#include "import/dropped_file.h"
#include "import/sitemap.h"
#include "table/display_text.h"
#include "table/url_table_model.h"

namespace velmora {
namespace {

// Design rectangles, in client coordinates.
constexpr QRect kSitemapButtonRect{232, 216, 152, 32};
constexpr QRect kCountLabelRect{40, 216, 48, 24};
constexpr QRect kPassLabelRect{8, 216, 48, 24};
constexpr QRect kStartButtonRect{60, 216, 152, 32};
constexpr QRect kDropTargetRect{176, 216, 56, 48};
constexpr QRect kUrlTableRect{2, 0, 400, 200};

// Selecting any cell selects only the first cell of its row, so the selection
// marks the address alone, as the list view without full-row selection does.
class FirstCellSelectionModel final : public QItemSelectionModel {
 public:
  using QItemSelectionModel::QItemSelectionModel;
  using QItemSelectionModel::select;

  void select(const QItemSelection& selection, SelectionFlags command) override {
    QItemSelection firstCells;
    for (const QItemSelectionRange& range : selection) {
      for (int row = range.top(); row <= range.bottom(); ++row) {
        const QModelIndex cell = model()->index(row, 0, range.parent());
        if (cell.isValid()) firstCells.select(cell, cell);
      }
    }
    QItemSelectionModel::select(firstCells, command & ~(Rows | Columns));
  }
};

// Items never light up under the mouse.
class NoHotTrackingDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_MouseOver;
  }
};

// The URL table's view. It keeps the list view's ways where Qt's item view differs:
// the current item is always a row's first cell, so a click anywhere in a row
// selects and frames that cell; the view never scrolls sideways by itself (Left and
// Right scroll it); and the context menu comes with the right button, the Menu key
// and Shift+F10 alike.
class UrlTableView final : public QTreeView {
 public:
  UrlTableView(QWidget* parent, std::function<void(const QPoint&)> menuRequested)
      : QTreeView(parent), menuRequested_(std::move(menuRequested)) {}

  std::function<void()> copyRequested;

  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override {
    const int sideways = horizontalScrollBar()->value();
    QTreeView::scrollTo(index, hint);
    horizontalScrollBar()->setValue(sideways);
  }

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
    if (current.isValid() && current.column() != kUrlColumn) {
      selectionModel()->setCurrentIndex(current.siblingAtColumn(kUrlColumn),
                                        QItemSelectionModel::NoUpdate);
      return;
    }
    QTreeView::currentChanged(current, previous);
  }

  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
    switch (action) {
      case MoveLeft:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return currentIndex();
      case MoveRight:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return currentIndex();
      default: {
        const QModelIndex moved = QTreeView::moveCursor(action, modifiers);
        return moved.isValid() ? moved.siblingAtColumn(kUrlColumn) : moved;
      }
    }
  }

  void keyPressEvent(QKeyEvent* event) override {
    // Qt's own copy would take the current cell's shown (possibly cut) text, and
    // copy it even with nothing selected.
    if (event->matches(QKeySequence::Copy)) {
      if (copyRequested) copyRequested();
      event->accept();
      return;
    }
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (event->key() == Qt::Key_Menu || shiftF10) {
      event->accept();
      OpenMenuAtCurrentRow();
      return;
    }
    QTreeView::keyPressEvent(event);
  }

  void contextMenuEvent(QContextMenuEvent* event) override {
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse) {
      if (menuRequested_) menuRequested_(event->globalPos());
      return;
    }
    OpenMenuAtCurrentRow();
  }

 private:
  // From the keyboard the menu opens at the selected row, or at the top left of
  // the rows when none is selected.
  void OpenMenuAtCurrentRow() {
    QPoint at(0, 0);
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (!selected.isEmpty()) {
      const QRect cell = visualRect(selected.front());
      at = QPoint(std::max(cell.left(), 0), cell.bottom());
    }
    if (menuRequested_) menuRequested_(viewport()->mapToGlobal(at));
  }

  std::function<void(const QPoint&)> menuRequested_;
};

// A push button on which only Tab moves the focus: Qt's buttons pass it on with the
// arrow keys too, as if they were in a group.
class DesignButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Up:
      case Qt::Key_Down:
        event->accept();
        return;
      default:
        QPushButton::keyPressEvent(event);
    }
  }
};

template <typename W>
W* Placed(W* widget, const char* name, const QRect& rect) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(rect);
  return widget;
}

UrlTableView* MakeTableView(QWidget* parent, UrlTableModel* model,
                            std::function<void(const QPoint&)> menuRequested) {
  auto* view =
      Placed(new UrlTableView(parent, std::move(menuRequested)), kUrlTableName, kUrlTableRect);
  view->setModel(model);
  view->setSelectionModel(new FirstCellSelectionModel(model, view));
  view->setItemDelegate(new NoHotTrackingDelegate(view));
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setSortingEnabled(false);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectItems);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setDragDropMode(QAbstractItemView::NoDragDrop);
  view->setAcceptDrops(false);  // drops fall through to the window's drop target
  view->setMouseTracking(false);
  view->viewport()->setAttribute(Qt::WA_Hover, false);
  view->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  view->setFocusPolicy(Qt::StrongFocus);
  view->setContextMenuPolicy(Qt::DefaultContextMenu);

  // A header section presses like a button when clicked, and sorts nothing.
  QHeaderView* header = view->header();
  header->setVisible(true);
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  header->setSectionsMovable(false);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->resizeSection(kUrlColumn, kUrlColumnWidth);
  header->resizeSection(kSummaryColumn, kSummaryColumnWidth);

  // Black on white; the selection shows only while the table has the focus.
  QPalette palette = view->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  view->setPalette(palette);
  return view;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, const QRect& rect) {
  auto* button = Placed(new DesignButton(QString::fromUtf8(text), parent), name, rect);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

// A label drawn without its own background and never focused.
QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, const QRect& rect) {
  auto* label = Placed(new QLabel(QString::fromUtf8(text), parent), name, rect);
  label->setAutoFillBackground(false);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

}  // namespace

WindowHandlers DefaultWindowHandlers() { return {&RunBatch, &ImportSitemap, &ImportDroppedFile}; }

QSize MainWindow::ClientSizeFor(QMargins frame) {
  return {kWindowOuterWidth - frame.left() - frame.right(),
          kWindowOuterHeight - frame.top() - frame.bottom()};
}

MainWindow::MainWindow(WindowHandlers handlers)
    : QWidget(nullptr, Qt::Window), handlers_(std::move(handlers)) {
  setWindowTitle(QStringLiteral("Velmora - Trisk"));
  setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowCloseButtonHint) &
                 ~(Qt::WindowMaximizeButtonHint | Qt::WindowStaysOnTopHint));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  // Creation order is the design's: it sets stacking and the default Tab order.
  QPushButton* sitemapButton = MakeButton(this, kSitemapButtonName, "XML地址", kSitemapButtonRect);
  QLabel* countLabel = MakeLabel(this, kCountLabelName, "0", kCountLabelRect);
  MakeLabel(this, kPassLabelName, "通过", kPassLabelRect);
  QPushButton* startButton = MakeButton(this, kStartButtonName, "启动", kStartButtonRect);
  dropTarget_ = Placed(new DropTarget(this,
                                      [this](const Text& paths) {
                                        if (handlers_.filesDropped) handlers_.filesDropped(paths);
                                      }),
                       kDropTargetName, kDropTargetRect);
  dropTarget_->setFocusPolicy(Qt::NoFocus);
  dropTarget_->hide();
  model_ = new UrlTableModel(this);
  auto* tableView =
      MakeTableView(this, model_, [this](const QPoint& globalPos) { ShowTableMenu(globalPos); });
  tableView->copyRequested = [this] { CopySelectedRow(); };
  view_ = tableView;
  model_->Insert(-1, kDesignRowUrl);
  model_->SetCell(0, kSummaryColumn, kDesignRowSummary);
  setTabOrder(sitemapButton, startButton);
  setTabOrder(startButton, view_);

  connect(startButton, &QPushButton::clicked, this, [this] {
    if (handlers_.startClicked) handlers_.startClicked();
  });
  connect(sitemapButton, &QPushButton::clicked, this, [this] {
    if (handlers_.sitemapClicked) handlers_.sitemapClicked();
  });
  // A control that uses Esc itself takes it first through the shortcut override.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  // The table's context menu. 复制 also answers Ctrl+C while the table has the
  // focus (the view routes the key), and shows the shortcut in the menu.
  auto makeAction = [this](const char* text, void (MainWindow::*run)()) {
    auto* action = new QAction(QString::fromUtf8(text), this);
    connect(action, &QAction::triggered, this, run);
    return action;
  };
  copyAction_ = makeAction(kCopyItemText, &MainWindow::CopySelectedRow);
  copyAction_->setShortcut(QKeySequence::Copy);
  copyAction_->setShortcutContext(Qt::WidgetShortcut);
  copyAllAction_ = makeAction(kCopyAllItemText, &MainWindow::CopyAllRows);
  exportAction_ = makeAction(kExportItemText, &MainWindow::ExportCsv);
  reprobeAction_ = makeAction(kReprobeItemText, &MainWindow::ReprobeEmptyRows);

  FitFrame();
  // The creation handler: drops anywhere over the window reach the drop target.
  dropTarget_->Register(this);
  AttachUrlTable(model_, countLabel);
}

MainWindow::~MainWindow() { dropTarget_->Unregister(); }

QList<QAction*> MainWindow::TableActions() const {
  return {copyAction_, copyAllAction_, exportAction_, reprobeAction_};
}

void MainWindow::ShowTableMenu(const QPoint& globalPos) {
  copyAction_->setEnabled(view_->selectionModel()->hasSelection());
  QMenu menu(this);
  menu.addActions(TableActions());
  menu.exec(globalPos);
  // Ctrl+C checks the selection itself; the action stays usable for it.
  copyAction_->setEnabled(true);
}

void MainWindow::CopySelectedRow() {
  const QModelIndexList selected = view_->selectionModel()->selectedIndexes();
  if (selected.isEmpty()) return;
  QGuiApplication::clipboard()->setText(RowClipboardText(*model_, selected.front().row()));
}

void MainWindow::CopyAllRows() {
  QGuiApplication::clipboard()->setText(TableClipboardText(*model_));
}

void MainWindow::ExportCsv() {
  QFileDialog dialog(this, QString::fromUtf8(kExportItemText));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("CSV (*.csv)"));
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  dialog.selectFile(QString::fromUtf8(kExportFileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  (void)ExportCsvTo(dialog.selectedFiles().front());
}

bool MainWindow::ExportCsvTo(const QString& path) {
  const std::string failure = ExportTableCsv(*model_, QFile::encodeName(path).toStdString());
  if (failure.empty()) return true;
  // 导出 CSV 失败：
  constexpr std::string_view kFailedPrefix = "\xb5\xbc\xb3\xf6 CSV \xca\xa7\xb0\xdc\xa3\xba";
  ShowMessageBox(Text(kFailedPrefix) + FromDisplayText(QString::fromStdString(failure)),
                 kBoxCaption, BoxIcon::kError);
  return false;
}

void MainWindow::ReprobeEmptyRows() { RunBatchRows(RowsWithoutSummary(*model_)); }

QMargins MainWindow::CurrentFrame() const {
  const QRect outer = frameGeometry();
  const QRect inner = geometry();
  const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                       outer.right() - inner.right(), outer.bottom() - inner.bottom());
  // Only a frame with a caption bar is a real window manager's; offscreen reports a
  // uniform 2 pixels and a bare X server none.
  return frame.top() > frame.bottom() ? frame : kFallbackFrame;
}

void MainWindow::FitFrame() {
  const QMargins frame = CurrentFrame();
  if (frame == fittedFrame_) return;
  fittedFrame_ = frame;
  setFixedSize(ClientSizeFor(frame));
  // Integer division, as the design states; the position is the frame's.
  const QRect screenRect = screen() != nullptr ? screen()->geometry() : QRect();
  move(screenRect.x() + (screenRect.width() - kWindowOuterWidth) / 2,
       screenRect.y() + (screenRect.height() - kWindowOuterHeight) / 2);
}

bool MainWindow::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Show:
      // The window manager's frame becomes known only once it has decorated us.
      QTimer::singleShot(0, this, &MainWindow::FitFrame);
      break;
    case QEvent::Move:
      FitFrame();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  dropTarget_->Unregister();
  // The program ends with its window: a batch still starting would otherwise go on
  // probing, unseen, until its last row.
  StopBatches();
  event->accept();
}

}  // namespace velmora
