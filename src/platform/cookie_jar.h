// The in-process cookie store that stands in for the system's per-user store: one
// store shared by every thread of the process, kept for the life of the process.
//
// Store addresses are "http://host" or "https://host" (scheme letters in any case,
// an optional ":port" and path ignored); both schemes reach the same cookies of the
// host. Host names are compared without regard to ASCII case; cookie names and
// values are kept exactly as given, leading blanks included, and compared exactly.
// Safe under concurrent reads and writes (the store locks internally).
#ifndef VELMORA_PLATFORM_COOKIE_JAR_H_
#define VELMORA_PLATFORM_COOKIE_JAR_H_

#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform {

// The host's cookies as "name=value" items joined by "; ", in the order their
// names were first set. Nothing (nullopt) when the address is not an http or https
// address with a host, or when the host has no cookies.
[[nodiscard]] std::optional<std::string> GetStoreCookies(std::string_view storeAddress);

// Sets one cookie of the address's host to a bare value; a later write of the same
// name replaces the value and keeps the name's place. False (nothing stored) when
// the address has no host or the name or value holds a ';' or a line break, which
// would make the lookup answer ambiguous.
bool SetStoreCookie(std::string_view storeAddress, std::string_view name, std::string_view value);

// Forgets every cookie of every host. For tests that need a clean store.
void ClearStoreCookies();

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_COOKIE_JAR_H_
