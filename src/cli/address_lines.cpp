#include "cli/address_lines.h"

namespace velmora::cli {
namespace {

constexpr char kCtrlZ = '\x1A';

}  // namespace

void AddressLines::EndLine() {
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  if (!line_.empty()) sink_(std::move(line_));
  line_.clear();
}

bool AddressLines::Feed(std::string_view piece) {
  if (ended_) return false;
  for (size_t i = 0; i < piece.size(); ++i) {
    const char b = piece[i];
    if (b == '\n') {
      afterLead_ = false;
      EndLine();
      continue;
    }
    if (afterLead_) {
      afterLead_ = false;
      if (b == '\0') {
        line_.pop_back();  // a lead byte before a zero is not part of the text
        ended_ = true;
        return false;
      }
      line_.push_back(b);
      continue;
    }
    if (b == '\0' || b == kCtrlZ) {
      ended_ = true;
      return false;
    }
    afterLead_ = static_cast<unsigned char>(b) >= 0x80;
    line_.push_back(b);
  }
  return true;
}

void AddressLines::Finish() {
  EndLine();
  ended_ = true;
}

}  // namespace velmora::cli
