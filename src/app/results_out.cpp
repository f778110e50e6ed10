#include "app/results_out.h"

#include <string_view>

#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "table/display_text.h"
#include "table/url_table.h"
#include "table/url_table_model.h"
#include "text/csv.h"

namespace velmora {
namespace {

// The column titles; they head the clipboard text and the CSV.
constexpr std::string_view kUrlTitleUtf8 = "URL地址";
constexpr std::string_view kSummaryTitleUtf8 = "返回关键词";

// Rows are laid out in code page 936 and converted a piece of about this size at a
// time: converting each cell alone opens a converter per cell, which made an export
// of a million rows take seconds; and exporting in pieces costs no second copy of
// the table's text in memory.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// Every byte the layout adds (comma, quote, apostrophe, tab, CR, LF) is ASCII and
// none of them is a trail byte of a two-byte character, so laying out the code page
// 936 bytes and converting the result equals converting each cell first: the
// conversion maps each character on its own.
enum class Layout { kCsv, kClipboard };

void AppendRow(Text& out, const UrlTableModel& model, int row, Layout layout) {
  const Text url = model.Cell(row, kUrlColumn);
  const Text summary = model.Cell(row, kSummaryColumn);
  if (layout == Layout::kCsv) {
    AppendCsvRecord(out, {url, summary}, FormulaGuard::kApostrophe);
    return;
  }
  out += url;
  out += '\t';
  out += summary;
  out += "\r\n";
}

// Lays out the rows from `row` on until about kChunkBytes are in `out`; returns the
// row to go on with.
int AppendRows(Text& out, const UrlTableModel& model, int row, Layout layout) {
  for (; row < model.Rows() && out.size() < kChunkBytes; ++row) AppendRow(out, model, row, layout);
  return row;
}

}  // namespace

QString RowClipboardText(const UrlTableModel& model, int row) {
  if (row < 0 || row >= model.Rows()) return {};
  return ToDisplayText(model.Cell(row, kUrlColumn)) + QChar('\t') +
         ToDisplayText(model.Cell(row, kSummaryColumn));
}

QString TableClipboardText(const UrlTableModel& model) {
  QString text =
      QString::fromUtf8(kUrlTitleUtf8.data(), static_cast<qsizetype>(kUrlTitleUtf8.size()));
  text += QChar('\t');
  text +=
      QString::fromUtf8(kSummaryTitleUtf8.data(), static_cast<qsizetype>(kSummaryTitleUtf8.size()));
  text += QStringLiteral("\r\n");
  Text chunk;
  for (int row = 0; row < model.Rows();) {
    chunk.clear();
    row = AppendRows(chunk, model, row, Layout::kClipboard);
    text += ToDisplayText(chunk);
  }
  return text;
}

std::string TableCsv(const UrlTableModel& model) {
  std::string csv;
  // Appending to memory cannot fail.
  (void)ExportTableCsv(model, [&csv](std::string_view bytes) {
    csv += bytes;
    return true;
  });
  return csv;
}

std::string ExportTableCsv(const UrlTableModel& model,
                           const std::function<bool(std::string_view bytes)>& write) {
  std::string head = kUtf8Bom;
  AppendCsvRecord(head, {kUrlTitleUtf8, kSummaryTitleUtf8}, FormulaGuard::kApostrophe);
  if (!write(head)) return "write failed";
  Text chunk;
  for (int row = 0; row < model.Rows();) {
    chunk.clear();
    row = AppendRows(chunk, model, row, Layout::kCsv);
    const std::string utf8 = platform::Cp936ToUtf8(chunk);
    if (utf8.empty()) return "cannot convert the table's text to UTF-8";
    if (!write(utf8)) return "write failed";
  }
  return {};
}

std::string ExportTableCsv(const UrlTableModel& model, const std::string& path) {
  platform::AtomicFile file(path);
  if (!file.ok()) return file.error();
  const std::string failure =
      ExportTableCsv(model, [&file](std::string_view bytes) { return file.Write(bytes); });
  if (!file.ok()) return file.error();
  if (!failure.empty()) return failure;
  if (!file.Commit()) return file.error();
  return {};
}

std::vector<int> RowsWithoutSummary(const UrlTableModel& model) {
  std::vector<int> rows;
  for (int row = 0; row < model.Rows(); ++row) {
    if (model.Cell(row, kSummaryColumn).empty()) rows.push_back(row);
  }
  return rows;
}

}  // namespace velmora
