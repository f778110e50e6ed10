#include "app/startup.h"

#include <curl/curl.h>
#include <sys/resource.h>

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

// Linux's own ceiling on open files per process (fs.nr_open's default), taken when
// the hard limit is unlimited: an unlimited soft limit is refused there.
constexpr rlim_t kOpenFilesWhenUnlimited = rlim_t{1} << 20;

// Every probe in flight holds a connection, and a slow server can keep one open for
// the probe's whole time limit. With the soft limit's usual default of 1,024 such
// probes used up the open files and every later probe failed; the hard limit is the
// most the system lets the process have, so the pacing and the time limits bound
// the workers instead. Leaves the limit as it is when it cannot be raised.
void RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? kOpenFilesWhenUnlimited : limit.rlim_max;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur >= wanted) return;
  limit.rlim_cur = wanted;
  (void)::setrlimit(RLIMIT_NOFILE, &limit);
}

void InitialiseProcessOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Before any thread exists; the web layer relies on it.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    InstallOutOfMemoryHandler();
    SetFatalPresenter(&PresentFatalError);
    RaiseOpenFileLimit();
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
