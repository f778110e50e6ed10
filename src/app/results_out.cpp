#include "app/results_out.h"

#include <string_view>

#include "platform/atomic_file.h"
#include "table/bulk_display_text.h"
#include "table/display_text.h"
#include "table/url_table.h"
#include "table/url_table_model.h"
#include "text/csv.h"

namespace velmora {
namespace {

// The CSV goes out in pieces of about this size, so that exporting costs no second
// copy of the table's text in memory; large enough that the writes cost nothing.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

void AppendCsvRow(std::string& out, const UrlTableModel& model, int row, std::string& url,
                  std::string& summary) {
  url.clear();
  summary.clear();
  AppendDisplayUtf8(url, model.Cell(row, kUrlColumn));
  AppendDisplayUtf8(summary, model.Cell(row, kSummaryColumn));
  AppendCsvRecord(out, {url, summary}, FormulaGuard::kApostrophe);
}

}  // namespace

QString RowClipboardText(const UrlTableModel& model, int row) {
  if (row < 0 || row >= model.Rows()) return {};
  return ToDisplayText(model.Cell(row, kUrlColumn)) + QChar('\t') +
         ToDisplayText(model.Cell(row, kSummaryColumn));
}

QString TableClipboardText(const UrlTableModel& model) {
  std::u16string text = (QString::fromUtf8(kUrlColumnTitle) + QChar('\t') +
                         QString::fromUtf8(kSummaryColumnTitle) + QStringLiteral("\r\n"))
                            .toStdU16String();
  for (int row = 0; row < model.Rows(); ++row) {
    AppendDisplayUtf16(text, model.Cell(row, kUrlColumn));
    text += u'\t';
    AppendDisplayUtf16(text, model.Cell(row, kSummaryColumn));
    text += u"\r\n";
  }
  return QString::fromStdU16String(text);
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
  std::string chunk(kUtf8Bom);
  AppendCsvRecord(chunk, {kUrlColumnTitle, kSummaryColumnTitle}, FormulaGuard::kApostrophe);
  std::string url;
  std::string summary;
  for (int row = 0; row < model.Rows(); ++row) {
    AppendCsvRow(chunk, model, row, url, summary);
    if (chunk.size() < kChunkBytes) continue;
    if (!write(chunk)) return "write failed";
    chunk.clear();
  }
  if (!write(chunk)) return "write failed";
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
