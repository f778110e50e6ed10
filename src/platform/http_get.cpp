#include "platform/http_get.h"

#include <string>

#include "platform/ascii.h"
#include "platform/curl_handle.h"
#include "platform/http_request.h"
#include "platform/transport.h"

namespace velmora::platform {
namespace {

constexpr const char* kGetUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr long kGetMaxRedirects = HttpRequest::kMaxRedirects;

}  // namespace

std::vector<unsigned char> HttpGetWhole(std::string_view address) {
  if (address.empty()) return {};
  address = address.substr(0, address.find('#'));
  if (!StartsWithIgnoringCase(address, "https://") && !StartsWithIgnoringCase(address, "http://")) {
    return {};
  }
  std::optional<std::string> url = EncodeAddress(address);
  if (!url) return {};

  PooledEasy easy = PooledEasy::Borrow();
  if (!easy) return {};
  CURL* handle = easy.get();
  TransportSetting transport = CurrentTransport();

  CurlSlist headers;
  if (!headers.Append("Accept: */*") || !headers.Append("Cache-Control: no-cache") ||
      !headers.Append("Pragma: no-cache")) {
    return {};
  }
  TransferState state;
  state.receiveIdleLimit = transport.getIdleLimit.value_or(kGetIdleLimit);
  state.sendIdleLimit = state.receiveIdleLimit;
  state.bodyCap = transport.getBodyCap.value_or(kGetBodyCap);
  long connectLimit =
      static_cast<long>(transport.getConnectLimit.value_or(kGetConnectLimit).count());
  long overallLimit =
      static_cast<long>(transport.getOverallLimit.value_or(kGetOverallLimit).count());

  CurlOptions options(handle);
  SetWebAddress(options, *url, FollowRedirects::kYes, kGetMaxRedirects);
  options.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0))
      .Set(CURLOPT_HTTPGET, 1L)
      .Set(CURLOPT_USERAGENT, kGetUserAgent)
      .Set(CURLOPT_HTTPHEADER, headers.get())
      .Set(CURLOPT_CONNECTTIMEOUT_MS, connectLimit)
      .Set(CURLOPT_TIMEOUT_MS, overallLimit);
  CurlSlist routes;
  if (!options.ok() || !InstallTransferCallbacks(handle, state) ||
      !ApplyTestTransport(handle, transport, routes)) {
    return {};
  }
  // The outcome does not matter: whatever arrived before an error is the answer.
  curl_easy_perform(handle);
  return std::move(state.body);
}

}  // namespace velmora::platform
