// window_look: the real main window in a few states worth looking at, for a person
// to see (and for screenshots). Not a test: it checks nothing.
//
//   window_look [SCENE] [shot.png]
//
// SCENE is one of
//   batch   the window after a batch against the loopback stand-in of the share
//           service (the default)
//   menu    the same, with the table's context menu open on the second row
//   click   the same, after a click on the second row's summary cell
//   box     the sitemap import's count box over the window
// Without a file name the window stays open until it is closed; with one, a picture
// of the screen is saved once the scene is set, and the tool ends.
//
// tools/window-look.sh runs it under a virtual display and saves the picture.
// LANG=zh_CN.UTF-8 shows the toolkit's buttons in Chinese, QT_SCALE_FACTOR=2 the
// HiDPI look; a window manager (openbox, say) draws the title bars.
#include <curl/curl.h>

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/translations.h"
#include "support/main_thread.h"
#include "support/share_service.h"
#include "table/url_table.h"
#include "table/url_table_model.h"

namespace {

using namespace std::chrono_literals;

// Time for the last answers, a menu or a box to be painted before the picture.
constexpr auto kSettle = 500ms;

const char* const kAddresses[] = {"https://www.example.com/", "http://news.example.org/a",
                                  "http://shop.example.net/item/7", "http://blog.example.com/"};
constexpr int kRows = 4;

// 成功匹配:4条, as the sitemap import shows it.
constexpr std::string_view kCountBoxText = "\xb3\xc9\xb9\xa6\xc6\xa5\xc5\xe4:4\xcc\xf5";

enum class Scene { kBatch, kMenu, kClick, kBox };

bool SceneNamed(const char* name, Scene& scene) {
  const struct {
    const char* name;
    Scene scene;
  } scenes[] = {{"batch", Scene::kBatch},
                {"menu", Scene::kMenu},
                {"click", Scene::kClick},
                {"box", Scene::kBox}};
  for (const auto& known : scenes) {
    if (std::strcmp(name, known.name) == 0) {
      scene = known.scene;
      return true;
    }
  }
  return false;
}

// The whole screen, so that menus and boxes beside the window show too; the
// window's own rendering where the platform cannot grab the screen.
QPixmap Picture(QWidget& window) {
  if (QScreen* screen = window.screen()) {
    QPixmap shot = screen->grabWindow(0);
    if (!shot.isNull()) return shot;
  }
  return window.grab();
}

}  // namespace

int main(int argc, char** argv) {
  Scene scene = Scene::kBatch;
  int next = 1;
  if (next < argc && SceneNamed(argv[next], scene)) ++next;
  const char* const shotFile = next < argc ? argv[next] : nullptr;

  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;
  QApplication app(argc, argv);
  (void)velmora::InstallToolkitTranslations();  // as start-up does
  velmora::test::ShareService service;
  if (!service.Start()) {
    std::fprintf(stderr, "window_look: the stand-in service did not start\n");
    return 1;
  }
  // 中文摘要：示例页面 arrives as UTF-8.
  service.SetAnswer(kAddresses[1], {"{\"summary\":\"\xE4\xB8\xAD\xE6\x96\x87\xE6\x91\x98\xE8\xA6"
                                    "\x81\xEF\xBC\x9A\xE7\xA4\xBA\xE4\xBE\x8B\xE9\xA1\xB5\xE9"
                                    "\x9D\xA2\",\"x\":1}"});
  service.SetAnswer(kAddresses[2], {"{\"summary\":\"Plain summary\",\"x\":1}"});
  service.SetAnswer(kAddresses[3], {"{\"title\":\"no summary here\"}"});

  velmora::MainWindow window;
  window.show();
  velmora::test::Fill(kRows, [](int row) { return velmora::Text(kAddresses[row]); });
  window.findChild<QPushButton*>(velmora::kStartButtonName)->click();
  const bool answered =
      velmora::test::PumpUntil([&service] { return service.AnsweredCount() == kRows; });
  velmora::test::PumpFor(kSettle);
  if (!answered) std::fprintf(stderr, "window_look: not every probe was answered\n");

  QTreeView* view = window.TableView();
  const QModelIndex second = window.Table()->index(1, velmora::kSummaryColumn);
  if (scene == Scene::kMenu || scene == Scene::kClick) {
    view->setFocus();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(second).topLeft() + QPoint(40, 5));
  }

  // The picture is taken from inside the menu's or the box's own event loop.
  bool saved = true;
  const auto takePicture = [&] {
    if (shotFile == nullptr) return;
    saved = Picture(window).save(QString::fromLocal8Bit(shotFile), "PNG");
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
  };
  switch (scene) {
    case Scene::kMenu:
      QTimer::singleShot(kSettle, takePicture);
      QTest::keyClick(view, Qt::Key_Menu);
      break;
    case Scene::kBox:
      QTimer::singleShot(kSettle, takePicture);
      velmora::ShowMessageBox(kCountBoxText, velmora::kBoxCaption, velmora::BoxIcon::kNone);
      break;
    case Scene::kBatch:
    case Scene::kClick:
      velmora::test::PumpFor(kSettle);
      takePicture();
      break;
  }
  if (shotFile == nullptr) return app.exec();
  if (!saved) {
    std::fprintf(stderr, "window_look: could not write %s\n", shotFile);
    return 1;
  }
  std::printf("window_look: wrote %s\n", shotFile);
  return 0;
}
