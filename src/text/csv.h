// Comma-separated values (RFC 4180) for results that leave the program. Bytes pass
// through untouched, so the caller chooses the character set of what it writes.
#ifndef VELMORA_TEXT_CSV_H_
#define VELMORA_TEXT_CSV_H_

#include <initializer_list>
#include <string>
#include <string_view>

namespace velmora {

// The UTF-8 byte-order mark that a CSV file for a spreadsheet opens with: Excel on a
// Chinese system reads a file without it as code page 936.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Whether a field that a spreadsheet would read as a formula is defused.
enum class FormulaGuard { kNone, kApostrophe };

// Appends `field` as one field. A field holding a comma, a double quote, CR or LF is
// enclosed in double quotes, each quote inside doubled; any other field goes as it
// is (the empty field is written as nothing). With FormulaGuard::kApostrophe a field
// that begins with '=', '+', '-', '@', a tab or a CR first gets a leading "'", so a
// spreadsheet shows it as text instead of evaluating it.
//   AppendCsvField(out, "a,b")  appends "a,b" in quotes: "\"a,b\""
//   AppendCsvField(out, "=1+1", FormulaGuard::kApostrophe)  appends "'=1+1"
void AppendCsvField(std::string& out, std::string_view field,
                    FormulaGuard guard = FormulaGuard::kNone);

// Appends the fields separated by commas, then CR LF.
void AppendCsvRecord(std::string& out, std::initializer_list<std::string_view> fields,
                     FormulaGuard guard = FormulaGuard::kNone);

}  // namespace velmora

#endif  // VELMORA_TEXT_CSV_H_
