// velmora-cli figures, each beside a reference measured in the same run:
//  1. 10,000 rows with --interval 0 --max-in-flight 64 against the loopback stand-in
//     of the share service: rows per second (goal >= 2,000) and peak resident memory
//     (goal < 100 MB); the reference is the same exchanges made by 64 threads of this
//     process calling the probe's exchange directly.
//  2. A sitemap of about 1 GB (20 million addresses), gzip-compressed, served on
//     loopback: `velmora-cli --list --sitemap URL > /dev/null` against
//     `curl -s URL | zcat | grep -c '<loc>'` (goal at most 1.5x its time), and the
//     program's peak resident memory (goal < 100 MB).
// The servers run in child processes; the data is made in a scratch folder under
// /tmp and removed at the end.
//
// Usage: cli_bench [rows] [sitemap-addresses]   (defaults 10000 and 20000000)
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/transport.h"
#include "probe/probe.h"
#include "support/loopback_server.h"
#include "support/share_service.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDefaultRows = 10'000;
constexpr long long kDefaultAddresses = 20'000'000;
constexpr int kInFlight = 64;

struct Measured {
  double seconds = 0;
  double peakMb = 0;
  int exitCode = -1;
};

// Runs `argv` with standard output to `outPath`, measuring its time and peak RSS.
Measured Run(const std::vector<std::string>& args, const std::string& outPath) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Measured m;
  m.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  m.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return m;
}

