#include "web/fetch.h"

#include <climits>
#include <memory>
#include <optional>

#include "platform/http_request.h"
#include "text/decode.h"
#include "text/host.h"
#include "text/markers.h"
#include "web/cookie_store.h"
#include "web/cookies.h"

namespace velmora {
namespace {

const Text kCrLf = "\r\n";

Text DefaultHeaderBlock(const Text& url) {
  return JoinTexts("Referer: ", url, kCrLf, "Accept: */*", kCrLf, "Accept-Language: zh-cn", kCrLf,
                   "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)",
                   kCrLf, "Content-Type: application/x-www-form-urlencoded");
}

void SetRequestHeaders(platform::HttpRequest& request, const Text& headers) {
  TextList lines;
  if (FindText(headers, kCrLf) == -1) {
    lines.push_back(headers);
  } else {
    lines = SplitText(headers, kCrLf);
  }
  for (int k = 1; k <= MemberCount(lines); ++k) {
    const Text& line = Member(lines, k);
    int colon = FindText(line, ":");
    if (colon == -1) continue;
    // An unsafe name or value is refused by the request object: that header alone
    // is not sent, and the exchange goes on.
    request.SetRequestHeader(LeftPart(line, colon - 1), RightPart(line, TextLength(line) - colon));
  }
}

// Location and Set-Cookie values out of the answer's header lines.
void ScanResponseHeaders(const Text& responseHeaders, Text& location, Text& newCookies) {
  newCookies.clear();
  const TextList lines = SplitText(responseHeaders, kCrLf);
  for (int k = 1; k <= MemberCount(lines); ++k) {
    const Text& line = Member(lines, k);
    if (FindText(line, "Location:") != -1) {
      location = TrimSpaces(ReplaceText(line, "Location:", "", 1, 1, Case::kIgnore));
    }
    if (FindText(line, "Set-Cookie") != -1) {
      newCookies = JoinTexts(newCookies, TrimSpaces(TextBetween(line, "Set-Cookie:", ";")), "; ");
    }
  }
}

ExchangeFailure FailureOf(platform::SendFailure failure) {
  switch (failure) {
    case platform::SendFailure::kNone:
      return ExchangeFailure::kNone;
    case platform::SendFailure::kTimeout:
      return ExchangeFailure::kTimeout;
    case platform::SendFailure::kConnect:
      return ExchangeFailure::kConnect;
    case platform::SendFailure::kResolve:
      return ExchangeFailure::kResolve;
    case platform::SendFailure::kTls:
      return ExchangeFailure::kTls;
    case platform::SendFailure::kOther:
      break;
  }
  return ExchangeFailure::kOther;
}

}  // namespace

std::optional<int> RequestTimeoutMs(int timeoutSeconds) {
  if (timeoutSeconds == kNoTimeouts) return std::nullopt;
  if (timeoutSeconds < 1) return kDefaultTimeoutMs;
  double ms = static_cast<double>(timeoutSeconds) * 1000.0;
  return ms >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

Bytes FetchBytesWithOutcome(ExchangeOutcome& outcome, const Text& url, InOut<Text> method,
                            const Text& postText, InOut<Text> cookies, InOut<Text> newCookies,
                            InOut<Text> headers, InOut<Text> location, int noRedirect,
                            int timeoutSeconds, InOut<Text> responseHeaders,
                            const Bytes& postBytes) {
  outcome = ExchangeOutcome{0, ExchangeFailure::kOther};
  std::unique_ptr<platform::HttpRequest> request = platform::HttpRequest::Create();
  if (!request) return {};

  method.get() = ToUpperCase(method.get());
  if (method.get().empty()) method.get() = "GET";

  if (std::optional<int> ms = RequestTimeoutMs(timeoutSeconds)) {
    request->SetTimeouts(*ms, *ms, *ms, *ms);
  }
  // A refused address leaves the request unopened; every later step still runs.
  request->Open(method.get(), url, platform::OpenMode::kSynchronous);
  if (noRedirect != 0) request->SetOption(platform::HttpRequest::kOptionEnableRedirects, 0);
  if (headers.get().empty()) headers.get() = DefaultHeaderBlock(url);

  const Text domain = HostOf(url, Shorten::kYes);
  Text stored = ReadStoreCookies(domain, {});
  // The caller's cookies win over stored ones of the same name.
  cookies.get() = MergeCookies(stored, cookies.get());
  if (!cookies.get().empty()) request->SetRequestHeader("Cookie", cookies.get());
  SetRequestHeaders(*request, headers.get());

  if (!postBytes.empty()) {
    request->Send(postBytes);
  } else {
    request->Send(postText);
  }
  outcome = ExchangeOutcome{request->Status(), FailureOf(request->Failure())};

  Bytes body = request->ResponseBody().value_or(Bytes{});
  // A header text is a text: it ends at a zero byte.
  Text answerHeaders = request->GetAllResponseHeaders().value_or(Text{});
  responseHeaders.get() = answerHeaders.substr(0, answerHeaders.find('\0'));
  ScanResponseHeaders(responseHeaders.get(), location.get(), newCookies.get());

  // Only the in-place effect counts: cookies take the answer's, newCookies gets its
  // normal form. Written back even when no answer came.
  (void)MergeCookies(cookies.get(), newCookies.get());
  WriteStoreCookies(domain, cookies.get());

  if (location.get().empty()) location.get() = responseHeaders.get();
  return body;
}

Bytes FetchBytes(const Text& url, InOut<Text> method, const Text& postText, InOut<Text> cookies,
                 InOut<Text> newCookies, InOut<Text> headers, InOut<Text> location, int noRedirect,
                 int timeoutSeconds, InOut<Text> responseHeaders, const Bytes& postBytes) {
  ExchangeOutcome ignored;
  return FetchBytesWithOutcome(ignored, url, method.get(), postText, cookies.get(),
                               newCookies.get(), headers.get(), location.get(), noRedirect,
                               timeoutSeconds, responseHeaders.get(), postBytes);
}

Text FetchText(const Text& url, InOut<Text> method, const Text& postText, InOut<Text> cookies,
               InOut<Text> newCookies, InOut<Text> headers, InOut<Text> location, int noRedirect,
               int timeoutSeconds, InOut<Text> responseHeaders, const Bytes& postBytes) {
  return DecodeUtf8ToAnsi(FetchBytes(url, method.get(), postText, cookies.get(), newCookies.get(),
                                     headers.get(), location.get(), noRedirect, timeoutSeconds,
                                     responseHeaders.get(), postBytes));
}

}  // namespace velmora
