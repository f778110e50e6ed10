// The dropped-file import as the window runs it: the table emptied first, the count
// label reset, one row per line, and a drop on the real window.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <fstream>
#include <string>
#include <vector>

#include "app/imports.h"
#include "table_fixture.h"

namespace velmora {
namespace {

class DroppedFileImportTest : public TableFixture {
 protected:
  // Writes `bytes` to a new file of the temporary folder; returns its path.
  Text MakeFile(const std::string& name, const std::string& bytes) {
    const Text path = (dir_.path() + "/").toStdString() + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  QTemporaryDir dir_;
};

TEST_F(DroppedFileImportTest, ReplacesTheRowsAndResetsTheCountLabel) {
  const Text a = MakeFile("a.txt", "http://a.example/\r\n\r\nb\x1A\r\nc");
  const Text b = MakeFile("b.txt", "http://b.example/\r\n");
  struct Case {
    const char* name;
    Text fileName;
    std::vector<Text> rows;
  };
  const Case cases[] = {
      {"one row per line", a, {"http://a.example/", "", "b"}},
      {"missing file", (dir_.path() + "/missing.txt").toStdString(), {}},
      {"folder", dir_.path().toStdString(), {}},
      {"two files dropped together", a + "\r\n" + b + "\r\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FillWithOldRows();
    label_->setText("7");
    ImportDroppedFile(c.fileName);
    EXPECT_EQ(Rows(), c.rows);
    EXPECT_EQ(label_->text(), "0");
  }
}

TEST_F(DroppedFileImportTest, DropOnTheWindowFillsTheTable) {
  const Text path = MakeFile("list.txt", "http://a.example/\r\nhttp://b.example/\r\n");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
  const QPoint at(100, 100);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &move);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  EXPECT_EQ(Rows(), (std::vector<Text>{"http://a.example/", "http://b.example/"}));
}

}  // namespace
}  // namespace velmora
