// The window system's own texts (the OK and Cancel of dialogs and boxes) in the
// user's language, from the toolkit's translation catalogues.
#ifndef VELMORA_APP_TRANSLATIONS_H_
#define VELMORA_APP_TRANSLATIONS_H_

#include <QLocale>

namespace velmora {

// Installs the toolkit's base translations (qtbase) for `locale` in the running
// application, once per process. False when no catalogue fits the locale (an
// English locale, or the catalogues not installed): the toolkit's English texts
// stay. Main thread only; needs the application object.
bool InstallToolkitTranslations(const QLocale& locale = QLocale::system());

}  // namespace velmora

#endif  // VELMORA_APP_TRANSLATIONS_H_
