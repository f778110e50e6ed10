// Figures of the batch run against a loopback stand-in of the share service that
// holds its answers:
//  - responsiveness: while a 500-row batch starts against a service that holds
//    every answer 10 s, the longest gap between two ticks of a 10 ms timer on the
//    main thread (goal: under 30 ms);
//  - memory: resident memory per in-flight probe with 300 probes held open (goal:
//    under 512 KB each), and what is left over once they have all finished;
//  - limits: the threads and open files of a 50,000-row batch started through the
//    program's start-up while the service drips every answer one byte a second, sampled for 75 s
//    from a desktop session's soft limit of 1,024 open files: as start-up leaves it now (raised to
//    the hard limit) and, in a second process run at the same time, with the limit put back to
//    1,024 as start-up left it before it raised it.
// The service runs in a child process so that its threads and buffers do not count
// in the probing process's resident memory.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <dirent.h>
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/batch.h"
#include "app/main_window.h"
#include "app/probe.h"
#include "app/startup.h"
#include "support/loopback_server.h"
#include "support/main_thread.h"
#include "support/process_status.h"
#include "table/url_table.h"

namespace {

using velmora::test::StatusField;

using namespace std::chrono_literals;
using velmora::test::LoopbackServer;
using velmora::test::TestCertificates;

constexpr char kPath[] = "/cgi-bin/qzshare/cgi_qzshareget_urlinfo";

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// The stand-in service in a child process. `round` > 0: the first answer comes at
// once, the later ones are held in rounds of `round` requests, each answered once its
// round is complete (bounded by `hold`); kDrip: each answer comes one blank a
// second for `hold`, then the body; otherwise each answer waits `hold`.
constexpr int kDrip = -1;
struct ServiceProcess {
  pid_t pid = -1;
  int port = 0;
};

ServiceProcess StartService(const TestCertificates& certs, std::chrono::milliseconds hold,
                            int round, int workers) {
  int channel[2];
  if (pipe(channel) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    LoopbackServer server(certs);
    std::atomic<int> arrived{0};
    server.routes().new_task_queue = [workers] {
      return new httplib::ThreadPool(static_cast<std::size_t>(workers));
    };
    server.routes().Get(kPath, [&](const httplib::Request&, httplib::Response& res) {
      const int count = ++arrived;
      if (round == kDrip) {
        const auto deadline = std::chrono::steady_clock::now() + hold;
        res.set_chunked_content_provider(
            "application/json", [&server, deadline, count](size_t, httplib::DataSink& sink) {
              if (std::chrono::steady_clock::now() < deadline) {
                server.Pause(1s);
                return sink.write(" ", 1);
              }
              const std::string body = "{\"summary\":\"answer " + std::to_string(count) + "\",}";
              sink.write(body.data(), body.size());
              sink.done();
              return true;
            });
        return;
      }
      if (round > 0 && count > 1) {  // the first request is a warm-up
        const int complete = 1 + ((count - 2) / round + 1) * round;
        const auto deadline = std::chrono::steady_clock::now() + hold;
        while (arrived.load() < complete && std::chrono::steady_clock::now() < deadline) {
          std::this_thread::sleep_for(20ms);
        }
      } else {
        server.Pause(hold);
      }
      res.set_content("{\"summary\":\"answer " + std::to_string(count) + "\",}",
                      "application/json");
    });
    int port = server.Start() ? server.port() : 0;
    if (write(channel[1], &port, sizeof port) != sizeof port) _exit(1);
    close(channel[1]);
    pause();  // until the parent ends it
    _exit(0);
  }
  close(channel[1]);
  int port = 0;
  if (read(channel[0], &port, sizeof port) != sizeof port) port = 0;
  close(channel[0]);
  return {pid, port};
}

void StopService(ServiceProcess& service) {
  if (service.pid <= 0) return;
  kill(service.pid, SIGTERM);
  waitpid(service.pid, nullptr, 0);
  service.pid = -1;
}

using velmora::test::PumpFor;
using velmora::test::PumpUntil;

void Fill(int rows) {
  velmora::test::Fill(
      rows, [](int row) { return "http://site" + std::to_string(row + 1) + ".example/"; });
}

int AnsweredRows(int rows) {
  int answered = 0;
  for (int row = 0; row < rows; ++row) {
    if (velmora::GetCellText(row, 1).rfind("answer", 0) == 0) ++answered;
  }
  return answered;
}

// The share host routed to `service`, and a shown window whose table the batch uses.
struct ShownWindow {
  ShownWindow(const TestCertificates& certs, const ServiceProcess& service)
      : route(certs.caFile(), {{std::string(velmora::kShareHost), 443, service.port}}),
        window(velmora::WindowHandlers{}) {
    window.show();
  }
  velmora::test::ScopedTransport route;
  velmora::MainWindow window;
};

constexpr int kResponsivenessRows = 500;
constexpr int kMemoryProbes = 300;

void Responsiveness(const TestCertificates& certs, ServiceProcess& service) {
  constexpr int kRows = kResponsivenessRows;
  if (service.port == 0) {
    std::printf("responsiveness: service did not start\n");
    return;
  }
  const ShownWindow shown(certs, service);
  Fill(kRows);

  QElapsedTimer sinceTick;
  qint64 longestGap = 0;
  long ticks = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, sinceTick.restart());
    ++ticks;
  });
  QElapsedTimer clock;
  clock.start();
  sinceTick.start();
  ticker.start(10);
  velmora::RunBatch();
  const qint64 startMs = clock.elapsed();
  const bool all = PumpUntil([] { return AnsweredRows(kRows) == kRows; }, 30s);
  ticker.stop();
  std::printf(
      "responsiveness: %d rows, answers held 10 s: batch started in %.1f s, all answered: %s\n"
      "  10 ms timer on the main thread: %ld ticks, longest gap %lld ms (goal < 30 ms)\n",
      kRows, static_cast<double>(startMs) / 1000.0, all ? "yes" : "no", ticks,
      static_cast<long long>(longestGap));
  StopService(service);
}

