// velmora-cli: the share-info probe for scripts, schedules and CI. Reads addresses
// from a file, standard input or a sitemap, probes each as the window does, and
// writes one record per address in input order.
#include <curl/curl.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "cli/address_lines.h"
#include "cli/records.h"
#include "cli/runner.h"
#include "cli/sitemap_source.h"
#include "platform/atomic_file.h"
#include "platform/transport.h"
#include "probe/probe.h"

namespace {

using velmora::cli::Format;

constexpr int kExitOk = 0;
constexpr int kExitInputError = 1;
constexpr int kExitSomeWithoutSummary = 2;
constexpr int kExitInterrupted = 130;
// Bytes read from an input file at a time.
constexpr std::size_t kReadPiece = 64 * 1024;
// Output collected before it is written out.
constexpr std::size_t kOutputBuffer = 256 * 1024;

struct Options {
  std::string input = "-";
  std::string sitemap;
  bool expandIndex = false;
  std::string format = "jsonl";
  std::string output;
  bool bom = false;
  int intervalMs = 100;
  int maxInFlight = 64;
  int timeoutSeconds = 15;
  int retries = 0;
  std::string skipDone;
  bool noProgress = false;
  bool quiet = false;
  std::vector<std::string> connectTo;
  std::string caFile;
  bool list = false;
};

void Complain(const std::string& message) {
  std::string line = "velmora-cli: " + message + "\n";
  (void)!write(STDERR_FILENO, line.data(), line.size());
}

// Standard output or the atomically replaced file of -o, written in large pieces.
class Output {
 public:
  bool Open(const std::string& path) {
    if (path.empty()) return true;
    // A device or pipe (-o /dev/null, a FIFO) is written as it is: renaming a file
    // over it would replace the device itself.
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
      fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd_ < 0) {
        Complain("cannot open " + path + ": " + std::strerror(errno));
        return false;
      }
      return true;
    }
    file_ = std::make_unique<velmora::platform::AtomicFile>(path);
    if (!file_->ok()) {
      Complain(file_->error());
      return false;
    }
    return true;
  }
  bool Put(std::string_view bytes) {
    buffer_.append(bytes);
    return buffer_.size() < kOutputBuffer || Flush();
  }
  bool Flush() {
    if (failed_) return false;
    std::string_view rest = buffer_;
    if (file_) {
      if (!file_->Write(rest)) return Fail(file_->error());
    } else {
      while (!rest.empty()) {
        const ssize_t n = write(fd_, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(std::string("cannot write the output: ") + std::strerror(errno));
        rest.remove_prefix(static_cast<size_t>(n));
      }
    }
    buffer_.clear();
    return true;
  }
  bool Commit() {
    if (!Flush()) return false;
    if (file_ && !file_->Commit()) return Fail(file_->error());
    return true;
  }

 private:
  bool Fail(const std::string& message) {
    if (!failed_) Complain(message);
    failed_ = true;
    return false;
  }
  std::unique_ptr<velmora::platform::AtomicFile> file_;
  int fd_ = STDOUT_FILENO;  // when there is no file_
  std::string buffer_;
  bool failed_ = false;
};

// The progress line on a terminal: done/total, rows without a summary, rate, time left.
void DrawProgress(const velmora::cli::Progress& p, bool last) {
  const double seconds = std::chrono::duration<double>(p.elapsed).count();
  const double rate = seconds > 0 ? static_cast<double>(p.done) / seconds : 0.0;
  std::string total = p.total ? std::to_string(*p.total) : "?";
  std::string left = "?";
  if (p.total && rate > 0) {
    const auto remaining = static_cast<long long>(static_cast<double>(*p.total - p.done) / rate);
    left = std::to_string(remaining / 60) + "m" + (remaining % 60 < 10 ? "0" : "") +
           std::to_string(remaining % 60) + "s";
  }
  char line[256];
  std::snprintf(line, sizeof line,
                "\r%lld/%s done, %lld without summary, %.1f rows/s, %s left\x1b[K%s",
                static_cast<long long>(p.done), total.c_str(),
                static_cast<long long>(p.withoutSummary), rate, left.c_str(), last ? "\n" : "");
  (void)!write(STDERR_FILENO, line, std::strlen(line));
}

// Reads a file (or standard input for "-") in pieces into `sink`. "" on success,
// else what failed.
std::string ReadAddressFile(const std::string& path, const velmora::cli::AddressSink& sink,
                            const std::function<bool()>& stopped) {
  int fd = STDIN_FILENO;
  if (path != "-") {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot open " + path + ": " + std::strerror(errno);
  }
  velmora::cli::AddressLines lines(sink);
  std::string piece(kReadPiece, '\0');
  std::string error;
  for (;;) {
    if (stopped()) break;
    const ssize_t n = read(fd, piece.data(), piece.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = "cannot read " + (path == "-" ? std::string("standard input") : path) + ": " +
              std::strerror(errno);
      break;
    }
    if (n == 0 || !lines.Feed(std::string_view(piece.data(), static_cast<size_t>(n)))) break;
  }
  if (error.empty()) lines.Finish();
  if (fd != STDIN_FILENO) close(fd);
  return error;
}

