// Throughput of sequential FetchText calls against a loopback HTTPS server that
// answers 2 KB, next to two references measured in the same run: the curl command
// started once per address, and one curl process fetching every address over one
// reused connection. The server runs in a child process so that the CPU time
// measured for FetchText is the client's alone.
//
// Usage: fetch_bench [calls]   (default 1000)
#include <curl/curl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/loopback_server.h"
#include "web/fetch.h"

extern char** environ;

namespace {

constexpr int kDefaultCalls = 1000;
constexpr std::size_t kAnswerBytes = 2048;
constexpr const char* kHost = "sns.qzone.qq.com";

struct Figures {
  double seconds = 0;
  double cpuSeconds = 0;
};

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto toSeconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

std::string Address(int i) {
  return "https://" + std::string(kHost) + "/item/" + std::to_string(i);
}

// Serves until the parent closes `quit`; reports its port through `portOut`.
[[noreturn]] void RunServer(const velmora::test::TestCertificates& certs, int portOut, int quit) {
  velmora::test::LoopbackServer server(certs);
  const std::string answer(kAnswerBytes, 'x');
  server.routes().set_keep_alive_max_count(1'000'000);
  server.routes().Get(R"(/item/\d+)", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(answer, "text/plain");
  });
  int port = server.Start() ? server.port() : 0;
  if (write(portOut, &port, sizeof port) != sizeof port) _exit(1);
  char ignored;
  while (read(quit, &ignored, 1) > 0) {
  }
  server.Stop();
  _exit(0);
}

bool RunCurl(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, "curl", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Print(const char* what, int calls, const Figures& f) {
  std::printf("%-34s %8.0f calls/s  %7.3f ms CPU/call  (%d calls in %.2f s)\n", what,
              calls / f.seconds, f.cpuSeconds * 1000 / calls, calls, f.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  int calls = argc > 1 ? std::atoi(argv[1]) : kDefaultCalls;
  if (calls <= 0) calls = kDefaultCalls;
  velmora::test::TestCertificates certs({kHost});
  if (!certs.ok()) {
    std::fprintf(stderr, "fetch_bench: could not make test certificates\n");
    return 1;
  }
  int portPipe[2];
  int quitPipe[2];
  if (pipe(portPipe) != 0 || pipe(quitPipe) != 0) return 1;
  pid_t server = fork();
  if (server == 0) {
    close(quitPipe[1]);
    RunServer(certs, portPipe[1], quitPipe[0]);
  }
  close(quitPipe[0]);
  int port = 0;
  if (read(portPipe[0], &port, sizeof port) != sizeof port || port == 0) {
    std::fprintf(stderr, "fetch_bench: the server did not start\n");
    return 1;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string route = std::string(kHost) + ":443:127.0.0.1:" + std::to_string(port);
  velmora::test::ScopedTransport transport(certs.caFile(), {{kHost, 443, port}});
  using Clock = std::chrono::steady_clock;

  // FetchText, sequential, on this thread.
  Figures fetch;
  int answered = 0;
  {
    double cpu = CpuSeconds(RUSAGE_SELF);
    auto start = Clock::now();
    for (int i = 0; i < calls; ++i) {
      if (velmora::FetchText(Address(i)).size() == kAnswerBytes) ++answered;
    }
    fetch.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fetch.cpuSeconds = CpuSeconds(RUSAGE_SELF) - cpu;
  }

  // The curl command once per address.
  Figures perAddress;
  int curlFailures = 0;
  {
    double cpu = CpuSeconds(RUSAGE_CHILDREN);
    auto start = Clock::now();
    for (int i = 0; i < calls; ++i) {
      if (!RunCurl({"curl", "-s", "--http1.1", "--cacert", certs.caFile(), "--connect-to", route,
                    "-o", "/dev/null", Address(i)})) {
        ++curlFailures;
      }
    }
    perAddress.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    perAddress.cpuSeconds = CpuSeconds(RUSAGE_CHILDREN) - cpu;
  }

  // One curl process for every address over one reused connection.
  Figures reused;
  {
    std::string config = certs.caFile() + ".urls";
    std::ofstream list(config);
    for (int i = 0; i < calls; ++i)
      list << "url = \"" << Address(i) << "\"\noutput = \"/dev/null\"\n";
    list.close();
    double cpu = CpuSeconds(RUSAGE_CHILDREN);
    auto start = Clock::now();
    if (!RunCurl({"curl", "-s", "--http1.1", "--cacert", certs.caFile(), "--connect-to", route,
                  "-K", config})) {
      ++curlFailures;
    }
    reused.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    reused.cpuSeconds = CpuSeconds(RUSAGE_CHILDREN) - cpu;
  }

  close(quitPipe[1]);
  waitpid(server, nullptr, 0);

  Print("FetchText (pooled handle)", calls, fetch);
  Print("curl once per address", calls, perAddress);
  Print("curl, one process, reused conn.", calls, reused);
  double vsPerAddress = perAddress.seconds / fetch.seconds;
  double vsReused = fetch.seconds / reused.seconds;
  std::printf(
      "FetchText throughput: %.1fx curl-per-address (goal >= 10x), "
      "%.2fx the time of reused-connection curl (goal <= 1.5x)\n",
      vsPerAddress, vsReused);
  std::printf("answers of %zu bytes: %d of %d; curl failures: %d\n", kAnswerBytes, answered, calls,
              curlFailures);
  return answered == calls && curlFailures == 0 ? 0 : 1;
}
