// What takes the results out of the window: the clipboard texts of one row and of
// the whole table, the CSV export, and the rows still waiting for a summary.
//
// Cells are code page 936 texts; they leave as Unicode (the clipboard) or UTF-8
// (the CSV) through the display conversion, so every cell that the code page can
// hold comes back byte for byte when converted back. Main thread only.
#ifndef VELMORA_APP_RESULTS_OUT_H_
#define VELMORA_APP_RESULTS_OUT_H_

#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text/csv.h"

namespace velmora {

class UrlTableModel;

// Row `row` as "address TAB summary", without a line end; "" for a row that does
// not exist.
[[nodiscard]] QString RowClipboardText(const UrlTableModel& model, int row);

// The column titles, then every row, each line "address TAB summary" ended by
// CR LF, so that a spreadsheet pastes two columns. An empty table gives the title
// line alone.
[[nodiscard]] QString TableClipboardText(const UrlTableModel& model);

// The whole table as a CSV file's bytes: kUtf8Bom (text/csv.h), the title record, then one
// record per row, CR LF after each, RFC 4180 quoting, and an apostrophe before
// every field that a spreadsheet would take for a formula.
[[nodiscard]] std::string TableCsv(const UrlTableModel& model);

// Hands TableCsv(model) to `write` in pieces, in order, converting one piece at a
// time. "" once all went, else what failed ("write failed" when `write` returned
// false; the rest is not laid out).
[[nodiscard]] std::string ExportTableCsv(const UrlTableModel& model,
                                         const std::function<bool(std::string_view bytes)>& write);

// Writes TableCsv(model) to `path` (file-system encoding) whole or not at all: a
// failed write leaves the file that was there untouched. "" on success, else what
// failed, e.g. "cannot create a file in /ro: Permission denied".
[[nodiscard]] std::string ExportTableCsv(const UrlTableModel& model, const std::string& path);

// The rows whose summary is empty, in table order; empty when every row has one.
[[nodiscard]] std::vector<int> RowsWithoutSummary(const UrlTableModel& model);

}  // namespace velmora

#endif  // VELMORA_APP_RESULTS_OUT_H_
