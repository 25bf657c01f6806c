#pragma once
// Qt's own texts (standard buttons, the open, save and print dialogs) in the program's
// language, from the translations Qt installs (Debian: qt6-translations-l10n).
class QCoreApplication;

namespace lark::gui {

// Installs Qt's Russian translations into `app`; false when they are not installed.
bool InstallQtTranslations(QCoreApplication& app);

}  // namespace lark::gui
