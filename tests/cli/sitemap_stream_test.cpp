// The streamed location rule against the window's import over the same text.
#include "cli/sitemap_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "gzip.h"
#include "import/sitemap.h"

namespace velmora::cli {
namespace {

using test::Gzip;

// The rows the window's import takes from a fetched body: its text ends at the first
// zero byte (BytesToText), then the locations FindLocations finds in it.
std::vector<std::string> WindowRows(const std::string& body) {
  const LocationSearch search = FindLocations(BytesToText(Bytes(body.begin(), body.end())));
  EXPECT_NE(search.outcome, LocationOutcome::kPatternFailed);
  return search.locations;
}

struct Scanned {
  std::vector<std::string> rows;
  bool index = false;
};

Scanned Scan(std::string_view body, size_t pieceSize) {
  Scanned s;
  LocationScanner scanner([&](std::string row) { s.rows.push_back(std::move(row)); });
  for (size_t i = 0; i < body.size(); i += pieceSize) {
    if (!scanner.Feed(body.substr(i, pieceSize))) break;
  }
  s.index = scanner.IsIndex();
  return s;
}

TEST(SitemapStreamTest, SameRowsAsTheWindowOnNamedInputs) {
  struct Case {
    const char* name;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"three entries",
       "<urlset><url><loc>http://a/1</loc></url><url><loc>http://a/2</loc>"
       "</url><url><loc>http://a/3</loc></url></urlset>"},
      {"capitals and mixed case", "<LOC>http://a/1</LOC><Loc>http://a/2</lOc>"},
      {"blanks and line breaks kept", "<loc>\n  http://a/1 \r\n</loc>"},
      {"entity undecoded", "<loc>http://a/?x=1&amp;y=2</loc>"},
      {"empty loc", "<loc></loc><loc>x</loc>"},
      {"unclosed start tag runs on", "<loc>one <loc>two</loc><loc>three</loc>"},
      {"unclosed at the end", "<loc>a</loc><loc>never closed"},
      {"zero byte ends the text", std::string("<loc>a</loc>\0<loc>b</loc>", 25)},
      {"zero inside a location", std::string("<loc>a\0b</loc>", 14)},
      {"near misses", "<lo c>x</loc><loc >y</loc><<loc>z<</loc>></loc"},
      {"no loc at all", "<html>not found</html>"},
      {"empty", ""},
      {"attributes do not match", "<loc x=1>a</loc>"},
      {"high bytes",
       "<loc>\xE4\xB8\xAD\xB0<</loc><loc>\x80"
       "b</loc>"},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{2}, size_t{5}, size_t{7}, size_t{4096}}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      EXPECT_EQ(Scan(c.body, piece).rows, WindowRows(c.body));
    }
  }
}

TEST(SitemapStreamTest, SameRowsAsTheWindowOnRandomInputs) {
  const std::vector<std::string> pieces = {"<loc>", "</loc>",
                                           "<LOC>", "</Loc>",
                                           "<",     ">",
                                           "/",     "l",
                                           "o",     "c",
                                           "x",     " ",
                                           "\n",    "<lo",
                                           "</lo",  std::string(1, '\0'),
                                           "\xB0",  "<sitemapindex>"};
  std::mt19937 random(777);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<size_t> pieceSize(1, 9);
  for (int round = 0; round < 5000; ++round) {
    std::string body;
    const int n = length(random);
    for (int k = 0; k < n; ++k) body += pieces[pick(random)];
    SCOPED_TRACE(testing::PrintToString(body));
    ASSERT_EQ(Scan(body, pieceSize(random)).rows, WindowRows(body));
  }
}

TEST(SitemapStreamTest, AnIndexIsKnownByItsTagBeforeTheFirstLocation) {
  for (size_t piece : {size_t{1}, size_t{3}, size_t{100}}) {
    SCOPED_TRACE(piece);
    EXPECT_TRUE(Scan("<?xml?><SitemapIndex><sitemap><loc>a</loc>", piece).index);
    EXPECT_FALSE(Scan("<urlset><url><loc>a</loc><sitemapindex>", piece).index);
    EXPECT_FALSE(Scan("<urlset><url><loc>a</loc>", piece).index);
  }
}

TEST(SitemapStreamTest, GzipBodiesAreDecompressedAndOthersPassUnchanged) {
  const std::string plain = "<urlset><loc>http://a/1</loc><loc>http://a/2</loc></urlset>";
  struct Case {
    const char* name;
    std::string body;
    std::string expected;
    bool compressed;
  };
  const std::vector<Case> cases = {
      {"plain", plain, plain, false},
      {"gzip", Gzip(plain), plain, true},
      {"two gzip members", Gzip("<loc>a</loc>") + Gzip("<loc>b</loc>"), "<loc>a</loc><loc>b</loc>",
       true},
      {"one byte", "x", "x", false},
      {"magic's first byte only",
       "\x1f"
       "a",
       "\x1f"
       "a",
       false},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{3}, size_t{65536}}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      std::string out;
      GzipSniffer sniffer([&](std::string_view p) {
        out.append(p);
        return true;
      });
      for (size_t i = 0; i < c.body.size(); i += piece) {
        ASSERT_TRUE(sniffer.Feed(std::string_view(c.body).substr(i, piece)));
      }
      ASSERT_TRUE(sniffer.Finish());
      EXPECT_EQ(out, c.expected);
      EXPECT_EQ(sniffer.Compressed(), c.compressed);
    }
  }
}

TEST(SitemapStreamTest, CorruptGzipStops) {
  std::string body = Gzip("<loc>a</loc>");
  body[2] = '\x07';  // not deflate: an unknown compression method
  std::string out;
  GzipSniffer sniffer([&](std::string_view p) {
    out.append(p);
    return true;
  });
  EXPECT_FALSE(sniffer.Feed(body));
  EXPECT_TRUE(sniffer.Corrupt());
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace velmora::cli
