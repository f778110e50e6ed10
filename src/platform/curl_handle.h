// RAII holders for libcurl handles, checked option setting, and the process-wide
// pool of easy handles that lets sequential exchanges reuse connections and TLS
// sessions without sharing a connection cache between threads.
#ifndef VELMORA_PLATFORM_CURL_HANDLE_H_
#define VELMORA_PLATFORM_CURL_HANDLE_H_

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/transport.h"

namespace velmora::platform {

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// A libcurl string list (request headers, connect-to entries) freed on scope exit.
class CurlSlist {
 public:
  CurlSlist() = default;
  CurlSlist(const CurlSlist&) = delete;
  CurlSlist& operator=(const CurlSlist&) = delete;
  ~CurlSlist() { curl_slist_free_all(list_); }

  // False when libcurl could not allocate the entry; the list is then unchanged.
  [[nodiscard]] bool Append(const std::string& line);
  [[nodiscard]] curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// Sets options on one handle and remembers whether every one of them succeeded, so a
// caller can set a group and test once (a refused option must never go unnoticed).
class CurlOptions {
 public:
  explicit CurlOptions(CURL* handle) : handle_(handle) {}

  template <typename Value>
  CurlOptions& Set(CURLoption option, Value value) {
    if (curl_easy_setopt(handle_, option, value) != CURLE_OK) ok_ = false;
    return *this;
  }
  [[nodiscard]] bool ok() const { return ok_; }

 private:
  CURL* handle_;
  bool ok_ = true;
};

// An easy handle borrowed from the pool for one whole exchange and given back (reset,
// its connection and TLS session caches kept) when this goes out of scope. A handle
// comes with CURLOPT_NOSIGNAL 1 and the shared DNS cache set. Move-only.
class PooledEasy {
 public:
  // An empty holder (get() null) when no handle could be made.
  [[nodiscard]] static PooledEasy Borrow();

  PooledEasy(PooledEasy&& other) noexcept : handle_(std::move(other.handle_)) {}
  PooledEasy& operator=(PooledEasy&&) = delete;
  PooledEasy(const PooledEasy&) = delete;
  ~PooledEasy();

  [[nodiscard]] CURL* get() const { return handle_.get(); }
  explicit operator bool() const { return handle_ != nullptr; }

  // Re-applies the settings every exchange needs after a curl_easy_reset.
  [[nodiscard]] static bool ApplyBaseOptions(CURL* handle);

 private:
  explicit PooledEasy(CurlEasy handle) : handle_(std::move(handle)) {}
  CurlEasy handle_;
};

// What one transfer collects, and the idle watchdog that ends it. A limit of zero
// means no limit. The watchdog counts from the moment the connection is set up (the
// connect limit covers the time before), restarts whenever bytes move either way,
// and uses the send limit while the request body is still going out.
struct TransferState {
  std::chrono::milliseconds sendIdleLimit{0};
  std::chrono::milliseconds receiveIdleLimit{0};
  // Body bytes kept at most; once reached the transfer ends and keeps what it has.
  std::int64_t bodyCap = std::numeric_limits<std::int64_t>::max();
  // When set, the body is handed here piece by piece as it arrives instead of being
  // collected in `body`; false from it ends the transfer (CURLE_WRITE_ERROR) with
  // `sinkStopped` set. The time it takes is not counted as the server's silence.
  std::function<bool(std::string_view piece)> bodySink;

  std::vector<unsigned char> body;  // collected when there is no bodySink
  std::int64_t bodyBytes = 0;       // body bytes kept (collected or handed over)
  // Header lines of the latest answer (status line left out), each ended by CR LF.
  std::string headerLines;
  bool bodyCapped = false;
  bool sinkStopped = false;
  bool idleExpired = false;

  CURL* handle = nullptr;
  std::chrono::steady_clock::time_point lastActivity{};
  std::int64_t lastDown = -1;
  std::int64_t lastUp = -1;
};

// What a web exchange may follow.
enum class FollowRedirects { kNo, kYes };

// The address, http and https only, redirects (at most `maxRedirects`, and never from
// an https address down to http) and certificate checks against the trust store.
void SetWebAddress(CurlOptions& options, const std::string& url, FollowRedirects follow,
                   long maxRedirects);

// Sets the write, header and progress callbacks that fill `state` and watch it.
[[nodiscard]] bool InstallTransferCallbacks(CURL* handle, TransferState& state);

// Applies the transport setting (trusted roots, loopback routes); with the window's
// empty setting it sets nothing. `routes` must outlive the transfer.
[[nodiscard]] bool ApplyTestTransport(CURL* handle, const TransportSetting& setting,
                                      CurlSlist& routes);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_CURL_HANDLE_H_
