// Response bodies in UTF-8 decoded to code page 936 texts.
#include "text/decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

namespace velmora {
namespace {

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

TEST(DecodeTest, Cases) {
  const struct {
    const char* name;
    std::string utf8;
    std::string expected;
  } cases[] = {
      {"empty", "", ""},
      {"ascii", "abc", "abc"},
      {"two Chinese characters", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
      {"zero byte ends the text", std::string("a\0b", 3), "a"},
      {"leading zero byte", std::string("\0b", 2), ""},
      {"missing character becomes ?", "a\xE0\xB8\x81z", "a?z"},           // U+0E01 (Thai)
      {"supplementary character is one ?", "a\xF0\x9F\x98\x80z", "a?z"},  // U+1F600
      {"byte-order mark not removed",
       "\xEF\xBB\xBF"
       "a",
       "?a"},
      {"euro sign is 0x80", "\xE2\x82\xAC", "\x80"},
      {"base and mark composed", "e\xCC\x81", "\xA8\xA6"},             // e + U+0301 -> é
      {"composed through a run of marks", "a\xCC\x80x", "\xA8\xA4x"},  // à
      {"mark without base",
       "\xCC\x81"
       "a",
       "?a"},
      {"no composite: mark stays a ?", "q\xCC\x81", "q?"},
      {"U+FA0C is not normalised", "\xEF\xA8\x8C", "\xFE\x40"},
      {"U+2126 is not normalised", "\xE2\x84\xA6", "?"},
      {"truncated sequence", "a\xE4\xB8", "a?"},
      {"overlong sequence",
       "a\xC0\xAF"
       "b",
       "a??b"},
      {"surrogate encoded", "\xED\xA0\x80", "???"},
      {"code page 936 input is decoded as UTF-8", "\xD6\xD0\xCE\xC4", "????"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(DecodeUtf8ToAnsi(B(t.utf8)), t.expected);
    EXPECT_EQ(Utf16UnitsToAnsi(Utf8ToUtf16Units(B(t.utf8))), t.expected);
  }
}

TEST(DecodeTest, IntermediateUnitsAreLittleEndianWithoutTerminator) {
  EXPECT_EQ(Utf8ToUtf16Units(B("a\xE4\xB8\xAD")), (Bytes{0x61, 0x00, 0x2D, 0x4E}));
  EXPECT_EQ(Utf8ToUtf16Units({}), Bytes{});
  EXPECT_EQ(Utf8ToUtf16Units(B("\xE4\xB8")), (Bytes{0xFD, 0xFF}));
  // An odd trailing byte is no unit.
  EXPECT_EQ(Utf16UnitsToAnsi({0x61, 0x00, 0x62}), "a");
  EXPECT_EQ(Utf16UnitsToAnsi({0x61, 0x00, 0x00, 0x00, 0x62, 0x00}), "a");
}

TEST(DecodeTest, MarkupAroundTheSummary) {
  const std::string body = "{\"summary\":\"\xE4\xBD\xA0\xE5\xA5\xBD caf\x65\xCC\x81\",\"x\":1}";
  EXPECT_EQ(DecodeUtf8ToAnsi(B(body)), "{\"summary\":\"\xC4\xE3\xBA\xC3 caf\xA8\xA6\",\"x\":1}");
}

TEST(DecodeTest, KuhnStressTestDecodesWithoutFailing) {
  std::ifstream in(std::string(VELMORA_TEST_DATA_DIR) + "/UTF-8-test.txt", std::ios::binary);
  ASSERT_TRUE(in) << "corpus file missing";
  const Bytes body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  // Line 2.1.1 holds U+0000 as a real zero byte: the text ends just before it.
  const Text head = DecodeUtf8ToAnsi(body);
  const std::string_view lastLine = "2.1.1  1 byte  (U-00000000):        \"";
  ASSERT_GE(head.size(), lastLine.size());
  EXPECT_EQ(head.substr(head.size() - lastLine.size()), lastLine);
  // The Greek word of section 1: the code page has the letters, not the o with tonos.
  EXPECT_NE(head.find("\"\xA6\xCA?\xA6\xD2\xA6\xCC\xA6\xC5\""), Text::npos);

  // The rest of the file, from just after the zero byte to "THE END".
  const auto zero = std::find(body.begin(), body.end(), 0);
  ASSERT_NE(zero, body.end());
  const Text tail = DecodeUtf8ToAnsi(Bytes(zero + 1, body.end()));
  EXPECT_EQ(tail.find('\0'), Text::npos);
  EXPECT_NE(tail.find("\nTHE END "), Text::npos);
  // The stored copy carries U+FFFD where the published file has malformed bytes; the code
  // page lacks it, so each shows as one question mark.
  EXPECT_NE(tail.find("3.1.1  First continuation byte 0x80: \"?\""), Text::npos);
  EXPECT_NE(tail.find("4.1.1 U+002F = c0 af             = \"??\""), Text::npos);
  // Section 2.1.2, U+0080: a control character the code page lacks.
  EXPECT_NE(tail.find("(U-00000080):        \"?\""), Text::npos);
}

}  // namespace
}  // namespace velmora
