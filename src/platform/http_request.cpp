#include "platform/http_request.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/curl_handle.h"
#include "platform/transport.h"
#include "platform/web_scheme.h"

namespace velmora::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Sent when the caller's headers carry no User-Agent of their own.
constexpr const char* kDefaultUserAgent =
    "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";
// Connect limit that stands for "none": libcurl reads 0 as its own 300 s default.
constexpr long kNoConnectLimitMs = LONG_MAX / 2;
// A larger answer body is dropped (the answer's header lines are kept) instead of
// exhausting memory.
constexpr std::int64_t kMaxResponseBodyBytes = std::int64_t{1} << 30;
// Headers that carry the first address's credentials: never sent to another origin.
constexpr std::array<std::string_view, 2> kOriginBoundHeaders = {"Cookie", "Authorization"};

// One request of an exchange: the first, or one a redirect asked for.
struct Hop {
  std::string url;
  std::string method;
  std::string body;
  bool sameOrigin = true;  // same scheme, host and port as the first request
};

bool IsSafeHeaderValue(std::string_view value) {
  return std::none_of(value.begin(), value.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7F;
  });
}

bool HasHighBytes(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A libcurl parse of `url`; nullptr when it does not parse.
struct UrlFree {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
std::unique_ptr<CURLU, UrlFree> ParseUrl(const std::string& url) {
  std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    return nullptr;
  }
  return parsed;
}

// One part of a parsed address, ASCII lower-cased; "" when it has none.
std::string UrlPart(CURLU* parsed, CURLUPart part, unsigned int flags = 0) {
  char* value = nullptr;
  std::string text;
  if (curl_url_get(parsed, part, &value, flags) == CURLUE_OK && value != nullptr) text = value;
  curl_free(value);
  AsciiStrToLower(text);
  return text;
}

bool IsAbsoluteWebAddress(const std::string& url) {
  if (!IsWebAddress(url)) return false;
  auto parsed = ParseUrl(url);
  return parsed && !UrlPart(parsed.get(), CURLUPART_HOST).empty();
}

// "scheme://host:port" with the scheme's default port filled in; "" when `url` does
// not parse.
std::string OriginOf(const std::string& url) {
  auto parsed = ParseUrl(url);
  if (!parsed) return {};
  return UrlPart(parsed.get(), CURLUPART_SCHEME) + "://" + UrlPart(parsed.get(), CURLUPART_HOST) +
         ":" + UrlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
}

SendFailure FailureOf(CURLcode code, const TransferState& state) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return SendFailure::kTimeout;
    case CURLE_ABORTED_BY_CALLBACK:
      return state.idleExpired ? SendFailure::kTimeout : SendFailure::kOther;
    case CURLE_COULDNT_CONNECT:
      return SendFailure::kConnect;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return SendFailure::kResolve;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return SendFailure::kTls;
    default:
      return SendFailure::kOther;
  }
}

bool IsFollowedRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The request that the answer just received asks for; nullopt when it asks for none
// or for one that is not followed (not http or https, https down to http, an
// address that cannot be sent).
std::optional<Hop> NextHop(CURL* handle, long status, const Hop& hop,
                           const std::string& firstOrigin) {
  if (!IsFollowedRedirect(status)) return std::nullopt;
  char* target = nullptr;
  if (curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &target) != CURLE_OK || target == nullptr) {
    return std::nullopt;
  }
  std::optional<std::string> url = EncodeAddress(target, HashSign::kKeep);
  if (!url || !IsAbsoluteWebAddress(*url)) return std::nullopt;
  if (WebSchemeOf(hop.url) == WebScheme::kHttps && WebSchemeOf(*url) != WebScheme::kHttps) {
    return std::nullopt;
  }
  Hop next{*url, hop.method, hop.body, OriginOf(*url) == firstOrigin};
  const bool toGet = status == 303 || ((status == 301 || status == 302) && hop.method == "POST");
  if (toGet) {
    if (next.method != "HEAD") next.method = "GET";
    next.body.clear();
  }
  return next;
}

}  // namespace

struct HttpRequest::Exchange {
  PooledEasy easy;
};

std::optional<std::string> EncodeAddress(std::string_view url, HashSign hash) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(url.size());
  for (char c : url) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return std::nullopt;
    if (byte == ' ' || byte >= 0x80 || (byte == '#' && hash == HashSign::kEncode)) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

