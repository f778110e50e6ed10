// The probing run of the command-line program: rows from a producer, a fixed number
// of exchanges at once with a spacing between starts, retries, and records handed
// to the writer in input order. Stopping (Ctrl+C) starts nothing new, gives the rows
// in flight a grace period and hands on every record that finished.
#ifndef VELMORA_CLI_RUNNER_H_
#define VELMORA_CLI_RUNNER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/records.h"
#include "probe/probe.h"

namespace velmora::cli {

// Longest wait before a retry, whether doubled or asked for by Retry-After.
inline constexpr std::chrono::seconds kMaxRetryDelay{60};
// First retry delay; each further one doubles it.
inline constexpr std::chrono::seconds kFirstRetryDelay{1};
// Time the rows in flight get to finish once a stop was asked for.
inline constexpr std::chrono::seconds kStopGrace{2};
// Finished records kept waiting for an earlier row at most, beyond the rows in
// flight: a slow row holds back at most this many, so memory stays bounded.
inline constexpr std::int64_t kReorderWindow = 4096;
// Rows read ahead of the workers.
inline constexpr std::size_t kQueuedRows = 1024;
// Longest time between two redraws of the progress (ten a second).
inline constexpr std::chrono::milliseconds kProgressPeriod{100};

// The exchange for one address, with a per-phase limit in seconds.
using ProbeFunction = std::function<ProbeAnswer(const Text& address, int timeoutSeconds)>;

struct RunSettings {
  std::chrono::milliseconds interval{100};
  int maxInFlight = 64;
  int timeoutSeconds = 15;
  int retries = 0;
  const DoneRecords* done = nullptr;  // rows to copy instead of probing
  // Rows waiting for a worker at most before Add blocks; 0: Add never blocks (a
  // streamed sitemap must not hold up its transfer, whose time is limited).
  std::size_t queuedRows = kQueuedRows;
};

struct Progress {
  std::int64_t done = 0;
  std::optional<std::int64_t> total;  // known once the input has ended
  std::int64_t withoutSummary = 0;
  std::chrono::steady_clock::duration elapsed{};
};

struct RunTotals {
  std::int64_t rows = 0;  // records written
  std::int64_t withoutSummary = 0;
  bool stopped = false;      // a stop was asked for
  bool writeFailed = false;  // the writer refused a record
};

// The delay before retry number `retry` (1 for the first): Retry-After seconds (or
// an HTTP date) of `responseHeaders` when it gives one, else 1 s doubled each time;
// at most kMaxRetryDelay either way.
[[nodiscard]] std::chrono::milliseconds RetryDelay(int retry, const Text& responseHeaders);

// Whether an exchange is tried again: no answer, 429 or a 5xx.
[[nodiscard]] bool IsRetryable(const ExchangeOutcome& outcome);

// The record of a finished exchange.
[[nodiscard]] Record RecordOf(std::int64_t n, std::string url, const ProbeAnswer& answer,
                              int attempts);

class Runner {
 public:
  // Writes one record; false when it could not, which stops the run.
  using Writer = std::function<bool(const Record&)>;
  using ProgressView = std::function<void(const Progress&)>;
  // Called after each batch of records written together (to flush them out); false
  // when it could not, which stops the run.
  using Flusher = std::function<bool()>;

  Runner(RunSettings settings, ProbeFunction probe, Writer writer, Flusher flush = {});
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Producer side, from one thread: the next address; false once stopped (the
  // producer should end). Blocks while settings.queuedRows rows wait.
  bool Add(std::string address);
  // The producer has no more rows.
  void EndOfInput();

  // Asks the run to stop: safe from any thread (not from a signal handler).
  void Stop();

  // Runs the workers and writes the records on the calling thread until every row
  // is written or, after a stop, the grace period is over. `progress`, when set, is
  // called at most every kProgressPeriod and once at the end. After a stop that
  // ended with rows in flight the runner must not be destroyed before the process
  // ends (their threads are left running); see Abandoned().
  RunTotals Run(const ProgressView& progress);

  // Whether Run returned with rows still in flight.
  [[nodiscard]] bool Abandoned() const { return abandoned_; }

 private:
  struct Row {
    std::int64_t n;
    std::string url;
  };
  void Work();
  // The next start time (lock held), and waiting for one; false when the stop came
  // before the slot.
  std::chrono::steady_clock::time_point TakeSlot();
  bool WaitForSlot(std::chrono::steady_clock::time_point slot);
  bool Pace();
  bool WaitStopped(std::chrono::milliseconds delay);
  void Finish(Record record);

  RunSettings settings_;
  ProbeFunction probe_;
  Writer writer_;
  Flusher flush_;

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Row> queue_;
  std::int64_t added_ = 0;
  bool inputEnded_ = false;
  std::atomic<bool> stop_{false};
  std::chrono::steady_clock::time_point stoppedAt_{};  // when stop_ was first set
  std::int64_t nextToWrite_ = 1;
  std::map<std::int64_t, Record> finished_;
  int inFlight_ = 0;
  int workersLeft_ = 0;
  std::chrono::steady_clock::time_point nextStart_{};
  std::int64_t done_ = 0;
  std::int64_t withoutSummary_ = 0;
  std::vector<std::thread> workers_;
  bool abandoned_ = false;
};

}  // namespace velmora::cli

#endif  // VELMORA_CLI_RUNNER_H_
