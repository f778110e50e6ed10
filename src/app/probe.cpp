#include "app/probe.h"

#include "table/url_table.h"
#include "table/url_table_model.h"

namespace velmora {

void ProbeRow(int row) {
  const Text address = GetCellText(row, kUrlColumn);
  SetCellText(row, kSummaryColumn, ProbeSummary(address));
}

}  // namespace velmora
