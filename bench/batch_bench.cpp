// Figures of the batch run against a loopback stand-in of the share service that
// holds its answers:
//  - responsiveness: while a 500-row batch starts against a service that holds
//    every answer 10 s, the longest gap between two ticks of a 10 ms timer on the
//    main thread (goal: under 30 ms);
//  - memory: resident memory per in-flight probe with 300 probes held open (goal:
//    under 512 KB each), and what is left over once they have all finished.
// The service runs in a child process so that its threads and buffers do not count
// in the probing process's resident memory.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <malloc.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/batch.h"
#include "app/main_window.h"
#include "app/probe.h"
#include "support/loopback_server.h"
#include "support/main_thread.h"
#include "table/url_table.h"

namespace {

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
// round is complete (bounded by `hold`); otherwise each answer waits `hold`.
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

}  // namespace

int main(int argc, char** argv) {
  TestCertificates certs({std::string(velmora::kShareHost)});
  if (!certs.ok()) return 1;
  // The services are forked before any thread of this process exists.
  ServiceProcess memoryService = StartService(certs, 60s, kMemoryProbes, kMemoryProbes + 16);
  ServiceProcess responsivenessService = StartService(certs, 10s, 0, kResponsivenessRows + 16);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  curl_global_init(CURL_GLOBAL_DEFAULT);
  QApplication app(argc, argv);
  Memory(certs, memoryService);
  Responsiveness(certs, responsivenessService);
  return 0;
}
