#include "platform/cookie_jar.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/no_destructor.h"
#include "platform/web_scheme.h"

namespace velmora::platform {
namespace {

struct Cookie {
  std::string name;
  std::string value;
};

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
    std::vector<Cookie>& cookies = hosts_[host];
    auto same = std::find_if(cookies.begin(), cookies.end(),
                             [&](const Cookie& cookie) { return cookie.name == name; });
    if (same != cookies.end()) {
      same->value = value;
      return;
    }
    cookies.push_back({std::string(name), std::string(value)});
  }

  void Clear() {
    std::unique_lock guard(lock_);
    hosts_.clear();
  }

 private:
  mutable std::shared_mutex lock_;
  std::map<std::string, std::vector<Cookie>> hosts_;
};

// Workers still running while the process ends may use it.
Jar& TheJar() {
  static NoDestructor<Jar> jar;
  return *jar;
}

// The lower-cased host of a store address; "" when it is not http(s) or has none.
std::string HostOfStoreAddress(std::string_view address) {
  const WebScheme scheme = WebSchemeOf(address);
  if (scheme == WebScheme::kNone) return {};
  std::string_view rest = address.substr(WebSchemePrefixLength(scheme));
  rest = rest.substr(0, rest.find_first_of("/?#"));
  rest = rest.substr(0, rest.find(':'));
  std::string host(rest);
  AsciiStrToLower(host);
  return host;
}

bool BreaksTheAnswer(std::string_view part) {
  return part.find_first_of(";\r\n") != std::string_view::npos;
}

}  // namespace

std::optional<std::string> GetStoreCookies(std::string_view storeAddress) {
  std::string host = HostOfStoreAddress(storeAddress);
  if (host.empty()) return std::nullopt;
  return TheJar().Get(host);
}

bool SetStoreCookie(std::string_view storeAddress, std::string_view name, std::string_view value) {
  std::string host = HostOfStoreAddress(storeAddress);
  if (host.empty() || BreaksTheAnswer(name) || BreaksTheAnswer(value)) return false;
  TheJar().Set(host, name, value);
  return true;
}

void ClearStoreCookies() { TheJar().Clear(); }

}  // namespace velmora::platform
