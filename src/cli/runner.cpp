#include "cli/runner.h"

#include <curl/curl.h>

#include <algorithm>
#include <ctime>
#include <string_view>
#include <utility>

#include "platform/ascii.h"

namespace velmora::cli {
namespace {

constexpr std::string_view kRetryAfter = "retry-after";
// Digits of a Retry-After value read at most: more cannot fit below the cap anyway.
constexpr std::size_t kMaxDelayDigits = 9;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Seconds a Retry-After value asks for; nullopt when it is neither a number of
// seconds nor an HTTP date.
std::optional<std::int64_t> RetryAfterSeconds(std::string_view value) {
  if (value.empty()) return std::nullopt;
  if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    if (value.size() > kMaxDelayDigits) return std::int64_t{kMaxRetryDelay.count()};
    return std::stoll(std::string(value));
  }
  const time_t when = curl_getdate(std::string(value).c_str(), nullptr);
  if (when < 0) return std::nullopt;
  return std::max<std::int64_t>(0, static_cast<std::int64_t>(when - std::time(nullptr)));
}

const char* FailureWord(ExchangeFailure failure) {
  switch (failure) {
    case ExchangeFailure::kTimeout:
      return "timeout";
    case ExchangeFailure::kConnect:
      return "connect";
    case ExchangeFailure::kResolve:
      return "resolve";
    case ExchangeFailure::kTls:
      return "tls";
    case ExchangeFailure::kNone:
    case ExchangeFailure::kOther:
      break;
  }
  return "other";
}

}  // namespace

std::chrono::milliseconds RetryDelay(int retry, const Text& responseHeaders) {
  std::string_view rest = responseHeaders;
  while (!rest.empty()) {
    const size_t end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (!platform::EqualsIgnoringCase(Trim(line.substr(0, colon)), kRetryAfter)) continue;
    if (std::optional<std::int64_t> seconds = RetryAfterSeconds(Trim(line.substr(colon + 1)))) {
      return std::chrono::seconds(std::min<std::int64_t>(*seconds, kMaxRetryDelay.count()));
    }
    break;
  }
  // 1 s, 2 s, 4 s ... held at the cap (and no shift beyond it).
  const int doublings = std::clamp(retry - 1, 0, 6);
  return std::min<std::chrono::milliseconds>(kFirstRetryDelay * (1LL << doublings), kMaxRetryDelay);
}

bool IsRetryable(const ExchangeOutcome& outcome) {
  return outcome.status == 0 || outcome.status == 429 ||
         (outcome.status >= 500 && outcome.status <= 599);
}

Record RecordOf(std::int64_t n, std::string url, const ProbeAnswer& answer, int attempts) {
  Record r;
  r.n = n;
  r.url = std::move(url);
  r.attempts = attempts;
  r.status = answer.outcome.status;
  if (r.status == 0) {
    r.error = FailureWord(answer.outcome.failure);
    return r;
  }
  r.summary = Utf8SummaryOf(answer.body);
  if (!r.summary) r.error = "no-summary";
  return r;
}

Runner::Runner(RunSettings settings, ProbeFunction probe, Writer writer, Flusher flush)
    : settings_(std::move(settings)),
      probe_(std::move(probe)),
      writer_(std::move(writer)),
      flush_(std::move(flush)) {}

Runner::~Runner() {
  for (std::thread& worker : workers_) {
    if (!worker.joinable()) continue;
    if (abandoned_) {
      worker.detach();
    } else {
      worker.join();
    }
  }
}

bool Runner::Add(std::string address) {
  std::unique_lock lock(lock_);
  changed_.wait(lock, [this] {
    return stop_ || settings_.queuedRows == 0 || queue_.size() < settings_.queuedRows;
  });
  if (stop_) return false;
  queue_.push_back({++added_, std::move(address)});
  changed_.notify_all();
  return true;
}

void Runner::EndOfInput() {
  std::lock_guard lock(lock_);
  inputEnded_ = true;
  changed_.notify_all();
}

void Runner::Stop() {
  std::lock_guard lock(lock_);
  if (!stop_) stoppedAt_ = std::chrono::steady_clock::now();
  stop_ = true;
  changed_.notify_all();
}

std::chrono::steady_clock::time_point Runner::TakeSlot() {
  const auto slot = std::max(std::chrono::steady_clock::now(), nextStart_);
  nextStart_ = slot + settings_.interval;
  return slot;
}

bool Runner::WaitForSlot(std::chrono::steady_clock::time_point slot) {
  std::unique_lock lock(lock_);
  changed_.wait_until(lock, slot, [this] { return stop_.load(); });
  // Whether a row starts is decided by its slot, not by when its thread happens to
  // wake: a thread that wakes after the stop still starts a row whose time had come.
  // Slots rise with the input, so the started rows stay a run from the first one and
  // a stop leaves no gap before a started row.
  return !stop_ || slot <= stoppedAt_;
}

bool Runner::Pace() {
  std::chrono::steady_clock::time_point slot;
  {
    std::lock_guard lock(lock_);
    slot = TakeSlot();
  }
  return WaitForSlot(slot);
}

bool Runner::WaitStopped(std::chrono::milliseconds delay) {
  std::unique_lock lock(lock_);
  return changed_.wait_for(lock, delay, [this] { return stop_.load(); });
}

