#include "app/url_table.h"

namespace velmora {

void ClearRows() {}
int InsertRow(int, const Text&) { return -1; }
int RowCount() { return 0; }
Text GetCellText(int, int) { return {}; }
void SetCellText(int, int, const Text&) {}
void SetCountLabelText(const Text&) {}

}  // namespace velmora
