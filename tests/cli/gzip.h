// Gzip members made at test time, for the sitemap tests of the command-line program.
#ifndef VELMORA_TESTS_CLI_GZIP_H_
#define VELMORA_TESTS_CLI_GZIP_H_

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <string_view>

namespace velmora::test {

// `data` as one gzip member (level 6; `strategy` as zlib's deflateInit2 takes it).
[[nodiscard]] inline std::string Gzip(std::string_view data, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, strategy), Z_OK);
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

}  // namespace velmora::test

#endif  // VELMORA_TESTS_CLI_GZIP_H_
