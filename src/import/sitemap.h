// Filling the URL table from the `loc` elements of a sitemap fetched over HTTP.
#ifndef VELMORA_IMPORT_SITEMAP_H_
#define VELMORA_IMPORT_SITEMAP_H_

#include "text/text.h"

namespace velmora {

// Click handler of 按钮2. Main thread only; blocks it during the fetch and search.
//
// Asks for the address in a modal input dialog ("请输入网址"); a cancelled or closed
// dialog leaves the address empty and the steps go on. Fetches the whole body with
// one GET (empty on any failure), takes its bytes before the first zero byte as the
// sitemap text (no character set conversion), runs ExtractLocations, then always
// shows the count box ("成功匹配:" count "条", caption "信息：", no icon), after any
// box that ExtractLocations showed.
void ImportSitemap();

// Clears the table before anything can fail, then appends the content of every
// `loc` element (tags in any letter case) in document order, unchanged: blanks,
// line breaks and entities stay, an empty element gives an empty row, a start tag
// never closed runs to the next end tag. No XML is parsed. Replaces the search
// results whenever the pattern was prepared, also with an empty list. Shows an
// error box (caption "信息：") when the pattern cannot be prepared or nothing
// matched. Returns the number of rows inserted; 0 on either failure.
int ExtractLocations(const Text& sitemapText);

}  // namespace velmora

#endif  // VELMORA_IMPORT_SITEMAP_H_
