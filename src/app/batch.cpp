#include "app/batch.h"

namespace velmora {

void RunBatch() {}

}  // namespace velmora
