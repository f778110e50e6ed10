// Turning a UTF-8 response body into a code page 936 text.
#ifndef VELMORA_TEXT_DECODE_H_
#define VELMORA_TEXT_DECODE_H_

#include "text/text.h"

namespace velmora {

// UTF-16 code units (little-endian, 2 bytes each, no terminator) of a UTF-8 buffer.
// Malformed sequences become U+FFFD; never fails; "" gives the empty buffer.
[[nodiscard]] Bytes Utf8ToUtf16Units(const Bytes& utf8);

// Code page 936 text of UTF-16 units: a base character followed by combining marks
// is composed where a precomposed character exists; a character the code page lacks
// becomes '?'. The result ends before the first zero byte.
[[nodiscard]] Text Utf16UnitsToAnsi(const Bytes& utf16);

// Both steps: never fails, no byte-order mark is recognised, a zero byte in the
// input ends the text there.
[[nodiscard]] Text DecodeUtf8ToAnsi(const Bytes& utf8);

}  // namespace velmora

#endif  // VELMORA_TEXT_DECODE_H_
