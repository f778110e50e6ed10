// How the system's texts (code page 936 bytes) meet the window system's strings.
#ifndef VELMORA_TABLE_DISPLAY_TEXT_H_
#define VELMORA_TABLE_DISPLAY_TEXT_H_

#include <QString>
#include <cstddef>
#include <string_view>

#include "platform/codepage.h"
#include "text/text.h"

namespace velmora {

// The text as shown on screen; "" when it cannot be converted.
[[nodiscard]] inline QString ToDisplayText(std::string_view text) {
  return QString::fromStdU16String(platform::Cp936ToUtf16(text));
}

// What the user typed, as a text; characters the code page lacks become '?'.
[[nodiscard]] inline Text FromDisplayText(const QString& shown) {
  return platform::Utf16ToCp936(shown.toStdU16String());
}

// How many characters of a cell the view shows and measures. A cell's text has no
// length limit (a sitemap `loc` may hold 50 MB), but laying out megabytes of text
// for every paint froze the window for tens of seconds; 4096 characters fill many
// widths of the widest column, so no user sees where the cut is without scrolling.
inline constexpr std::size_t kShownCharacters = 4096;

// The first `maxCharacters` characters of `text` (a byte of 0x80 or above begins a
// two-byte character, so the cut never splits one); `text` itself when it is no
// longer. A lone lead byte at the end stays, as the conversion treats it.
[[nodiscard]] inline std::string_view LeadingCharacters(std::string_view text,
                                                        std::size_t maxCharacters) {
  std::size_t end = 0;
  for (std::size_t count = 0; end < text.size() && count < maxCharacters; ++count) {
    end += static_cast<unsigned char>(text[end]) >= 0x80 ? std::size_t{2} : std::size_t{1};
  }
  return end >= text.size() ? text : text.substr(0, end);
}

// The text as the view paints it and shows it in a tooltip: at most
// kShownCharacters characters, then an ellipsis where the text was cut.
[[nodiscard]] inline QString ToShownText(std::string_view text) {
  const std::string_view shown = LeadingCharacters(text, kShownCharacters);
  QString display = ToDisplayText(shown);
  if (shown.size() < text.size()) display += QChar(0x2026);
  return display;
}

}  // namespace velmora

#endif  // VELMORA_TABLE_DISPLAY_TEXT_H_