// Starts one held round of `probes` workers and returns the peak resident memory
// seen while they were all in flight. The workers are started 5 ms apart rather than
// by the batch's 100 ms: with the probe's 15 s receive limit a batch never has more
// than about 150 probes in flight at once.
long HeldRound(int probes, int& answered) {
  Fill(probes);
  long peak = ResidentKb();
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&peak] { peak = std::max(peak, ResidentKb()); });
  sampler.start(50);
  for (int row = 0; row < probes; ++row) {
    std::thread(velmora::ProbeRow, row).detach();
    velmora::PauseWithEvents(5);
  }
  (void)PumpUntil([probes] { return AnsweredRows(probes) == probes; }, 70s);
  sampler.stop();
  answered = AnsweredRows(probes);
  PumpFor(2s);  // let the workers end
  return peak;
}

void Memory(const TestCertificates& certs, ServiceProcess& service) {
  constexpr int kProbes = kMemoryProbes;
  if (service.port == 0) {
    std::printf("memory: service did not start\n");
    return;
  }
  const ShownWindow shown(certs, service);
  // One probe first, so that libraries loaded and pools made by the first exchange
  // do not count as per-probe memory.
  Fill(1);
  std::thread([] { velmora::ProbeRow(0); }).detach();
  (void)PumpUntil([] { return !velmora::GetCellText(0, 1).empty(); }, 70s);
  PumpFor(500ms);

  // Free heap that malloc keeps in its per-thread arenas is returned before each
  // reading, so what is left over is what the program still holds.
  malloc_trim(0);
  const long before = ResidentKb();
  int answered = 0;
  const long peak = HeldRound(kProbes, answered);
  malloc_trim(0);
  const long afterFirst = ResidentKb();
  int answeredAgain = 0;
  const long peakAgain = HeldRound(kProbes, answeredAgain);
  malloc_trim(0);
  const long afterSecond = ResidentKb();
  std::printf(
      "memory: %d probes held open together (answered %d, then %d)\n"
      "  resident before %ld KB, peak %ld KB: %.0f KB per in-flight probe (goal < 512 KB)\n"
      "  left over after the first round %+ld KB, after a second round (peak %ld KB) %+ld KB\n",
      kProbes, answered, answeredAgain, before, peak, static_cast<double>(peak - before) / kProbes,
      afterFirst - before, peakAgain, afterSecond - before);
  StopService(service);
}

// A desktop session's usual soft limit on open files.
constexpr rlim_t kDesktopSoftLimit = 1024;
constexpr int kLimitsRows = 50'000;
constexpr int kLimitsWindowS = 75;
constexpr int kLimitsReportEveryS = 15;
constexpr char kWaiting[] = "waiting";

int OpenFiles() {
  int count = -3;  // ".", ".." and the listing's own descriptor
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  while (readdir(fds) != nullptr) ++count;
  closedir(fds);
  return count;
}

void SetSoftOpenFileLimit(rlim_t soft) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = std::min(soft, limit.rlim_max);
  setrlimit(RLIMIT_NOFILE, &limit);
}

