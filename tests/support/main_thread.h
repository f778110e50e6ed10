// The main thread's side of the tests and benchmarks that drive the URL table:
// pumping its events while workers wait on it, and filling the table.
//
// Header only: only the test executables and benchmarks that use the window
// system include it, so the loopback support library stays free of Qt.
#ifndef VELMORA_TESTS_SUPPORT_MAIN_THREAD_H_
#define VELMORA_TESTS_SUPPORT_MAIN_THREAD_H_

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>
#include <functional>
#include <string>

#include "table/url_table.h"

namespace velmora::test {

// Long enough for a loaded machine under the thread checker, short enough that a
// hung test fails within its CTest time-out.
inline constexpr std::chrono::milliseconds kPumpTimeout{20000};
// Longest sleep of one round, so that `done` is looked at often.
inline constexpr int kPumpSliceMs = 10;

// Serves the main thread's events (worker table calls included) until `done` holds;
// false when `timeout` passed first. `done` is checked before the first round.
[[nodiscard]] inline bool PumpUntil(const std::function<bool()>& done,
                                    std::chrono::milliseconds timeout = kPumpTimeout) {
  const QDeadlineTimer deadline(timeout);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, kPumpSliceMs);
  }
  return true;
}

// Serves the main thread's events for `period`, whatever happens meanwhile.
inline void PumpFor(std::chrono::milliseconds period) {
  (void)PumpUntil([] { return false; }, period);
}

// Clears the table and appends `rows` rows, row r holding `address(r)`, the way the
// imports fill it (InsertRow at positions 1, 2, ...).
inline void Fill(int rows, const std::function<Text(int row)>& address) {
  ClearRows();
  for (int k = 1; k <= rows; ++k) InsertRow(k, address(k - 1));
}

}  // namespace velmora::test

#endif  // VELMORA_TESTS_SUPPORT_MAIN_THREAD_H_
