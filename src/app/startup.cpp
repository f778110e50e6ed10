#include "app/startup.h"

#include <curl/curl.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "app/translations.h"
#include "table/search_results.h"
#include "text/fatal.h"

namespace velmora {
namespace {

// The window system sees only the program name: options such as -platform or
// -style are not the program's to take.
char kProgramName[] = "velmora";
int g_qtArgc = 1;
char* g_qtArgv[] = {kProgramName, nullptr};

void InitialiseProcessOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Before any thread exists; the web layer relies on it.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    InstallOutOfMemoryHandler();
    SetFatalPresenter(&PresentFatalError);
  });
}

// The window system for the main thread, application object included.
QApplication& WindowSystem() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
    return *existing;
  }
  // Never deleted: the process ends without tearing the window system down.
  return *new QApplication(g_qtArgc, g_qtArgv);
}

}  // namespace

void RunApplication(int, char**, StartupOptions options) {
  InitialiseProcessOnce();
  QApplication& app = WindowSystem();
  app.setQuitOnLastWindowClosed(true);
  // OK and Cancel of the dialogs and boxes in the system's language.
  (void)InstallToolkitTranslations();
  CreateSearchResults();
  // The exit routine, run once after the event loop and before anything shuts down.
  void (*const exitRoutine)() = &ReleaseSearchResults;

  // Never deleted either: a worker's table call may still be on its way.
  auto* window = new MainWindow(std::move(options.handlers));
  window->show();
  if (options.shown) options.shown(*window);
  app.exec();

  exitRoutine();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}

}  // namespace velmora
