#include "web/cookie_store.h"

#include <optional>

#include "platform/cookie_jar.h"
#include "platform/web_scheme.h"
#include "text/host.h"

namespace velmora {

Text StoreAddressOf(const Text& url) {
  const bool https = platform::WebSchemeOf(url) == platform::WebScheme::kHttps;
  return JoinTexts(https ? platform::kHttpsPrefix : platform::kHttpPrefix, HostOf(url));
}

Text ReadStoreCookies(const Text& url, const Text& cookieName) {
  // The whole answer is read: a fixed-size buffer would silently lose every
  // cookie of a domain once their string outgrew it.
  std::optional<std::string> answer = platform::GetStoreCookies(StoreAddressOf(url));
  if (!answer) return {};
  // A store answer is a text, which ends at a zero byte.
  Text cookies = answer->substr(0, answer->find('\0'));
  if (cookieName.empty()) return cookies;

  int p = FindText(cookies, cookieName, 1, Case::kIgnore);
  if (p == -1) return {};
  int n = TextLength(cookieName);
  int s = FindText(cookies, ";", p, Case::kIgnore);
  if (s != -1) return MidPart(cookies, p + n + 1, s - p - n - 1);
  return RightPart(cookies, TextLength(cookies) - p - n);
}

void WriteStoreCookies(const Text& url, const Text& cookies) {
  const Text address = StoreAddressOf(url);
  const TextList items = SplitText(cookies, ";");
  for (int k = 1; k <= MemberCount(items); ++k) {
    const Text& item = Member(items, k);
    int equals = FindText(item, "=");
    if (equals == -1) continue;
    // A refused write changes nothing; the remaining items still go.
    platform::SetStoreCookie(address, LeftPart(item, equals - 1),
                             RightPart(item, TextLength(item) - equals));
  }
}

}  // namespace velmora
