// velmora-cli itself, started as a child process against the loopback stand-in of the
// share service (its real host name sent there through --connect-to, the throwaway
// CA trusted through --cacert) and against loopback sitemap servers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_process.h"
#include "support/share_service.h"
#include "text/decode.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A scratch folder for input and output files, removed afterwards.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/velmora-cli-test-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~Scratch() { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::string dir_;
};

std::vector<json> JsonLines(const std::string& out) {
  std::vector<json> records;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) records.push_back(json::parse(line));
  return records;
}

class CliBinaryTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(service_.Start()); }

  // The options that send the probe to the stand-in, then `more`.
  std::vector<std::string> Args(std::vector<std::string> more) const {
    std::vector<std::string> args = {
        "--connect-to",
        std::string(kShareHost) + ":443:127.0.0.1:" + std::to_string(service_.port()),
        "--cacert",
        service_.caFile(),
        "--interval",
        "0"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  // The scratch folder goes last, after the service has stopped its threads.
  Scratch scratch_;
  ShareService service_{32};
};

TEST_F(CliBinaryTest, WritesTheExactSummariesInEachFormat) {
  service_.SetAnswer("http://a/1", {R"({"summary":"Hello, \"world\"","x":1})"});
  service_.SetAnswer("http://a/2", {"{\"summary\":\"\xE4\xB8\xAD \xF0\x9F\x98\x80\",\"x\":1}"});
  const std::string file = scratch_.Write("in.txt", "http://a/1\r\nhttp://a/2\r\n");
  struct Case {
    const char* name;
    std::vector<std::string> options;
    std::string out;
  };
  const std::string second = "http://a/2,\xE4\xB8\xAD \xF0\x9F\x98\x80,200,\r\n";
  const std::vector<Case> cases = {
      {"jsonl",
       {},
       R"({"n":1,"url":"http://a/1","summary":"Hello, \\\"world\\\"","status":200,)"
       R"("error":null,"attempts":1})"
       "\n{\"n\":2,\"url\":\"http://a/2\",\"summary\":\"\xE4\xB8\xAD \xF0\x9F\x98\x80\","
       "\"status\":200,\"error\":null,\"attempts\":1}\n"},
      {"csv",
       {"-f", "csv"},
       "url,summary,status,error\r\n"
       R"(http://a/1,"Hello, \""world\""",200,)"
       "\r\n" +
           second},
      {"csv with bom",
       {"-f", "csv", "--bom"},
       "\xEF\xBB\xBFurl,summary,status,error\r\n"
       R"(http://a/1,"Hello, \""world\""",200,)"
       "\r\n" +
           second},
      {"tsv",
       {"-f", "tsv"},
       "url\tsummary\tstatus\terror\n"
       R"(http://a/1	Hello, \\"world\\"	200	)"
       "\n"
       "http://a/2\t\xE4\xB8\xAD \xF0\x9F\x98\x80\t200\t\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> more = c.options;
    more.push_back(file);
    const CliRun run = RunCli(Args(more));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
  }
}

TEST_F(CliBinaryTest, SummariesInCodePage936AreWhatTheWindowShows) {
  const std::vector<std::string> bodies = {
      "{\"summary\":\"caf\x65\xCC\x81 \xE2\x84\xA6 \xEF\xA8\x8C\",",
      "\xE2\x82\xACsummary\":\"hidden\",\"summary\":\"seen \xF0\x9F\x98\x80\",",
      "{\"summary\":\"bad \xE4\xB8 byte\",",
      "{\"Summary\":\"\xE2\x82\xAC"
      "a\",",
  };
  std::string input;
  for (size_t k = 0; k < bodies.size(); ++k) {
    const std::string address = "http://u/" + std::to_string(k);
    service_.SetAnswer(address, {bodies[k]});
    input += address + "\n";
  }
  const CliRun run = RunCli(Args({"-"}), WithInput(input));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<json> records = JsonLines(run.out);
  ASSERT_EQ(records.size(), bodies.size());
  for (size_t k = 0; k < bodies.size(); ++k) {
    SCOPED_TRACE(k);
    const std::string summary = records[k]["summary"].get<std::string>();
    const Bytes body(bodies[k].begin(), bodies[k].end());
    EXPECT_EQ(DecodeUtf8ToAnsi(Bytes(summary.begin(), summary.end())),
              SummaryOf(DecodeUtf8ToAnsi(body)));
  }
  EXPECT_EQ(records[1]["summary"], "seen \xF0\x9F\x98\x80");
}

TEST_F(CliBinaryTest, ExitCodesSayWhetherEveryRowGotASummary) {
  service_.SetAnswer("http://none/", {"<html>no markers</html>"});
  const std::string good = scratch_.Write("good.txt", "http://a/\n");
  const std::string mixed = scratch_.Write("mixed.txt", "http://a/\nhttp://none/\n");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string errHas;
  };
  const std::vector<Case> cases = {
      {"all with summary", Args({good}), 0, ""},
      {"one without", Args({mixed}), 2, ""},
      {"unknown option", Args({"--frobnicate", good}), 1, "--frobnicate"},
      {"missing file", Args({scratch_.Path("absent.txt")}), 1, "absent.txt"},
      {"a folder", Args({scratch_.Path("")}), 1, "cannot read"},
      {"bad format", Args({"-f", "xml", good}), 1, "xml"},
      {"file and sitemap", Args({"--sitemap", "http://x/", good}), 1, "not both"},
      {"a route right before FILE",
       {"--cacert", service_.caFile(), "--interval", "0", "--connect-to",
        std::string(kShareHost) + ":443:127.0.0.1:" + std::to_string(service_.port()), good},
       0,
       ""},
      {"sitemap not fetched",
       Args({"--sitemap", "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/s.xml"}), 1,
       "cannot fetch the sitemap"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    if (!c.errHas.empty()) {
      EXPECT_NE(run.err.find(c.errHas), std::string::npos) << run.err;
    }
    if (c.exitCode == 1) {
      EXPECT_EQ(run.out, "");
    }
  }
  const std::vector<json> records = JsonLines(RunCli(Args({mixed})).out);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1]["error"], "no-summary");
  EXPECT_TRUE(records[1]["summary"].is_null());
  EXPECT_EQ(records[1]["status"], 200);
}

TEST_F(CliBinaryTest, ATooManyRequestsAnswerIsTriedAgainAfterItsRetryAfter) {
  ShareService::Answer busy{"busy", std::chrono::milliseconds(0), {{"Retry-After", "1"}}, 429};
  service_.SetAnswers("http://busy/", {busy, {ShareService::SummaryBody("http://busy/")}});
  const auto started = std::chrono::steady_clock::now();
  const CliRun run = RunCli(Args({"--retries", "1", "-"}), WithInput("http://busy/\n"));
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<json> records = JsonLines(run.out);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["attempts"], 2);
  EXPECT_EQ(records[0]["status"], 200);
  EXPECT_EQ(records[0]["summary"], "for http://busy/");
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_EQ(service_.RequestCount(), 2u);
}

TEST_F(CliBinaryTest, InterruptLeavesOnlyWholeRecordsAndExitCode130) {
  service_.SetDefaultAnswer({R"({"summary":"slow",)", std::chrono::milliseconds(40)});
  std::string input;
  for (int k = 1; k <= 200; ++k) input += "http://r/" + std::to_string(k) + "\n";
  std::atomic<bool> sent{false};
  std::chrono::steady_clock::time_point sentAt;
  CliOptions options;
  options.input = input;
  options.onOutput = [&](int pid, const std::string& out) {
    if (!sent && std::count(out.begin(), out.end(), '\n') >= 20) {
      sent = true;
      sentAt = std::chrono::steady_clock::now();
      kill(pid, SIGINT);
    }
  };
  const CliRun run = RunCli(Args({"--max-in-flight", "4", "-"}), options);
  ASSERT_TRUE(sent.load());
  EXPECT_EQ(run.exitCode, 130) << run.err;
  EXPECT_LT(std::chrono::steady_clock::now() - sentAt, std::chrono::seconds(4));
  ASSERT_FALSE(run.out.empty());
  EXPECT_EQ(run.out.back(), '\n');
  const std::vector<json> records = JsonLines(run.out);  // throws on a cut record
  EXPECT_LT(records.size(), 200u);
  for (size_t k = 0; k < records.size(); ++k) {
    EXPECT_EQ(records[k]["n"], k + 1);
    EXPECT_EQ(records[k]["summary"], "slow");
  }
}

TEST_F(CliBinaryTest, ProgressShowsOnATerminalOnly) {
  std::string input;
  for (int k = 1; k <= 20; ++k) input += "http://p/" + std::to_string(k) + "\n";
  const std::string file = scratch_.Write("in.txt", input);
  const std::string out = scratch_.Path("out.jsonl");
  const CliRun onTerminal = RunCliOnTerminal(Args({"-o", out, file}));
  EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.err;
  EXPECT_NE(onTerminal.err.find("20/20 done, 0 without summary"), std::string::npos)
      << onTerminal.err;
  EXPECT_NE(onTerminal.err.find("rows/s"), std::string::npos);
  EXPECT_EQ(JsonLines(Scratch::Read(out)).size(), 20u);

  const CliRun quiet = RunCliOnTerminal(Args({"-q", "-o", out, file}));
  EXPECT_EQ(quiet.err.find("rows/s"), std::string::npos) << quiet.err;
  const CliRun onPipe = RunCli(Args({file}));
  EXPECT_EQ(onPipe.exitCode, 0);
  EXPECT_EQ(onPipe.err, "");
  EXPECT_EQ(JsonLines(onPipe.out).size(), 20u);
}

TEST_F(CliBinaryTest, SkipDoneCopiesRecordsWithASummaryAndProbesTheRest) {
  service_.SetAnswer("http://later/", {"not yet"});
  const std::string file = scratch_.Write("in.txt", "http://done/\nhttp://later/\n");
  const std::string first = scratch_.Path("first.jsonl");
  ASSERT_EQ(RunCli(Args({"-o", first, file})).exitCode, 2);
  service_.SetAnswer("http://later/", {R"({"summary":"now",)"});
  service_.SetAnswer("http://done/", {R"({"summary":"changed",)"});
  service_.ClearRequests();
  const CliRun second = RunCli(Args({"--skip-done", first, file}));
  EXPECT_EQ(second.exitCode, 0) << second.err;
  const std::vector<json> records = JsonLines(second.out);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["summary"], "for http://done/");
  EXPECT_EQ(records[1]["summary"], "now");
  ASSERT_EQ(service_.RequestCount(), 1u);
  EXPECT_EQ(service_.Requests()[0].address, "http://later/");
}

TEST_F(CliBinaryTest, SitemapRowsAreProbedInDocumentOrder) {
  LoopbackServer sitemaps;
  sitemaps.routes().Get("/s.xml", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(
        "<urlset><url><loc>http://s/1</loc></url><url><LOC>http://s/2</LOC></url>"
        "<url><loc>http://s/3</loc></url></urlset>",
        "application/xml");
  });
  ASSERT_TRUE(sitemaps.Start());
  const CliRun run =
      RunCli(Args({"-f", "csv", "--sitemap",
                   "http://127.0.0.1:" + std::to_string(sitemaps.port()) + "/s.xml"}));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "url,summary,status,error\r\nhttp://s/1,for http://s/1,200,\r\n"
            "http://s/2,for http://s/2,200,\r\nhttp://s/3,for http://s/3,200,\r\n");
}

TEST_F(CliBinaryTest, NoAnswerGivesTheFailureWord) {
  service_.SetAnswer("http://slow/", {"{\"summary\":\"late\",", std::chrono::milliseconds(3000)});
  const std::string route = std::string(kShareHost) + ":443:127.0.0.1:";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"nothing listens", {"--connect-to", route + std::to_string(UnusedPort()), "-"}, "connect"},
      {"untrusted certificate",
       {"--connect-to", route + std::to_string(service_.port()), "-"},
       "tls"},
      {"no answer in time", Args({"--timeout", "1", "-"}), "timeout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = RunCli(c.args, WithInput("http://slow/\n"));
    EXPECT_EQ(run.exitCode, 2) << run.err;
    const std::vector<json> records = JsonLines(run.out);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["error"], c.error);
    EXPECT_TRUE(records[0]["status"].is_null());
    EXPECT_TRUE(records[0]["summary"].is_null());
  }
}

TEST(CliLinkTest, LinksNoQtAndNeedsNoDisplay) {
  FILE* ldd = popen(("ldd " + std::string(VELMORA_CLI_PATH)).c_str(), "r");
  ASSERT_NE(ldd, nullptr);
  std::string libraries;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, ldd)) > 0;) libraries.append(buffer, n);
  EXPECT_EQ(pclose(ldd), 0);
  EXPECT_NE(libraries.find("libcurl"), std::string::npos) << libraries;
  EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
  EXPECT_EQ(libraries.find("libX11"), std::string::npos) << libraries;
}

TEST_F(CliBinaryTest, OutputFileIsReplacedOnlyAtTheEnd) {
  const std::string out = scratch_.Write("out.jsonl", "old\n");
  const std::string file = scratch_.Write("in.txt", "http://a/\n");
  ASSERT_EQ(RunCli(Args({"-o", out, file})).exitCode, 0);
  EXPECT_EQ(JsonLines(Scratch::Read(out)).size(), 1u);
  EXPECT_EQ(RunCli(Args({"-o", scratch_.Path("no/such/dir/out"), file})).exitCode, 1);
  // A device is written, not replaced.
  EXPECT_EQ(RunCli(Args({"-o", "/dev/null", file})).exitCode, 0);
  struct stat info {};
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  // The server's sockets are closed inside its prebuilt library, where the thread
  // checker does not see it: stop it before this thread opens a descriptor again.
  service_.Stop();
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(scratch_.Path(""))) ++entries;
  EXPECT_EQ(entries, 2u);  // no temporary file left behind
}

}  // namespace
}  // namespace velmora::test
