#include "import/dropped_file.h"

namespace velmora {

void ImportDroppedFile(const Text&) {}

}  // namespace velmora
