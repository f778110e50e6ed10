// The URL table's context menu: how it opens, its items in order, the clipboard
// texts, the CSV file's bytes and its all-or-nothing write, and probing the rows
// still without a summary against the share service stand-in.
#include "app/results_out.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/translations.h"
#include "platform/codepage.h"
#include "platform/cookie_jar.h"
#include "support/share_service.h"
#include "table/display_text.h"
#include "table/url_table.h"
#include "table/url_table_model.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A code page 936 text from UTF-8 source text.
Text Cp936(const char* utf8) { return FromDisplayText(QString::fromUtf8(utf8)); }

// Cells whose bytes must survive every way out of the window.
struct RowCase {
  const char* name;
  Text url;
  Text summary;
};
std::vector<RowCase> TrickyRows() {
  return {
      {"Chinese text", Cp936("http://例子.example/页面"), Cp936("中文摘要：示例页面")},
      {"CR LF inside a location", "http://a.example/\r\nnext", "plain"},
      {"tab inside a summary", "http://b.example/", "left\tright"},
      {"summary starting with =", "http://c.example/", "=HYPERLINK(\"x\",1)+2"},
      {"comma and quote", "http://d.example/?a=1,2", "say \"hi\""},
      {"empty summary", "http://e.example/", ""},
  };
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Parses RFC 4180 records (CR LF line ends, quoted fields may hold anything).
std::vector<std::vector<std::string>> ParseCsv(const std::string& csv) {
  std::vector<std::vector<std::string>> records(1);
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < csv.size() && csv[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      records.back().push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n') {
      records.back().push_back(field);
      field.clear();
      records.emplace_back();
      ++i;
    } else {
      field += c;
    }
  }
  if (records.back().empty()) records.pop_back();
  return records;
}

// What the guard added: an apostrophe before a leading = + - @ TAB or CR.
std::string Unguard(const std::string& field) {
  if (field.size() >= 2 && field[0] == '\'' &&
      std::string_view("=+-@\t\r").find(field[1]) != std::string_view::npos) {
    return field.substr(1);
  }
  return field;
}

Text Utf8ToCp936(const std::string& utf8) {
  std::u16string units(utf8.size() + 1, u'\0');
  const int length = platform::Utf8ToUtf16(utf8.data(), static_cast<int>(utf8.size()), units.data(),
                                           static_cast<int>(units.size()));
  units.resize(static_cast<size_t>(length));
  return platform::Utf16ToCp936(units);
}

// Runs `inspect` on the popup or modal widget that the next step opens, then closes
// it; records whether one came.
class NextWindow {
 public:
  explicit NextWindow(std::function<void(QWidget*)> inspect) : inspect_(std::move(inspect)) {
    Poll();
  }
  [[nodiscard]] bool seen() const { return seen_; }

 private:
  void Poll() {
    QTimer::singleShot(10, [this] {
      QWidget* shown = QApplication::activePopupWidget();
      if (shown == nullptr) shown = QApplication::activeModalWidget();
      if (shown == nullptr) {
        if (++polls_ < 200) Poll();
        return;
      }
      seen_ = true;
      inspect_(shown);
      if (shown->isVisible()) shown->close();
    });
  }
  std::function<void(QWidget*)> inspect_;
  bool seen_ = false;
  int polls_ = 0;
};

class ResultsMenuTest : public testing::Test {
 protected:
  void SetUp() override {
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    ClearRows();
  }

  void Fill(const std::vector<RowCase>& rows) {
    ClearRows();
    for (const RowCase& row : rows) {
      const int index = InsertRow(-1, row.url);
      SetCellText(index, kSummaryColumn, row.summary);
    }
  }

  QTreeView* View() { return window_.TableView(); }
  QPoint CellCentre(int row, int column) {
    return View()->visualRect(window_.Table()->index(row, column)).center();
  }

  MainWindow window_{WindowHandlers{}};
};

