// The sitemap location rule, applied to a document as it arrives: the content of
// every `loc` element in document order, tags in any letter case, content unchanged,
// an unclosed start tag running to the next end tag, and the text ending at its
// first zero byte. These are exactly the rows the window's import takes from the
// same text with its pattern "<loc>([\s\S]*?)</loc>" (ignoring case), with memory
// bounded by the longest location rather than by the document. A body that begins
// with the gzip magic bytes is decompressed first, capped in output.
#ifndef VELMORA_CLI_SITEMAP_STREAM_H_
#define VELMORA_CLI_SITEMAP_STREAM_H_

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velmora::cli {

// Decompressed bytes kept at most (1 GiB): a gzip bomb ends there.
inline constexpr std::int64_t kMaxInflatedBytes = std::int64_t{1} << 30;
// A location longer than this is dropped instead of being collected: libcurl refuses
// longer addresses anyway (its 8 MB input limit), and an unclosed tag before a huge
// body must not make memory follow the document.
inline constexpr std::size_t kMaxLocationBytes = 8'000'000;

using LocationSink = std::function<void(std::string location)>;

// Finds the `loc` elements of a text fed in pieces.
class LocationScanner {
 public:
  explicit LocationScanner(LocationSink sink) : sink_(std::move(sink)) {}

  // Takes the next piece. False once the text has ended at a zero byte.
  bool Feed(std::string_view piece);

  // Whether the document is a sitemap index: a "<sitemapindex" tag (any case) came
  // before the first location.
  [[nodiscard]] bool IsIndex() const { return isIndex_; }
  [[nodiscard]] std::int64_t Found() const { return found_; }
  // Locations dropped for being longer than kMaxLocationBytes.
  [[nodiscard]] std::int64_t Dropped() const { return dropped_; }

 private:
  LocationSink sink_;
  bool inside_ = false;      // between a start tag and its end tag
  std::size_t matched_ = 0;  // bytes of the tag being looked for matched so far
  std::size_t indexMatched_ = 0;
  bool isIndex_ = false;
  bool ended_ = false;
  bool overlong_ = false;
  std::string location_;
  std::int64_t found_ = 0;
  std::int64_t dropped_ = 0;
};

// Passes a body on unchanged, or decompressed when its first two bytes are the gzip
// magic (several gzip members in a row are all decompressed). Output stops after
// kMaxInflatedBytes, and at the first corrupt byte.
class GzipSniffer {
 public:
  using Sink = std::function<bool(std::string_view piece)>;
  explicit GzipSniffer(Sink sink);
  ~GzipSniffer();
  GzipSniffer(const GzipSniffer&) = delete;
  GzipSniffer& operator=(const GzipSniffer&) = delete;

  // False when the sink asked to stop, the output cap was reached or the data is
  // corrupt: the caller stops feeding.
  bool Feed(std::string_view piece);
  // The body ended: a body of a single byte is passed on as it is.
  bool Finish();

  [[nodiscard]] bool Compressed() const { return mode_ == Mode::kGzip; }
  [[nodiscard]] bool Capped() const { return capped_; }
  [[nodiscard]] bool Corrupt() const { return corrupt_; }

 private:
  enum class Mode { kUnknown, kPlain, kGzip };
  bool Begin(bool gzip);
  bool Inflate(std::string_view piece);

  Sink sink_;
  Mode mode_ = Mode::kUnknown;
  char head_ = 0;  // the first byte, while the second is still to come
  bool haveHead_ = false;
  z_stream zs_{};
  bool zsOpen_ = false;
  bool capped_ = false;
  bool corrupt_ = false;
  std::int64_t inflated_ = 0;
  std::unique_ptr<unsigned char[]> out_;
};

}  // namespace velmora::cli

#endif  // VELMORA_CLI_SITEMAP_STREAM_H_
