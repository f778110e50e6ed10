#include "cli/sitemap_source.h"

#include <optional>
#include <set>
#include <vector>

#include "cli/sitemap_stream.h"
#include "platform/http_get.h"

namespace velmora::cli {
namespace {

class Reader {
 public:
  Reader(ExpandIndex expand, const AddressConsumer& consume, const Warning& warn)
      : expand_(expand), consume_(consume), warn_(warn) {}

  void Read(const std::string& url, int depth) {
    if (totals_.stopped) return;
    if (!visited_.insert(url).second) {
      warn_(url + ": already read, left out");
      return;
    }
    if (totals_.sitemaps >= kMaxSitemaps) {
      warn_(url + ": more than " + std::to_string(kMaxSitemaps) + " sitemaps, left out");
      return;
    }
    ++totals_.sitemaps;
    std::vector<std::string> children;
    std::optional<bool> expanding;  // decided at the first location
    LocationScanner scanner([&](std::string location) {
      if (!expanding) expanding = expand_ == ExpandIndex::kYes && scanner.IsIndex();
      if (*expanding) {
        children.push_back(std::move(location));
        return;
      }
      ++totals_.addresses;
      if (!consume_(std::move(location))) totals_.stopped = true;
    });
    GzipSniffer body(
        [&](std::string_view piece) { return scanner.Feed(piece) && !totals_.stopped; });
    bool fed = true;
    const platform::StreamResult result = platform::HttpGetStream(url, [&](std::string_view piece) {
      fed = body.Feed(piece);
      return fed;
    });
    if (fed && !totals_.stopped) body.Finish();
    if (result.end == platform::StreamEnd::kNoAnswer && depth == 0) {
      totals_.failure = url + ": " + result.error;
    } else if (result.end == platform::StreamEnd::kNoAnswer ||
               result.end == platform::StreamEnd::kBrokenOff) {
      warn_(url + ": " + result.error);
    }
    if (body.Capped()) warn_(url + ": more than 1 GiB once decompressed, the rest left out");
    if (body.Corrupt()) warn_(url + ": corrupt gzip data, the rest left out");
    if (scanner.Dropped() > 0) {
      warn_(url + ": " + std::to_string(scanner.Dropped()) + " locations longer than " +
            std::to_string(kMaxLocationBytes) + " bytes left out");
    }
    if (children.empty()) return;
    if (depth >= kMaxIndexDepth) {
      warn_(url + ": index nested deeper than " + std::to_string(kMaxIndexDepth) +
            " levels, its sitemaps left out");
      return;
    }
    for (const std::string& child : children) {
      if (totals_.stopped) return;
      Read(child, depth + 1);
    }
  }

  SitemapTotals totals_;

 private:
  ExpandIndex expand_;
  const AddressConsumer& consume_;
  const Warning& warn_;
  std::set<std::string> visited_;
};

}  // namespace

SitemapTotals ReadSitemap(const std::string& url, ExpandIndex expand,
                          const AddressConsumer& consume, const Warning& warn) {
  Reader reader(expand, consume, warn);
  reader.Read(url, 0);
  return reader.totals_;
}

}  // namespace velmora::cli