TEST_F(ResultsMenuTest, MenuOpensByMouseMenuKeyAndShiftF10WithItsItemsInOrder) {
  Fill(TrickyRows());
  const QStringList expected = {QString::fromUtf8("复制"), QString::fromUtf8("复制全部"),
                                QString::fromUtf8("导出 CSV…"),
                                QString::fromUtf8("重新探测空白行")};
  const struct {
    const char* name;
    std::function<void()> open;
  } ways[] = {
      {"right button",
       [this] {
         QContextMenuEvent event(QContextMenuEvent::Mouse, CellCentre(1, 1),
                                 View()->viewport()->mapToGlobal(CellCentre(1, 1)));
         QApplication::sendEvent(View()->viewport(), &event);
       }},
      {"Menu key", [this] { QTest::keyClick(View(), Qt::Key_Menu); }},
      {"Shift+F10", [this] { QTest::keyClick(View(), Qt::Key_F10, Qt::ShiftModifier); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    View()->setFocus();
    QStringList texts;
    NextWindow menu([&texts](QWidget* shown) {
      auto* popup = qobject_cast<QMenu*>(shown);
      ASSERT_NE(popup, nullptr);
      for (QAction* action : popup->actions()) texts << action->text();
    });
    way.open();
    QTRY_VERIFY(menu.seen());
    EXPECT_EQ(texts, expected);
  }
  EXPECT_EQ(window_.TableActions().front()->shortcut(), QKeySequence(QKeySequence::Copy));
}

TEST_F(ResultsMenuTest, CopyTakesTheSelectedRowAndNothingWithoutASelection) {
  Fill(TrickyRows());
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("before"));
  View()->setFocus();
  View()->setCurrentIndex(window_.Table()->index(0, 0));
  View()->selectionModel()->clearSelection();
  QTest::keyClick(View(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard->text(), "before") << "nothing selected";

  const std::vector<RowCase> rows = TrickyRows();
  for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
    SCOPED_TRACE(rows[static_cast<size_t>(row)].name);
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, CellCentre(row, 0));
    QTest::keyClick(View(), Qt::Key_C, Qt::ControlModifier);
    // Address, a tab, the summary; back through the code page, every byte returns.
    EXPECT_EQ(FromDisplayText(clipboard->text()),
              rows[static_cast<size_t>(row)].url + "\t" + rows[static_cast<size_t>(row)].summary);
  }
  // The menu's item does the same.
  clipboard->clear();
  window_.TableActions()[0]->trigger();
  EXPECT_EQ(FromDisplayText(clipboard->text()), rows.back().url + "\t" + rows.back().summary);
}

TEST_F(ResultsMenuTest, CopyAllGivesTitlesThenEveryRowWithCrLf) {
  Fill(TrickyRows());
  window_.TableActions()[1]->trigger();
  Text expected = Cp936("URL地址\t返回关键词\r\n");
  for (const RowCase& row : TrickyRows()) expected += row.url + "\t" + row.summary + "\r\n";
  EXPECT_EQ(FromDisplayText(QGuiApplication::clipboard()->text()), expected);

  ClearRows();
  window_.TableActions()[1]->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("URL地址\t返回关键词\r\n"));
}

TEST_F(ResultsMenuTest, CsvBytesQuotingGuardAndRoundTrip) {
  // The exact bytes of a small table.
  ClearRows();
  InsertRow(-1, "http://a.example/?x=1,2");
  SetCellText(0, 1, "say \"hi\"");
  InsertRow(-1, "http://b.example/\r\n");
  SetCellText(1, 1, "=1+1");
  InsertRow(-1, "-x");
  SetCellText(2, 1, "\tlead");
  EXPECT_EQ(TableCsv(*window_.Table()),
            "\xEF\xBB\xBF"
            "URL地址,返回关键词\r\n"
            "\"http://a.example/?x=1,2\",\"say \"\"hi\"\"\"\r\n"
            "\"http://b.example/\r\n\",'=1+1\r\n"
            "'-x,'\tlead\r\n");

  // Every cell comes back: unquoted, unguarded, UTF-8 to code page 936.
  const std::vector<RowCase> rows = TrickyRows();
  Fill(rows);
  const std::string csv = TableCsv(*window_.Table());
  ASSERT_EQ(csv.rfind(kUtf8Bom, 0), 0u);
  const auto records = ParseCsv(csv.substr(3));
  ASSERT_EQ(records.size(), rows.size() + 1);
  EXPECT_EQ(records[0], (std::vector<std::string>{"URL地址", "返回关键词"}));
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    ASSERT_EQ(records[i + 1].size(), 2u);
    EXPECT_EQ(Utf8ToCp936(Unguard(records[i + 1][0])), rows[i].url);
    EXPECT_EQ(Utf8ToCp936(Unguard(records[i + 1][1])), rows[i].summary);
  }
}

