#include "app/drop_target.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <utility>

namespace velmora {
namespace {

// Line end after each path when more than one item is dropped.
constexpr char kLineEnd[] = "\r\n";

// Takes or refuses a drag-enter, drag-move or drop event; returns whether taken.
bool Decide(QDropEvent* event) {
  const std::optional<Qt::DropAction> action =
      OffersFileList(event->mimeData())
          ? ChooseDropAction(event->possibleActions(), event->modifiers())
          : std::nullopt;
  if (!action) {
    event->ignore();
    return false;
  }
  event->setDropAction(*action);
  event->accept();
  return true;
}

}  // namespace

bool OffersFileList(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return false;
  const QList<QUrl> urls = data->urls();
  if (urls.isEmpty()) return false;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile() || url.toLocalFile().isEmpty()) return false;
  }
  return true;
}

std::optional<Qt::DropAction> ChooseDropAction(Qt::DropActions possible,
                                               Qt::KeyboardModifiers modifiers) {
  // Keypad and similar flags say where a key came from, not which key it was.
  const Qt::KeyboardModifiers keys = modifiers & ~Qt::KeypadModifier;
  if (keys == Qt::NoModifier) {
    for (Qt::DropAction action : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction}) {
      if (possible.testFlag(action)) return action;
    }
    return std::nullopt;
  }
  if (keys == Qt::ShiftModifier && possible.testFlag(Qt::MoveAction)) return Qt::MoveAction;
  if (keys == Qt::ControlModifier && possible.testFlag(Qt::CopyAction)) return Qt::CopyAction;
  return std::nullopt;
}

Text DroppedFilesText(const QList<QUrl>& urls) {
  if (urls.size() == 1) return QFile::encodeName(urls.front().toLocalFile()).toStdString();
  Text text;
  for (const QUrl& url : urls) {
    text += QFile::encodeName(url.toLocalFile()).toStdString();
    text += kLineEnd;
  }
  return text;
}

DropTarget::DropTarget(QWidget* parent, FilesDropped filesDropped)
    : QWidget(parent), filesDropped_(std::move(filesDropped)) {}

DropTarget::~DropTarget() { Unregister(); }

void DropTarget::Register(QWidget* window) {
  if (window == nullptr || window == window_) return;
  Unregister();
  window_ = window;
  window_->setAcceptDrops(true);
  window_->installEventFilter(this);
}

void DropTarget::Unregister() {
  if (window_ == nullptr) return;
  window_->removeEventFilter(this);
  window_->setAcceptDrops(false);
  window_ = nullptr;
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window_) return false;
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
      Decide(static_cast<QDropEvent*>(event));
      return true;
    case QEvent::DragLeave:
      return true;
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (!Decide(drop)) return true;
      // The import runs to its end before the drop returns to the drag source.
      if (filesDropped_) filesDropped_(DroppedFilesText(drop->mimeData()->urls()));
      return true;
    }
    default:
      return false;
  }
}

}  // namespace velmora
