// The whole-resource GET of the sitemap import, handed over as the body arrives
// instead of collected whole, so a caller can read a document far larger than it
// wants to hold. Its request and limits are HttpGetWhole's.
#ifndef VELMORA_PLATFORM_HTTP_STREAM_H_
#define VELMORA_PLATFORM_HTTP_STREAM_H_

#include <functional>
#include <string>
#include <string_view>

namespace velmora::platform {

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

// The same GET as HttpGetWhole(`address`) (HTTP/1.0, its User-Agent and headers, the
// "#" part dropped, http and https only, redirects, certificate checks, connect and
// idle limits, the overall limit, the 1 GiB body cap, the transport setting), with
// the body handed to `consume` piece by piece as it arrives. Blocks until
// the transfer ends. An empty or non-http(s) address gives kNoAnswer at once.
[[nodiscard]] StreamResult HttpGetStream(std::string_view address, const BodyConsumer& consume);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_HTTP_STREAM_H_
