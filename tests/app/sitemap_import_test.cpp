// The sitemap import as the window runs it: the button of the real window, the
// dialog and the boxes answered as a user would, sitemaps served on loopback.
#include "app/imports.h"

#include <QPushButton>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/message_box.h"
#include "modal_driver.h"
#include "platform/pattern.h"
#include "support/loopback_server.h"
#include "table/search_results.h"
#include "table_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

const QString kCaption = QString::fromUtf8("信息：");
const QString kNoMatch = QString::fromUtf8("匹配失败，请检检查正则语句是否有误，数量：0");

QString CountText(int count) {
  return QString::fromUtf8("成功匹配:") + QString::number(count) + QString::fromUtf8("条");
}

struct Page {
  int status = 200;
  std::string body;
};

// The gzip form of a one-entry sitemap, as a sitemap.xml.gz is served.
const std::string kGzipSitemap(
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xb3\x29\x2d\xca\x29\x4e\x2d\xb1\xb3\x01\xd2\x76"
    "\x36\x39\xf9\xc9\x76\x19\x25\x25\x05\x56\xfa\xfa\x89\x7a\xa9\x15\x89\xb9\x05\x39\xa9\xfa"
    "\x36\xfa\x20\x61\x1b\x7d\xb0\x0a\x7d\xa8\x7a\x00\x80\x19\xb9\xb4\x38\x00\x00\x00",
    64);

class SitemapTest : public TableFixture {
 protected:
  void SetUp() override {
    TableFixture::SetUp();
    server_.routes().Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
      if (req.path == "/stall") {
        // A head promising more than comes, a first part, then silence.
        res.set_content_provider(
            1000, "text/xml", [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
              if (offset > 0) return false;
              const std::string part = "<urlset><url><loc>http://a.example/</loc></url>";
              sink.write(part.data(), part.size());
              server_.Pause(20s);
              return false;
            });
        return;
      }
      std::lock_guard lock(pagesLock_);
      const auto page = pages_.find(req.path);
      if (page == pages_.end()) {
        res.status = 404;
        res.set_content("<html><body>Not Found</body></html>", "text/html");
        return;
      }
      res.status = page->second.status;
      res.set_content(page->second.body, "text/xml");
    });
    ASSERT_TRUE(server_.Start());
  }

  QString Address(const std::string& path) const {
    return QString::fromUtf8("http://127.0.0.1:") + QString::number(server_.port()) +
           QString::fromStdString(path);
  }

  // Presses 按钮2 and answers the dialog with `address` (nullopt cancels).
  std::unique_ptr<ModalDriver> ImportFrom(std::optional<QString> address) {
    auto driver = std::make_unique<ModalDriver>(std::move(address));
    QPushButton* button = window_->findChild<QPushButton*>(kSitemapButtonName);
    EXPECT_NE(button, nullptr);
    if (button != nullptr) button->click();
    return driver;
  }

  // The boxes every import that finds nothing shows.
  static void ExpectNothingFound(const ModalDriver& driver) {
    ASSERT_EQ(driver.boxes().size(), 2u);
    EXPECT_EQ(driver.boxes()[0].text, kNoMatch);
    EXPECT_EQ(driver.boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(driver.boxes()[0].rows, 0) << "the table is cleared before anything can fail";
    EXPECT_EQ(driver.boxes()[1].text, CountText(0));
    EXPECT_EQ(driver.boxes()[1].icon, QMessageBox::NoIcon);
    EXPECT_EQ(RowCount(), 0);
  }

  // Serves `page` at `path` from now on.
  void SetPage(const std::string& path, Page page) {
    std::lock_guard lock(pagesLock_);
    pages_[path] = std::move(page);
  }

  // Written by the test, read by the server's threads.
  std::mutex pagesLock_;
  std::map<std::string, Page> pages_;
  test::LoopbackServer server_;
};

