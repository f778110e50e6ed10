#include "app/message_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <memory>

#include "table/display_text.h"

namespace velmora {

int MinimumBoxWidth(std::string_view caption) {
  // Window managers draw captions in a bold system font; the bold application
  // font is the nearest measure the toolkit offers.
  QFont titleFont = QApplication::font();
  titleFont.setBold(true);
  return QFontMetrics(titleFont).horizontalAdvance(ToDisplayText(caption)) + kTitleBarReserve;
}

QMessageBox* MakeMessageBox(std::string_view text, std::string_view caption, BoxIcon icon) {
  auto* box = new QMessageBox(icon == BoxIcon::kError ? QMessageBox::Critical : QMessageBox::NoIcon,
                              ToDisplayText(caption), ToDisplayText(text), QMessageBox::Ok);
  box->setWindowModality(Qt::ApplicationModal);
  // The box sizes itself to its text and ignores a minimum width set on it; a
  // spacer across the bottom of its layout is what widens it.
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    grid->addItem(
        new QSpacerItem(MinimumBoxWidth(caption), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
        grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

void ShowMessageBox(std::string_view text, std::string_view caption, BoxIcon icon) {
  const std::unique_ptr<QMessageBox> box(MakeMessageBox(text, caption, icon));
  box->exec();
}

}  // namespace velmora
