// The URL table's operations, callable from any thread.
//
// The table lives in the main window (column 0 the address, column 1 the summary;
// rows and columns numbered from 0). A call on the main thread runs directly; a call
// from another thread is carried out by the main thread while the caller waits, and
// is served only when the main thread processes events. Once the window is gone a
// call returns "" / 0 or has no effect; it never crashes.
#ifndef VELMORA_TABLE_URL_TABLE_H_
#define VELMORA_TABLE_URL_TABLE_H_

#include <string_view>
#include <vector>

#include "text/text.h"

namespace velmora {

// The columns, fixed for the program's life: the address, and the summary that its
// probe returned.
inline constexpr int kUrlColumn = 0;
inline constexpr int kSummaryColumn = 1;
inline constexpr int kUrlTableColumns = 2;

// Removes every row; the columns stay.
void ClearRows();
// Inserts a row (column 0 `text`, column 1 empty) at 0-based `position`; a negative
// position or one above RowCount() appends. Returns the new row's index (-1 when
// the table is gone).
int InsertRow(int position, const Text& text);
// Appends one row per text (column 0 the text, column 1 empty), in order: the rows
// InsertRow past the end would add one at a time, as one change of the table, for
// imports of many rows. Nothing when the table is gone.
void AppendRows(const std::vector<std::string_view>& texts);
// Number of rows; 0 when the table is gone.
[[nodiscard]] int RowCount();
// The cell's whole text; "" for a row or column that does not exist.
[[nodiscard]] Text GetCellText(int row, int column);
// Replaces the cell's text; a missing row or column: no effect.
void SetCellText(int row, int column, const Text& text);

// Sets the caption of the count label (透明标签2).
void SetCountLabelText(const Text& text);

}  // namespace velmora

#endif  // VELMORA_TABLE_URL_TABLE_H_