TEST_F(SitemapTest, LocationsBecomeRowsUnchanged) {
  struct Case {
    const char* name;
    Page page;
    std::vector<Text> rows;
  };
  const Case cases[] = {
      {"three locations in document order",
       {200,
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
        "<url><loc>http://a.example/3</loc><lastmod>2024-01-01</lastmod></url>\n"
        "<url><loc>http://a.example/1</loc></url>\n"
        "<url><loc>http://a.example/2</loc></url>\n</urlset>\n"},
       {"http://a.example/3", "http://a.example/1", "http://a.example/2"}},
      {"tags in capitals and mixed case",
       {200, "<URL><LOC>http://a.example/x</LOC></URL><url><Loc>http://a.example/y</lOC></url>"},
       {"http://a.example/x", "http://a.example/y"}},
      {"blanks and line breaks kept",
       {200, "<url><loc>\r\n  http://a.example/ \n</loc></url>"},
       {"\r\n  http://a.example/ \n"}},
      {"entity left undecoded",
       {200, "<url><loc>http://a.example/?a=1&amp;b=2</loc></url>"},
       {"http://a.example/?a=1&amp;b=2"}},
      {"empty loc gives an empty row",
       {200, "<url><loc></loc></url><url><loc>http://a.example/</loc></url>"},
       {"", "http://a.example/"}},
      {"sitemap index lists the child sitemaps",
       {200,
        "<sitemapindex><sitemap><loc>http://a.example/s1.xml</loc></sitemap>"
        "<sitemap><loc>http://a.example/s2.xml</loc></sitemap></sitemapindex>"},
       {"http://a.example/s1.xml", "http://a.example/s2.xml"}},
      {"unclosed start tag runs to the next end tag",
       {200, "<url><loc>http://a.example/1</url><url><loc>http://a.example/2</loc></url>"},
       {"http://a.example/1</url><url><loc>http://a.example/2"}},
      {"error page with locations is imported",
       {404, "<html><!-- <loc>http://a.example/</loc> --></html>"},
       {"http://a.example/"}},
      // The bytes reach the table as they came: a UTF-8 document keeps its UTF-8.
      {"UTF-8 bytes not converted",
       {200, "<loc>http://a.example/\xE4\xB8\xAD</loc>"},
       {"http://a.example/\xE4\xB8\xAD"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetPage("/sitemap.xml", c.page);
    FillWithOldRows();
    const auto driver = ImportFrom(Address("/sitemap.xml"));
    EXPECT_EQ(Rows(), c.rows);
    ASSERT_EQ(driver->boxes().size(), 1u);
    const BoxSeen& box = driver->boxes()[0];
    EXPECT_EQ(box.text, CountText(static_cast<int>(c.rows.size())));
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_FALSE(box.hasOwner);
    EXPECT_EQ(box.modality, Qt::ApplicationModal);
    EXPECT_EQ(box.buttons, 1);
    EXPECT_EQ(box.rows, static_cast<int>(c.rows.size())) << "the rows are in before the count";
    EXPECT_GE(box.width, MinimumBoxWidth(kBoxCaption)) << "the caption shows in full";
  }
}

TEST_F(SitemapTest, NothingFoundShowsTheErrorBoxThenTheCount) {
  SetPage("/plain.html", {200, "<html><body>no sitemap here</body></html>"});
  SetPage("/utf16.xml", {200, std::string("<\0l\0o\0c\0>\0h\0<\0/\0l\0o\0c\0>\0", 24)});
  SetPage("/sitemap.xml.gz", {200, kGzipSitemap});
  struct Case {
    const char* name;
    std::optional<QString> typed;
  };
  const Case cases[] = {
      {"dialog cancelled", std::nullopt},
      {"empty address", QString()},
      {"address without http://", Address("/plain.html").mid(7)},
      {"404 page without loc", Address("/missing.xml")},
      {"page without loc", Address("/plain.html")},
      {"UTF-16 sitemap", Address("/utf16.xml")},
      {"compressed sitemap", Address("/sitemap.xml.gz")},
      {"nothing listening", QString::fromUtf8("http://127.0.0.1:") +
                                QString::number(test::UnusedPort()) + QString::fromUtf8("/")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FillWithOldRows();
    const auto driver = ImportFrom(c.typed);
    ExpectNothingFound(*driver);
    for (const BoxSeen& box : driver->boxes()) {
      EXPECT_EQ(box.caption, kCaption);
      EXPECT_GE(box.width, MinimumBoxWidth(kBoxCaption));
      EXPECT_FALSE(box.hasOwner);
      EXPECT_EQ(box.modality, Qt::ApplicationModal);
    }
    EXPECT_TRUE(SearchResults().empty());
  }
}

TEST_F(SitemapTest, DialogAsksForTheAddress) {
  const auto driver = ImportFrom(std::nullopt);
  ASSERT_EQ(driver->dialogs().size(), 1u);
  const DialogSeen& dialog = driver->dialogs()[0];
  EXPECT_EQ(dialog.title, QString::fromUtf8("请输入网址"));
  EXPECT_EQ(dialog.prompt, QString::fromUtf8("请输入XML格式地址：sitemap\n请带http://"));
  EXPECT_EQ(dialog.initialText, QString());
  EXPECT_EQ(dialog.mode, QInputDialog::TextInput);
  EXPECT_EQ(dialog.echo, QLineEdit::Normal);
  EXPECT_FALSE(dialog.multiLine);
  EXPECT_TRUE(dialog.modal);
}

TEST_F(SitemapTest, TypedAddressIsFetchedAsCodePage936) {
  // The typed characters reach the server as their code page 936 bytes.
  SetPage("/\xD6\xD0\xCE\xC4.xml", {200, "<loc>http://a.example/</loc>"});
  const auto driver = ImportFrom(Address("/") + QString::fromUtf8("中文.xml"));
  EXPECT_EQ(Rows(), std::vector<Text>{"http://a.example/"});
}

TEST_F(SitemapTest, SecondImportReplacesRowsAndSearchResults) {
  const std::string first = "<loc>http://a.example/1</loc><loc>http://a.example/2</loc>";
  const std::string second = "xx<loc>http://b.example/</loc>";
  SetPage("/first.xml", {200, first});
  SetPage("/second.xml", {200, second});

  ImportFrom(Address("/first.xml"));
  EXPECT_EQ(Rows(), (std::vector<Text>{"http://a.example/1", "http://a.example/2"}));
  ASSERT_EQ(SearchResults().size(), 2u);
  EXPECT_EQ(platform::MatchGroupText(*SearchResults()[1], first, 1), "http://a.example/2");

  ImportFrom(Address("/second.xml"));
  EXPECT_EQ(Rows(), std::vector<Text>{"http://b.example/"});
  ASSERT_EQ(SearchResults().size(), 1u);
  const platform::MatchResult& match = *SearchResults()[0];
  EXPECT_EQ(match.groups[0].start, 2);
  EXPECT_EQ(platform::MatchGroupText(match, second, 1), "http://b.example/");
}

TEST_F(SitemapTest, StalledServerEndsWithWhatArrived) {
  platform::TransportSetting limits;
  limits.getIdleLimit = 300ms;
  const test::ScopedTransport shortened("", {}, limits);
  const auto started = std::chrono::steady_clock::now();
  const auto driver = ImportFrom(Address("/stall"));
  // Bounded by the shortened idle limit, not by the server's 20 s stall.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_EQ(Rows(), std::vector<Text>{"http://a.example/"});
  ASSERT_EQ(driver->boxes().size(), 1u);
  EXPECT_EQ(driver->boxes()[0].text, CountText(1));
}

}  // namespace
}  // namespace velmora
