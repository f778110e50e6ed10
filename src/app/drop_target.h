// The main window's drop target (拖放对象1): which drags it takes, as what action,
// and the text that the files-dropped event carries.
//
// Registered on the main window, it sees every drag over the window and its
// controls. It takes only a list of local files; plain text, links and HTML are
// refused so the no-drop cursor shows and a drop changes nothing.
#ifndef VELMORA_APP_DROP_TARGET_H_
#define VELMORA_APP_DROP_TARGET_H_

#include <QList>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

#include "text/text.h"

class QMimeData;

namespace velmora {

// True when the data offers at least one url and every url is a local file.
[[nodiscard]] bool OffersFileList(const QMimeData* data);

// The action a drag is taken as, or nullopt when it is refused. No modifier: copy,
// else move, else link, as the source allows. Shift alone: move; Ctrl alone: copy,
// each only if allowed. Ctrl+Shift, or any other modifier, refuses.
[[nodiscard]] std::optional<Qt::DropAction> ChooseDropAction(Qt::DropActions possible,
                                                             Qt::KeyboardModifiers modifiers);

// One path as it is; two or more each followed by CR LF. Paths are the file
// system's own bytes for each local file, in list order; "" for an empty list.
[[nodiscard]] Text DroppedFilesText(const QList<QUrl>& urls);

// The invisible drop target control. Register() makes it watch `window`'s drag
// events (the window then accepts drops); Unregister() stops that. Main thread.
class DropTarget final : public QWidget {
 public:
  using FilesDropped = std::function<void(const Text& paths)>;

  DropTarget(QWidget* parent, FilesDropped filesDropped);
  ~DropTarget() override;

  // Nothing happens when already registered on `window`.
  void Register(QWidget* window);
  // Nothing happens when not registered.
  void Unregister();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FilesDropped filesDropped_;
  QWidget* window_ = nullptr;
};

}  // namespace velmora

#endif  // VELMORA_APP_DROP_TARGET_H_
