#include "platform/curl_handle.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/no_destructor.h"
#include "platform/web_scheme.h"

namespace velmora::platform {
namespace {

// Idle handles kept for reuse. Each keeps its own open connections, so the cap
// bounds the sockets and memory an idle process holds after a burst of threads.
constexpr std::size_t kMaxPooledHandles = 32;

class HandlePool {
 public:
  CurlEasy Take() {
    std::lock_guard guard(lock_);
    if (idle_.empty()) return nullptr;
    CurlEasy handle = std::move(idle_.back());
    idle_.pop_back();
    return handle;
  }

  void Give(CurlEasy handle) {
    std::lock_guard guard(lock_);
    if (idle_.size() < kMaxPooledHandles) idle_.push_back(std::move(handle));
  }

 private:
  std::mutex lock_;
  std::vector<CurlEasy> idle_;
};

// Workers give handles back up to the end of the process.
HandlePool& Pool() {
  static NoDestructor<HandlePool> pool;
  return *pool;
}

// DNS-only sharing: the connection cache is not thread-safe to share in this
// libcurl, and each pooled handle keeps its own connections and TLS sessions.
class DnsShare {
 public:
  DnsShare() : share_(curl_share_init()) {
    if (share_ == nullptr) return;
    bool ok = curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &DnsShare::Lock) == CURLSHE_OK &&
              curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &DnsShare::Unlock) == CURLSHE_OK &&
              curl_share_setopt(share_, CURLSHOPT_USERDATA, this) == CURLSHE_OK &&
              curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK;
    if (!ok) {
      curl_share_cleanup(share_);
      share_ = nullptr;
    }
  }
  [[nodiscard]] CURLSH* get() const { return share_; }

 private:
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<DnsShare*>(self)->LockFor(data).lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<DnsShare*>(self)->LockFor(data).unlock();
  }
  std::mutex& LockFor(curl_lock_data data) {
    auto index = static_cast<std::size_t>(data);
    return locks_[index < locks_.size() ? index : 0];
  }

  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
  CURLSH* share_;
};

CURLSH* SharedDns() {
  static NoDestructor<DnsShare> share;
  return share->get();
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<TransferState*>(user);
  const std::size_t length = size * count;
  state.lastActivity = std::chrono::steady_clock::now();
  const auto room =
      static_cast<std::size_t>(std::max<std::int64_t>(0, state.bodyCap - state.bodyBytes));
  const bool capped = length > room;
  const std::size_t kept = capped ? room : length;
  state.bodyBytes += static_cast<std::int64_t>(kept);
  if (state.bodySink) {
    const bool more = kept == 0 || state.bodySink(std::string_view(data, kept));
    state.lastActivity = std::chrono::steady_clock::now();
    if (!more) {
      state.sinkStopped = true;
      return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
  } else {
    state.body.insert(state.body.end(), data, data + kept);
  }
  if (capped) {
    state.bodyCapped = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR, keeping what came
  }
  return length;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<TransferState*>(user);
  std::size_t length = size * count;
  state.lastActivity = std::chrono::steady_clock::now();
  std::string_view line(data, length);
  // Every answer (redirects, 100-continue) starts with its status line: only the
  // last answer's lines are kept.
  if (line.starts_with("HTTP/")) {
    state.headerLines.clear();
    return length;
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.empty()) return length;  // the blank line that ends the header block
  state.headerLines.append(line);
  state.headerLines.append("\r\n");
  return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t down, curl_off_t upTotal, curl_off_t up) {
  auto& state = *static_cast<TransferState*>(user);
  auto now = std::chrono::steady_clock::now();
  if (down != state.lastDown || up != state.lastUp) {
    state.lastDown = down;
    state.lastUp = up;
    state.lastActivity = now;
    return 0;
  }
  curl_off_t connected = 0;
  if (curl_easy_getinfo(state.handle, CURLINFO_PRETRANSFER_TIME_T, &connected) != CURLE_OK ||
      connected == 0) {
    state.lastActivity = now;  // still connecting: that phase has a limit of its own
    return 0;
  }
  bool sending = upTotal > 0 && up < upTotal;
  std::chrono::milliseconds limit = sending ? state.sendIdleLimit : state.receiveIdleLimit;
  if (limit.count() > 0 && now - state.lastActivity > limit) {
    state.idleExpired = true;
    return 1;  // ends the transfer with CURLE_ABORTED_BY_CALLBACK
  }
  return 0;
}

}  // namespace

void SetWebAddress(CurlOptions& options, const std::string& url, FollowRedirects follow,
                   long maxRedirects) {
  const bool https = WebSchemeOf(url) == WebScheme::kHttps;
  options.Set(CURLOPT_URL, url.c_str())
      .Set(CURLOPT_PROTOCOLS_STR, "http,https")
      .Set(CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https")
      .Set(CURLOPT_FOLLOWLOCATION, follow == FollowRedirects::kYes ? 1L : 0L)
      .Set(CURLOPT_MAXREDIRS, maxRedirects)
      .Set(CURLOPT_SSL_VERIFYPEER, 1L)
      .Set(CURLOPT_SSL_VERIFYHOST, 2L);
}

bool InstallTransferCallbacks(CURL* handle, TransferState& state) {
  state.handle = handle;
  state.lastActivity = std::chrono::steady_clock::now();
  return CurlOptions(handle)
      .Set(CURLOPT_WRITEFUNCTION, &OnBody)
      .Set(CURLOPT_WRITEDATA, &state)
      .Set(CURLOPT_HEADERFUNCTION, &OnHeader)
      .Set(CURLOPT_HEADERDATA, &state)
      .Set(CURLOPT_XFERINFOFUNCTION, &OnProgress)
      .Set(CURLOPT_XFERINFODATA, &state)
      .Set(CURLOPT_NOPROGRESS, 0L)
      .ok();
}

bool ApplyTestTransport(CURL* handle, const TransportSetting& setting, CurlSlist& routes) {
  CurlOptions options(handle);
  if (!setting.caFile.empty()) options.Set(CURLOPT_CAINFO, setting.caFile.c_str());
  if (!setting.connectTo.empty()) {
    for (const std::string& route : setting.connectTo) {
      if (!routes.Append(route)) return false;
    }
    options.Set(CURLOPT_CONNECT_TO, routes.get());
  }
  return options.ok();
}

bool CurlSlist::Append(const std::string& line) {
  curl_slist* grown = curl_slist_append(list_, line.c_str());
  if (grown == nullptr) return false;
  list_ = grown;
  return true;
}

bool PooledEasy::ApplyBaseOptions(CURL* handle) {
  CurlOptions options(handle);
  options.Set(CURLOPT_NOSIGNAL, 1L);
  if (CURLSH* share = SharedDns(); share != nullptr) options.Set(CURLOPT_SHARE, share);
  return options.ok();
}

PooledEasy PooledEasy::Borrow() {
  CurlEasy handle = Pool().Take();
  if (handle == nullptr) handle.reset(curl_easy_init());
  if (handle == nullptr || !ApplyBaseOptions(handle.get())) return PooledEasy(nullptr);
  return PooledEasy(std::move(handle));
}

PooledEasy::~PooledEasy() {
  if (handle_ == nullptr) return;
  // Reset drops every option and callback pointer into the finished exchange but
  // keeps the connection and session caches that make the next exchange cheap.
  curl_easy_reset(handle_.get());
  Pool().Give(std::move(handle_));
}

}  // namespace velmora::platform
