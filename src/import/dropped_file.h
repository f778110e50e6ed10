// The lines of a dropped text file: its text ends at the first zero or Ctrl-Z byte,
// its lines at CR LF. The window makes one table row of each line.
#ifndef VELMORA_IMPORT_DROPPED_FILE_H_
#define VELMORA_IMPORT_DROPPED_FILE_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace velmora {

// Bytes a dropped file is read in at a time: its text's end is looked for in each
// piece as it comes, so at most one piece past the end is read.
inline constexpr std::size_t kDroppedFileReadPiece = std::size_t{1} << 20;

// Lines handed over while a file is read; the views hold only during the call.
using DroppedLinesSink = std::function<void(const std::vector<std::string_view>& lines)>;

// How a reading of a dropped file ended.
enum class DroppedFileRead {
  kRead,        // every line was handed over
  kNoFile,      // nothing was read: the name opens no regular file for reading
  kReadFailed,  // a read failed after some lines may have been handed over
};

// Reads the dropped file named `fileName` and hands its lines to `sink`, in file
// order, unchanged (empty lines included, nothing trimmed or checked), a piece of
// the file at a time: its text (DroppedFileText of its bytes) split at CR LF only.
// A lone CR or LF stays in its line and a final CR LF adds no empty line. No
// byte-order mark or character set is recognised. The file is read in pieces up to
// the end of its text and nothing far past it (a huge file whose first byte is zero
// costs one piece), so neither its whole text nor a list of its lines is ever held.
// `fileName` is the path's own bytes, opened as they are. kNoFile for a name
// holding CR LF (several dropped items), a missing or unreadable file, a folder or
// anything else that is not a regular file. The file is opened for reading only and
// closed before returning. Any thread.
DroppedFileRead ReadDroppedFileLines(const Text& fileName, const DroppedLinesSink& sink);

// All the lines of ReadDroppedFileLines in one list; the empty list when the file
// could not be read, or a read failed.
[[nodiscard]] TextList ReadDroppedFileLines(const Text& fileName);

// DroppedFileText(bytes) split at CR LF, as ReadDroppedFileLines splits a file's.
[[nodiscard]] TextList DroppedFileLines(std::string_view bytes);

// The text of the regular file `fileName` (see DroppedFileText), read in pieces up
// to its end: nothing past the piece that holds the end is read. nullopt for a name
// holding CR LF (several dropped items), a file that cannot be opened for reading,
// anything that is not a regular file, or a read that fails.
[[nodiscard]] std::optional<Text> ReadDroppedFileText(const Text& fileName);
// The same from the open descriptor `fd`, from its current offset, `pieceBytes` at
// a time (0: kDroppedFileReadPiece); nullopt when a read fails.
[[nodiscard]] std::optional<Text> ReadDroppedFileText(int fd, std::size_t pieceBytes = 0);

// The text of a dropped file's bytes: those before the first zero byte or Ctrl-Z
// (0x1A) at a character start. A byte of 0x80 or above takes the next byte with it
// as one character, so a second byte of 0x1A does not end the text, but a zero
// second byte does (the lead byte stays, alone at the end). No such byte: all of
// them.
[[nodiscard]] Text DroppedFileText(std::string_view bytes);

}  // namespace velmora

#endif  // VELMORA_IMPORT_DROPPED_FILE_H_
