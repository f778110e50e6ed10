// Filling the URL table from the `loc` elements of a sitemap fetched over HTTP.
#ifndef VELMORA_IMPORT_SITEMAP_H_
#define VELMORA_IMPORT_SITEMAP_H_

#include "text/text.h"

namespace velmora {

// Click handler of 按钮2: asks for the address, fetches, extracts, reports the
// count. Main thread only.
void ImportSitemap();

// Clears the table and appends the content of every `loc` element in document
// order; returns the number of rows inserted (0 on failure).
int ExtractLocations(const Text& sitemapText);

}  // namespace velmora

#endif  // VELMORA_IMPORT_SITEMAP_H_
