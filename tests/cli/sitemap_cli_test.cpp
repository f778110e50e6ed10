// Sitemaps served on loopback: read by the binary (--list, --expand-index, gzip) and,
// for limits a test must shorten, by the streamed reader in this process.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <mutex>

#include "cli/sitemap_source.h"
#include "cli_process.h"
#include "gzip.h"
#include "support/loopback_server.h"

namespace velmora::test {
namespace {

// A gzip member that inflates to `prefix` followed by `blanks` spaces: with run-length
// coding it stays small and is quick to make.
std::string GzipBomb(const std::string& prefix, std::int64_t blanks) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 1, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_RLE), Z_OK);
  std::string out;
  std::string chunk(1 << 20, ' ');
  char buffer[1 << 16];
  auto pump = [&](std::string_view in, int flush) {
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    do {
      zs.next_out = reinterpret_cast<Bytef*>(buffer);
      zs.avail_out = sizeof buffer;
      deflate(&zs, flush);
      out.append(buffer, sizeof buffer - zs.avail_out);
    } while (zs.avail_out == 0);
  };
  pump(prefix, Z_NO_FLUSH);
  for (std::int64_t left = blanks; left > 0; left -= static_cast<std::int64_t>(chunk.size())) {
    pump(std::string_view(chunk).substr(0, static_cast<size_t>(std::min<std::int64_t>(
                                               left, static_cast<std::int64_t>(chunk.size())))),
         Z_NO_FLUSH);
  }
  pump({}, Z_FINISH);
  deflateEnd(&zs);
  return out;
}

class SitemapCliTest : public testing::Test {
 protected:
  // One route for every path, so bodies that name the server's port can be set once
  // it has started.
  SitemapCliTest() {
    server_.routes().Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard guard(lock_);
      const auto found = bodies_.find(req.path);
      if (found == bodies_.end()) {
        res.status = 404;
        return;
      }
      res.set_content(found->second, "application/xml");
    });
  }
  void Serve(const std::string& path, std::string body) {
    std::lock_guard guard(lock_);
    bodies_[path] = std::move(body);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(server_.port()) + path;
  }
  std::mutex lock_;
  std::map<std::string, std::string> bodies_;
  LoopbackServer server_;
};

TEST_F(SitemapCliTest, GzipSitemapIsListedDecompressed) {
  Serve("/s.xml.gz", Gzip("<urlset><url><loc>http://a/1</loc></url><url><LOC>http://a/2</LOC>"
                          "</url></urlset>"));
  ASSERT_TRUE(server_.Start());
  const CliRun run = RunCli({"--list", "--sitemap", Url("/s.xml.gz")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "http://a/1\nhttp://a/2\n");
}

TEST_F(SitemapCliTest, ASitemapWithoutAddressIsAnInputError) {
  Serve("/empty.xml", "<html>not found</html>");
  ASSERT_TRUE(server_.Start());
  const CliRun run = RunCli({"-f", "csv", "--sitemap", Url("/empty.xml")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");  // not even the header
  EXPECT_EQ(run.err, "velmora-cli: no address in the sitemap " + Url("/empty.xml") + "\n");
}

TEST_F(SitemapCliTest, IndexWithALoopIsExpandedOnceEach) {
  // a lists b and itself; b lists a (the loop) and the urlset c.
  auto index = [](const std::vector<std::string>& locs) {
    std::string body = "<?xml version=\"1.0\"?><sitemapindex>";
    for (const std::string& l : locs) body += "<sitemap><loc>" + l + "</loc></sitemap>";
    return body + "</sitemapindex>";
  };
  ASSERT_TRUE(server_.Start());  // the bodies name the port, known once started
  Serve("/a.xml", index({Url("/b.xml"), Url("/a.xml")}));
  Serve("/b.xml", index({Url("/a.xml"), Url("/c.xml")}));
  Serve("/c.xml", "<urlset><url><loc>http://page/1</loc></url></urlset>");
  const CliRun expanded = RunCli({"--list", "--expand-index", "--sitemap", Url("/a.xml")});
  EXPECT_EQ(expanded.exitCode, 0) << expanded.err;
  EXPECT_EQ(expanded.out, "http://page/1\n");
  EXPECT_NE(expanded.err.find("already read"), std::string::npos) << expanded.err;
  // Without --expand-index an index gives its child sitemaps as rows, like the window.
  const CliRun plain = RunCli({"--list", "--sitemap", Url("/a.xml")});
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_EQ(plain.out, Url("/b.xml") + "\n" + Url("/a.xml") + "\n");
}

TEST_F(SitemapCliTest, GzipBombEndsAtTheOutputCap) {
  // 1 GiB and 16 MiB of blanks once inflated, a few MB on the wire.
  Serve("/bomb.gz", GzipBomb("<urlset><url><loc>http://a/1</loc></url>",
                             (std::int64_t{1} << 30) + (std::int64_t{16} << 20)));
  ASSERT_TRUE(server_.Start());
  const CliRun run =
      RunCli({"--list", "--sitemap", Url("/bomb.gz")}, WithLimit(std::chrono::seconds(60)));
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "http://a/1\n");
  EXPECT_NE(run.err.find("more than 1 GiB"), std::string::npos) << run.err;
}

TEST(SitemapStallTest, AStalledServerEndsAtTheIdleLimitKeepingWhatCame) {
  RawServer server([](const std::string&) {
    return RawReply{
        "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n"
        "<urlset><url><loc>http://a/1</loc></url><url><loc>http://a/2",
        std::chrono::milliseconds(8000)};
  });
  ASSERT_TRUE(server.Start());
  platform::TransportSetting limits;
  limits.getIdleLimit = std::chrono::milliseconds(1000);
  ScopedTransport transport("", {}, limits);
  std::vector<std::string> rows;
  std::vector<std::string> warnings;
  const auto started = std::chrono::steady_clock::now();
  const cli::SitemapTotals totals = cli::ReadSitemap(
      "http://127.0.0.1:" + std::to_string(server.port()) + "/s.xml", cli::ExpandIndex::kNo,
      [&](std::string a) {
        rows.push_back(std::move(a));
        return true;
      },
      [&](const std::string& w) { warnings.push_back(w); });
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_EQ(rows, std::vector<std::string>{"http://a/1"});
  EXPECT_EQ(totals.addresses, 1);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("idle"), std::string::npos) << warnings[0];
}

}  // namespace
}  // namespace velmora::test
