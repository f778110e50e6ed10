// The lines of a dropped text file: its text ends at the first zero or Ctrl-Z byte,
// its lines at CR LF. The window makes one table row of each line.
#ifndef VELMORA_IMPORT_DROPPED_FILE_H_
#define VELMORA_IMPORT_DROPPED_FILE_H_

#include "text/text.h"

namespace velmora {

// The lines of the dropped file named `fileName`, in file order, unchanged (empty
// lines included, nothing trimmed or checked): its text (DroppedFileText of its
// bytes) split at CR LF only. A lone CR or LF stays in its line and a final CR LF
// adds no empty member. No byte-order mark or character set is recognised.
// `fileName` is the path's own bytes, opened as they are. The empty list, and
// nothing reported, for a name holding CR LF (several dropped items), a missing or
// unreadable file, a folder or anything else that is not a regular file. The file
// is opened for reading only and closed before returning. Any thread.
[[nodiscard]] TextList ReadDroppedFileLines(const Text& fileName);

// DroppedFileText(bytes) split at CR LF, as ReadDroppedFileLines splits a file's.
[[nodiscard]] TextList DroppedFileLines(std::string_view bytes);

// The text of a dropped file's bytes: those before the first zero byte or Ctrl-Z
// (0x1A) at a character start. A byte of 0x80 or above takes the next byte with it
// as one character, so a second byte of 0x1A does not end the text, but a zero
// second byte does (the lead byte stays, alone at the end). No such byte: all of
// them.
[[nodiscard]] Text DroppedFileText(std::string_view bytes);

}  // namespace velmora

#endif  // VELMORA_IMPORT_DROPPED_FILE_H_