// A server in a child process; the child reports its port (and a CA file) on a pipe
// and serves until the parent closes `quit`.
struct Child {
  pid_t pid = -1;
  int quit = -1;
  int port = 0;
  std::string caFile;
  void Stop() {
    if (pid <= 0) return;
    close(quit);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
};

template <typename Serve>
Child StartChild(Serve serve) {
  int report[2];
  int quit[2];
  Child child;
  if (pipe(report) != 0 || pipe(quit) != 0) return child;
  child.pid = fork();
  if (child.pid == 0) {
    close(quit[1]);
    serve(report[1], quit[0]);
    _exit(0);
  }
  close(quit[0]);
  close(report[1]);
  child.quit = quit[1];
  char buffer[4096];
  std::string got;
  ssize_t n;
  while ((n = read(report[0], buffer, sizeof buffer)) > 0)
    got.append(buffer, static_cast<size_t>(n));
  close(report[0]);
  const size_t space = got.find(' ');
  child.port = std::atoi(got.substr(0, space).c_str());
  if (space != std::string::npos) child.caFile = got.substr(space + 1);
  return child;
}

void Report(int fd, const std::string& what) {
  (void)!write(fd, what.data(), what.size());
  close(fd);
}

void WaitForQuit(int quit) {
  char ignored;
  while (read(quit, &ignored, 1) > 0) {
  }
}

void BenchRows(int rows, const std::string& dir) {
  Child service = StartChild([](int report, int quit) {
    velmora::test::ShareService stand_in(kInFlight);
    if (!stand_in.Start()) _exit(1);
    Report(report, std::to_string(stand_in.port()) + " " + stand_in.caFile());
    WaitForQuit(quit);
  });
  if (service.port == 0) {
    std::printf("rows: the stand-in did not start\n");
    return;
  }
  const std::string input = dir + "/rows.txt";
  {
    std::ofstream out(input);
    for (int k = 0; k < rows; ++k) out << "https://www.example.com/page/" << k << "\n";
  }
  const std::string route =
      std::string(velmora::kShareHost) + ":443:127.0.0.1:" + std::to_string(service.port);
  const Measured cli =
      Run({VELMORA_CLI_PATH, "--interval", "0", "--max-in-flight", std::to_string(kInFlight), "-q",
           "--connect-to", route, "--cacert", service.caFile, input},
          dir + "/rows.jsonl");

  // Reference: the same exchanges from 64 threads of this process.
  velmora::platform::TransportSetting transport;
  transport.caFile = service.caFile;
  transport.connectTo = {route};
  velmora::platform::SetTestTransport(transport);
  std::atomic<int> next{0};
  std::atomic<int> answered{0};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kInFlight; ++t) {
    threads.emplace_back([&] {
      for (int k; (k = next++) < rows;) {
        const velmora::ProbeAnswer a =
            velmora::ProbeExchange("https://www.example.com/page/" + std::to_string(k), 15);
        if (!a.body.empty()) ++answered;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  const double reference = std::chrono::duration<double>(Clock::now() - start).count();
  velmora::platform::ClearTestTransport();
  service.Stop();

  std::printf(
      "rows: velmora-cli %d rows in %.2f s = %.0f rows/s (goal >= 2000), peak RSS %.1f MB "
      "(goal < 100), exit %d\n",
      rows, cli.seconds, rows / cli.seconds, cli.peakMb, cli.exitCode);
  std::printf("rows: reference, %d threads calling ProbeExchange: %.0f rows/s (%d answered)\n",
              kInFlight, rows / reference, answered.load());
}

// Writes the gzip sitemap (each entry 53 bytes, so 20 million stay below the 1 GiB
// cap on inflated bytes); returns its size, 0 on failure.
long long MakeSitemap(const std::string& path, long long addresses, long long& inflated) {
  gzFile gz = gzopen(path.c_str(), "wb1");
  if (gz == nullptr) return 0;
  gzbuffer(gz, 1 << 20);
  std::string chunk;
  gzputs(gz,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n");
  char line[128];
  for (long long k = 0; k < addresses; ++k) {
    const int n =
        std::snprintf(line, sizeof line, "<url><loc>https://example.com/p/%08lld</loc></url>\n", k);
    chunk.append(line, static_cast<size_t>(n));
    inflated += n;
    if (chunk.size() >= (1 << 20)) {
      gzwrite(gz, chunk.data(), static_cast<unsigned>(chunk.size()));
      chunk.clear();
    }
  }
  chunk += "</urlset>\n";
  gzwrite(gz, chunk.data(), static_cast<unsigned>(chunk.size()));
  gzclose(gz);
  return static_cast<long long>(std::filesystem::file_size(path));
}

void BenchSitemap(long long addresses, const std::string& dir) {
  const std::string path = dir + "/sitemap.xml.gz";
  const auto made = Clock::now();
  long long inflated = 0;
  const long long size = MakeSitemap(path, addresses, inflated);
  if (size == 0) {
    std::printf("sitemap: could not write %s\n", path.c_str());
    return;
  }
  std::printf("sitemap: %lld addresses, %.0f MB inflated, %.0f MB gzip, made in %.1f s\n",
              addresses, static_cast<double>(inflated) / 1e6, static_cast<double>(size) / 1e6,
              std::chrono::duration<double>(Clock::now() - made).count());
  Child server = StartChild([&path, size](int report, int quit) {
    velmora::test::LoopbackServer http;
    http.routes().Get("/sitemap.xml.gz", [&](const httplib::Request&, httplib::Response& res) {
      auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
      res.set_content_provider(static_cast<size_t>(size), "application/gzip",
                               [file](size_t offset, size_t length, httplib::DataSink& sink) {
                                 static thread_local std::vector<char> buffer(1 << 20);
                                 file->seekg(static_cast<std::streamoff>(offset));
                                 file->read(buffer.data(), static_cast<std::streamsize>(
                                                               std::min(length, buffer.size())));
                                 sink.write(buffer.data(), static_cast<size_t>(file->gcount()));
                                 return file->gcount() > 0;
                               });
    });
    if (!http.Start()) _exit(1);
    Report(report, std::to_string(http.port()));
    WaitForQuit(quit);
  });
  if (server.port == 0) {
    std::printf("sitemap: the server did not start\n");
    return;
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port) + "/sitemap.xml.gz";
  const Measured reference =
      Run({"sh", "-c", "curl -s '" + url + "' | zcat | grep -c '<loc>'"}, dir + "/count.txt");
  const Measured cli = Run({VELMORA_CLI_PATH, "--list", "--sitemap", url}, "/dev/null");
  server.Stop();
  std::ifstream count(dir + "/count.txt");
  long long counted = 0;
  count >> counted;
  std::printf("sitemap: reference curl | zcat | grep -c: %.2f s (%lld counted)\n",
              reference.seconds, counted);
  std::printf(
      "sitemap: velmora-cli --list: %.2f s = %.2fx the reference (goal <= 1.5x), peak RSS "
      "%.1f MB (goal < 100), exit %d\n",
      cli.seconds, cli.seconds / reference.seconds, cli.peakMb, cli.exitCode);
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : kDefaultRows;
  const long long addresses = argc > 2 ? std::atoll(argv[2]) : kDefaultAddresses;
  char pattern[] = "/tmp/velmora-cli-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) return 1;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  if (rows > 0) BenchRows(rows, dir);
  if (addresses > 0) BenchSitemap(addresses, dir);
  std::filesystem::remove_all(dir);
  return 0;
}