bool LoadDone(const std::string& path, velmora::cli::DoneRecords& done) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Complain("cannot open " + path + ": " + std::strerror(errno));
    return false;
  }
  std::string line;
  while (std::getline(in, line)) velmora::cli::AddDoneRecord(done, line);
  if (in.bad()) {
    Complain("cannot read " + path);
    return false;
  }
  return true;
}

int Main(int argc, char** argv) {
  Options o;
  CLI::App app{
      "Asks Qzone's share service what it summarises for each address and writes one "
      "record per address.\n"
      "  velmora-cli [options] [FILE | -]      addresses from FILE, or standard input\n"
      "  velmora-cli [options] --sitemap URL   addresses from the loc entries of a sitemap",
      "velmora-cli"};
  app.set_version_flag("--version", std::string("velmora-cli ") + VELMORA_VERSION);
  app.add_option("FILE", o.input, "File of addresses, one a line; - for standard input");
  auto* sitemap = app.add_option("--sitemap", o.sitemap, "Read the addresses of this sitemap");
  app.add_flag("--expand-index", o.expandIndex,
               "Fetch the sitemaps a sitemap index lists (depth 5, 1000 sitemaps at most)")
      ->needs(sitemap);
  app.add_option("-f,--format", o.format, "Output format")
      ->check(CLI::IsMember({"jsonl", "csv", "tsv"}))
      ->capture_default_str();
  app.add_option("-o,--output", o.output, "Write here (replaced at the end) instead of stdout");
  app.add_flag("--bom", o.bom, "Start CSV or TSV with a UTF-8 byte-order mark (for Excel)");
  app.add_option("--interval", o.intervalMs, "Milliseconds between two starts")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--max-in-flight", o.maxInFlight, "Exchanges at once at most")
      ->check(CLI::Range(1, 1024))
      ->capture_default_str();
  app.add_option("--timeout", o.timeoutSeconds, "Limit of each phase of an exchange, seconds")
      ->check(CLI::Range(1, 86400))
      ->capture_default_str();
  app.add_option("--retries", o.retries,
                 "Tries again after no answer, a 429 or a 5xx (1 s, 2 s, 4 s ... or Retry-After)")
      ->check(CLI::Range(0, 100))
      ->capture_default_str();
  app.add_option("--skip-done", o.skipDone,
                 "Copy the records with a summary from this earlier JSON Lines output");
  app.add_flag("--no-progress", o.noProgress, "No progress line on a terminal");
  app.add_flag("-q,--quiet", o.quiet, "No progress line");
  // One value per occurrence, so a FILE after it is not taken for a second route.
  app.add_option("--connect-to", o.connectTo, "HOST:PORT:ADDR:PORT, as curl's (repeatable)")
      ->allow_extra_args(false);
  app.add_option("--cacert", o.caFile, "Trust the certificates of this PEM file instead");
  app.add_flag("--list", o.list, "Print the addresses the input gives and probe nothing");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return kExitOk;
  } catch (const CLI::CallForVersion&) {
    std::printf("velmora-cli %s\n", VELMORA_VERSION);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    std::string what = e.what();
    for (char& c : what) {
      if (c == '\n') c = ' ';
    }
    Complain(what + " (see --help)");
    return kExitInputError;
  }
  const bool fromSitemap = !o.sitemap.empty() || app.count("--sitemap") > 0;
  if (fromSitemap && app.count("FILE") > 0) {
    Complain("give either FILE or --sitemap, not both");
    return kExitInputError;
  }
  const Format format = o.format == "csv"   ? Format::kCsv
                        : o.format == "tsv" ? Format::kTsv
                                            : Format::kJsonLines;
  if (o.bom && format == Format::kJsonLines) {
    Complain("--bom is for csv and tsv");
    return kExitInputError;
  }
  for (const std::string& route : o.connectTo) {
    if (std::count(route.begin(), route.end(), ':') < 3) {
      Complain("--connect-to " + route + ": expected HOST:PORT:ADDR:PORT");
      return kExitInputError;
    }
  }
  if (!o.caFile.empty() && access(o.caFile.c_str(), R_OK) != 0) {
    Complain("cannot read " + o.caFile + ": " + std::strerror(errno));
    return kExitInputError;
  }
  if (!o.connectTo.empty() || !o.caFile.empty()) {
    velmora::platform::TransportSetting transport;
    transport.caFile = o.caFile;
    transport.connectTo = o.connectTo;
    velmora::platform::SetTestTransport(std::move(transport));
  }
  velmora::cli::DoneRecords done;
  if (!o.skipDone.empty() && !LoadDone(o.skipDone, done)) return kExitInputError;
  if (!fromSitemap && o.input != "-" && access(o.input.c_str(), R_OK) != 0) {
    Complain("cannot open " + o.input + ": " + std::strerror(errno));
    return kExitInputError;
  }

  Output out;
  if (!out.Open(o.output)) return kExitInputError;

  // Signals go to a thread of their own through sigwait: nothing runs in a handler.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::string inputError;
  std::string sitemapFailure;  // why the sitemap gave no answer, "" when it did
  const auto expand =
      o.expandIndex ? velmora::cli::ExpandIndex::kYes : velmora::cli::ExpandIndex::kNo;
  auto noAddress = [&] {
    return sitemapFailure.empty() ? "no address in the sitemap " + o.sitemap
                                  : "cannot fetch the sitemap " + sitemapFailure;
  };
  auto warn = [](const std::string& message) { Complain(message); };

  if (o.list) {
    // Static: the signal thread outlives this function.
    static std::atomic<bool> interrupted{false};
    std::thread([stopSignals] {
      int signal = 0;
      if (sigwait(&stopSignals, &signal) == 0) interrupted = true;
    }).detach();
    std::int64_t count = 0;
    bool writeOk = true;
    auto print = [&](std::string address) {
      ++count;
      address.push_back('\n');
      writeOk = writeOk && out.Put(address);
      return writeOk && !interrupted;
    };
    if (fromSitemap) {
      sitemapFailure = velmora::cli::ReadSitemap(o.sitemap, expand, print, warn).failure;
    } else {
      inputError = ReadAddressFile(
          o.input, [&](std::string a) { (void)print(std::move(a)); },
          [&] { return !writeOk || interrupted.load(); });
    }
    if (!out.Commit() || !writeOk) return kExitInputError;
    if (interrupted) return kExitInterrupted;
    if (!inputError.empty()) {
      Complain(inputError);
      return kExitInputError;
    }
    if (fromSitemap && count == 0) {
      Complain(noAddress());
      return kExitInputError;
    }
    return kExitOk;
  }

  velmora::cli::RunSettings settings;
  settings.interval = std::chrono::milliseconds(o.intervalMs);
  settings.maxInFlight = o.maxInFlight;
  settings.timeoutSeconds = o.timeoutSeconds;
  settings.retries = o.retries;
  settings.done = o.skipDone.empty() ? nullptr : &done;
  // A sitemap's rows are all taken as they arrive (memory follows the rows): the
  // fetch has a time limit and must not wait for the probes.
  if (fromSitemap) settings.queuedRows = 0;
  if (!out.Put(velmora::cli::FormatHeader(format, o.bom))) return kExitInputError;
  // Lives until the process ends: after a stop its abandoned workers may still use
  // it, and so may the signal thread at any time.
  static auto* runner = new velmora::cli::Runner(
      settings,
      [](const velmora::Text& address, int timeout) {
        return velmora::ProbeExchange(address, timeout);
      },
      [&out, format](const velmora::cli::Record& r) {
        return out.Put(velmora::cli::FormatRecord(format, r));
      },
      [&out] { return out.Flush(); });
  std::thread([stopSignals] {
    int signal = 0;
    if (sigwait(&stopSignals, &signal) == 0) runner->Stop();
  }).detach();

  std::int64_t inputRows = 0;
  std::thread producer([&] {
    auto add = [&](std::string address) {
      ++inputRows;
      return runner->Add(std::move(address));
    };
    if (fromSitemap) {
      sitemapFailure = velmora::cli::ReadSitemap(o.sitemap, expand, add, warn).failure;
    } else {
      bool stopped = false;
      inputError = ReadAddressFile(
          o.input, [&](std::string a) { stopped = !add(std::move(a)) || stopped; },
          [&] { return stopped; });
    }
    runner->EndOfInput();
  });

  const bool showProgress = !o.quiet && !o.noProgress && isatty(STDERR_FILENO) == 1;
  velmora::cli::Runner::ProgressView view;
  if (showProgress) view = [](const velmora::cli::Progress& p) { DrawProgress(p, false); };
  const velmora::cli::RunTotals totals = runner->Run(view);
  if (showProgress) (void)!write(STDERR_FILENO, "\n", 1);
  if (!totals.stopped) producer.join();
  // A failed input leaves an -o file as it was.
  if (!totals.stopped && !inputError.empty()) {
    Complain(inputError);
    return kExitInputError;
  }
  if (!totals.stopped && fromSitemap && inputRows == 0) {
    Complain(noAddress());
    return kExitInputError;
  }
  const bool committed = out.Commit();
  if (totals.stopped) {
    // The producer may be blocked in a read or a fetch: leave without waiting.
    std::_Exit(committed && !totals.writeFailed ? kExitInterrupted : kExitInputError);
  }
  if (!committed || totals.writeFailed) return kExitInputError;
  return totals.withoutSummary > 0 ? kExitSomeWithoutSummary : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // Once, before any thread.
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    Complain("cannot initialise libcurl");
    return kExitInputError;
  }
  return Main(argc, argv);
}
