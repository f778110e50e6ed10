// Merging two cookie strings ("a=1; b=2;") into the normal form.
#ifndef VELMORA_WEB_COOKIES_H_
#define VELMORA_WEB_COOKIES_H_

#include "text/text.h"

namespace velmora {

// Merges `update` into `base` and returns the merged string, which `base` also
// holds afterwards. `update` comes back trimmed with ";" appended when it was
// non-empty and its last character was not ";" (a text ending in the bytes B0 3B
// ends in a two-byte character, so it gets one).
//
// Each update item holding "=" overwrites what its name (the text before its "=",
// untrimmed, so a leading blank is part of it) first matches anywhere in `base`,
// ignoring ASCII case, even inside a longer name or a value; every occurrence of
// that old segment is replaced by the whole item. An unmatched item is appended;
// items without "=" are ignored. The rebuild drops members whose last character is
// "=" or whose last eight bytes are "=deleted" (tested before trimming), trims the
// rest and joins them with "; ", ending in ";". Two empty strings give "" and leave
// both empty.
Text MergeCookies(Text& base, Text& update);

}  // namespace velmora

#endif  // VELMORA_WEB_COOKIES_H_
