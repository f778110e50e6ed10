// The records the command-line program writes, one per address, in the formats it
// offers, and the reading back of an earlier run's JSON Lines output.
#ifndef VELMORA_CLI_RECORDS_H_
#define VELMORA_CLI_RECORDS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace velmora::cli {

enum class Format { kJsonLines, kCsv, kTsv };

struct Record {
  std::int64_t n = 0;                  // 1-based place in the input
  std::string url;                     // the address as read
  std::optional<std::string> summary;  // UTF-8; nullopt when the answer gave none
  int status = 0;                      // HTTP status of the final answer; 0 when none came
  std::string error;                   // "" (null), a failure word, or "no-summary"
  int attempts = 0;
};

// Whether the record counts as done: its answer held the summary's markers.
[[nodiscard]] inline bool HasSummary(const Record& r) { return r.summary.has_value(); }

// `bytes` as valid UTF-8: each malformed sequence (maximal subpart) becomes U+FFFD.
[[nodiscard]] std::string ValidUtf8(std::string_view bytes);

// What goes before the first record: the header line of CSV and TSV ("url,summary,
// status,error"), after a UTF-8 byte-order mark when `bom`; nothing for JSON Lines.
[[nodiscard]] std::string FormatHeader(Format format, bool bom);

// One record, with its line end. Texts go out as valid UTF-8 (see ValidUtf8).
//   JSON Lines: {"n":1,"url":"…","summary":"…","status":200,"error":null,"attempts":1}
//     with null for a missing summary, status or error; LF.
//   CSV: url,summary,status,error with RFC 4180 quoting; an empty field for a
//     missing value; CR LF.
//   TSV: the same fields separated by tabs; a backslash, tab, CR or LF inside a
//     field is written \\, \t, \r, \n; LF.
[[nodiscard]] std::string FormatRecord(Format format, const Record& record);

// The records of an earlier JSON Lines output that have a summary, by address (the
// last one of an address wins). Lines that are not such records (a cut last line, a
// record without summary) are skipped.
using DoneRecords = std::unordered_map<std::string, Record>;
void AddDoneRecord(DoneRecords& done, std::string_view line);

}  // namespace velmora::cli

#endif  // VELMORA_CLI_RECORDS_H_
