// The URL table's rows as a Qt item model, and the attachment that makes one model
// (and the count label beside it) the target of the operations in url_table.h.
//
// Cells hold code page 936 texts as they were given, whole; only the display and
// tooltip roles convert them to UTF-16, and give at most the first kShownCharacters
// characters (display_text.h) so that a huge cell cannot stall the view. Main thread only, like
// every Qt model.
#ifndef VELMORA_TABLE_URL_TABLE_MODEL_H_
#define VELMORA_TABLE_URL_TABLE_MODEL_H_

#include <QAbstractTableModel>
#include <string_view>
#include <vector>

#include "table/row_store.h"
#include "table/url_table.h"
#include "text/text.h"

class QLabel;

namespace velmora {

// Column widths in pixels, fixed for the program's life.
inline constexpr int kUrlColumnWidth = 200;
inline constexpr int kSummaryColumnWidth = 500;
// Column titles, as UTF-8: the header shows them, and results taken out of the
// table (clipboard, CSV) open with them.
inline constexpr char kUrlColumnTitle[] = "URL地址";
inline constexpr char kSummaryColumnTitle[] = "返回关键词";

class UrlTableModel final : public QAbstractTableModel {
 public:
  explicit UrlTableModel(QObject* parent = nullptr);

  // Removes every row.
  void Clear();
  // Inserts (text, "") at `position`; negative or past the end appends. Returns the
  // new row's index.
  int Insert(int position, const Text& text);
  // Appends one row (text, "") per text, in order, as one change of the model.
  void Append(const std::vector<std::string_view>& texts);
  [[nodiscard]] int Rows() const;
  // "" for a row or column that does not exist.
  [[nodiscard]] Text Cell(int row, int column) const;
  // The same bytes without a copy, valid until the table next changes.
  [[nodiscard]] std::string_view CellView(int row, int column) const;
  // A missing row or column: nothing happens.
  void SetCell(int row, int column, const Text& text);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  RowStore rows_;
};

// Makes `model` and `countLabel` the targets of the table operations; either may be
// null. Both are watched: once deleted, the operations return "" / 0 or do nothing.
// Main thread only; needs the application object.
void AttachUrlTable(UrlTableModel* model, QLabel* countLabel);

}  // namespace velmora

#endif  // VELMORA_TABLE_URL_TABLE_MODEL_H_
