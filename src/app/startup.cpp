#include "app/startup.h"

#include <curl/curl.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/no_destructor.h"
#include "table/search_results.h"
#include "text/fatal.h"

namespace velmora {
namespace {

// The window system sees only the program name: options such as -platform or
// -style are not the program's to take.
char kProgramName[] = "velmora";
int g_qtArgc = 1;
char* g_qtArgv[] = {kProgramName, nullptr};

// The condition when libcurl cannot be set up.
constexpr std::string_view kCurlFailed = "libcurl could not be initialised";

// Once per process, before any thread exists: libcurl's global set-up (the web
// layer relies on it), the out-of-memory handler and the fatal error presenter.
// Whether libcurl's set-up succeeded.
bool PrepareProcessOnce() {
  static const bool curlReady = [] {
    const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    InstallOutOfMemoryHandler();
    SetFatalPresenter(&PresentFatalError);
    return ready;
  }();
  return curlReady;
}

// The window system for the main thread, application object included.
QApplication& WindowSystem() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
    return *existing;
  }
  // The process ends without tearing the window system down.
  static platform::NoDestructor<QApplication> app(g_qtArgc, g_qtArgv);
  return *app;
}

}  // namespace

void RunApplication(int, char**, StartupOptions options) {
  const bool curlReady = PrepareProcessOnce();
  QApplication& app = WindowSystem();
  // Every probe and import fetches; without libcurl the program cannot do its job.
  // Raised once the application object exists, so that the box can show.
  if (!curlReady) RaiseFatalError(kCurlFailed);
  app.setQuitOnLastWindowClosed(true);
  CreateSearchResults();
  // The exit routine, run once after the event loop and before anything shuts down.
  void (*const exitRoutine)() = &ReleaseSearchResults;

  // A worker's table call may still be on its way when the process ends.
  static platform::NoDestructor<MainWindow> window(std::move(options.handlers));
  window->show();
  if (options.shown) options.shown(*window);
  app.exec();

  exitRoutine();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}

}  // namespace velmora
