#include "text/decode.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

#include "platform/codepage.h"

namespace velmora {
namespace {

// The platform's conversion functions count in 32-bit integers.
constexpr size_t kMaxConversionLength = static_cast<size_t>(std::numeric_limits<int>::max());

struct Units {
  std::unique_ptr<char16_t[]> data;
  int count = 0;
};

// Converts into a buffer of one unit per input byte, always room enough (a four-byte
// character gives two units). Malformed UTF-8 becomes U+FFFD; any failure gives no
// units.
Units ToUtf16(const char* utf8, size_t length) {
  Units units;
  if (length == 0 || length > kMaxConversionLength) return units;
  const int n = static_cast<int>(length);
  units.data.reset(new char16_t[length]);
  units.count = platform::Utf8ToUtf16(utf8, n, units.data.get(), n);
  return units;
}

// Converts into a text of two bytes per unit, always room enough, cut to what was
// written and before the first zero byte.
Text ToAnsi(const char16_t* units, int count) {
  if (count <= 0) return {};
  const size_t bound = std::min(2 * static_cast<size_t>(count), kMaxConversionLength);
  Text out(bound, '\0');
  const int written = platform::Utf16ToCp936(units, count, out.data(), static_cast<int>(bound),
                                             platform::Compose::kYes);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  if (const size_t zero = out.find('\0'); zero != Text::npos) out.resize(zero);
  out.shrink_to_fit();
  return out;
}

}  // namespace

Bytes Utf8ToUtf16Units(const Bytes& utf8) {
  const Units units = ToUtf16(reinterpret_cast<const char*>(utf8.data()), utf8.size());
  Bytes out(static_cast<size_t>(units.count) * 2);
  for (int i = 0; i < units.count; ++i) {
    const char16_t unit = units.data[static_cast<size_t>(i)];
    out[2 * static_cast<size_t>(i)] = static_cast<unsigned char>(unit & 0xFF);
    out[2 * static_cast<size_t>(i) + 1] = static_cast<unsigned char>(unit >> 8);
  }
  return out;
}

Text Utf16UnitsToAnsi(const Bytes& utf16) {
  // A trailing odd byte is not a unit.
  const size_t count = utf16.size() / 2;
  if (count == 0 || count > kMaxConversionLength) return {};
  std::unique_ptr<char16_t[]> units(new char16_t[count]);
  for (size_t i = 0; i < count; ++i) {
    units[i] = static_cast<char16_t>(utf16[2 * i] | (utf16[2 * i + 1] << 8));
  }
  return ToAnsi(units.get(), static_cast<int>(count));
}

Text DecodeUtf8ToAnsi(const Bytes& utf8) {
  // A zero byte becomes a zero unit and then a zero byte that ends the text, and it
  // never belongs to a longer UTF-8 sequence, so nothing after it can show: skip it.
  size_t length = utf8.size();
  if (length == 0) return {};
  if (const void* zero = std::memchr(utf8.data(), 0, length)) {
    length = static_cast<size_t>(static_cast<const unsigned char*>(zero) - utf8.data());
  }
  // One pass straight to the code page; the text cannot hold a zero byte, and the input
  // before `length` has none to give one.
  return platform::Utf8ToCp936(std::string_view(reinterpret_cast<const char*>(utf8.data()), length),
                               platform::Compose::kYes);
}

}  // namespace velmora
