// The bulk display conversion gives, text by text, what the converter gives.
#include "table/bulk_display_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"

namespace velmora {
namespace {

void ExpectSameAsTheConverter(const std::string& text) {
  std::u16string utf16 = u"kept";
  AppendDisplayUtf16(utf16, text);
  EXPECT_EQ(utf16, u"kept" + platform::Cp936ToUtf16(text));
  std::string utf8 = "kept";
  AppendDisplayUtf8(utf8, text);
  EXPECT_EQ(utf8, "kept" + platform::Cp936ToUtf8(text));
}

TEST(BulkDisplayText, EveryByteAndPairConvertsAsTheConverterDoes) {
  for (unsigned lead = 0x01; lead <= 0xFF; ++lead) {
    SCOPED_TRACE("lead " + std::to_string(lead));
    // Alone, at the end of a text, and before every byte.
    ExpectSameAsTheConverter(std::string("a") + static_cast<char>(lead));
    if (lead < 0x80) continue;
    for (unsigned trail = 0x01; trail <= 0xFF; ++trail) {
      std::string text = "a";
      text += static_cast<char>(lead);
      text += static_cast<char>(trail);
      text += "b";
      ExpectSameAsTheConverter(text);
      if (HasFailure()) return;  // one report, not thousands
    }
  }
}

TEST(BulkDisplayText, WholeTexts) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"ASCII with CR LF and tab", "http://a.example/\r\n\tx"},
      {"Chinese", "\xD6\xD0\xCE\xC4\xD5\xAA\xD2\xAA"},  // 中文摘要
      {"euro sign byte",
       "\x80"
       "5"},
      {"malformed in the middle",
       "ok\xD6"
       "\x01"
       "ok"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectSameAsTheConverter(c.text);
  }
}

}  // namespace
}  // namespace velmora