TEST_F(ResultsMenuTest, ExportAsksForAFileSuggestingVelmoraCsvAndWritesIt) {
  Fill(TrickyRows());
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString target = folder.filePath(QStringLiteral("velmora.csv"));
  QString suggested;
  NextWindow dialog([&](QWidget* shown) {
    auto* files = qobject_cast<QFileDialog*>(shown);
    ASSERT_NE(files, nullptr);
    suggested = QFileInfo(files->selectedFiles().value(0)).fileName();
    // The dialog fills its file list in the background and may refuse an accept
    // until it has; try again for a while.
    for (int attempt = 0; attempt < 100 && files->isVisible(); ++attempt) {
      files->setDirectory(folder.path());
      files->selectFile(target);
      static_cast<QDialog*>(files)->accept();
      if (files->isVisible()) QTest::qWait(20);
    }
  });
  window_.TableActions()[2]->trigger();
  EXPECT_TRUE(dialog.seen());
  EXPECT_EQ(suggested, "velmora.csv");
  EXPECT_EQ(ReadFile(target.toStdString()), TableCsv(*window_.Table()));

  // A cancelled dialog writes nothing.
  NextWindow cancel([](QWidget* shown) { qobject_cast<QDialog*>(shown)->reject(); });
  QFile::remove(target);
  window_.TableActions()[2]->trigger();
  EXPECT_TRUE(cancel.seen());
  EXPECT_FALSE(QFile::exists(target));
}

TEST_F(ResultsMenuTest, AFailedExportSaysWhatFailedAndLosesNothing) {
  Fill(TrickyRows());
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string base = folder.path().toStdString();
  fs::create_directory(base + "/taken.csv");  // a folder where the file should go
  const struct {
    const char* name;
    std::string path;
    const char* mentions;
  } failures[] = {
      {"missing folder", base + "/no-such-folder/out.csv", "no-such-folder"},
      {"a folder in the file's place", base + "/taken.csv", "taken.csv"},
  };
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.name);
    QString caption;
    QString text;
    NextWindow box([&](QWidget* shown) {
      auto* message = qobject_cast<QMessageBox*>(shown);
      ASSERT_NE(message, nullptr);
      caption = message->windowTitle();
      text = message->text();
      EXPECT_EQ(message->icon(), QMessageBox::Critical);
      message->button(QMessageBox::Ok)->click();
    });
    EXPECT_FALSE(window_.ExportCsvTo(QString::fromStdString(failure.path)));
    EXPECT_TRUE(box.seen());
    EXPECT_EQ(caption, QString::fromUtf8("信息："));
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("导出 CSV 失败："))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8(failure.mentions))) << text.toStdString();
    EXPECT_EQ(RowCount(), static_cast<int>(TrickyRows().size()));
    EXPECT_EQ(GetCellText(0, 1), TrickyRows()[0].summary);
  }
  EXPECT_TRUE(fs::is_directory(base + "/taken.csv"));
  // Only the folder made above is left: no temporary file stays behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1);

  // A read-only folder; root writes anywhere, so only for other users.
  if (::geteuid() != 0) {
    const std::string readOnly = base + "/ro";
    fs::create_directory(readOnly);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    NextWindow box([](QWidget* shown) { shown->close(); });
    EXPECT_FALSE(window_.ExportCsvTo(QString::fromStdString(readOnly + "/out.csv")));
    EXPECT_TRUE(box.seen());
    fs::permissions(readOnly, fs::perms::owner_all);
  }
}

