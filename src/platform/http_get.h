// The whole-resource GET that sitemaps are fetched with: collected whole for the
// window's import, or handed over as the body arrives for a streaming reader.
#ifndef VELMORA_PLATFORM_HTTP_GET_H_
#define VELMORA_PLATFORM_HTTP_GET_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// Connection set-up (name, TCP, TLS) that takes longer is abandoned.
inline constexpr std::chrono::milliseconds kGetConnectLimit{30'000};
// A transfer during which no byte arrives for this long is abandoned, keeping the
// bytes that came: a stalled server must not freeze the window for ever.
inline constexpr std::chrono::milliseconds kGetIdleLimit{60'000};
// The whole fetch ends after this long, keeping the bytes that came: a server that
// keeps trickling must not hold the window for ever either.
inline constexpr std::chrono::milliseconds kGetOverallLimit{300'000};
// Body bytes kept at most (1 GiB); the transfer ends there, keeping what came.
inline constexpr std::int64_t kGetBodyCap = std::int64_t{1} << 30;

// The body of one HTTP/1.0 GET of `address`, whatever the status. Blocks until the
// transfer ends. Empty at once for an empty address; the part from the first "#" is
// dropped; anything but an absolute http or https address (user, password and port
// honoured) gives an empty body. Sends the User-Agent
// "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Accept: */*" and no-cache
// headers, no Referer; follows redirects (never from https to http); verifies
// certificates. When reading breaks off (connection lost, idle or overall limit,
// cap) the bytes received so far come back; a failure before any byte gives an
// empty body.
[[nodiscard]] std::vector<unsigned char> HttpGetWhole(std::string_view address);

// How a streamed GET ended.
enum class StreamEnd {
  kComplete,   // the whole body came
  kStopped,    // the consumer asked to stop
  kBrokenOff,  // reading broke off after some bytes (lost connection, a limit, the cap)
  kNoAnswer,   // nothing came: no connection, name not resolved, TLS, refused address
};

struct StreamResult {
  StreamEnd end = StreamEnd::kNoAnswer;
  // libcurl's description of what went wrong ("" when nothing did), for messages.
  std::string error;
};

// Receives each piece of the body in order; false stops the transfer.
using BodyConsumer = std::function<bool(std::string_view piece)>;

// The same GET as HttpGetWhole(`address`) (one request, one set of limits: the
// whole-resource GET collects what this hands over), with the body handed to
// `consume` piece by piece as it arrives, so a caller can read a document far
// larger than it wants to hold. Blocks until the transfer ends. An empty or
// non-http(s) address gives kNoAnswer at once, without a request.
[[nodiscard]] StreamResult HttpGetStream(std::string_view address, const BodyConsumer& consume);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_HTTP_GET_H_