void Runner::Finish(Record record) {
  std::lock_guard lock(lock_);
  --inFlight_;
  ++done_;
  if (!HasSummary(record)) ++withoutSummary_;
  finished_.emplace(record.n, std::move(record));
  changed_.notify_all();
}

void Runner::Work() {
  for (;;) {
    Row row;
    const Record* done = nullptr;
    std::chrono::steady_clock::time_point slot;
    {
      std::unique_lock lock(lock_);
      changed_.wait(lock, [this] {
        return stop_ || (inputEnded_ && queue_.empty()) ||
               (!queue_.empty() && queue_.front().n < nextToWrite_ + kReorderWindow);
      });
      if (stop_ || queue_.empty()) break;
      row = std::move(queue_.front());
      queue_.pop_front();
      ++inFlight_;
      changed_.notify_all();  // room for the producer
      if (settings_.done != nullptr) {
        auto found = settings_.done->find(ValidUtf8(row.url));
        if (found != settings_.done->end()) done = &found->second;
      }
      // The start slot is taken with the row, so rows start in input order and a stop
      // leaves no row unstarted before a started one.
      if (done == nullptr) slot = TakeSlot();
    }
    if (done != nullptr) {
      Record copy = *done;
      copy.n = row.n;
      copy.url = std::move(row.url);
      Finish(std::move(copy));
      continue;
    }
    if (!WaitForSlot(slot)) {
      std::lock_guard lock(lock_);
      --inFlight_;  // never started: no record
      changed_.notify_all();
      break;
    }
    ProbeAnswer answer;
    int attempts = 0;
    for (;;) {
      answer = probe_(row.url, settings_.timeoutSeconds);
      ++attempts;
      if (attempts > settings_.retries || !IsRetryable(answer.outcome)) break;
      // A stop during the wait keeps the answer that came.
      if (WaitStopped(RetryDelay(attempts, answer.responseHeaders)) || !Pace()) break;
    }
    Finish(RecordOf(row.n, std::move(row.url), answer, attempts));
  }
  std::lock_guard lock(lock_);
  --workersLeft_;
  changed_.notify_all();
}

RunTotals Runner::Run(const ProgressView& progress) {
  const auto started = std::chrono::steady_clock::now();
  RunTotals totals;
  const int workers = std::max(1, settings_.maxInFlight);
  {
    std::lock_guard lock(lock_);
    workersLeft_ = workers;
  }
  workers_.reserve(static_cast<size_t>(workers));
  for (int k = 0; k < workers; ++k) workers_.emplace_back([this] { Work(); });

  auto lastDrawn = started - kProgressPeriod;
  std::vector<Record> ready;
  auto snapshot = [&]() {
    Progress p;
    p.done = done_;
    if (inputEnded_) p.total = added_;
    p.withoutSummary = withoutSummary_;
    p.elapsed = std::chrono::steady_clock::now() - started;
    return p;
  };
  auto write = [&](std::vector<Record>& records) {
    for (const Record& r : records) {
      if (totals.writeFailed) break;
      if (!writer_(r)) {
        totals.writeFailed = true;
        Stop();
        break;
      }
      ++totals.rows;
      if (!HasSummary(r)) ++totals.withoutSummary;
    }
    if (!records.empty() && !totals.writeFailed && flush_ && !flush_()) {
      totals.writeFailed = true;
      Stop();
    }
    records.clear();
  };
  for (;;) {
    std::optional<Progress> draw;
    bool over = false;
    {
      std::unique_lock lock(lock_);
      changed_.wait_for(lock, kProgressPeriod, [this] {
        return stop_ || workersLeft_ == 0 ||
               (!finished_.empty() && finished_.begin()->first == nextToWrite_);
      });
      while (!finished_.empty() && finished_.begin()->first == nextToWrite_) {
        ready.push_back(std::move(finished_.begin()->second));
        finished_.erase(finished_.begin());
        ++nextToWrite_;
      }
      if (!ready.empty()) changed_.notify_all();  // the reorder window moved
      const auto now = std::chrono::steady_clock::now();
      over = stop_ || (workersLeft_ == 0 && finished_.empty());
      if (progress && (now - lastDrawn >= kProgressPeriod || over)) {
        lastDrawn = now;
        draw = snapshot();
      }
    }
    write(ready);
    if (draw) progress(*draw);
    if (over) break;
  }
  totals.stopped = stop_;
  if (!totals.stopped) {
    for (std::thread& worker : workers_) worker.join();
    return totals;
  }
  // Stopped: the rows in flight get the grace period, then every finished record
  // goes out in input order, gaps left by unfinished rows skipped.
  {
    std::unique_lock lock(lock_);
    changed_.wait_for(lock, kStopGrace, [this] { return inFlight_ == 0; });
    abandoned_ = inFlight_ > 0;
    for (auto& [n, record] : finished_) ready.push_back(std::move(record));
    finished_.clear();
  }
  write(ready);
  if (progress) {
    std::lock_guard lock(lock_);
    progress(snapshot());
  }
  if (!abandoned_) {
    for (std::thread& worker : workers_) worker.join();
  }
  return totals;
}

}  // namespace velmora::cli
