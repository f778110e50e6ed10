// The fatal runtime error: the one failure that ends the process.
//
// It guards text list member numbers and memory; no input of users or servers
// reaches it. Raising it writes the condition to standard error, lets the
// presenter (the window system's message box, when one is installed) show it, and
// ends the process at once with exit code -1 (255 as Linux reports it). No exit
// routine and no global destructor runs on that path. It never returns, whichever
// thread raises it.
#ifndef VELMORA_TEXT_FATAL_H_
#define VELMORA_TEXT_FATAL_H_

#include <string_view>

namespace velmora {

// Shows the condition to the user; called on the raising thread, may block until
// the user has dismissed it. It must not return control to the raiser otherwise.
using FatalPresenter = void (*)(std::string_view condition);

// Installs the presenter; nullptr restores plain standard-error reporting.
void SetFatalPresenter(FatalPresenter presenter);

// Writes the condition to standard error, lets the presenter show it, then ends the
// process with kFatalExitCode. A raise from inside the presenter on the same thread
// (say, memory running out while the box is built) skips the presenter and ends at once.
[[noreturn]] void RaiseFatalError(std::string_view condition);

// Makes a failed memory request raise the fatal runtime error ("out of memory") instead
// of throwing std::bad_alloc; the application calls it once at start-up.
void InstallOutOfMemoryHandler();

// Exit code the process ends with on a fatal runtime error.
inline constexpr int kFatalExitCode = -1;

}  // namespace velmora

#endif  // VELMORA_TEXT_FATAL_H_
