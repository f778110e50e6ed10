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
  transfer.bodySink = consume;
  const long connectLimit =
      static_cast<long>(transport.getConnectLimit.value_or(kGetConnectLimit).count());
  const long overallLimit =
      static_cast<long>(transport.getOverallLimit.value_or(kGetOverallLimit).count());
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
  const CURLcode code = curl_easy_perform(handle);
  if (transfer.sinkStopped) {
    result.end = StreamEnd::kStopped;
  } else if (code == CURLE_OK) {
    result.end = StreamEnd::kComplete;
  } else {
    result.end = transfer.bodyBytes > 0 ? StreamEnd::kBrokenOff : StreamEnd::kNoAnswer;
    if (transfer.bodyCapped) {
      result.error = "body larger than the cap";
    } else if (transfer.idleExpired) {
      result.error = "no data within the idle limit";
    } else if (code == CURLE_OPERATION_TIMEDOUT && transfer.bodyBytes > 0) {
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
