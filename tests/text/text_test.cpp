// Edge behaviour of the text primitives: positions, character starts, empty values.
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

struct FindCase {
  const char* name;
  std::string text;
  std::string sought;
  int start;
  Case c;
  int expected;
};

TEST(FindTextTest, Cases) {
  const FindCase cases[] = {
      {"empty sought inside", "abc", "", 2, Case::kSensitive, 1},
      {"empty sought beyond end", "abc", "", 4, Case::kSensitive, -1},
      {"empty sought in empty text", "", "", 1, Case::kSensitive, -1},
      {"case differs", "aXb", "x", 1, Case::kSensitive, -1},
      {"ignoring case", "aXb", "x", 1, Case::kIgnore, 2},
      {"start 0 means 1", "abc", "a", 0, Case::kSensitive, 1},
      {"start -5 means 1", "abc", "a", -5, Case::kSensitive, 1},
      {"start at length searches last byte", "abc", "c", 3, Case::kSensitive, 3},
      {"start at length misses earlier", "abc", "b", 3, Case::kSensitive, -1},
      {"position counts from whole text", "abcabc", "abc", 2, Case::kSensitive, 4},
      {"sought longer than rest", "abc", "bcd", 1, Case::kSensitive, -1},
      {"not inside a two-byte character", "\xB0\x41", "A", 1, Case::kSensitive, -1},
      {"after a two-byte character", "\xB0\x41\x41", "A", 1, Case::kSensitive, 3},
      {"start inside a character rescans from there", "\xB0\x41", "A", 2, Case::kSensitive, 2},
      {"lone lead byte at end stops the scan", "a\xB0", "\xB0", 1, Case::kSensitive, -1},
      {"match ending on a lone lead byte", "a\xB0", "a\xB0", 1, Case::kSensitive, 1},
      {"two-byte sought", "x\xD6\xD0\xCE\xC4", "\xCE\xC4", 1, Case::kSensitive, 4},
      {"two-byte sought straddling characters", "\xD6\xD0\xCE\xC4", "\xD0\xCE", 1, Case::kSensitive,
       -1},
      {"ignore case folds a second byte", "\xB0\x41", "\xB0\x61", 1, Case::kIgnore, 1},
      {"ignore case folds ASCII only", "\xC0", "\xE0", 1, Case::kIgnore, -1},
      {"ignore case, non-letters exact", "a-b", "A_B", 1, Case::kIgnore, -1},
      {"ignore case long", "xxLocation: here", "location:", 1, Case::kIgnore, 3},
      {"odd run of lead bytes", "\xB0\xB0\xB0\x41", "A", 1, Case::kSensitive, -1},
      {"even run of lead bytes", "\xB0\xB0\xB0\xB0\x41", "A", 1, Case::kSensitive, 5},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(FindText(t.text, t.sought, t.start, t.c), t.expected);
  }
}

// The fast scanners work 16 bytes at a time; character starts must still be tracked
// across blocks and after rejected candidates.
TEST(FindTextTest, LongTextsAgreeWithCharacterWalk) {
  auto walk = [](const std::string& text, const std::string& sought, Case c) {
    auto eq = [c](char a, char b) {
      auto fold = [](char x) { return (x >= 'A' && x <= 'Z') ? static_cast<char>(x + 32) : x; };
      return c == Case::kIgnore ? fold(a) == fold(b) : a == b;
    };
    for (size_t p = 0; p < text.size();) {
      if (p + 1 == text.size() && static_cast<unsigned char>(text[p]) >= 0x80) return -1;
      if (text.size() - p < sought.size()) return -1;
      bool match = true;
      for (size_t k = 0; k < sought.size() && match; ++k) match = eq(text[p + k], sought[k]);
      if (match) return static_cast<int>(p) + 1;
      p += static_cast<unsigned char>(text[p]) >= 0x80 ? 2u : 1u;
    }
    return -1;
  };
  unsigned seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  const char alphabet[] = {'a', 'A', 'b', 'B', '\xB0', '\xC1', '\xE1', '-'};
  for (int round = 0; round < 400; ++round) {
    std::string text(40 + next() % 80, 'a');
    for (auto& ch : text) ch = alphabet[next() % sizeof alphabet];
    std::string sought(1 + next() % 3, 'a');
    for (auto& ch : sought) ch = alphabet[next() % sizeof alphabet];
    for (Case c : {Case::kSensitive, Case::kIgnore}) {
      SCOPED_TRACE(testing::Message() << "round " << round << " ignore " << (c == Case::kIgnore));
      EXPECT_EQ(FindText(text, sought, 1, c), walk(text, sought, c));
    }
  }
}

