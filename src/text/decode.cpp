#include "text/decode.h"

#include <cstring>
#include <limits>
#include <memory>

#include "platform/codepage.h"

namespace velmora {
namespace {

// The platform's conversion functions count in 32-bit integers.
constexpr size_t kMaxConversionLength = static_cast<size_t>(std::numeric_limits<int>::max());

struct Units {
  std::unique_ptr<char16_t[]> data;
  int count = 0;
};

// Measures, then converts into a buffer of exactly the measured size. Malformed UTF-8
// becomes U+FFFD; any failure gives no units.
Units ToUtf16(const char* utf8, size_t length) {
  Units units;
  if (length == 0 || length > kMaxConversionLength) return units;
  const int n = static_cast<int>(length);
  const int w = platform::Utf8ToUtf16(utf8, n, nullptr, 0);
  if (w <= 0) return units;
  units.data.reset(new char16_t[static_cast<size_t>(w)]);
  units.count = platform::Utf8ToUtf16(utf8, n, units.data.get(), w);
  return units;
}

// Measures, then converts into a text of exactly the measured size, cut before the
// first zero byte.
Text ToAnsi(const char16_t* units, int count) {
  if (count <= 0) return {};
  const int k = platform::Utf16ToCp936(units, count, nullptr, 0, platform::Compose::kYes);
  if (k <= 0) return {};
  Text out(static_cast<size_t>(k), '\0');
  const int written = platform::Utf16ToCp936(units, count, out.data(), k, platform::Compose::kYes);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  if (const size_t zero = out.find('\0'); zero != Text::npos) out.resize(zero);
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
  const Units units = ToUtf16(reinterpret_cast<const char*>(utf8.data()), length);
  return ToAnsi(units.data.get(), units.count);
}

}  // namespace velmora
