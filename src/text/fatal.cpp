#include "text/fatal.h"

#include <unistd.h>

#include <atomic>
#include <new>

namespace velmora {
namespace {

std::atomic<FatalPresenter> gPresenter{nullptr};

// Set while this thread is inside RaiseFatalError, so that a second raise from the
// presenter cannot recurse.
thread_local bool tRaising = false;

// Writes all of `bytes` to standard error without allocating or taking stdio locks:
// the fatal path may run with memory exhausted or another thread inside stdio.
void WriteToStderr(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, bytes.data(), bytes.size());
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

void OnOutOfMemory() { RaiseFatalError("out of memory"); }

}  // namespace

void SetFatalPresenter(FatalPresenter presenter) { gPresenter.store(presenter); }

void RaiseFatalError(std::string_view condition) {
  WriteToStderr("velmora: fatal runtime error: ");
  WriteToStderr(condition);
  WriteToStderr("\n");
  if (!tRaising) {
    tRaising = true;
    if (FatalPresenter presenter = gPresenter.load()) presenter(condition);
  }
  // No exit routine and no global destructor may run: end the process here.
  ::_exit(kFatalExitCode);
}

void InstallOutOfMemoryHandler() { std::set_new_handler(&OnOutOfMemory); }

}  // namespace velmora
