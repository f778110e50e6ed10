// The run with a fake exchange: order, limits, pacing, retries and stopping.
#include "cli/runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <random>
#include <thread>

namespace velmora::cli {
namespace {

using std::chrono::milliseconds;

ProbeAnswer Answer(int status, std::string body, Text headers = {}) {
  ProbeAnswer a;
  a.outcome.status = status;
  a.body.assign(body.begin(), body.end());
  a.responseHeaders = std::move(headers);
  return a;
}

ProbeAnswer SummaryFor(const Text& address) {
  return Answer(200, "{\"summary\":\"of " + address + "\",");
}

struct RunResult {
  std::vector<Record> records;
  RunTotals totals;
};

// Runs over `rows` addresses "u1", "u2", ... with `probe`; `stopAfter` records
// written, when given, asks for a stop.
RunResult RunRows(int rows, RunSettings settings, ProbeFunction probe,
                  std::optional<size_t> stopAfter = std::nullopt) {
  RunResult run;
  Runner* runnerPtr = nullptr;
  Runner runner(settings, std::move(probe), [&](const Record& r) {
    run.records.push_back(r);
    if (stopAfter && run.records.size() == *stopAfter) runnerPtr->Stop();
    return true;
  });
  runnerPtr = &runner;
  std::thread producer([&] {
    for (int k = 1; k <= rows; ++k) {
      if (!runner.Add("u" + std::to_string(k))) break;
    }
    runner.EndOfInput();
  });
  run.totals = runner.Run({});
  producer.join();
  EXPECT_FALSE(runner.Abandoned());
  return run;
}

TEST(RunnerTest, RecordsComeInInputOrderWithinTheLimitOfExchanges) {
  std::atomic<int> inFlight{0};
  std::atomic<int> most{0};
  RunSettings settings;
  settings.interval = milliseconds(0);
  settings.maxInFlight = 8;
  auto probe = [&](const Text& address, int) {
    const int now = ++inFlight;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
    // Later rows often finish first.
    std::this_thread::sleep_for(milliseconds(std::hash<std::string>{}(address) % 7));
    --inFlight;
    return address == "u5" ? Answer(200, "no markers") : SummaryFor(address);
  };
  const RunResult run = RunRows(300, settings, probe);
  ASSERT_EQ(run.records.size(), 300u);
  for (size_t k = 0; k < run.records.size(); ++k) {
    EXPECT_EQ(run.records[k].n, static_cast<std::int64_t>(k + 1));
    EXPECT_EQ(run.records[k].url, "u" + std::to_string(k + 1));
  }
  EXPECT_EQ(run.records[0].summary, "of u1");
  EXPECT_EQ(run.records[4].error, "no-summary");
  EXPECT_EQ(run.totals.withoutSummary, 1);
  EXPECT_LE(most.load(), 8);
  EXPECT_GT(most.load(), 1);
}

TEST(RunnerTest, StartsAreSpacedByTheInterval) {
  std::mutex lock;
  std::vector<std::chrono::steady_clock::time_point> starts;
  RunSettings settings;
  settings.interval = milliseconds(30);
  settings.maxInFlight = 4;
  RunRows(6, settings, [&](const Text& address, int) {
    std::lock_guard guard(lock);
    starts.push_back(std::chrono::steady_clock::now());
    return SummaryFor(address);
  });
  ASSERT_EQ(starts.size(), 6u);
  std::sort(starts.begin(), starts.end());
  for (size_t k = 1; k < starts.size(); ++k) {
    EXPECT_GE(starts[k] - starts[k - 1], milliseconds(25)) << k;
  }
}

TEST(RunnerTest, RetriesNoAnswerTooManyRequestsAndServerErrorsOnly) {
  std::mutex lock;
  std::map<std::string, int> calls;
  RunSettings settings;
  settings.interval = milliseconds(0);
  settings.retries = 2;
  const RunResult run = RunRows(4, settings, [&](const Text& address, int) {
    int call;
    {
      std::lock_guard guard(lock);
      call = ++calls[address];
    }
    const Text now = "Retry-After: 0\r\n";
    if (address == "u1") return call == 1 ? Answer(429, "", now) : SummaryFor(address);
    if (address == "u2") return Answer(503, "", now);  // always: gives up after 3
    if (address == "u3") return Answer(404, "");       // not retried
    ProbeAnswer none;                                  // no answer at all, then one
    if (call == 1) {
      none.outcome.failure = ExchangeFailure::kTimeout;
      none.responseHeaders = now;
      return none;
    }
    return SummaryFor(address);
  });
  ASSERT_EQ(run.records.size(), 4u);
  EXPECT_EQ(run.records[0].attempts, 2);
  EXPECT_EQ(run.records[0].summary, "of u1");
  EXPECT_EQ(run.records[1].attempts, 3);
  EXPECT_EQ(run.records[1].status, 503);
  EXPECT_EQ(run.records[1].error, "no-summary");
  EXPECT_EQ(run.records[2].attempts, 1);
  EXPECT_EQ(run.records[3].attempts, 2);
  EXPECT_EQ(run.records[3].status, 200);
}

TEST(RunnerTest, RetryDelayDoublesOrFollowsRetryAfterWithinTheCap) {
  struct Case {
    const char* name;
    int retry;
    Text headers;
    milliseconds delay;
  };
  const std::vector<Case> cases = {
      {"first", 1, "", milliseconds(1000)},
      {"third", 3, "", milliseconds(4000)},
      {"capped", 30, "", milliseconds(60000)},
      {"retry-after seconds", 1, "Content-Type: x\r\nRetry-After: 7\r\n", milliseconds(7000)},
      {"any case, blanks", 5, "retry-after:   2 \r\n", milliseconds(2000)},
      {"retry-after capped", 1, "Retry-After: 99999999999999\r\n", milliseconds(60000)},
      {"past date", 2, "Retry-After: Wed, 21 Oct 2015 07:28:00 GMT\r\n", milliseconds(0)},
      {"garbage falls back", 2, "Retry-After: soon\r\n", milliseconds(2000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RetryDelay(c.retry, c.headers), c.delay);
  }
}

TEST(RunnerTest, AStopWritesWholeFinishedRecordsInOrderAndStartsNothingNew) {
  // Unpaced with many workers, a worker often wakes for its slot only after the
  // stop; its row must still start, or the records skip a number.
  struct Case {
    const char* name;
    milliseconds interval;
    int maxInFlight;
    int repeats;
    // Well short of the 500 rows: nothing new started. Unpaced, how far the workers
    // run ahead of the writer is the scheduler's, so only the order is checked.
    std::optional<size_t> mostRecords;
  };
  const Case cases[] = {
      {"paced", milliseconds(1), 4, 1, 60},
      {"unpaced, many workers", milliseconds(0), 32, 20, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int repeat = 0; repeat < c.repeats; ++repeat) {
      std::atomic<int> started{0};
      RunSettings settings;
      settings.interval = c.interval;
      settings.maxInFlight = c.maxInFlight;
      const RunResult run = RunRows(
          500, settings,
          [&](const Text& address, int) {
            ++started;
            std::this_thread::sleep_for(milliseconds(5));
            return SummaryFor(address);
          },
          20);
      EXPECT_TRUE(run.totals.stopped);
      EXPECT_GE(run.records.size(), 20u);
      if (c.mostRecords) {
        EXPECT_LT(run.records.size(), *c.mostRecords);
      }
      EXPECT_EQ(static_cast<int>(run.records.size()), started.load());
      for (size_t k = 0; k < run.records.size(); ++k) {
        ASSERT_EQ(run.records[k].n, static_cast<std::int64_t>(k + 1)) << "repeat " << repeat;
      }
    }
  }
}

TEST(RunnerTest, DoneRowsAreCopiedWithoutAnExchange) {
  DoneRecords done;
  Record old;
  old.n = 9;
  old.url = "u2";
  old.summary = "old";
  old.status = 200;
  old.attempts = 2;
  done.emplace("u2", old);
  RunSettings settings;
  settings.interval = milliseconds(0);
  settings.done = &done;
  std::atomic<int> calls{0};
  const RunResult run = RunRows(3, settings, [&](const Text& address, int) {
    ++calls;
    return SummaryFor(address);
  });
  ASSERT_EQ(run.records.size(), 3u);
  EXPECT_EQ(calls.load(), 2);
  EXPECT_EQ(run.records[1].n, 2);
  EXPECT_EQ(run.records[1].summary, "old");
  EXPECT_EQ(run.records[1].attempts, 2);
}

}  // namespace
}  // namespace velmora::cli
