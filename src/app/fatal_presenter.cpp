#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "table/display_text.h"
#include "app/startup.h"

namespace velmora {

void PresentFatalError(std::string_view condition) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (app == nullptr || QThread::currentThread() != app->thread()) return;
  // The condition is a text of the system: code page 936.
  const QString text = ToDisplayText(condition);
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Velmora - Trisk"), text, QMessageBox::Ok);
  box.exec();
}

}  // namespace velmora
