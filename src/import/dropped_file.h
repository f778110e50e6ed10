// Filling the URL table from a dropped text file, one row per CR LF line.
#ifndef VELMORA_IMPORT_DROPPED_FILE_H_
#define VELMORA_IMPORT_DROPPED_FILE_H_

#include "text/text.h"

namespace velmora {

// Handler of the drop target's files-dropped event. Main thread only.
void ImportDroppedFile(const Text& fileName);

}  // namespace velmora

#endif  // VELMORA_IMPORT_DROPPED_FILE_H_
