// Answers the sitemap import's modal windows as a user would: types an address
// into the input dialog (or cancels it) and presses OK on every message box,
// recording what each one showed, in order, and how many rows the table held then.
#ifndef VELMORA_TESTS_APP_MODAL_DRIVER_H_
#define VELMORA_TESTS_APP_MODAL_DRIVER_H_

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <optional>
#include <vector>

#include "table/url_table.h"

namespace velmora {

struct BoxSeen {
  QString text;
  QString caption;
  QMessageBox::Icon icon;
  bool hasOwner;
  Qt::WindowModality modality;
  int buttons;  // number of buttons shown
  int rows;     // rows of the URL table while the box was up
  int width;    // logical pixels, frame excluded
};

struct DialogSeen {
  QString title;
  QString prompt;
  QString initialText;
  QInputDialog::InputMode mode;
  QLineEdit::EchoMode echo;
  bool multiLine;
  bool modal;
};

class ModalDriver {
 public:
  // `address`: what is typed and confirmed; nullopt cancels the dialog.
  explicit ModalDriver(std::optional<QString> address) : address_(std::move(address)) {
    // Polls from the nested loops of the dialog and boxes; each tick handles the
    // window on top, so boxes shown one after another are all answered.
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  const std::vector<BoxSeen>& boxes() const { return boxes_; }
  const std::vector<DialogSeen>& dialogs() const { return dialogs_; }

 private:
  void Poll() {
    QWidget* top = QApplication::activeModalWidget();
    if (top == nullptr) return;
    if (auto* dialog = qobject_cast<QInputDialog*>(top)) {
      dialogs_.push_back({dialog->windowTitle(), dialog->labelText(), dialog->textValue(),
                          dialog->inputMode(), dialog->textEchoMode(),
                          dialog->findChild<QPlainTextEdit*>() != nullptr &&
                              dialog->findChild<QPlainTextEdit*>()->isVisible(),
                          dialog->isModal()});
      if (address_) {
        dialog->setTextValue(*address_);
        dialog->accept();
      } else {
        dialog->reject();
      }
    } else if (auto* box = qobject_cast<QMessageBox*>(top)) {
      boxes_.push_back({box->text(), box->windowTitle(), box->icon(),
                        box->parentWidget() != nullptr, box->windowModality(),
                        static_cast<int>(box->buttons().size()), RowCount(), box->width()});
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
      } else {
        box->reject();
      }
    }
  }

  std::optional<QString> address_;
  QTimer timer_;
  std::vector<BoxSeen> boxes_;
  std::vector<DialogSeen> dialogs_;
};

}  // namespace velmora

#endif  // VELMORA_TESTS_APP_MODAL_DRIVER_H_
