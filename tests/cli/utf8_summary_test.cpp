// The summary cut on the UTF-8 answer against the window's cut of the decoded answer.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "probe/probe.h"
#include "text/decode.h"

namespace velmora {
namespace {

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

// What the window shows for the answer.
Text WindowSummary(const Bytes& answer) { return SummaryOf(DecodeUtf8ToAnsi(answer)); }

void ExpectSameAsWindow(const Bytes& answer) {
  const std::optional<std::string> utf8 = Utf8SummaryOf(answer);
  const Text window = WindowSummary(answer);
  if (!utf8) {
    EXPECT_EQ(window, "");
    return;
  }
  EXPECT_EQ(DecodeUtf8ToAnsi(B(*utf8)), window);
}

TEST(Utf8SummaryTest, CutsWhereTheWindowCutsAndKeepsEveryCharacter) {
  struct Case {
    const char* name;
    std::string answer;
    std::optional<std::string> summary;
  };
  const std::vector<Case> cases = {
      {"plain", R"({"summary":"Hello","x":1})", "Hello"},
      {"capital S in the field name", R"({"Summary":"Hi","x":1})", "Hi"},
      {"first of two fields", R"({"summary":"one","summary":"two",})", "one"},
      {"no start marker", R"({"title":"t"})", std::nullopt},
      {"no end marker", R"({"summary":"open)", std::nullopt},
      {"empty summary", R"({"summary":"",)", ""},
      {"escapes stay", R"({"summary":"a\"b\/c\u4e2d",)", R"(a\"b\/c\u4e2d)"},
      {"emoji kept", "{\"summary\":\"smile \xF0\x9F\x98\x80 ok\",", "smile \xF0\x9F\x98\x80 ok"},
      {"Chinese kept", "{\"summary\":\"\xE4\xB8\xAD\xE6\x96\x87\",", "\xE4\xB8\xAD\xE6\x96\x87"},
      // The euro sign is one byte 0x80 in code page 936, which the window takes as
      // the lead of a pair: it swallows the 's' and that marker is not seen.
      {"euro hides a marker", "\xE2\x82\xACsummary\":\"no\",", std::nullopt},
      {"euro hides the first marker only", "\xE2\x82\xACsummary\":\"no\",\"summary\":\"yes\",",
       "yes"},
      {"euro inside the summary", "{\"summary\":\"5 \xE2\x82\xAC\",", std::nullopt},
      {"euro then a letter inside",
       "{\"summary\":\"\xE2\x82\xAC"
       "a\",",
       "\xE2\x82\xAC"
       "a"},
      {"zero byte ends the answer", std::string("{\"summary\":\"a\0b\",", 17), std::nullopt},
      {"zero byte after the summary", std::string("{\"summary\":\"a\",\0", 16), "a"},
      {"malformed becomes U+FFFD", "{\"summary\":\"a\xE4\xB8z\",", "a\xEF\xBF\xBDz"},
      {"surrogate bytes, three replacements", "{\"summary\":\"\xED\xA0\x80\",",
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"base and combining mark", "{\"summary\":\"e\xCC\x81\",", "e\xCC\x81"},
      {"mark right after the quote", "{\"summary\":\"\xCC\x81x\",", "\xCC\x81x"},
      {"singleton kept", "{\"summary\":\"\xEF\xA8\x8C\",", "\xEF\xA8\x8C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8SummaryOf(B(c.answer)), c.summary);
    ExpectSameAsWindow(B(c.answer));
  }
}

TEST(Utf8SummaryTest, RandomAnswersConvertToTheWindowsSummary) {
  // Pieces chosen to meet the traps: markers in both cases, the euro sign, marks that
  // compose and some that do not, truncated and stray bytes, zero, quotes and commas.
  const std::vector<std::string> pieces = {"summary\":\"",
                                           "SUMMARY\":\"",
                                           "\",",
                                           "\"",
                                           ",",
                                           "s",
                                           "a",
                                           "e",
                                           "\xE2\x82\xAC",
                                           "\xCC\x81",
                                           "\xCC\xA3",
                                           "\xE4\xB8\xAD",
                                           "\xF0\x9F\x98\x80",
                                           "\xE4\xB8",
                                           "\x80",
                                           "\xFF",
                                           std::string(1, '\0'),
                                           "\xC3\xA9",
                                           "\xEF\xA8\x8C",
                                           "\xE2\x84\xA6",
                                           " "};
  std::mt19937 random(12345);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 24);
  for (int round = 0; round < 20000; ++round) {
    std::string answer;
    const int n = length(random);
    for (int k = 0; k < n; ++k) answer += pieces[pick(random)];
    SCOPED_TRACE(testing::PrintToString(answer));
    ExpectSameAsWindow(B(answer));
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace velmora
