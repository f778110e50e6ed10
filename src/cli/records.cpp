#include "cli/records.h"

#include <unicode/utf8.h>

#include <limits>
#include <nlohmann/json.hpp>

#include "text/csv.h"

namespace velmora::cli {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
// HTTP statuses are three digits; anything else in an old record is not one.
constexpr std::int64_t kLowestStatus = 100;
constexpr std::int64_t kHighestStatus = 999;

std::string TsvField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (char c : field) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto length = static_cast<int32_t>(bytes.size());
  int32_t i = 0;
  while (i < length) {
    if (s[i] < 0x80) {
      out.push_back(static_cast<char>(s[i++]));
      continue;
    }
    const int32_t begin = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) {
      out += kReplacementUtf8;
    } else {
      out.append(bytes.substr(static_cast<size_t>(begin), static_cast<size_t>(i - begin)));
    }
  }
  return out;
}

std::string FormatHeader(Format format, bool bom) {
  std::string out = bom ? std::string(kUtf8Bom) : std::string();
  switch (format) {
    case Format::kJsonLines:
      return out;
    case Format::kCsv:
      return out + "url,summary,status,error\r\n";
    case Format::kTsv:
      return out + "url\tsummary\tstatus\terror\n";
  }
  return out;
}

std::string FormatRecord(Format format, const Record& record) {
  const std::string url = ValidUtf8(record.url);
  const std::string summary = record.summary ? ValidUtf8(*record.summary) : std::string();
  const std::string status = record.status != 0 ? std::to_string(record.status) : std::string();
  switch (format) {
    case Format::kJsonLines: {
      // An ordered object keeps the documented key order.
      nlohmann::ordered_json j;
      j["n"] = record.n;
      j["url"] = url;
      j["summary"] = record.summary ? nlohmann::ordered_json(summary) : nullptr;
      j["status"] = record.status != 0 ? nlohmann::ordered_json(record.status) : nullptr;
      j["error"] = record.error.empty() ? nullptr : nlohmann::ordered_json(record.error);
      j["attempts"] = record.attempts;
      return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    }
    case Format::kCsv: {
      std::string out;
      AppendCsvRecord(out, {url, summary, status, record.error});
      return out;
    }
    case Format::kTsv:
      return TsvField(url) + "\t" + TsvField(summary) + "\t" + status + "\t" +
             TsvField(record.error) + "\n";
  }
  return {};
}

void AddDoneRecord(DoneRecords& done, std::string_view line) {
  const nlohmann::json j = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (!j.is_object()) return;
  const auto url = j.find("url");
  const auto summary = j.find("summary");
  if (url == j.end() || !url->is_string() || summary == j.end() || !summary->is_string()) return;
  Record r;
  r.url = url->get<std::string>();
  r.summary = summary->get<std::string>();
  if (const auto status = j.find("status"); status != j.end() && status->is_number_integer()) {
    const auto value = status->get<std::int64_t>();
    if (value >= kLowestStatus && value <= kHighestStatus) r.status = static_cast<int>(value);
  }
  if (const auto error = j.find("error"); error != j.end() && error->is_string()) {
    r.error = error->get<std::string>();
  }
  if (const auto attempts = j.find("attempts");
      attempts != j.end() && attempts->is_number_integer()) {
    const auto value = attempts->get<std::int64_t>();
    if (value >= 0 && value <= std::numeric_limits<int>::max())
      r.attempts = static_cast<int>(value);
  }
  std::string key = r.url;
  done.insert_or_assign(std::move(key), std::move(r));
}

}  // namespace velmora::cli
