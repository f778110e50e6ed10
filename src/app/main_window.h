// The main window: its design (six controls at fixed places), the URL table view,
// the events it handles and where each one goes, and the table's context menu that
// takes the results out (copy, copy all, CSV export, probing the rows still
// empty). The menu and its shortcuts are the only additions to the design: a user
// who never right-clicks sees the window as designed. Main thread only.
#ifndef VELMORA_APP_MAIN_WINDOW_H_
#define VELMORA_APP_MAIN_WINDOW_H_

#include <QMargins>
#include <QRect>
#include <QWidget>
#include <functional>

#include "text/text.h"

class QAction;
class QLabel;
class QPushButton;
class QTreeView;

namespace velmora {

class DropTarget;
class UrlTableModel;

// Where the window's events go. Defaults: RunBatch, ImportSitemap, ImportDroppedFile.
struct WindowHandlers {
  std::function<void()> startClicked;                   // 按钮1
  std::function<void()> sitemapClicked;                 // 按钮2
  std::function<void(const Text& paths)> filesDropped;  // 拖放对象1
};
[[nodiscard]] WindowHandlers DefaultWindowHandlers();

// Outer size of the window, frame and title bar included.
inline constexpr int kWindowOuterWidth = 410;
inline constexpr int kWindowOuterHeight = 300;
// Frame assumed where the window manager reports none with a title bar (offscreen,
// a bare X server): the fixed dialog frame and caption bar of the platform the
// design was drawn on, so that the controls fit in the client area as designed.
inline constexpr QMargins kFallbackFrame{3, 22, 3, 3};

// Object names of the controls, as in the design.
inline constexpr char kSitemapButtonName[] = "按钮2";
inline constexpr char kCountLabelName[] = "透明标签2";
inline constexpr char kPassLabelName[] = "透明标签1";
inline constexpr char kStartButtonName[] = "按钮1";
inline constexpr char kDropTargetName[] = "拖放对象1";
inline constexpr char kUrlTableName[] = "超级列表框1";

// The context menu's items, in their order, as UTF-8.
inline constexpr char kCopyItemText[] = "复制";
inline constexpr char kCopyAllItemText[] = "复制全部";
inline constexpr char kExportItemText[] = "导出 CSV…";
inline constexpr char kReprobeItemText[] = "重新探测空白行";
// The file name the export dialog suggests.
inline constexpr char kExportFileName[] = "velmora.csv";

// The design-time row: an example home page and 校验成功.
inline constexpr char kDesignRowUrl[] = "https://www.example.com/";
inline constexpr char kDesignRowSummary[] = "\xD0\xA3\xD1\xE9\xB3\xC9\xB9\xA6";  // 校验成功

class MainWindow final : public QWidget {
 public:
  // Loads the window: controls in design order, columns and the design-time row,
  // centred on its screen, drop target registered, operations of url_table.h
  // attached. Not shown yet.
  explicit MainWindow(WindowHandlers handlers = DefaultWindowHandlers());
  ~MainWindow() override;

  [[nodiscard]] UrlTableModel* Table() const { return model_; }
  [[nodiscard]] QTreeView* TableView() const { return view_; }
  [[nodiscard]] DropTarget* Drops() const { return dropTarget_; }

  // Client size that makes the outer size 410 × 300 with `frame`.
  [[nodiscard]] static QSize ClientSizeFor(QMargins frame);

  // The context menu's actions, in menu order: 复制, 复制全部, 导出 CSV…,
  // 重新探测空白行.
  [[nodiscard]] QList<QAction*> TableActions() const;

  // 复制: the selected row as "address TAB summary" to the clipboard; nothing
  // selected, the clipboard stays as it was.
  void CopySelectedRow();
  // 复制全部: the column titles and every row, CR LF after each line.
  void CopyAllRows();
  // 导出 CSV…: asks for the file (velmora.csv suggested), then ExportCsvTo(it);
  // a cancelled dialog writes nothing.
  void ExportCsv();
  // Writes the table's CSV to `path` whole or not at all. On failure shows a box
  // (caption 信息：, error icon) that says what failed; the table stays as it is.
  // True when the file was written.
  bool ExportCsvTo(const QString& path);
  // 重新探测空白行: RunBatchRows over the rows whose summary is empty.
  void ReprobeEmptyRows();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Sizes the client for the frame now known (or the fallback) and centres the
  // frame on the screen; does nothing while the frame stays as it was.
  void FitFrame();
  [[nodiscard]] QMargins CurrentFrame() const;
  // Opens the table's context menu at `globalPos` and runs the item chosen.
  void ShowTableMenu(const QPoint& globalPos);

  WindowHandlers handlers_;
  UrlTableModel* model_ = nullptr;
  QTreeView* view_ = nullptr;
  DropTarget* dropTarget_ = nullptr;
  QAction* copyAction_ = nullptr;
  QAction* copyAllAction_ = nullptr;
  QAction* exportAction_ = nullptr;
  QAction* reprobeAction_ = nullptr;
  QMargins fittedFrame_{-1, -1, -1, -1};
};

}  // namespace velmora

#endif  // VELMORA_APP_MAIN_WINDOW_H_
