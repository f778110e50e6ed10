// The pattern facility: case folding, the search-on-from-the-last-match loop, what
// survives an engine failure, and group texts taken from positions.
#include "platform/pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace velmora::platform {
namespace {

using Span = std::pair<long long, long long>;  // start, length of group 0

std::vector<Span> WholeMatches(const MatchResults& results) {
  std::vector<Span> spans;
  for (const auto& r : results) spans.emplace_back(r->groups[0].start, r->groups[0].length);
  return spans;
}

Pattern Prepared(std::string_view text, PatternCase patternCase) {
  Pattern pattern;
  EXPECT_TRUE(PreparePattern(pattern, text, patternCase)) << text;
  return pattern;
}

TEST(PatternTest, SearchesGoOnWhereTheLastMatchEnded) {
  struct Case {
    const char* name;
    std::string pattern;
    PatternCase patternCase;
    std::string text;
    std::vector<Span> expected;
  };
  const Case cases[] = {
      {"in text order, never overlapping",
       "aba",
       PatternCase::kSensitive,
       "abababa",
       {{0, 3}, {4, 3}}},
      {"letters fold when case is ignored",
       "<loc>",
       PatternCase::kIgnore,
       "<LOC><Loc><lOc>",
       {{0, 5}, {5, 5}, {10, 5}}},
      {"letters do not fold when case matters",
       "<loc>",
       PatternCase::kSensitive,
       "<LOC><loc>",
       {{5, 5}}},
      // Only ASCII letters fold: C0 and E0 are one letter in Latin-1, but here they
      // are code page 936 lead bytes.
      {"bytes above 0x7F are compared exactly",
       "x\xC0",
       PatternCase::kIgnore,
       "X\xE0X\xC0",
       {{2, 2}}},
      {"a second byte that is a letter folds too",
       "\x81\x41",
       PatternCase::kIgnore,
       "\x81\x61",
       {{0, 2}}},
      {"an empty match steps one byte on",
       "a*",
       PatternCase::kSensitive,
       "baab",
       {{0, 0}, {1, 2}, {3, 0}, {4, 0}}},
      {"line breaks match [\\s\\S]",
       "<loc>([\\s\\S]*?)</loc>",
       PatternCase::kIgnore,
       "<loc>\r\n a \n</LOC>x<loc></loc>",
       {{0, 17}, {18, 11}}},
      {"an empty text gives nothing", "a*", PatternCase::kSensitive, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Pattern pattern = Prepared(c.pattern, c.patternCase);
    EXPECT_EQ(WholeMatches(FindAllMatches(pattern, c.text)), c.expected);
  }
}

TEST(PatternTest, MalformedOrEmptyPatternIsNotPrepared) {
  for (const char* text : {"(", "[a", "a{2,1}", ""}) {
    SCOPED_TRACE(text);
    Pattern pattern = Prepared("a", PatternCase::kSensitive);
    EXPECT_FALSE(PreparePattern(pattern, text, PatternCase::kIgnore));
    EXPECT_FALSE(pattern.Prepared());
    EXPECT_TRUE(FindAllMatches(pattern, "aaa").empty());
  }
}

TEST(PatternTest, EngineFailureKeepsTheMatchesFoundBefore) {
  // Nested repeats over a long run without the closing "y" backtrack without end;
  // the engine gives up on its complexity limit during the second search.
  const Pattern pattern = Prepared("(x+x+)+y", PatternCase::kSensitive);
  const std::string text = "xxy" + std::string(5000, 'x');
  const MatchResults results = FindAllMatches(pattern, text);
  EXPECT_EQ(WholeMatches(results), (std::vector<Span>{{0, 3}}));
}

TEST(PatternTest, GroupTextComesFromPositions) {
  const Pattern pattern = Prepared("(a)|(b)(c?)", PatternCase::kSensitive);
  const std::string text = "ab";
  const MatchResults results = FindAllMatches(pattern, text);
  ASSERT_EQ(results.size(), 2u);
  const MatchResult& second = *results[1];  // "b": group 1 took no part, group 3 is empty
  ASSERT_EQ(second.groups.size(), 4u);
  EXPECT_FALSE(second.groups[1].matched);
  EXPECT_EQ(MatchGroupText(second, text, 0), "b");
  EXPECT_EQ(MatchGroupText(second, text, 1), "");
  EXPECT_EQ(MatchGroupText(second, text, 2), "b");
  EXPECT_EQ(MatchGroupText(second, text, 3), "");
  EXPECT_EQ(MatchGroupText(second, text, 4), "");
  EXPECT_EQ(MatchGroupText(second, text, -1), "");
  // Positions outside a shorter text give nothing rather than reading past it.
  EXPECT_EQ(MatchGroupText(second, "a", 0), "");
}

}  // namespace
}  // namespace velmora::platform
