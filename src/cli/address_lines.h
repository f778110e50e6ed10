// Addresses of a text file for the command-line program, read in pieces: a line
// ends at LF (a CR right before it is dropped, so CR LF and Unix files both work),
// empty lines are skipped, and the text ends at the first zero or Ctrl-Z byte found
// at a character start, as the window's import reads a dropped file. A byte of 0x80
// or above leads a two-byte character whose second byte is stepped over (a zero
// there still ends the text, before the lead byte), except that an LF always ends
// the line, so a stray high byte never merges two lines. Bytes are kept as they are.
#ifndef VELMORA_CLI_ADDRESS_LINES_H_
#define VELMORA_CLI_ADDRESS_LINES_H_

#include <functional>
#include <string>
#include <string_view>

namespace velmora::cli {

using AddressSink = std::function<void(std::string address)>;

class AddressLines {
 public:
  explicit AddressLines(AddressSink sink) : sink_(std::move(sink)) {}

  // Takes the next piece of the file; each complete line goes to the sink. False
  // once the text has ended (a zero or Ctrl-Z byte): later pieces are ignored.
  bool Feed(std::string_view piece);
  // The file ended: its last line, when it has no LF after it, goes to the sink.
  void Finish();

 private:
  void EndLine();

  AddressSink sink_;
  std::string line_;
  bool afterLead_ = false;  // the last byte led a two-byte character
  bool ended_ = false;
};

}  // namespace velmora::cli

#endif  // VELMORA_CLI_ADDRESS_LINES_H_
