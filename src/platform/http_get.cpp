#include "platform/http_get.h"

#include <optional>

#include "platform/curl_handle.h"
#include "platform/http_request.h"
#include "platform/transport.h"
#include "platform/web_scheme.h"

namespace velmora::platform {
namespace {

constexpr const char* kGetUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr long kGetMaxRedirects = HttpRequest::kMaxRedirects;

struct StreamState {
  TransferState* transfer;
  const BodyConsumer* consume;
  std::int64_t received = 0;
  bool stopped = false;
};

std::size_t OnStreamBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<StreamState*>(user);
  const std::size_t length = size * count;
  state.transfer->lastActivity = std::chrono::steady_clock::now();
  const std::int64_t room = state.transfer->bodyCap - state.received;
  const bool capped = static_cast<std::int64_t>(length) > room;
  const std::size_t kept = capped ? static_cast<std::size_t>(room > 0 ? room : 0) : length;
  state.received += static_cast<std::int64_t>(kept);
  const bool more = kept == 0 || (*state.consume)(std::string_view(data, kept));
  // Time the consumer took is not the server's silence.
  state.transfer->lastActivity = std::chrono::steady_clock::now();
  if (!more) {
    state.stopped = true;
    return 0;
  }
  if (capped) {
    state.transfer->bodyCapped = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR, keeping what came
  }
  return length;
}

}  // namespace

StreamResult HttpGetStream(std::string_view address, const BodyConsumer& consume) {
  StreamResult result;
  if (address.empty()) {
    result.error = "empty address";
    return result;
  }
  address = address.substr(0, address.find('#'));
  if (!IsWebAddress(address)) {
    result.error = "not an http or https address";
    return result;
  }
  std::optional<std::string> url = EncodeAddress(address);
  if (!url) {
    result.error = "the address holds a control character";
    return result;
  }
  PooledEasy easy = PooledEasy::Borrow();
  if (!easy) {
    result.error = "no transfer handle";
    return result;
  }
  CURL* handle = easy.get();
  TransportSetting transport = CurrentTransport();

  CurlSlist headers;
  if (!headers.Append("Accept: */*") || !headers.Append("Cache-Control: no-cache") ||
      !headers.Append("Pragma: no-cache")) {
    result.error = "out of memory";
    return result;
  }
  TransferState transfer;
  transfer.receiveIdleLimit = transport.getIdleLimit.value_or(kGetIdleLimit);
  transfer.sendIdleLimit = transfer.receiveIdleLimit;
  transfer.bodyCap = transport.getBodyCap.value_or(kGetBodyCap);
  const long connectLimit =
      static_cast<long>(transport.getConnectLimit.value_or(kGetConnectLimit).count());
  const long overallLimit =
      static_cast<long>(transport.getOverallLimit.value_or(kGetOverallLimit).count());
  StreamState state{&transfer, &consume};
  char errorText[CURL_ERROR_SIZE] = {};

  CurlOptions options(handle);
  SetWebAddress(options, *url, FollowRedirects::kYes, kGetMaxRedirects);
  options.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0))
      .Set(CURLOPT_HTTPGET, 1L)
      .Set(CURLOPT_USERAGENT, kGetUserAgent)
      .Set(CURLOPT_HTTPHEADER, headers.get())
      .Set(CURLOPT_CONNECTTIMEOUT_MS, connectLimit)
      .Set(CURLOPT_TIMEOUT_MS, overallLimit)
      .Set(CURLOPT_ERRORBUFFER, errorText);
  CurlSlist routes;
  if (!options.ok() || !InstallTransferCallbacks(handle, transfer) ||
      !ApplyTestTransport(handle, transport, routes)) {
    result.error = "transfer set-up refused";
    return result;
  }
  // The body goes to the consumer instead of the transfer state; the header and
  // idle callbacks stay as installed.
  if (!CurlOptions(handle)
           .Set(CURLOPT_WRITEFUNCTION, &OnStreamBody)
           .Set(CURLOPT_WRITEDATA, &state)
           .ok()) {
    result.error = "transfer set-up refused";
    return result;
  }
  const CURLcode code = curl_easy_perform(handle);
  if (state.stopped) {
    result.end = StreamEnd::kStopped;
  } else if (code == CURLE_OK) {
    result.end = StreamEnd::kComplete;
  } else {
    result.end = state.received > 0 ? StreamEnd::kBrokenOff : StreamEnd::kNoAnswer;
    if (transfer.bodyCapped) {
      result.error = "body larger than the cap";
    } else if (transfer.idleExpired) {
      result.error = "no data within the idle limit";
    } else if (code == CURLE_OPERATION_TIMEDOUT && state.received > 0) {
      result.error = "not complete within the overall limit";
    } else {
      result.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    }
  }
  return result;
}

std::vector<unsigned char> HttpGetWhole(std::string_view address) {
  std::vector<unsigned char> body;
  // The outcome does not matter: whatever arrived before an error is the answer.
  (void)HttpGetStream(address, [&body](std::string_view piece) {
    body.insert(body.end(), piece.begin(), piece.end());
    return true;
  });
  return body;
}

}  // namespace velmora::platform
