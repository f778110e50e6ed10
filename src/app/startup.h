// Process start-up and orderly shutdown around the main window's event loop, and the
// window system's presenter of the fatal runtime error.
#ifndef VELMORA_APP_STARTUP_H_
#define VELMORA_APP_STARTUP_H_

#include <functional>
#include <string_view>

#include "app/main_window.h"

namespace velmora {

struct StartupOptions {
  WindowHandlers handlers = DefaultWindowHandlers();
  // Runs on the main thread right after the window is shown, before the event loop.
  std::function<void(MainWindow& window)> shown;
};

// Start-up, event loop and shutdown. Prepares the process-wide state (curl, the
// out-of-memory handler, the fatal error presenter, the soft limit on open files
// raised to the hard limit, the search results), reuses the
// application object when one exists, shows the main window and runs the event
// loop until it has been closed. Then runs the exit routine and ends the process
// with exit code 0 without global destructors or application teardown: probe
// workers may still be running, blocked in table calls. Command-line arguments are
// not read. Never returns.
[[noreturn]] void RunApplication(int argc, char** argv, StartupOptions options = {});

// Shows the fatal condition in a message box (no owner, error icon, OK) when called
// on the main thread while an application object exists; elsewhere it does nothing
// (the condition already went to standard error). Returns once the box is closed.
void PresentFatalError(std::string_view condition);

}  // namespace velmora

#endif  // VELMORA_APP_STARTUP_H_
