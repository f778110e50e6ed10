// The in-process cookie store that stands in for the system's per-user cookie store:
// one store shared by every thread of the process, kept for the life of the process.
//
// Store addresses are "http://host" or "https://host" (scheme letters in any case,
// an optional ":port" and path ignored); both schemes reach the same cookies of the
// host. Host names are compared without regard to ASCII case; cookie names and
// values are kept exactly as given, leading blanks included, and compared exactly.
//
// The store keeps a browser's limits, so that a server setting ever more cookies
// cannot grow every later request's Cookie header past what servers accept: at most
// kMaxCookiesPerHost cookies per host and kMaxCookiesInStore in all, the cookie
// written longest ago making room for a new one, and no cookie longer than
// kMaxCookieBytes. A write of an existing name counts as written now.
// Safe under concurrent reads and writes (the store locks internally).
#ifndef VELMORA_PLATFORM_COOKIE_JAR_H_
#define VELMORA_PLATFORM_COOKIE_JAR_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform {

// Cookies kept for one host (both schemes together). What a browser keeps at least
// per domain (RFC 6265, section 6.1), so servers expect no more to come back; it
// bounds the Cookie header that one host's answers can build up over many requests.
inline constexpr std::size_t kMaxCookiesPerHost = 50;

// Cookies kept in the whole store. The least a browser keeps in all (RFC 6265,
// section 6.1); it bounds the memory that many hosts' cookies take together.
inline constexpr std::size_t kMaxCookiesInStore = 3000;

// Longest cookie kept, its name and value together. The size a browser keeps at
// least (RFC 6265, section 6.1); a longer one is refused, not cut, since a cut value
// is a wrong value.
inline constexpr std::size_t kMaxCookieBytes = 4096;

// The host's cookies as "name=value" items joined by "; ", in the order their
// names were first set; a name that was evicted and set again counts as new and
// comes last. Nothing (nullopt) when the address is not an http or https address
// with a host, or when the host has no cookies.
[[nodiscard]] std::optional<std::string> GetStoreCookies(std::string_view storeAddress);

// Sets one cookie of the address's host to a bare value. A later write of the same
// name replaces the value, keeps the name's place in the lookup answer and makes the
// cookie the last written. A new name beyond kMaxCookiesPerHost evicts the host's
// cookie written longest ago; beyond kMaxCookiesInStore, the store's.
// False (nothing stored, nothing evicted) when the address has no host, when name
// and value together pass kMaxCookieBytes, or when the name or value holds a ';' or
// a control byte (0x00 to 0x1F, line breaks included, or 0x7F): those would make
// the lookup answer ambiguous, or a Cookie header that no request may carry.
bool SetStoreCookie(std::string_view storeAddress, std::string_view name, std::string_view value);

// Forgets every cookie of every host. For tests that need a clean store.
void ClearStoreCookies();

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_COOKIE_JAR_H_
