// Reducing a web address to the host name the cookie code works with.
#ifndef VELMORA_TEXT_HOST_H_
#define VELMORA_TEXT_HOST_H_

#include <string_view>

#include "text/text.h"

namespace velmora {

enum class Shorten { kNo, kYes };
enum class KeepPort { kNo, kYes };

// The lower-cased host part of `url`: after the first "http://" anywhere, else the
// first "https://" anywhere, else from the start; up to the first "/" after that.
// Without KeepPort::kYes everything from its first ":" is cut (so user information
// leaves the user name). Shorten::kYes keeps the last two dot-separated labels
// when there are at least two. Never fails; malformed input often gives "".
[[nodiscard]] Text HostOf(std::string_view url, Shorten shorten = Shorten::kNo,
                          KeepPort keepPort = KeepPort::kNo);

}  // namespace velmora

#endif  // VELMORA_TEXT_HOST_H_
