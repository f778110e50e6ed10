// The locations of a sitemap text: what the pattern search finds, and the outcome
// that tells the window which box to show.
#include "import/sitemap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

TEST(FindLocationsTest, LocationsComeInDocumentOrderUnchanged) {
  struct Case {
    const char* name;
    std::string text;
    TextList locations;
  };
  const Case cases[] = {
      {"document order",
       "<urlset><url><loc>http://a.example/3</loc></url><url><loc>http://a.example/1</loc>"
       "</url></urlset>",
       {"http://a.example/3", "http://a.example/1"}},
      {"tags in capitals and mixed case",
       "<URL><LOC>http://a.example/x</LOC></URL><url><Loc>http://a.example/y</lOC></url>",
       {"http://a.example/x", "http://a.example/y"}},
      {"blanks, line breaks and entities kept",
       "<loc>\r\n  http://a.example/?a=1&amp;b=2 \n</loc>",
       {"\r\n  http://a.example/?a=1&amp;b=2 \n"}},
      {"empty loc gives an empty member",
       "<loc></loc><loc>http://a.example/</loc>",
       {"", "http://a.example/"}},
      {"unclosed start tag runs to the next end tag",
       "<url><loc>http://a.example/1</url><url><loc>http://a.example/2</loc></url>",
       {"http://a.example/1</url><url><loc>http://a.example/2"}},
      {"comments are searched like any text",
       "<!-- <loc>http://a.example/</loc> -->",
       {"http://a.example/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LocationSearch search = FindLocations(c.text);
    EXPECT_EQ(search.outcome, LocationOutcome::kFound);
    EXPECT_EQ(search.locations, c.locations);
    ASSERT_EQ(search.matches.size(), c.locations.size());
    for (std::size_t i = 0; i < c.locations.size(); ++i) {
      EXPECT_EQ(platform::MatchGroupText(*search.matches[i], c.text, 1), c.locations[i]);
    }
  }
}

TEST(FindLocationsTest, NothingCompleteIsNoMatch) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"empty text", ""},
      {"no loc element", "<html><body>no sitemap here</body></html>"},
      {"start tag only", "<loc>http://a.example/"},
      {"end tag only", "http://a.example/</loc>"},
      // The text a UTF-16 document gives ends at its first zero byte.
      {"UTF-16 sitemap's text", "<"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LocationSearch search = FindLocations(c.text);
    EXPECT_EQ(search.outcome, LocationOutcome::kNoMatch);
    EXPECT_TRUE(search.matches.empty());
    EXPECT_TRUE(search.locations.empty());
  }
}

TEST(FindLocationsTest, UnclosedStartTagsAfterTheLastEndTagFindTheSameLocations) {
  // Each start tag that no end tag follows would send the engine to the end of
  // the text; tens of thousands of them once made the search quadratic.
  std::string text = "<loc>http://a.example/1</loc> <loc>http://a.example/2<LOC></Loc>";
  for (int i = 0; i < 100000; ++i) text += "<loc>http://unclosed.example/" + std::to_string(i);
  ASSERT_GT(text.size(), 3'000'000u);
  const LocationSearch search = FindLocations(text);
  EXPECT_EQ(search.outcome, LocationOutcome::kFound);
  EXPECT_EQ(search.locations, (TextList{"http://a.example/1", "http://a.example/2<LOC>"}));
  EXPECT_EQ(search.matches.size(), 2u);
}

}  // namespace
}  // namespace velmora