bool IsHeaderToken(std::string_view name) {
  static constexpr std::string_view kSeparators = "()<>@,;:\\\"/[]?={} \t";
  if (name.empty()) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte < 0x7F && kSeparators.find(c) == std::string_view::npos;
  });
}

HttpRequest::HttpRequest() = default;
HttpRequest::~HttpRequest() = default;

std::unique_ptr<HttpRequest> HttpRequest::Create() {
  PooledEasy easy = PooledEasy::Borrow();
  if (!easy) return nullptr;
  std::unique_ptr<HttpRequest> request(new HttpRequest);
  request->exchange_ = std::make_unique<Exchange>(Exchange{std::move(easy)});
  return request;
}

bool HttpRequest::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
  resolveMs_ = resolveMs;
  connectMs_ = connectMs;
  sendMs_ = sendMs;
  receiveMs_ = receiveMs;
  return true;
}

bool HttpRequest::Open(std::string_view method, std::string_view url, OpenMode mode) {
  opened_ = false;
  headers_.clear();
  answered_ = false;
  body_.clear();
  responseHeaders_.clear();
  status_ = 0;
  failure_ = SendFailure::kNone;
  if (mode != OpenMode::kSynchronous || !IsHeaderToken(method)) return false;
  std::optional<std::string> encoded = EncodeAddress(url);
  if (!encoded || !IsAbsoluteWebAddress(*encoded)) return false;
  method_ = std::string(method);
  url_ = std::move(*encoded);
  opened_ = true;
  return true;
}

bool HttpRequest::SetOption(int index, long value) {
  if (index != kOptionEnableRedirects) return false;
  followRedirects_ = value != 0;
  return true;
}

bool HttpRequest::SetRequestHeader(std::string_view name, std::string_view value) {
  if (!opened_ || !IsHeaderToken(name) || !IsSafeHeaderValue(value)) return false;
  auto same = std::find_if(headers_.begin(), headers_.end(), [&](const auto& header) {
    return EqualsIgnoringCase(header.first, name);
  });
  if (same != headers_.end()) {
    same->second = std::string(value);
    return true;
  }
  headers_.emplace_back(std::string(name), std::string(value));
  return true;
}

bool HttpRequest::Send(std::string_view textBody) {
  if (!HasHighBytes(textBody)) return Perform(std::string(textBody));
  std::string utf8 = Cp936ToUtf8(textBody);
  if (utf8.empty()) return Fail(SendFailure::kOther);
  return Perform(std::move(utf8));
}

bool HttpRequest::Send(const std::vector<unsigned char>& bodyBytes) {
  return Perform(std::string(bodyBytes.begin(), bodyBytes.end()));
}

bool HttpRequest::Fail(SendFailure failure) {
  failure_ = failure;
  return false;
}

std::optional<std::chrono::milliseconds> HttpRequest::WholeExchangeLimit() const {
  if (sendMs_ <= 0 || receiveMs_ <= 0) return std::nullopt;
  std::int64_t largest = std::max({resolveMs_, connectMs_, sendMs_, receiveMs_});
  return std::chrono::milliseconds(largest * kWholeExchangeLimitFactor);
}

