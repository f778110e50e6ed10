#include "platform/http_request.h"

#include <algorithm>
#include <climits>

#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/curl_handle.h"
#include "platform/transport.h"
#include "platform/web_scheme.h"

namespace velmora::platform {
namespace {

// Sent when the caller's headers carry no User-Agent of their own.
constexpr const char* kDefaultUserAgent =
    "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";
// Connect limit that stands for "none": libcurl reads 0 as its own 300 s default.
constexpr long kNoConnectLimitMs = LONG_MAX / 2;
// A larger answer body fails the exchange instead of exhausting memory.
constexpr std::int64_t kMaxResponseBodyBytes = std::int64_t{1} << 30;

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

bool IsAbsoluteWebAddress(const std::string& url) {
  if (!IsWebAddress(url)) return false;
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return false;
  bool ok = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  char* host = nullptr;
  ok = ok && curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK && host != nullptr &&
       host[0] != '\0';
  curl_free(host);
  curl_url_cleanup(parsed);
  return ok;
}

}  // namespace

struct HttpRequest::Exchange {
  PooledEasy easy;
};

std::optional<std::string> EncodeAddress(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(url.size());
  for (char c : url) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return std::nullopt;
    if (byte == ' ' || byte >= 0x80) {
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
  if (utf8.empty()) return false;
  return Perform(std::move(utf8));
}

bool HttpRequest::Send(const std::vector<unsigned char>& bodyBytes) {
  return Perform(std::string(bodyBytes.begin(), bodyBytes.end()));
}

bool HttpRequest::Perform(std::string body) {
  answered_ = false;
  body_.clear();
  responseHeaders_.clear();
  if (!opened_ || !exchange_ || !exchange_->easy) return false;
  CURL* handle = exchange_->easy.get();
  curl_easy_reset(handle);  // nothing of an earlier Send may carry over
  if (!PooledEasy::ApplyBaseOptions(handle)) return false;

  auto hasHeader = [&](std::string_view name) {
    return std::any_of(headers_.begin(), headers_.end(),
                       [&](const auto& header) { return EqualsIgnoringCase(header.first, name); });
  };
  CurlSlist headerLines;
  for (const auto& [name, value] : headers_) {
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
  SetWebAddress(options, url_, followRedirects_ ? FollowRedirects::kYes : FollowRedirects::kNo,
                kMaxRedirects);
  options.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1))
      .Set(CURLOPT_USERAGENT, kDefaultUserAgent)
      .Set(CURLOPT_HTTPHEADER, headerLines.get());

  long connectLimit = kNoConnectLimitMs;
  if (connectMs_ > 0) connectLimit = long{connectMs_} + std::max(resolveMs_, 0);
  options.Set(CURLOPT_CONNECTTIMEOUT_MS, connectLimit);

  if (method_ == "GET" && body.empty()) {
    options.Set(CURLOPT_HTTPGET, 1L);
  } else if (method_ == "HEAD" && body.empty()) {
    options.Set(CURLOPT_NOBODY, 1L);
  } else {
    // POST without a custom method so that a 301/302/303 turns into a GET, as
    // browsers and the original object do; other methods go as they are.
    if (method_ != "POST") options.Set(CURLOPT_CUSTOMREQUEST, method_.c_str());
    if (method_ == "POST" || !body.empty()) {
      options.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()))
          .Set(CURLOPT_POSTFIELDS, body.data());
    }
  }

  TransferState state;
  state.sendIdleLimit = std::chrono::milliseconds(std::max(sendMs_, 0));
  state.receiveIdleLimit = std::chrono::milliseconds(std::max(receiveMs_, 0));
  state.bodyCap = kMaxResponseBodyBytes;
  CurlSlist routes;
  if (!options.ok() || !InstallTransferCallbacks(handle, state) ||
      !ApplyTestTransport(handle, CurrentTransport(), routes)) {
    return false;
  }
  if (curl_easy_perform(handle) != CURLE_OK) return false;
  answered_ = true;
  body_ = std::move(state.body);
  responseHeaders_ = std::move(state.headerLines);
  responseHeaders_ += "\r\n";
  return true;
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
