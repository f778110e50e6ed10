// The addresses of a sitemap on the web, read as the document arrives, and with
// --expand-index those of the sitemaps a sitemap index lists.
#ifndef VELMORA_CLI_SITEMAP_SOURCE_H_
#define VELMORA_CLI_SITEMAP_SOURCE_H_

#include <cstdint>
#include <functional>
#include <string>

namespace velmora::cli {

// Nesting of sitemap indexes followed at most (the top document is depth 0).
inline constexpr int kMaxIndexDepth = 5;
// Sitemaps fetched at most in one run: a site's index can list tens of thousands,
// and a server generating indexes must not keep a run going for ever.
inline constexpr int kMaxSitemaps = 1000;

enum class ExpandIndex { kNo, kYes };

struct SitemapTotals {
  std::int64_t addresses = 0;  // handed to the sink
  int sitemaps = 0;            // documents fetched
  bool stopped = false;        // the sink asked to stop
  // Why the top sitemap gave no answer at all ("" when it did); not warned about, so
  // the caller can say it in its one line.
  std::string failure;
};

// Receives each address; false stops the reading.
using AddressConsumer = std::function<bool(std::string address)>;
// Receives one line about a sitemap that could not be read or was left out.
using Warning = std::function<void(const std::string& message)>;

// Fetches `url` with the window's sitemap GET, streamed, and hands on the content of
// every `loc` element in order (a gzip body decompressed). With ExpandIndex::kYes a
// sitemap index's locations are fetched in turn as sitemaps instead (depth first, in
// document order), each address once (a loop ends), within kMaxIndexDepth and
// kMaxSitemaps; without it an index gives its child addresses as rows, as the
// window's import does.
SitemapTotals ReadSitemap(const std::string& url, ExpandIndex expand,
                          const AddressConsumer& consume, const Warning& warn);

}  // namespace velmora::cli

#endif  // VELMORA_CLI_SITEMAP_SOURCE_H_
