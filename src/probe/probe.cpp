#include "probe/probe.h"

#include "text/decode.h"
#include "text/markers.h"
#include "web/fetch.h"

namespace velmora {
namespace {

constexpr std::string_view kEndpointPath = "/cgi-bin/qzshare/cgi_qzshareget_urlinfo?url=";

}  // namespace

Text ProbeAddress(std::string_view address) {
  return JoinTexts("https://", kShareHost, kEndpointPath, address);
}

const Text& ProbeHeaders() {
  static const Text headers = JoinTexts(
      "accept:text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,*/*;q=0.8\r\n",
      "accept-language:zh-CN,zh;q=0.8\r\n", "cache-control:max-age=0\r\n");
  return headers;
}

const Text& ProbeCookie() {
  static const Text cookie = JoinTexts(
      "x-stgw-ssl-info=", "7a3b61d08fe25c49b7130a6e8d52c9f1",
      "_0.096_1502966499.698_2_h2_N_I_TLSv1.2_ECDHE-RSA-AES128-GCM-SHA256_28000_0;path=;max-age="
      "900;domain=",
      kShareHost, ";");
  return cookie;
}

Text SummaryOf(const Text& answer) { return TextBetween(answer, kSummaryStart, kSummaryEnd); }

Text ProbeSummary(const Text& address) {
  return SummaryOf(DecodeUtf8ToAnsi(ProbeExchange(address, /*timeoutSeconds=*/0).body));
}

ProbeAnswer ProbeExchange(const Text& address, int timeoutSeconds) {
  ProbeAnswer answer;
  Text url = ProbeAddress(address);
  Text method;
  Text postText;
  Text cookies = ProbeCookie();
  Text newCookies;
  Text headers = ProbeHeaders();
  Text location;
  Bytes postBytes;
  answer.body = FetchBytesWithOutcome(answer.outcome, url, method, postText, cookies, newCookies,
                                      headers, location, /*noRedirect=*/0, timeoutSeconds,
                                      answer.responseHeaders, postBytes);
  return answer;
}

}  // namespace velmora
