// The ICU code page adapter: measuring, converting, substitution and composition.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace velmora::platform {
namespace {

std::u16string FromUtf8(std::string_view utf8) {
  const int n = Utf8ToUtf16(utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  EXPECT_EQ(Utf8ToUtf16(utf8.data(), static_cast<int>(utf8.size()), out.data(), n), n);
  return out;
}

std::string ToCp936(std::u16string_view s, Compose compose) {
  const int n = Utf16ToCp936(s.data(), static_cast<int>(s.size()), nullptr, 0, compose);
  std::string out(static_cast<size_t>(n), '\0');
  EXPECT_EQ(Utf16ToCp936(s.data(), static_cast<int>(s.size()), out.data(), n, compose), n);
  return out;
}

// The reference for the one-pass conversion: UTF-16 first, then the code page.
std::string TwoSteps(std::string_view utf8, Compose compose) {
  return ToCp936(FromUtf8(utf8), compose);
}

std::string Hex(std::string_view bytes) {
  std::string out;
  for (const char b : bytes) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X ", static_cast<unsigned char>(b));
    out += digits;
  }
  return out;
}

TEST(CodePageTest, MalformedUtf8BecomesOneReplacementPerMaximalSubsequence) {
  const struct {
    const char* name;
    std::string utf8;
    std::u16string expected;
  } cases[] = {
      {"truncated three-byte", "\xE4\xB8", u"\uFFFD"},
      {"overlong two-byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"lone continuation",
       "a\x80"
       "b",
       u"a\uFFFDb"},
      {"supplementary", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"zero byte converted", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(FromUtf8(t.utf8), t.expected);
  }
}

TEST(CodePageTest, FailuresReturnZero) {
  char16_t small[1];
  EXPECT_EQ(Utf8ToUtf16("abc", 3, small, 1), 0);
  EXPECT_EQ(Utf8ToUtf16("abc", 0, nullptr, 0), 0);
  char bytes[1];
  EXPECT_EQ(Utf16ToCp936(u"ab", 2, bytes, 1, Compose::kNo), 0);
  EXPECT_EQ(Utf16ToCp936(u"ab", 0, nullptr, 0, Compose::kNo), 0);
}

TEST(CodePageTest, Cp936TableAndSubstitution) {
  const struct {
    const char* name;
    std::u16string in;
    std::string expected;
  } cases[] = {
      {"Chinese", u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
      {"euro sign at 0x80", u"\u20AC", "\x80"},
      {"one ? per missing character", u"a\u0E01\U0001F600b", "a??b"},
      {"lone surrogate",
       u"a\xD800"
       "b",
       "a?b"},
      {"replacement character", u"\uFFFD", "?"},
      {"middle dot", u"\u00B7", "\xA1\xA4"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(ToCp936(t.in, Compose::kNo), t.expected);
    EXPECT_EQ(Utf16ToCp936(t.in), t.expected);
  }
}

// The fast conversion must give, character for character, what the ICU converter with
// the same settings gives (the display helper converts through ICU itself).
TEST(CodePageTest, FastConversionAgreesWithTheConverterOverTheWholeBmp) {
  std::u16string all;
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
  }
  EXPECT_EQ(ToCp936(all, Compose::kNo), Utf16ToCp936(all));
}

TEST(CodePageTest, OnePassAgreesWithTheConverterOverTheWholePlane) {
  std::u16string all;
  for (char32_t c = 1; c < 0x110000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (c < 0x10000) {
      all.push_back(static_cast<char16_t>(c));
    } else {
      all.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
      all.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
  }
  std::string utf8;
  for (size_t i = 0; i < all.size(); ++i) {
    char32_t c = all[i];
    if (c >= 0xD800 && c <= 0xDBFF) c = 0x10000 + ((c - 0xD800) << 10) + (all[++i] - 0xDC00);
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else if (c < 0x800) {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (c >> 12));
      utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (c >> 18));
      utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  EXPECT_EQ(Utf8ToCp936(utf8, Compose::kNo), Utf16ToCp936(all));
  EXPECT_EQ(Utf8ToCp936(utf8, Compose::kYes), TwoSteps(utf8, Compose::kYes));
}

TEST(CodePageTest, OnePassCases) {
  const std::string ascii(40, 'x');  // longer than the blocks the ASCII runs move in
  const struct {
    const char* name;
    std::string utf8;
    std::string expected;
  } cases[] = {
      {"empty", "", ""},
      {"zero byte converted", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"Chinese between ASCII runs", ascii + "\xE4\xB8\xAD" + ascii, ascii + "\xD6\xD0" + ascii},
      {"mark after a long ASCII run", ascii + "e\xCC\x81", ascii + "\xA8\xA6"},
      {"mark on the last byte of an ASCII block", std::string(15, 'x') + "e\xCC\x81",
       std::string(15, 'x') + "\xA8\xA6"},
      {"mark at the start", "\xCC\x81" + ascii, "?" + ascii},
      {"two marks, then more text", "a\xCC\xA3\xCC\x82z", "?z"},
      {"mark after a malformed byte", "\xE4\xB8\xCC\x81", "??"},
      {"malformed sequences", "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xFF", "??????????"},
      {"truncated at the end", "a\xF0\x9F\x98", "a?"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(Utf8ToCp936(t.utf8, Compose::kYes), t.expected);
    EXPECT_EQ(TwoSteps(t.utf8, Compose::kYes), t.expected);
  }
}

// Random strings of valid, malformed and combining pieces, so that marks meet every
// kind of base, block boundary and broken sequence: the one pass must give what the
// two steps give, with and without composition.
TEST(CodePageTest, OnePassAgreesWithTheTwoStepsOnRandomText) {
  const std::string pieces[] = {
      "a",
      "e",
      "A",
      " ",
      "abcdefghijklmnopq",  // ASCII, one longer than a block
      "\xE4\xB8\xAD",
      "\xC3\xA9",
      "\xCE\xB1",  // 中, é, α
      "\xE3\x81\x8B",
      "\xF0\x9D\x85\x98",  // か, U+1D158 (composes above the BMP)
      "\xCC\x81",
      "\xCC\xA3",
      "\xCC\x82",
      "\xCC\x88",
      "\xCC\xA7",  // marks
      "\xE3\x82\x99",
      "\xF0\x9D\x85\xA5",  // U+3099, U+1D165
      "\xE1\x84\x80",
      "\xE1\x85\xA1",  // Hangul jamo (class 0)
      "\xEF\xA8\x8C",
      "\xE2\x84\xA6",  // singletons NFC would change
      "\xEF\xBF\xBD",
      "\xEF\xBB\xBF",
      "\xF0\x9F\x98\x80",
      "\x80",
      "\xBF",
      "\xC0",
      "\xC1\x81",
      "\xC2",
      "\xE4\xB8",
      "\xE0\x80",
      "\xED\xA0\x80",
      "\xF0\x9F\x98",
      "\xF4\x90\x80\x80",
      "\xFF",
      std::string(1, '\0'),
  };
  constexpr int kStrings = 10000;  // well under a second, even under the sanitizers
  constexpr int kMaxPieces = 40;
  std::mt19937 random(936);  // fixed, so a failure repeats
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> count(0, kMaxPieces);
  for (int k = 0; k < kStrings; ++k) {
    std::string utf8;
    for (int n = count(random); n > 0; --n) utf8 += pieces[pick(random)];
    for (const Compose compose : {Compose::kYes, Compose::kNo}) {
      ASSERT_EQ(Utf8ToCp936(utf8, compose), TwoSteps(utf8, compose))
          << "input " << Hex(utf8) << (compose == Compose::kYes ? "composed" : "not composed");
    }
  }
}

TEST(CodePageTest, LongRunsAndSurrogates) {
  const std::u16string ascii(37, u'x');
  EXPECT_EQ(ToCp936(ascii + u"\u4E2D" + ascii, Compose::kYes),
            std::string(37, 'x') + "\xD6\xD0" + std::string(37, 'x'));
  // One '?' for a pair, one for each lone half, default-ignorables included.
  EXPECT_EQ(ToCp936(u"a\U0001F600\xDC00\xD800", Compose::kYes), "a???");
  EXPECT_EQ(ToCp936(u"\uFEFF\u200Bz", Compose::kYes), "??z");
  // A buffer one byte short fails as a whole, in an ASCII run or a two-byte character.
  char out[40];
  EXPECT_EQ(Utf16ToCp936(ascii.data(), 37, out, 36, Compose::kNo), 0);
  EXPECT_EQ(Utf16ToCp936(u"ab\u4E2D", 3, out, 3, Compose::kYes), 0);
}

TEST(CodePageTest, CompositionOnlyJoinsBaseAndMarks) {
  const struct {
    const char* name;
    std::u16string in;
    std::u16string composed;  // what is converted, written in UTF-16
  } cases[] = {
      {"e acute", u"e\u0301", u"\u00E9"},
      {"two marks in a row", u"a\u0323\u0302", u"\u1EAD"},
      {"blocked by a mark of the same class", u"a\u0301\u0301", u"\u00E1\u0301"},
      {"mark without base", u"\u0301e", u"\u0301e"},
      {"no precomposed form", u"q\u0301", u"q\u0301"},
      {"CJK compatibility singleton kept", u"\uFA0C", u"\uFA0C"},
      {"ohm sign kept", u"\u2126", u"\u2126"},
      {"mark after a Chinese character", u"\u4E2D\u0301", u"\u4E2D\u0301"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(ToCp936(t.in, Compose::kYes), ToCp936(t.composed, Compose::kNo));
  }
  EXPECT_EQ(ToCp936(u"e\u0301", Compose::kYes), "\xA8\xA6");
  EXPECT_EQ(ToCp936(u"e\u0301", Compose::kNo), "e?");
  // U+FA0C has its own code in the code page; U+5140, its NFC form, another.
  EXPECT_NE(ToCp936(u"\uFA0C", Compose::kYes), ToCp936(u"\u5140", Compose::kNo));
}

TEST(CodePageTest, DisplayRoundTrip) {
  EXPECT_EQ(Cp936ToUtf16("a\xD6\xD0\x80"), u"a\u4E2D\u20AC");
  EXPECT_EQ(Cp936ToUtf16(""), u"");
  EXPECT_EQ(Utf16ToCp936(Cp936ToUtf16("\xD0\xC5\xCF\xA2\xA3\xBA")), "\xD0\xC5\xCF\xA2\xA3\xBA");
  // A lone lead byte cannot be decoded; it is replaced, not dropped silently.
  EXPECT_EQ(Cp936ToUtf16("a\xD6"), u"a\uFFFD");
}

TEST(CodePageTest, ConvertsOnManyThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> ok(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &ok] {
      for (int i = 0; i < 200; ++i) {
        const std::u16string s = u"\u4E2De\u0301";
        char out[8];
        const int n = Utf16ToCp936(s.data(), 3, out, sizeof out, Compose::kYes);
        if (std::string(out, static_cast<size_t>(n)) == "\xD6\xD0\xA8\xA6" &&
            Utf8ToCp936("\xE4\xB8\xAD"
                        "e\xCC\x81",
                        Compose::kYes) == "\xD6\xD0\xA8\xA6")
          ++ok[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int count : ok) EXPECT_EQ(count, 200);
}

}  // namespace
}  // namespace velmora::platform
