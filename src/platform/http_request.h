// The HTTP request object: one synchronous HTTP or HTTPS exchange over libcurl,
// offering the operations the web request routine uses, with the original object's
// behaviour (per-phase timeouts in milliseconds, redirects followed by default, a
// User-Agent and Accept of its own, raw body bytes, the final answer's header lines),
// and telling the status of the answer or why none came.
//
// Every operation answers success or failure and never throws; a failed step leaves
// the object usable, and a later Send simply fails when Open did not succeed. The
// object holds a pooled easy handle from creation to destruction, so one thread's
// sequential exchanges reuse connections and TLS sessions. Not shared between threads.
// curl_global_init must have run (once, before any thread) before the first Create.
#ifndef VELMORA_PLATFORM_HTTP_REQUEST_H_
#define VELMORA_PLATFORM_HTTP_REQUEST_H_

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::platform {

enum class OpenMode { kSynchronous, kAsynchronous };

// Why the last Send brought no answer.
enum class SendFailure {
  kNone,     // an answer came (or nothing was sent yet)
  kTimeout,  // a phase limit, the idle watchdog or the whole-exchange limit ran out
  kConnect,  // the server refused or could not be reached
  kResolve,  // the host (or proxy) name did not resolve
  kTls,      // the TLS handshake or the certificate check failed
  kOther,    // anything else, a refused address and an unopened request included
};

class HttpRequest {
 public:
  // Index of the option that switches redirect following (non-zero: on, the default).
  static constexpr int kOptionEnableRedirects = 6;
  // Redirects followed at most; the answer asking for one more comes back itself.
  static constexpr long kMaxRedirects = 10;
  // An exchange with send and receive limits ends after this many times its largest
  // phase limit in all: those limits bound the wait for the next data only, so a
  // server dripping a byte now and then would otherwise hold the exchange for ever.
  static constexpr int kWholeExchangeLimitFactor = 4;

  // The object, or nullptr when no transfer handle can be made.
  [[nodiscard]] static std::unique_ptr<HttpRequest> Create();
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Limits in milliseconds. Resolve and connect together bound name resolution, TCP
  // and TLS set-up; send and receive bound the wait for the next data once
  // connected. A value of 0 or below means no limit. When send and receive both have
  // one, the whole exchange (redirects included) is also bounded by
  // kWholeExchangeLimitFactor times the largest of the four. Until called: no
  // resolve limit, connect 60000, send 30000, receive 30000.
  bool SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);

  // Prepares a request. False (nothing prepared) for an asynchronous mode, a method
  // that is not an HTTP token, an address that is not absolute http or https, or an
  // address holding a control byte. Blanks, '#' and bytes of 0x80 and above in the
  // address are sent percent-encoded, so the request target carries every byte of
  // it (no part is taken for a fragment). Forgets the headers and the outcome of an
  // earlier Open.
  bool Open(std::string_view method, std::string_view url, OpenMode mode);

  // Only kOptionEnableRedirects is known; any other index fails.
  bool SetOption(int index, long value);

  // Adds a header (one of the same name, compared without regard to case, is
  // replaced). Sent as "name:" followed by the value when it begins with a blank,
  // else "name: value". False, and nothing added, before Open, for a name that is
  // not an HTTP token, or a value holding a line break or another control byte
  // (tab allowed): such a header is never sent, and the request goes on without it
  // (an earlier header of that name stays as it was).
  bool SetRequestHeader(std::string_view name, std::string_view value);

  // Sends the request and waits for the whole answer. A text body is code page 936:
  // with any byte of 0x80 or above it goes as UTF-8, else as it is. False when not
  // opened or when no answer came (Failure() says why).
  //
  // Redirects (301, 302, 303, 307, 308 with a Location) are followed while the
  // option is on: 303 turns the method into GET (HEAD stays), 301 and 302 turn a
  // POST into a GET, both without the body; 307 and 308 repeat method and body. A
  // hop to another scheme, host or port leaves the caller's Cookie and
  // Authorization headers out. A redirect past kMaxRedirects, one from https down
  // to http, or one to an address that cannot be requested is not followed: the 3xx
  // answer that asked for it is the answer, as with redirects switched off.
  //
  // An answer whose body passes the cap (1 GiB) is still an answer, with its header
  // lines and an empty body: the transfer ends there.
  bool Send(std::string_view textBody);
  bool Send(const std::vector<unsigned char>& bodyBytes);

  // The HTTP status of the last Send's final answer; 0 when no answer came.
  [[nodiscard]] int Status() const { return status_; }
  // Why the last Send brought no answer; kNone when one came and before any Send.
  [[nodiscard]] SendFailure Failure() const { return failure_; }

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
  bool Fail(SendFailure failure);
  [[nodiscard]] std::optional<std::chrono::milliseconds> WholeExchangeLimit() const;

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
  int status_ = 0;
  SendFailure failure_ = SendFailure::kNone;
};

// What EncodeAddress does with '#'.
enum class HashSign {
  kEncode,  // sent as %23: the byte is part of the address (a caller's address)
  kKeep,    // left as it is: it starts a fragment (a redirect's target)
};

// An address with blanks and bytes of 0x80 and above percent-encoded, and '#' as
// `hash` says; nullopt when it holds a control byte (0x00 to 0x1F, 0x7F), which must
// never reach the wire. A '%' is left alone, so "%23" and an encoded '#' look alike.
[[nodiscard]] std::optional<std::string> EncodeAddress(std::string_view url,
                                                       HashSign hash = HashSign::kEncode);

// Whether `name` is an HTTP token (non-empty, visible ASCII without separators).
[[nodiscard]] bool IsHeaderToken(std::string_view name);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_HTTP_REQUEST_H_
