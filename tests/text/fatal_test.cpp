// The fatal runtime error ends the process at once, after the presenter has run.
#include "text/fatal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace velmora {
namespace {

void PresentOnStderr(std::string_view condition) {
  std::fprintf(stderr, "presented: %.*s\n", static_cast<int>(condition.size()), condition.data());
}

void RaiseAgain(std::string_view) { RaiseFatalError("raised inside the presenter"); }

struct AtExitProbe {
  ~AtExitProbe() { std::fprintf(stderr, "global destructor ran\n"); }
};

TEST(FatalDeathTest, PresenterRunsThenProcessEndsWithMinusOne) {
  EXPECT_EXIT(
      {
        SetFatalPresenter(&PresentOnStderr);
        RaiseFatalError("the condition");
      },
      testing::ExitedWithCode(255), "fatal runtime error: the condition\npresented: the condition");
}

TEST(FatalDeathTest, NoExitRoutineOrDestructorRuns) {
  EXPECT_EXIT(
      {
        static AtExitProbe probe;
        std::atexit([] { std::fprintf(stderr, "exit routine ran\n"); });
        RaiseFatalError("quiet end");
      },
      testing::ExitedWithCode(255), "^[^\n]*quiet end\n$");
}

TEST(FatalDeathTest, RaiseInsidePresenterDoesNotRecurse) {
  EXPECT_EXIT(
      {
        SetFatalPresenter(&RaiseAgain);
        RaiseFatalError("first");
      },
      testing::ExitedWithCode(255), "first\n.*raised inside the presenter\n$");
}

TEST(FatalDeathTest, OutOfMemoryRaisesTheFatalError) {
  // Calls the handler the way a failing operator new does; a real failed allocation
  // is intercepted by the sanitizers' allocators before it gets there.
  EXPECT_EXIT(
      {
        InstallOutOfMemoryHandler();
        std::new_handler handler = std::get_new_handler();
        if (handler != nullptr) handler();
        std::fprintf(stderr, "returned\n");
        std::exit(0);
      },
      testing::ExitedWithCode(255), "out of memory");
}

}  // namespace
}  // namespace velmora
