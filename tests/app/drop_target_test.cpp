// The drop target: what it takes, as which action, and the text of a drop.
#include "app/drop_target.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/main_window.h"

namespace velmora {
namespace {

constexpr Qt::DropActions kAll = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

TEST(DropActionTest, ModifierTable) {
  struct Case {
    const char* name;
    Qt::DropActions possible;
    Qt::KeyboardModifiers modifiers;
    std::optional<Qt::DropAction> expected;
  };
  const Case cases[] = {
      {"plain prefers copy", kAll, Qt::NoModifier, Qt::CopyAction},
      {"plain without copy moves", Qt::MoveAction | Qt::LinkAction, Qt::NoModifier, Qt::MoveAction},
      {"plain link only links", Qt::LinkAction, Qt::NoModifier, Qt::LinkAction},
      {"plain with nothing allowed", Qt::IgnoreAction, Qt::NoModifier, std::nullopt},
      {"shift moves", kAll, Qt::ShiftModifier, Qt::MoveAction},
      {"shift without move refused", Qt::CopyAction | Qt::LinkAction, Qt::ShiftModifier,
       std::nullopt},
      {"ctrl copies", kAll, Qt::ControlModifier, Qt::CopyAction},
      {"ctrl without copy refused", Qt::MoveAction, Qt::ControlModifier, std::nullopt},
      {"ctrl+shift refused", kAll, Qt::ControlModifier | Qt::ShiftModifier, std::nullopt},
      {"alt refused", kAll, Qt::AltModifier, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ChooseDropAction(c.possible, c.modifiers), c.expected);
  }
}

TEST(DropDataTest, OnlyLocalFileListsAreOffered) {
  struct Case {
    const char* name;
    std::function<void(QMimeData&)> fill;
    bool offered;
  };
  const Case cases[] = {
      {"one file", [](QMimeData& d) { d.setUrls({QUrl::fromLocalFile("/tmp/a.txt")}); }, true},
      {"two files",
       [](QMimeData& d) {
         d.setUrls({QUrl::fromLocalFile("/tmp/a.txt"), QUrl::fromLocalFile("/tmp/b")});
       },
       true},
      {"plain text", [](QMimeData& d) { d.setText("/tmp/a.txt"); }, false},
      {"html", [](QMimeData& d) { d.setHtml("<a href='file:///tmp/a'>a</a>"); }, false},
      {"web link", [](QMimeData& d) { d.setUrls({QUrl("https://example.com/")}); }, false},
      {"file and link",
       [](QMimeData& d) {
         d.setUrls({QUrl::fromLocalFile("/tmp/a.txt"), QUrl("https://example.com/")});
       },
       false},
      {"nothing", [](QMimeData&) {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QMimeData data;
    c.fill(data);
    EXPECT_EQ(OffersFileList(&data), c.offered);
  }
  EXPECT_FALSE(OffersFileList(nullptr));
}

TEST(DropDataTest, TextOfTheDroppedFiles) {
  EXPECT_EQ(DroppedFilesText({QUrl::fromLocalFile("/tmp/one file.txt")}), "/tmp/one file.txt");
  EXPECT_EQ(DroppedFilesText({QUrl::fromLocalFile("/tmp/a"), QUrl::fromLocalFile("/tmp/b")}),
            "/tmp/a\r\n/tmp/b\r\n");
  // A name outside ASCII keeps the file system's own bytes.
  const QString chinese = QString::fromUtf8("/tmp/网址.txt");
  EXPECT_EQ(DroppedFilesText({QUrl::fromLocalFile(chinese)}),
            QFile::encodeName(chinese).toStdString());
  EXPECT_EQ(DroppedFilesText({}), "");
}

// Drag and drop events sent to the window, as the window system delivers them.
class WindowDropTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>(
        WindowHandlers{{}, {}, [this](const Text& paths) { drops_.push_back(paths); }});
  }

  // Enter, move and drop; returns whether the drag-enter was accepted.
  bool DragAndDrop(QMimeData* data, Qt::DropActions possible,
                   Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                   Qt::DropAction* taken = nullptr) {
    const QPointF at(100, 100);
    QDragEnterEvent enter(at.toPoint(), possible, data, Qt::NoButton, modifiers);
    QCoreApplication::sendEvent(window_.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at.toPoint(), possible, data, Qt::NoButton, modifiers);
    QCoreApplication::sendEvent(window_.get(), &move);
    QDropEvent drop(at, possible, data, Qt::NoButton, modifiers);
    QCoreApplication::sendEvent(window_.get(), &drop);
    if (taken != nullptr) *taken = drop.dropAction();
    return drop.isAccepted();
  }

  std::vector<Text> drops_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(WindowDropTest, FilesAreTakenAndReachTheHandler) {
  EXPECT_TRUE(window_->acceptDrops()) << "registered at creation";
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/x/a.txt"), QUrl::fromLocalFile("/tmp/x/b.txt")});
  Qt::DropAction taken = Qt::IgnoreAction;
  EXPECT_TRUE(DragAndDrop(&data, Qt::MoveAction | Qt::CopyAction, Qt::NoModifier, &taken));
  EXPECT_EQ(taken, Qt::CopyAction);
  ASSERT_EQ(drops_.size(), 1u);
  EXPECT_EQ(drops_[0], "/tmp/x/a.txt\r\n/tmp/x/b.txt\r\n");

  EXPECT_TRUE(DragAndDrop(&data, kAll, Qt::ShiftModifier, &taken));
  EXPECT_EQ(taken, Qt::MoveAction);
  EXPECT_EQ(drops_.size(), 2u);
}

TEST_F(WindowDropTest, RefusedDragsChangeNothing) {
  QMimeData text;
  text.setText("https://example.com/");
  QMimeData link;
  link.setUrls({QUrl("https://example.com/")});
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile("/tmp/a.txt")});
  EXPECT_FALSE(DragAndDrop(&text, kAll));
  EXPECT_FALSE(DragAndDrop(&link, kAll));
  EXPECT_FALSE(DragAndDrop(&files, kAll, Qt::ControlModifier | Qt::ShiftModifier));
  EXPECT_TRUE(drops_.empty());
}

TEST_F(WindowDropTest, ClosingUnregisters) {
  window_->show();
  window_->close();
  EXPECT_FALSE(window_->acceptDrops());
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile("/tmp/a.txt")});
  DragAndDrop(&files, kAll);
  EXPECT_TRUE(drops_.empty());
}

}  // namespace
}  // namespace velmora
