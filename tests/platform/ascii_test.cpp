// ASCII letter case and the web scheme test: only A-Z and a-z fold, and an address
// is a web address by its first seven or eight bytes alone.
#include "platform/ascii.h"

#include <gtest/gtest.h>

#include "platform/web_scheme.h"

namespace velmora::platform {
namespace {

TEST(AsciiTest, OnlyAsciiLettersFold) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const auto c = static_cast<unsigned char>(b);
    const bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    EXPECT_EQ(IsAsciiLetter(c), letter);
    EXPECT_EQ(AsciiToLower(c), b >= 'A' && b <= 'Z' ? c + 32 : c);
    EXPECT_EQ(AsciiToUpper(c), b >= 'a' && b <= 'z' ? c - 32 : c);
  }
  std::string text = "MiXeD \xC4\xE3 \xD6\xD0";
  AsciiStrToLower(text);
  EXPECT_EQ(text, "mixed \xC4\xE3 \xD6\xD0");
  EXPECT_TRUE(EqualsIgnoringCase("</LOC>", "</loc>"));
  EXPECT_FALSE(EqualsIgnoringCase("\xC4", "\xE4"));  // differ in the case bit, not letters
}

TEST(WebSchemeTest, SchemeByItsPrefixInAnyCase) {
  struct Case {
    const char* address;
    WebScheme scheme;
    std::size_t prefixLength;
  };
  const Case cases[] = {
      {"http://a.example/", WebScheme::kHttp, 7},
      {"HTTP://a.example/", WebScheme::kHttp, 7},
      {"https://a.example/", WebScheme::kHttps, 8},
      {"hTTpS://", WebScheme::kHttps, 8},
      {"http:/a.example/", WebScheme::kNone, 0},
      {"ftp://a.example/", WebScheme::kNone, 0},
      {"a.example/http://b.example/", WebScheme::kNone, 0},
      {" http://a.example/", WebScheme::kNone, 0},
      {"", WebScheme::kNone, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(WebSchemeOf(c.address), c.scheme);
    EXPECT_EQ(WebSchemePrefixLength(WebSchemeOf(c.address)), c.prefixLength);
    EXPECT_EQ(IsWebAddress(c.address), c.scheme != WebScheme::kNone);
  }
}

}  // namespace
}  // namespace velmora::platform
