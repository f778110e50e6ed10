// ASCII-only letter case helpers for protocol text (schemes, header names).
// Only A-Z and a-z fold; every other byte compares exactly.
#ifndef VELMORA_PLATFORM_ASCII_H_
#define VELMORA_PLATFORM_ASCII_H_

#include <algorithm>
#include <string_view>

namespace velmora::platform {

[[nodiscard]] constexpr char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Same length and the same bytes but for ASCII letter case.
[[nodiscard]] constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

// `text` begins with `prefix`, ASCII letter case ignored; false when it is shorter.
[[nodiscard]] constexpr bool StartsWithIgnoringCase(std::string_view text,
                                                    std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_ASCII_H_
