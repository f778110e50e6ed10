// Which web scheme an address begins with: the one home of the "http:// or
// https://" test that the fetches, the cookie store and the transfer options share.
// The scheme's letters may be in any ASCII case; nothing else of the address is
// looked at (a bare host, "http:/x" or "ftp://" has none).
#ifndef VELMORA_PLATFORM_WEB_SCHEME_H_
#define VELMORA_PLATFORM_WEB_SCHEME_H_

#include <cstddef>
#include <string_view>

#include "platform/ascii.h"

namespace velmora::platform {

inline constexpr std::string_view kHttpPrefix = "http://";
inline constexpr std::string_view kHttpsPrefix = "https://";

enum class WebScheme { kNone, kHttp, kHttps };

// The scheme whose prefix `address` begins with; kNone when neither.
[[nodiscard]] constexpr WebScheme WebSchemeOf(std::string_view address) {
  if (StartsWithIgnoringCase(address, kHttpPrefix)) return WebScheme::kHttp;
  if (StartsWithIgnoringCase(address, kHttpsPrefix)) return WebScheme::kHttps;
  return WebScheme::kNone;
}

// Length of the scheme's prefix ("http://" 7, "https://" 8); 0 for kNone.
[[nodiscard]] constexpr std::size_t WebSchemePrefixLength(WebScheme scheme) {
  switch (scheme) {
    case WebScheme::kHttp:
      return kHttpPrefix.size();
    case WebScheme::kHttps:
      return kHttpsPrefix.size();
    case WebScheme::kNone:
      break;
  }
  return 0;
}

// `address` begins with "http://" or "https://".
[[nodiscard]] constexpr bool IsWebAddress(std::string_view address) {
  return WebSchemeOf(address) != WebScheme::kNone;
}

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_WEB_SCHEME_H_
