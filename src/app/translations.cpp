#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace velmora {

bool InstallToolkitTranslations(const QLocale& locale) {
  static QTranslator* installed = nullptr;
  if (installed != nullptr) return true;
  // Never deleted: the texts it gives are looked up for the life of the process.
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return false;
  }
  installed = translator;
  return true;
}

}  // namespace velmora
