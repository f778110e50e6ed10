// The display conversion (display_text.h) for many texts at once: the same result,
// text by text, as ToDisplayText and platform::Cp936ToUtf8, without a converter
// opened per text. Exporting a million rows through the per-text conversion took
// seconds, most of it opening converters.
#ifndef VELMORA_TABLE_BULK_DISPLAY_TEXT_H_
#define VELMORA_TABLE_BULK_DISPLAY_TEXT_H_

#include <string>
#include <string_view>

namespace velmora {

// Appends ToDisplayText(cp936) to `out`, as UTF-16 units.
void AppendDisplayUtf16(std::u16string& out, std::string_view cp936);

// Appends platform::Cp936ToUtf8(cp936) to `out`.
void AppendDisplayUtf8(std::string& out, std::string_view cp936);

}  // namespace velmora

#endif  // VELMORA_TABLE_BULK_DISPLAY_TEXT_H_
