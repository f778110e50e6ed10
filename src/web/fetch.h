// The web request routine: one complete HTTP exchange with cookies carried from
// request to request through the process's cookie store.
#ifndef VELMORA_WEB_FETCH_H_
#define VELMORA_WEB_FETCH_H_

#include <optional>
#include <type_traits>
#include <utility>

#include "text/text.h"

namespace velmora {

// An in-out parameter: binds to a caller's variable, so the routine reads it and
// writes back into it, or (when the caller leaves the parameter out) to a value of
// its own that starts empty and is discarded after the call. Construct it from an
// lvalue to bind, from an rvalue to pass a value whose result is not wanted.
template <typename T>
class InOut {
 public:
  InOut() : ref_(own_) {}
  InOut(T& variable) : ref_(variable) {}                    // NOLINT(google-explicit-constructor)
  InOut(T&& value) : own_(std::move(value)), ref_(own_) {}  // NOLINT
  // A value convertible to T, such as a string literal for a Text.
  template <typename U>
  requires(std::is_constructible_v<T, U&&> && !std::is_same_v<std::remove_cvref_t<U>, T>)
      InOut(U&& value)
      : own_(std::forward<U>(value)), ref_(own_) {}  // NOLINT
  InOut(const InOut&) = delete;
  InOut& operator=(const InOut&) = delete;

  [[nodiscard]] T& get() const { return ref_; }

 private:
  T own_{};
  T& ref_;
};

// Limit of each phase, in milliseconds, when `timeoutSeconds` is 0 or below (not -1).
inline constexpr int kDefaultTimeoutMs = 15000;
// `timeoutSeconds` value that leaves the request object's own limits in place.
inline constexpr int kNoTimeouts = -1;

// The limit of each phase, in milliseconds, that a `timeoutSeconds` asks for:
// nullopt for -1 (the request object keeps its own), 15000 for any other value
// below 1, else the seconds times 1000, truncated, and held at the largest 32-bit
// value rather than wrapping.
[[nodiscard]] std::optional<int> RequestTimeoutMs(int timeoutSeconds);

// Why an exchange brought no answer.
enum class ExchangeFailure { kNone, kTimeout, kConnect, kResolve, kTls, kOther };
struct ExchangeOutcome {
  int status = 0;  // HTTP status of the final answer; 0 when no answer came
  ExchangeFailure failure = ExchangeFailure::kNone;  // kNone whenever an answer came
};

// Performs one exchange and returns the answer's body bytes ("" on any failure).
//
// - `method` is upper-cased in place; empty becomes "GET".
// - `postBytes`, when not empty, is the body; otherwise `postText` (code page 936,
//   sent as UTF-8 when it holds non-ASCII bytes).
// - `cookies`: the caller's cookie string; merged over the store's cookies of the
//   url's cookie domain (last two host labels) and sent as the "Cookie" header when
//   not empty; on return the merged string that was sent and then stored, merged
//   with what the answer set. Written back to the store even when the exchange
//   failed.
// - `newCookies`: the answer's Set-Cookie items, in normal form ("s=1; t=2;").
// - `headers`: header block (lines split at CR LF, name before the first ":", value
//   after it, untrimmed; lines without ":" skipped); empty becomes the default
//   block (Referer `url`, Accept, Accept-Language, User-Agent, Content-Type),
//   written back. A header that is unsafe to send (a name that is not an HTTP
//   token, a value holding a line break or another control byte) is left out on
//   its own, the "Cookie" header included: the exchange goes on with the others.
// - `location`: the last line holding "Location:" (case-sensitive) with its first
//   "Location:" removed (ignoring case), trimmed; when still empty at the end it
//   receives the whole response header text.
// - `noRedirect` non-zero: the redirect answer itself comes back. It also comes
//   back when following would go from https to http or past the tenth redirect.
// - `timeoutSeconds`: -1 sets no limits (the request object's own apply: connect
//   60 s, send and receive 30 s); 0 or below gives 15000 ms; else that many
//   seconds, for resolve, connect, send and receive each. The whole exchange ends
//   after four times its largest limit (60 s for the default), like a time-out.
// - `responseHeaders`: the final answer's header lines ("" when no answer came).
//   An answer whose body passes 1 GiB keeps its header lines (its cookies are
//   merged and stored as usual) and gives an empty body.
// A control byte in `url` fails the exchange silently; blanks, '#' and high bytes
// go percent-encoded, so the server sees the whole address. Only a request object that cannot be
// made ends the call before any parameter is touched.
Bytes FetchBytes(const Text& url, InOut<Text> method = {}, const Text& postText = {},
                 InOut<Text> cookies = {}, InOut<Text> newCookies = {}, InOut<Text> headers = {},
                 InOut<Text> location = {}, int noRedirect = 0, int timeoutSeconds = 0,
                 InOut<Text> responseHeaders = {}, const Bytes& postBytes = {});

// FetchBytes, also telling how the exchange ended: `outcome` is overwritten. A
// request object that cannot be made, or an address it refuses, gives status 0 and
// kOther.
Bytes FetchBytesWithOutcome(ExchangeOutcome& outcome, const Text& url, InOut<Text> method = {},
                            const Text& postText = {}, InOut<Text> cookies = {},
                            InOut<Text> newCookies = {}, InOut<Text> headers = {},
                            InOut<Text> location = {}, int noRedirect = 0, int timeoutSeconds = 0,
                            InOut<Text> responseHeaders = {}, const Bytes& postBytes = {});

// FetchBytes, with the body decoded from UTF-8 into code page 936 text.
Text FetchText(const Text& url, InOut<Text> method = {}, const Text& postText = {},
               InOut<Text> cookies = {}, InOut<Text> newCookies = {}, InOut<Text> headers = {},
               InOut<Text> location = {}, int noRedirect = 0, int timeoutSeconds = 0,
               InOut<Text> responseHeaders = {}, const Bytes& postBytes = {});

}  // namespace velmora

#endif  // VELMORA_WEB_FETCH_H_
