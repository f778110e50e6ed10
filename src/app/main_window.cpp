#include "app/main_window.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <utility>

#include "app/batch.h"
#include "app/drop_target.h"
#include "app/imports.h"
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

template <typename W>
W* Placed(W* widget, const char* name, const QRect& rect) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(rect);
  return widget;
}

QTreeView* MakeTableView(QWidget* parent, UrlTableModel* model) {
  auto* view = Placed(new QTreeView(parent), kUrlTableName, kUrlTableRect);
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

  QHeaderView* header = view->header();
  header->setVisible(true);
  header->setSectionsClickable(false);
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
  auto* button = Placed(new QPushButton(QString::fromUtf8(text), parent), name, rect);
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
  view_ = MakeTableView(this, model_);
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

  FitFrame();
  // The creation handler: drops anywhere over the window reach the drop target.
  dropTarget_->Register(this);
  AttachUrlTable(model_, countLabel);
}

MainWindow::~MainWindow() { dropTarget_->Unregister(); }

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
  event->accept();
}

}  // namespace velmora
