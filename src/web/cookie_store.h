// Carrying cookie strings to and from the process's cookie store.
#ifndef VELMORA_WEB_COOKIE_STORE_H_
#define VELMORA_WEB_COOKIE_STORE_H_

#include "text/text.h"

namespace velmora {

// The store address of `url`: "https://" when its first eight bytes, ASCII case
// folded, are "https://", else "http://" (a bare host included), followed by its
// lower-cased host without port (host extraction, not shortened).
[[nodiscard]] Text StoreAddressOf(const Text& url);

// With an empty `cookieName`, the whole cookie string the store holds for `url`'s
// store address ("a=1; b=2"), read whole whatever its length. Otherwise the value
// of the first match of `cookieName` anywhere in that string, ignoring ASCII case
// (inside a longer name or a value too): the text after the name and the one
// character following it, up to the next ";" or the end. "" when the store has
// nothing for the address, the name is not found, or nothing follows it.
[[nodiscard]] Text ReadStoreCookies(const Text& url, const Text& cookieName);

// Writes each item of `cookies` holding "=" to the store under `url`'s store
// address: the name is the text before its first "=", the value all after it,
// both untrimmed (so "a=1; b=2" sets "a" and " b"). Items without "=" are skipped;
// a write the store refuses is skipped and the rest still go.
void WriteStoreCookies(const Text& url, const Text& cookies);

}  // namespace velmora

#endif  // VELMORA_WEB_COOKIE_STORE_H_
