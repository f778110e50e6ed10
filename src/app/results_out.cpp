#include "app/results_out.h"

#include <algorithm>
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

// The CSV goes to the file in pieces of about this size, so that exporting a table
// costs no second copy of its text in memory; large enough that the writes
// themselves cost nothing.
constexpr std::size_t kCsvChunkBytes = std::size_t{1} << 20;

const QString& LineEnd() {
  static const QString crlf = QStringLiteral("\r\n");
  return crlf;
}

// ASCII bytes are the same in code page 936 and UTF-8; the rest goes through the
// display conversion.
std::string ToUtf8(std::string_view cp936) {
  const bool ascii = std::all_of(cp936.begin(), cp936.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? std::string(cp936) : platform::Cp936ToUtf8(cp936);
}

void AppendTitleRecord(std::string& out) {
  AppendCsvRecord(out, {kUrlTitleUtf8, kSummaryTitleUtf8}, FormulaGuard::kApostrophe);
}

void AppendRowRecord(std::string& out, const UrlTableModel& model, int row) {
  AppendCsvRecord(out,
                  {ToUtf8(model.Cell(row, kUrlColumn)), ToUtf8(model.Cell(row, kSummaryColumn))},
                  FormulaGuard::kApostrophe);
}

}  // namespace

QString RowClipboardText(const UrlTableModel& model, int row) {
  if (row < 0 || row >= model.Rows()) return {};
  return ToDisplayText(model.Cell(row, kUrlColumn)) + QChar('\t') +
         ToDisplayText(model.Cell(row, kSummaryColumn));
}

QString TableClipboardText(const UrlTableModel& model) {
  QString text =
      QString::fromUtf8(kUrlTitleUtf8.data(), static_cast<qsizetype>(kUrlTitleUtf8.size())) +
      QChar('\t') +
      QString::fromUtf8(kSummaryTitleUtf8.data(),
                        static_cast<qsizetype>(kSummaryTitleUtf8.size())) +
      LineEnd();
  for (int row = 0; row < model.Rows(); ++row) text += RowClipboardText(model, row) + LineEnd();
  return text;
}

std::string TableCsv(const UrlTableModel& model) {
  std::string csv = kUtf8Bom;
  AppendTitleRecord(csv);
  for (int row = 0; row < model.Rows(); ++row) AppendRowRecord(csv, model, row);
  return csv;
}

std::string ExportTableCsv(const UrlTableModel& model, const std::string& path) {
  platform::AtomicFile file(path);
  if (!file.ok()) return file.error();
  std::string chunk = kUtf8Bom;
  AppendTitleRecord(chunk);
  for (int row = 0; row < model.Rows(); ++row) {
    AppendRowRecord(chunk, model, row);
    if (chunk.size() < kCsvChunkBytes) continue;
    if (!file.Write(chunk)) return file.error();
    chunk.clear();
  }
  if (!file.Write(chunk) || !file.Commit()) return file.error();
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
