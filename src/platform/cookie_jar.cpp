#include "platform/cookie_jar.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "platform/ascii.h"

namespace velmora::platform {
namespace {

struct Cookie {
  std::string name;
  std::string value;
  std::uint64_t written;  // the store's write count when last written
};

// Cookies of one host, in the order their names were first set (the lookup order).
using HostCookies = std::vector<Cookie>;
using Hosts = std::map<std::string, HostCookies>;

// Every write takes the next number of one store-wide count, so "written longest
// ago" is the lowest number, for one host and for the whole store. An index from
// that number to the cookie's host finds the store's oldest cookie without a scan of
// every cookie; within a host a scan is bounded by kMaxCookiesPerHost.
class Jar {
 public:
  std::optional<std::string> Get(const std::string& host) const {
    std::shared_lock guard(lock_);
    auto found = hosts_.find(host);
    if (found == hosts_.end() || found->second.empty()) return std::nullopt;
    std::string answer;
    for (const Cookie& cookie : found->second) {
      if (!answer.empty()) answer += "; ";
      answer += cookie.name;
      answer += '=';
      answer += cookie.value;
    }
    return answer;
  }

  void Set(const std::string& host, std::string_view name, std::string_view value) {
    std::unique_lock guard(lock_);
    const Hosts::iterator place = hosts_.try_emplace(host).first;
    HostCookies& cookies = place->second;
    auto same = std::find_if(cookies.begin(), cookies.end(),
                             [&](const Cookie& cookie) { return cookie.name == name; });
    if (same != cookies.end()) {
      byAge_.erase(same->written);
      same->value = value;
      same->written = ++writes_;
      byAge_.emplace(same->written, place);
      return;
    }
    if (cookies.size() >= kMaxCookiesPerHost) {
      auto oldest =
          std::min_element(cookies.begin(), cookies.end(),
                           [](const Cookie& a, const Cookie& b) { return a.written < b.written; });
      byAge_.erase(oldest->written);
      cookies.erase(oldest);
    } else if (byAge_.size() >= kMaxCookiesInStore) {
      EvictOldestInStore(place);
    }
    cookies.push_back({std::string(name), std::string(value), ++writes_});
    byAge_.emplace(cookies.back().written, place);
  }

  void Clear() {
    std::unique_lock guard(lock_);
    byAge_.clear();
    hosts_.clear();
  }

 private:
  // Removes the store's cookie written longest ago, and its host when that was the
  // host's last cookie, unless it is `keep` (the host about to receive a cookie).
  void EvictOldestInStore(Hosts::iterator keep) {
    const auto oldest = byAge_.begin();
    const Hosts::iterator owner = oldest->second;
    HostCookies& cookies = owner->second;
    cookies.erase(std::find_if(cookies.begin(), cookies.end(), [&](const Cookie& cookie) {
      return cookie.written == oldest->first;
    }));
    byAge_.erase(oldest);
    if (cookies.empty() && owner != keep) hosts_.erase(owner);
  }

  mutable std::shared_mutex lock_;
  Hosts hosts_;
  // Write number of every stored cookie, to its host (map nodes do not move).
  std::map<std::uint64_t, Hosts::iterator> byAge_;
  std::uint64_t writes_ = 0;
};

// Never destroyed: threads still running while the process ends may use it.
Jar& TheJar() {
  static auto* jar = new Jar;
  return *jar;
}

// The lower-cased host of a store address; "" when it is not http(s) or has none.
std::string HostOfStoreAddress(std::string_view address) {
  std::string_view rest;
  if (StartsWithIgnoringCase(address, "http://")) {
    rest = address.substr(7);
  } else if (StartsWithIgnoringCase(address, "https://")) {
    rest = address.substr(8);
  } else {
    return {};
  }
  rest = rest.substr(0, rest.find_first_of("/?#"));
  rest = rest.substr(0, rest.find(':'));
  std::string host(rest);
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return host;
}

// A ';' would split the item in the lookup answer; a control byte (line breaks
// included) would make a Cookie header that no request may carry, so one stored
// cookie would cost every later request of its host all of its cookies.
bool BreaksTheAnswer(std::string_view part) {
  return std::any_of(part.begin(), part.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte == ';' || byte < 0x20 || byte == 0x7F;
  });
}

}  // namespace

std::optional<std::string> GetStoreCookies(std::string_view storeAddress) {
  std::string host = HostOfStoreAddress(storeAddress);
  if (host.empty()) return std::nullopt;
  return TheJar().Get(host);
}

bool SetStoreCookie(std::string_view storeAddress, std::string_view name, std::string_view value) {
  std::string host = HostOfStoreAddress(storeAddress);
  if (host.empty() || name.size() + value.size() > kMaxCookieBytes || BreaksTheAnswer(name) ||
      BreaksTheAnswer(value)) {
    return false;
  }
  TheJar().Set(host, name, value);
  return true;
}

void ClearStoreCookies() { TheJar().Clear(); }

}  // namespace velmora::platform
