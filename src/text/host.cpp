#include "text/host.h"

namespace velmora {

Text HostOf(std::string_view url, Shorten shorten, KeepPort keepPort) {
  constexpr std::string_view kHttp = "http://";
  constexpr std::string_view kHttps = "https://";
  const int length = TextLength(url);
  // "http://" is looked for first and anywhere, so a query holding one wins over a
  // leading "https://".
  int s = 1;
  if (const int http = FindText(url, kHttp); http != -1) {
    s = http + static_cast<int>(kHttp.size());
  } else if (const int https = FindText(url, kHttps); https != -1) {
    s = https + static_cast<int>(kHttps.size());
  }
  const int slash = FindText(url, "/", s);
  Text host = MidPart(url, s, slash != -1 ? slash - s : length);
  if (keepPort == KeepPort::kNo) {
    if (const int colon = FindText(host, ":"); colon != -1) host = LeftPart(host, colon - 1);
  }
  host = ToLowerCase(host);
  if (shorten == Shorten::kYes) {
    const TextList labels = SplitText(host, ".");
    const int count = MemberCount(labels);
    if (count >= 2) host = JoinTexts(Member(labels, count - 1), ".", Member(labels, count));
  }
  return host;
}

}  // namespace velmora
