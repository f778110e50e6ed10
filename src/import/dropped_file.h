// Filling the URL table from a dropped text file, one row per CR LF line.
#ifndef VELMORA_IMPORT_DROPPED_FILE_H_
#define VELMORA_IMPORT_DROPPED_FILE_H_

#include <cstddef>
#include <optional>
#include <string_view>

#include "text/text.h"

namespace velmora {

// Bytes a dropped file is read in at a time: its text's end is looked for in each
// piece as it comes, so at most one piece past the end is read.
inline constexpr std::size_t kDroppedFileReadPiece = std::size_t{1} << 20;

// Handler of the drop target's files-dropped event. Main thread only.
//
// Empties the table first, whatever follows; sets the count label to "0"; then
// appends one row per line of the file, in file order, unchanged (empty lines
// included, nothing trimmed or checked). Lines end at CR LF only; a lone CR or LF
// stays in its line and a final CR LF adds no empty row. The file's text ends at
// the first zero or Ctrl-Z byte found at a character start; no byte-order mark or
// character set is recognised. `fileName` is the path's own bytes, opened as they
// are. Reports nothing: a name holding CR LF (several dropped items), a missing or
// unreadable file, a folder or anything else that is not a regular file gives an
// empty table. The file is opened for reading only and closed before returning.
// It is read in pieces up to the end of its text and nothing far past it (a huge
// file whose first byte is zero costs one piece), and its lines go into the table
// piece by piece. A read that fails midway also leaves the table empty.
void ImportDroppedFile(const Text& fileName);

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