// The probing process: the program's start-up with a 50,000-row table, the start
// button clicked; every second the threads and open files are sampled, and every
// kLimitsReportEveryS seconds a line goes to `out`. A probe that failed cleared its
// row's "waiting". Ends the process after kLimitsWindowS seconds.
[[noreturn]] void LimitsProbing(const TestCertificates& certs, const ServiceProcess& service,
                                bool keepDesktopLimit, int out) {
  dup2(out, STDOUT_FILENO);
  close(out);
  SetSoftOpenFileLimit(kDesktopSoftLimit);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static auto* route = new velmora::test::ScopedTransport(
      certs.caFile(), {{std::string(velmora::kShareHost), 443, service.port}});
  (void)route;
  velmora::StartupOptions options;
  options.shown = [keepDesktopLimit](velmora::MainWindow& window) {
    if (keepDesktopLimit) SetSoftOpenFileLimit(kDesktopSoftLimit);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    std::printf("  %s: soft limit on open files %llu\n",
                keepDesktopLimit ? "before (limit kept at 1,024)" : "now (start-up's limit)",
                static_cast<unsigned long long>(limit.rlim_cur));
    velmora::ClearRows();
    for (int k = 1; k <= kLimitsRows; ++k) {
      velmora::InsertRow(k, "http://site" + std::to_string(k) + ".example/");
      velmora::SetCellText(k - 1, 1, kWaiting);
    }
    auto* clock = new QElapsedTimer;
    auto* sampler = new QTimer(&window);
    auto* peaks = new std::pair<long, int>(0, 0);
    QObject::connect(sampler, &QTimer::timeout, [clock, peaks] {
      const long threads = StatusField("Threads");
      const int files = OpenFiles();
      peaks->first = std::max(peaks->first, threads);
      peaks->second = std::max(peaks->second, files);
      const auto seconds = static_cast<int>((clock->elapsed() + 500) / 1000);
      if (seconds % kLimitsReportEveryS != 0 && seconds < kLimitsWindowS) return;
      const int started = std::min(kLimitsRows, static_cast<int>(clock->elapsed() / 100));
      int failed = 0;
      for (int row = 0; row < started; ++row) {
        if (velmora::GetCellText(row, 1) != kWaiting) ++failed;
      }
      std::printf("    at %3d s: %5d started, %5ld threads, %5d open files, %5d probes failed\n",
                  seconds, started, threads, files, failed);
      if (seconds >= kLimitsWindowS) {
        std::printf("    peak: %ld threads, %d open files\n", peaks->first, peaks->second);
        std::fflush(stdout);
        std::_Exit(0);
      }
    });
    auto* start = window.findChild<QPushButton*>(velmora::kStartButtonName);
    QTimer::singleShot(0, start, [start, clock, sampler] {
      clock->start();
      sampler->start(1000);
      start->click();
    });
  };
  char name[] = "velmora";
  char* argv[] = {name, nullptr};
  velmora::RunApplication(1, argv, options);
}

// Runs both probing processes at once and prints their reports, the current one
// first. Each has a service process of its own that drips every answer.
void Limits(const TestCertificates& certs, ServiceProcess services[2]) {
  std::printf(
      "limits: %d-row batch, answers dripping one byte a second, sampled over %d s from a soft "
      "limit of %llu open "
      "files\n",
      kLimitsRows, kLimitsWindowS, static_cast<unsigned long long>(kDesktopSoftLimit));
  std::fflush(stdout);  // before the children take a copy of the buffer
  int pipes[2][2];
  pid_t children[2];
  for (int i = 0; i < 2; ++i) {
    if (services[i].port == 0 || pipe(pipes[i]) != 0) {
      std::printf("limits: service did not start\n");
      return;
    }
    children[i] = fork();
    if (children[i] == 0) {
      close(pipes[i][0]);
      LimitsProbing(certs, services[i], /*keepDesktopLimit=*/i == 1, pipes[i][1]);
    }
    close(pipes[i][1]);
  }
  for (int i = 0; i < 2; ++i) {
    std::string report;
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipes[i][0], buffer, sizeof buffer)) > 0) {
      report.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipes[i][0]);
    int status = 0;
    waitpid(children[i], &status, 0);
    std::fputs(report.c_str(), stdout);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::printf("  probing process ended early (status %d)\n", status);
    }
    StopService(services[i]);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  TestCertificates certs({std::string(velmora::kShareHost)});
  if (!certs.ok()) return 1;
  // The services are forked before any thread of this process exists.
  ServiceProcess memoryService = StartService(certs, 60s, kMemoryProbes, kMemoryProbes + 16);
  ServiceProcess responsivenessService = StartService(certs, 10s, 0, kResponsivenessRows + 16);
  // Two processes probing at once for the same time; no thread of this process exists
  // yet, so they fork cleanly. Their answers are held past the sampling.
  ServiceProcess limitsServices[2] = {StartService(certs, 300s, kDrip, 1200),
                                      StartService(certs, 300s, kDrip, 1200)};
  Limits(certs, limitsServices);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  curl_global_init(CURL_GLOBAL_DEFAULT);
  QApplication app(argc, argv);
  Memory(certs, memoryService);
  Responsiveness(certs, responsivenessService);
  return 0;
}
