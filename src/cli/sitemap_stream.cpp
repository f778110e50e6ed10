#include "cli/sitemap_stream.h"

#include <cstring>

#include "platform/ascii.h"

namespace velmora::cli {
namespace {

constexpr std::string_view kStartTag = "<loc>";
constexpr std::string_view kEndTag = "</loc>";
constexpr std::string_view kIndexTag = "<sitemapindex";
// Inflated bytes handed on at a time.
constexpr std::size_t kInflateChunk = 256 * 1024;

// One step of the search for `tag` (lower case, its first byte '<' found nowhere
// else in it, so a failed partial match can only restart at the current byte).
// Returns true when the tag is complete.
bool StepTag(std::string_view tag, std::size_t& matched, char c) {
  const char l = platform::AsciiToLower(c);
  if (l == tag[matched]) {
    if (++matched == tag.size()) {
      matched = 0;
      return true;
    }
    return false;
  }
  matched = (l == tag[0]) ? 1 : 0;
  return false;
}

}  // namespace

bool LocationScanner::Feed(std::string_view piece) {
  if (ended_) return false;
  if (piece.empty()) return true;
  if (const void* zero = std::memchr(piece.data(), 0, piece.size())) {
    piece =
        piece.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - piece.data()));
    ended_ = true;
  }
  std::size_t i = 0;
  const std::size_t n = piece.size();
  while (i < n) {
    if (!inside_) {
      const bool lookForIndex = found_ == 0 && !isIndex_;
      if (matched_ == 0 && (!lookForIndex || indexMatched_ == 0)) {
        // Skip to the next '<' at once; nothing else can begin a tag.
        const void* lt = std::memchr(piece.data() + i, '<', n - i);
        if (lt == nullptr) break;
        i = static_cast<std::size_t>(static_cast<const char*>(lt) - piece.data());
      }
      const char c = piece[i++];
      if (lookForIndex && StepTag(kIndexTag, indexMatched_, c)) isIndex_ = true;
      if (StepTag(kStartTag, matched_, c)) {
        inside_ = true;
        location_.clear();
        overlong_ = false;
      }
      continue;
    }
    // Inside: copy up to the next '<' in one go, then look for the end tag.
    if (matched_ == 0) {
      const void* lt = std::memchr(piece.data() + i, '<', n - i);
      const std::size_t stop =
          lt == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(lt) - piece.data());
      if (!overlong_) location_.append(piece.substr(i, stop - i));
      i = stop;
      if (lt == nullptr) break;
    }
    const char c = piece[i++];
    if (!overlong_) location_.push_back(c);
    if (StepTag(kEndTag, matched_, c)) {
      inside_ = false;
      ++found_;
      if (overlong_) {
        ++dropped_;
      } else {
        location_.resize(location_.size() - kEndTag.size());
        sink_(std::move(location_));
      }
      location_.clear();
      continue;
    }
    if (!overlong_ && location_.size() > kMaxLocationBytes + kEndTag.size()) {
      overlong_ = true;
      location_.clear();
      location_.shrink_to_fit();
    }
  }
  // An overlong location is also checked after a bulk copy.
  if (inside_ && !overlong_ && location_.size() > kMaxLocationBytes + kEndTag.size()) {
    overlong_ = true;
    location_.clear();
    location_.shrink_to_fit();
  }
  return !ended_;
}

GzipSniffer::GzipSniffer(Sink sink) : sink_(std::move(sink)) {}

GzipSniffer::~GzipSniffer() {
  if (zsOpen_) inflateEnd(&zs_);
}

bool GzipSniffer::Begin(bool gzip) {
  if (!gzip) {
    mode_ = Mode::kPlain;
    return true;
  }
  mode_ = Mode::kGzip;
  // 16 + MAX_WBITS: a gzip wrapper, not zlib's own.
  if (inflateInit2(&zs_, 16 + MAX_WBITS) != Z_OK) {
    corrupt_ = true;
    return false;
  }
  zsOpen_ = true;
  out_ = std::make_unique<unsigned char[]>(kInflateChunk);
  return true;
}

bool GzipSniffer::Feed(std::string_view piece) {
  if (piece.empty()) return true;
  switch (mode_) {
    case Mode::kPlain:
      return sink_(piece);
    case Mode::kGzip:
      return Inflate(piece);
    case Mode::kUnknown:
      break;
  }
  if (!haveHead_ && piece.size() == 1) {
    head_ = piece[0];
    haveHead_ = true;
    return true;
  }
  const auto first = static_cast<unsigned char>(haveHead_ ? head_ : piece[0]);
  const auto second = static_cast<unsigned char>(haveHead_ ? piece[0] : piece[1]);
  if (!Begin(first == 0x1f && second == 0x8b)) return false;
  if (haveHead_) {
    haveHead_ = false;
    if (!Feed(std::string_view(&head_, 1))) return false;
  }
  return Feed(piece);
}

bool GzipSniffer::Finish() {
  if (mode_ == Mode::kUnknown && haveHead_) {
    mode_ = Mode::kPlain;
    haveHead_ = false;
    return sink_(std::string_view(&head_, 1));
  }
  return true;
}

bool GzipSniffer::Inflate(std::string_view piece) {
  if (corrupt_ || capped_) return false;
  zs_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
  zs_.avail_in = static_cast<uInt>(piece.size());
  while (zs_.avail_in > 0) {
    zs_.next_out = out_.get();
    zs_.avail_out = static_cast<uInt>(kInflateChunk);
    const int rc = inflate(&zs_, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      corrupt_ = true;
      return false;
    }
    auto produced = static_cast<std::int64_t>(kInflateChunk - zs_.avail_out);
    if (inflated_ + produced > kMaxInflatedBytes) {
      produced = kMaxInflatedBytes - inflated_;
      capped_ = true;
    }
    inflated_ += produced;
    if (produced > 0 && !sink_(std::string_view(reinterpret_cast<char*>(out_.get()),
                                                static_cast<std::size_t>(produced)))) {
      return false;
    }
    if (capped_) return false;
    if (rc == Z_STREAM_END) {
      // Another member may follow; anything else after the end is not gzip.
      if (zs_.avail_in == 0) break;
      if (inflateReset(&zs_) != Z_OK) {
        corrupt_ = true;
        return false;
      }
    } else if (rc == Z_BUF_ERROR && zs_.avail_out != 0) {
      break;  // needs more input
    }
  }
  return true;
}

}  // namespace velmora::cli