namespace {

// Everything one hop sets on the (freshly reset) handle. `headerLines` and `routes`
// must outlive the transfer.
bool SetUpHop(CURL* handle, const Hop& hop,
              const std::vector<std::pair<std::string, std::string>>& headers, long connectLimit,
              const TransportSetting& transport, TransferState& state, CurlSlist& headerLines,
              CurlSlist& routes) {
  curl_easy_reset(handle);  // nothing of an earlier transfer may carry over
  if (!PooledEasy::ApplyBaseOptions(handle)) return false;

  auto hasHeader = [&](std::string_view name) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& header) { return EqualsIgnoringCase(header.first, name); });
  };
  for (const auto& [name, value] : headers) {
    bool originBound =
        std::any_of(kOriginBoundHeaders.begin(), kOriginBoundHeaders.end(),
                    [&](std::string_view bound) { return EqualsIgnoringCase(name, bound); });
    if (originBound && !hop.sameOrigin) continue;
    // libcurl reads "Name:" with nothing but blanks after it as "remove this
    // header"; the "Name;" form sends it with an empty value.
    bool blank = value.find_first_not_of(" \t") == std::string::npos;
    std::string line = blank                  ? name + ";"
                       : value.front() == ' ' ? name + ":" + value
                                              : name + ": " + value;
    if (!headerLines.Append(line)) return false;
  }
  // libcurl's own additions that the original object never sent.
  if (!hasHeader("Expect") && !headerLines.Append("Expect:")) return false;
  if (!hasHeader("Content-Type") && !headerLines.Append("Content-Type:")) return false;

  CurlOptions options(handle);
  // Redirects are followed here, hop by hop, so that one not followed still hands
  // back its own answer.
  SetWebAddress(options, hop.url, FollowRedirects::kNo, 0);
  options.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1))
      .Set(CURLOPT_USERAGENT, kDefaultUserAgent)
      .Set(CURLOPT_HTTPHEADER, headerLines.get())
      .Set(CURLOPT_CONNECTTIMEOUT_MS, connectLimit);

  if (hop.method == "GET" && hop.body.empty()) {
    options.Set(CURLOPT_HTTPGET, 1L);
  } else if (hop.method == "HEAD" && hop.body.empty()) {
    options.Set(CURLOPT_NOBODY, 1L);
  } else {
    if (hop.method != "POST") options.Set(CURLOPT_CUSTOMREQUEST, hop.method.c_str());
    if (hop.method == "POST" || !hop.body.empty()) {
      options.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(hop.body.size()))
          .Set(CURLOPT_POSTFIELDS, hop.body.data());
    }
  }
  return options.ok() && InstallTransferCallbacks(handle, state) &&
         ApplyTestTransport(handle, transport, routes);
}

}  // namespace

bool HttpRequest::Perform(std::string body) {
  answered_ = false;
  body_.clear();
  responseHeaders_.clear();
  status_ = 0;
  failure_ = SendFailure::kNone;
  if (!opened_ || !exchange_ || !exchange_->easy) return Fail(SendFailure::kOther);
  CURL* handle = exchange_->easy.get();
  const TransportSetting transport = CurrentTransport();

  long connectLimit = kNoConnectLimitMs;
  if (connectMs_ > 0) connectLimit = long{connectMs_} + std::max(resolveMs_, 0);
  std::optional<Clock::time_point> deadline;
  if (std::optional<std::chrono::milliseconds> limit = WholeExchangeLimit()) {
    deadline = Clock::now() + *limit;
  }

  const std::string firstOrigin = OriginOf(url_);
  Hop hop{url_, method_, std::move(body), true};
  for (long redirects = 0;; ++redirects) {
    TransferState state;
    state.sendIdleLimit = std::chrono::milliseconds(std::max(sendMs_, 0));
    state.receiveIdleLimit = std::chrono::milliseconds(std::max(receiveMs_, 0));
    state.bodyCap = transport.requestBodyCap.value_or(kMaxResponseBodyBytes);
    CurlSlist headerLines;
    CurlSlist routes;
    if (!SetUpHop(handle, hop, headers_, connectLimit, transport, state, headerLines, routes)) {
      return Fail(SendFailure::kOther);
    }
    if (deadline) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left.count() <= 0) return Fail(SendFailure::kTimeout);
      if (curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count())) !=
          CURLE_OK) {
        return Fail(SendFailure::kOther);
      }
    }

    CURLcode code = curl_easy_perform(handle);
    const bool capped = code == CURLE_WRITE_ERROR && state.bodyCapped;
    if (code != CURLE_OK && !capped) return Fail(FailureOf(code, state));
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (followRedirects_ && redirects < kMaxRedirects) {
      if (std::optional<Hop> next = NextHop(handle, status, hop, firstOrigin)) {
        hop = std::move(*next);
        continue;
      }
    }
    answered_ = true;
    status_ = static_cast<int>(status);
    if (!capped) body_ = std::move(state.body);
    responseHeaders_ = std::move(state.headerLines);
    responseHeaders_ += "\r\n";
    return true;
  }
}

std::optional<std::vector<unsigned char>> HttpRequest::ResponseBody() const {
  if (!answered_) return std::nullopt;
  return body_;
}

std::optional<std::string> HttpRequest::GetAllResponseHeaders() const {
  if (!answered_) return std::nullopt;
  return responseHeaders_;
}

}  // namespace velmora::platform