TEST(FindTextTest, LongRunOfLeadBytesIsLinearAndCorrect) {
  // 200,000 lead bytes with the sought byte after every pair: every candidate is a
  // second byte until the run ends.
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "\xB0\x41";
  text += "\x41";
  EXPECT_EQ(FindText(text, "A"), static_cast<int>(text.size()));
}

struct SplitCase {
  const char* name;
  std::string text;
  std::string delimiter;
  std::optional<int> max;
  TextList expected;
};

TEST(SplitTextTest, Cases) {
  const SplitCase cases[] = {
      {"repeated", "a,,b", ",", {}, {"a", "", "b"}},
      {"leading", ",a", ",", {}, {"", "a"}},
      {"trailing", "a,", ",", {}, {"a"}},
      {"only delimiter", ",", ",", {}, {""}},
      {"empty text", "", ",", {}, {}},
      {"empty delimiter", "abc", "", {}, {"abc"}},
      {"name=", "name=", "=", {}, {"name"}},
      {"lines", "x\r\n\r\ny\r\n", "\r\n", {}, {"x", "", "y"}},
      {"lone CR and LF stay", "a\rb\nc\r\nd", "\r\n", {}, {"a\rb\nc", "d"}},
      {"maximum drops the rest", "a,b,c", ",", 2, {"a", "b"}},
      {"maximum counts empty members", ",,c", ",", 2, {"", ""}},
      {"maximum above count", "a,b", ",", 5, {"a", "b"}},
      {"maximum 0", "a,b", ",", 0, {}},
      {"negative maximum", "a,b", ",", -1, {}},
      {"delimiter inside a character", "\xB0,x,y", ",", {}, {"\xB0,x", "y"}},
      {"lone lead byte kept", "a,\xB0", ",", {}, {"a", "\xB0"}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(SplitText(t.text, t.delimiter, t.max), t.expected);
  }
  EXPECT_EQ(SplitText("a,b"), (TextList{"a", "b"}));
}

struct ReplaceCase {
  const char* name;
  std::string text, sought, replacement;
  int start;
  std::optional<int> count;
  Case c;
  std::string expected;
};

TEST(ReplaceTextTest, Cases) {
  const ReplaceCase cases[] = {
      {"non-overlapping", "aaa", "aa", "b", 1, {}, Case::kSensitive, "ba"},
      {"once ignoring case", "Location: x", "location:", "", 1, 1, Case::kIgnore, " x"},
      {"case-sensitive miss", "Location: x", "location:", "", 1, 1, Case::kSensitive,
       "Location: x"},
      {"all", "a-b-c", "-", "+", 1, {}, Case::kSensitive, "a+b+c"},
      {"from a start position", "a-b-c", "-", "+", 3, {}, Case::kSensitive, "a-b+c"},
      {"start below 1", "a-b", "-", "+", -3, {}, Case::kSensitive, "a+b"},
      {"start beyond end", "a-b", "-", "+", 4, {}, Case::kSensitive, "a-b"},
      {"count 0", "a-b", "-", "+", 1, 0, Case::kSensitive, "a-b"},
      {"negative count", "a-b", "-", "+", 1, -2, Case::kSensitive, "a-b"},
      {"count limits", "a-b-c", "-", "+", 1, 1, Case::kSensitive, "a+b-c"},
      {"empty sought", "abc", "", "x", 1, {}, Case::kSensitive, "abc"},
      {"empty text", "", "a", "x", 1, {}, Case::kSensitive, ""},
      {"replacement not searched again", "ab", "a", "aa", 1, {}, Case::kSensitive, "aab"},
      {"not inside a character", "\xB0\x41\x41", "A", "z", 1, {}, Case::kSensitive, "\xB0\x41z"},
      {"scan resumes after a match as a character start",
       "\xB0\x41\x41",
       "\xB0",
       "",
       1,
       {},
       Case::kSensitive,
       "AA"},
      {"placeholder",
       "#\xD2\xFD\xBA\xC5x",
       "#\xD2\xFD\xBA\xC5",
       "\"",
       1,
       {},
       Case::kSensitive,
       "\"x"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(ReplaceText(t.text, t.sought, t.replacement, t.start, t.count, t.c), t.expected);
  }
}

TEST(TrimSpacesTest, Cases) {
  const struct {
    const char* name;
    std::string text, expected;
  } cases[] = {
      {"tabs are not spaces", " \ta\t ", "\ta\t"},
      {"full-width spaces", "\xA1\xA1 a b\xA1\xA1", "a b"},
      {"only spaces", "  \xA1\xA1 ", ""},
      {"empty", "", ""},
      {"full-width space only at a character start", "\xB0\xA1\xA1", "\xB0\xA1"},
      {"lone lead byte dropped, spaces before it kept", " a \xB0", "a "},
      {"lone A1 is not a space", "a \xA1", "a "},
      {"line breaks stay", "\r\na\r\n", "\r\na\r\n"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(TrimSpaces(t.text), t.expected);
  }
}

TEST(CaseMappingTest, OnlyOneByteLetters) {
  EXPECT_EQ(ToUpperCase("get"), "GET");
  EXPECT_EQ(ToLowerCase("GeT-1"), "get-1");
  // The second byte of a two-byte character is an ASCII letter code here.
  EXPECT_EQ(ToUpperCase("\xB0\x61\x61"), "\xB0\x61\x41");
  EXPECT_EQ(ToLowerCase("\xB0\x41\x41"), "\xB0\x41\x61");
  EXPECT_EQ(ToLowerCase("\xC0\xDA"), "\xC0\xDA");
  EXPECT_EQ(ToUpperCase("a\xB0"), "A\xB0");
}

TEST(PartsTest, ClampedByteCounts) {
  EXPECT_EQ(MidPart("abc", 0, 2), "");
  EXPECT_EQ(MidPart("abc", 4, 1), "");
  EXPECT_EQ(MidPart("abc", 2, 10), "bc");
  EXPECT_EQ(MidPart("abc", 2, 0), "");
  EXPECT_EQ(LeftPart("abc", -1), "");
  EXPECT_EQ(LeftPart("abc", 2), "ab");
  EXPECT_EQ(RightPart("abc", 5), "abc");
  EXPECT_EQ(RightPart("abc", 0), "");
  EXPECT_EQ(LeftPart("\xD6\xD0", 1), "\xD6");  // cuts a character in half
}

TEST(ValuesTest, ConversionsAndComparisons) {
  EXPECT_EQ(BytesToText({0x61, 0x00, 0x62}), "a");
  EXPECT_EQ(BytesToText({}), "");
  EXPECT_EQ(TextToBytes("ab"), (Bytes{0x61, 0x62}));
  EXPECT_EQ(NumberToText(0), "0");
  EXPECT_EQ(NumberToText(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(BlankText(0), "");
  EXPECT_EQ(BlankText(3), "   ");
  EXPECT_EQ(BlankBytes(-3), Bytes{});
  EXPECT_EQ(BlankBytes(2), (Bytes{0, 0}));
  EXPECT_EQ(BytesLength({}), 0);
  EXPECT_EQ(JoinTexts("a", "", Text("b"), "c"), "abc");
  EXPECT_EQ(CompareTexts("", Text{}), 0);
  EXPECT_NE(CompareTexts("a", "A"), 0);
  EXPECT_GT(CompareTexts("\xB0", "a"), 0);  // unsigned bytes
  EXPECT_LT(CompareTexts("a", "ab"), 0);
  EXPECT_TRUE(BytesEqual({1, 0}, {1, 0}));
  EXPECT_FALSE(BytesEqual({1, 0}, {1}));
}

TEST(MemberTest, NumberedFromOne) {
  const TextList list = SplitText("a,b");
  EXPECT_EQ(MemberCount(list), 2);
  EXPECT_EQ(Member(list, 1), "a");
  EXPECT_EQ(Member(list, 2), "b");
}

TEST(MemberDeathTest, OutOfRangeEndsTheProcess) {
  const TextList list = SplitText("name=", "=");
  EXPECT_EXIT((void)Member(list, 0), testing::ExitedWithCode(255), "0 is below 1");
  EXPECT_EXIT((void)Member(list, 2), testing::ExitedWithCode(255),
              "2 is beyond the member count 1");
  EXPECT_EXIT((void)Member(TextList{}, 1), testing::ExitedWithCode(255), "beyond");
}

}  // namespace
}  // namespace velmora
