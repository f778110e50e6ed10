#include "import/sitemap.h"

namespace velmora {

void ImportSitemap() {}

int ExtractLocations(const Text&) { return 0; }

}  // namespace velmora
