#include "text/csv.h"

namespace velmora {
namespace {

constexpr std::string_view kNeedsQuotes = ",\"\r\n";
constexpr std::string_view kFormulaStarts = "=+-@\t\r";

}  // namespace

void AppendCsvField(std::string& out, std::string_view field, FormulaGuard guard) {
  const bool defuse = guard == FormulaGuard::kApostrophe && !field.empty() &&
                      kFormulaStarts.find(field.front()) != std::string_view::npos;
  if (field.find_first_of(kNeedsQuotes) == std::string_view::npos) {
    if (defuse) out += '\'';
    out += field;
    return;
  }
  out += '"';
  if (defuse) out += '\'';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendCsvRecord(std::string& out, std::initializer_list<std::string_view> fields,
                     FormulaGuard guard) {
  bool first = true;
  for (const std::string_view field : fields) {
    if (!first) out += ',';
    first = false;
    AppendCsvField(out, field, guard);
  }
  out += "\r\n";
}

}  // namespace velmora