// A full disk, as the file size limit makes one for a child process: the old file
// stays whole.
TEST_F(ResultsMenuTest, AFullDiskKeepsTheOldFile) {
  ClearRows();
  for (int k = 1; k <= 2000; ++k) InsertRow(k, "http://site" + std::to_string(k) + ".example/");
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string target = folder.filePath(QStringLiteral("velmora.csv")).toStdString();
  { std::ofstream(target) << "old"; }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::string error = ExportTableCsv(*window_.Table(), target);
    std::_Exit(error.find("cannot write") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(
      std::distance(fs::directory_iterator(folder.path().toStdString()), fs::directory_iterator()),
      1);
}

TEST_F(ResultsMenuTest, ReprobeAsksOnlyForTheRowsWithoutASummary) {
  test::ShareService service;
  ASSERT_TRUE(service.Start());
  const std::vector<std::pair<Text, Text>> rows = {{"http://done.example/", "kept"},
                                                   {"http://empty1.example/", ""},
                                                   {"http://done2.example/", "kept too"},
                                                   {"http://empty2.example/", ""}};
  ClearRows();
  for (const auto& [url, summary] : rows) SetCellText(InsertRow(-1, url), 1, summary);
  EXPECT_EQ(RowsWithoutSummary(*window_.Table()), (std::vector<int>{1, 3}));

  window_.TableActions()[3]->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(GetCellText(1, 1) == "for http://empty1.example/" &&
                               GetCellText(3, 1) == "for http://empty2.example/",
                           20000);
  EXPECT_EQ(service.AnsweredCount(), 2u);
  std::set<std::string> asked;
  for (const auto& request : service.Requests()) asked.insert(request.address);
  EXPECT_EQ(asked, (std::set<std::string>{"http://empty1.example/", "http://empty2.example/"}));
  EXPECT_EQ(GetCellText(0, 1), "kept");
  EXPECT_EQ(GetCellText(2, 1), "kept too");

  // With every row answered, nothing is asked.
  window_.TableActions()[3]->trigger();
  EXPECT_EQ(service.RequestCount(), 2u);
  platform::ClearStoreCookies();
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// Not checks: show the real window for a person to look at (run under a display
// with --gtest_also_run_disabled_tests and take a screenshot while it waits).
class WindowLook : public testing::Test {
 protected:
  void SetUp() override {
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    ClearRows();
    const std::vector<RowCase> rows = TrickyRows();
    for (const RowCase& row : rows) SetCellText(InsertRow(-1, row.url), 1, row.summary);
    InsertRow(-1, "http://long.example/" + std::string(5000, 'x'));
    window_.TableView()->setFocus();
  }
  static void Wait() { QTest::qWait(8000); }
  MainWindow window_{WindowHandlers{}};
};

TEST_F(WindowLook, DISABLED_ContextMenu) {
  QTest::mouseClick(window_.TableView()->viewport(), Qt::LeftButton, {},
                    window_.TableView()->visualRect(window_.Table()->index(2, 0)).center());
  QTimer::singleShot(8000, [] {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  });
  QTest::keyClick(window_.TableView(), Qt::Key_Menu);
}

TEST_F(WindowLook, DISABLED_ClickOnASummaryCell) {
  QTreeView* view = window_.TableView();
  const QRect summary = view->visualRect(window_.Table()->index(1, 1));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, summary.topLeft() + QPoint(40, 5));
  Wait();
}

TEST_F(WindowLook, DISABLED_CountBox) {
  (void)InstallToolkitTranslations();  // as start-up does
  QTimer::singleShot(8000, [] {
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
  });
  ShowMessageBox(Cp936("成功匹配:7条"), kBoxCaption, BoxIcon::kNone);
}

}  // namespace
}  // namespace velmora
