// The HTTP request object: one synchronous HTTP or HTTPS exchange over libcurl,
// offering the operations the web request routine uses, with the original object's
// behaviour (per-phase timeouts in milliseconds, redirects followed by default, a
// User-Agent and Accept of its own, raw body bytes, the final answer's header lines).
//
// Every operation answers success or failure and never throws; a failed step leaves
// the object usable, and a later Send simply fails when Open did not succeed. The
// object holds a pooled easy handle from creation to destruction, so one thread's
// sequential exchanges reuse connections and TLS sessions. Not shared between threads.
// curl_global_init must have run (once, before any thread) before the first Create.
#ifndef VELMORA_PLATFORM_HTTP_REQUEST_H_
#define VELMORA_PLATFORM_HTTP_REQUEST_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::platform {

enum class OpenMode { kSynchronous, kAsynchronous };

class HttpRequest {
 public:
  // Index of the option that switches redirect following (non-zero: on, the default).
  static constexpr int kOptionEnableRedirects = 6;
  // Redirects followed before the exchange fails.
  static constexpr long kMaxRedirects = 10;

  // The object, or nullptr when no transfer handle can be made.
  [[nodiscard]] static std::unique_ptr<HttpRequest> Create();
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Limits in milliseconds. Resolve and connect together bound name resolution, TCP
  // and TLS set-up; send and receive bound the wait for the next data once
  // connected, not the whole transfer. A value of 0 or below means no limit. Until
  // called: no resolve limit, connect 60000, send 30000, receive 30000.
  bool SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);

  // Prepares a request. False (nothing prepared) for an asynchronous mode, a method
  // that is not an HTTP token, an address that is not absolute http or https, or an
  // address holding a control byte. Blanks and bytes of 0x80 and above in the
  // address are sent percent-encoded. Forgets the headers of an earlier Open.
  bool Open(std::string_view method, std::string_view url, OpenMode mode);

  // Only kOptionEnableRedirects is known; any other index fails.
  bool SetOption(int index, long value);

  // Adds a header (one of the same name, compared without regard to case, is
  // replaced). Sent as "name:" followed by the value when it begins with a blank,
  // else "name: value". False, and nothing added, before Open, for a name that is
  // not an HTTP token, or a value holding a line break or another control byte.
  bool SetRequestHeader(std::string_view name, std::string_view value);

  // Sends the request and waits for the whole answer. A text body is code page 936:
  // with any byte of 0x80 or above it goes as UTF-8, else as it is. False when not
  // opened or when the exchange failed (no answer, timeout, TLS, too many redirects).
  bool Send(std::string_view textBody);
  bool Send(const std::vector<unsigned char>& bodyBytes);

  // The final answer's body bytes as they came (no content decoding); nullopt when
  // no answer came. HTTP error statuses are answers like any other.
  [[nodiscard]] std::optional<std::vector<unsigned char>> ResponseBody() const;
  // The final answer's header lines, status line left out, each ended by CR LF, then
  // one empty line; nullopt when no answer came.
  [[nodiscard]] std::optional<std::string> GetAllResponseHeaders() const;

 private:
  struct Exchange;
  HttpRequest();
  bool Perform(std::string body);

  std::unique_ptr<Exchange> exchange_;
  int resolveMs_ = 0;
  int connectMs_ = 60000;
  int sendMs_ = 30000;
  int receiveMs_ = 30000;
  bool opened_ = false;
  bool followRedirects_ = true;
  std::string method_;
  std::string url_;
  std::vector<std::pair<std::string, std::string>> headers_;
  bool answered_ = false;
  std::vector<unsigned char> body_;
  std::string responseHeaders_;
};

// An address with blanks and bytes of 0x80 and above percent-encoded; nullopt when
// it holds a control byte (0x00 to 0x1F, 0x7F), which must never reach the wire.
[[nodiscard]] std::optional<std::string> EncodeAddress(std::string_view url);

// Whether `name` is an HTTP token (non-empty, visible ASCII without separators).
[[nodiscard]] bool IsHeaderToken(std::string_view name);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_HTTP_REQUEST_H_
