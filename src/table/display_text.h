// How the system's texts (code page 936 bytes) meet the window system's strings.
#ifndef VELMORA_TABLE_DISPLAY_TEXT_H_
#define VELMORA_TABLE_DISPLAY_TEXT_H_

#include <QString>
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

}  // namespace velmora

#endif  // VELMORA_TABLE_DISPLAY_TEXT_H_
