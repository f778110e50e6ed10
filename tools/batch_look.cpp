// batch_look: the real main window after a batch against the loopback stand-in of
// the share service, for a person to look at. Not a test: it checks nothing.
//
//   batch_look            shows the window until it is closed
//   batch_look shot.png   saves a picture of the window once the answers are in,
//                         then ends
//
// tools/batch-look.sh runs it under a virtual display and saves the picture.
#include <curl/curl.h>

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <chrono>
#include <cstdio>

#include "app/main_window.h"
#include "share_service.h"
#include "support/main_thread.h"
#include "table/url_table.h"

namespace {

using namespace std::chrono_literals;

// Time for the last answers to be painted before the picture is taken.
constexpr auto kSettle = 500ms;

const char* const kAddresses[] = {"https://www.example.com/", "http://news.example.org/a",
                                  "http://shop.example.net/item/7", "http://blog.example.com/"};
constexpr int kRows = 4;

// The window as the screen shows it, frame included where a window manager drew
// one; the window's own rendering where the platform cannot grab the screen.
QPixmap Picture(QWidget& window) {
  if (QScreen* screen = window.screen()) {
    const QRect frame = window.frameGeometry();
    QPixmap shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!shot.isNull()) return shot;
  }
  return window.grab();
}

}  // namespace

int main(int argc, char** argv) {
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;
  QApplication app(argc, argv);
  velmora::test::ShareService service;
  if (!service.Start()) {
    std::fprintf(stderr, "batch_look: the stand-in service did not start\n");
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
  if (!answered) std::fprintf(stderr, "batch_look: not every probe was answered\n");

  if (argc < 2) return app.exec();
  if (!Picture(window).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "batch_look: could not write %s\n", argv[1]);
    return 1;
  }
  std::printf("batch_look: wrote %s\n", argv[1]);
  return 0;
}
