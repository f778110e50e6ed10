// The two imports as the window runs them: the URL table filled from what
// src/import found, and the sitemap import's input dialog and message boxes.
// Main thread only.
#ifndef VELMORA_APP_IMPORTS_H_
#define VELMORA_APP_IMPORTS_H_

#include "text/text.h"

namespace velmora {

// Handler of the drop target's files-dropped event. Empties the table first,
// whatever follows, and sets the count label to "0"; then appends one row per line
// of the file (ReadDroppedFileLines: a name that opens no regular file gives none),
// in file order, a piece of the file at a time. A read that fails midway leaves the
// table empty. Reports nothing.
void ImportDroppedFile(const Text& fileName);

// Click handler of 按钮2; blocks the main thread during the fetch and search.
//
// Asks for the address in a modal input dialog ("请输入网址"); a cancelled or closed
// dialog leaves the address empty and the steps go on. Fetches the sitemap text
// (FetchSitemapText), runs ExtractLocations, then always shows the count box
// ("成功匹配:" count "条", caption "信息：", no icon), after any box that
// ExtractLocations showed.
void ImportSitemap();

// Clears the table before anything can fail, then appends every location that
// FindLocations finds, in document order. Replaces the search results whenever the
// pattern was prepared, also with an empty list. Shows an error box (caption
// "信息：") when the pattern cannot be prepared or nothing matched. Returns the
// number of rows inserted; 0 on either failure.
int ExtractLocations(const Text& sitemapText);

}  // namespace velmora

#endif  // VELMORA_APP_IMPORTS_H_
