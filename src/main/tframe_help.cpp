// The "&Справка" menu: the about box, the program's web site and a prepared bug report.
#include <QUrl>

#include "files/paths.h"
#include "main/app_texts.h"
#include "main/dialogs.h"
#include "main/icons.h"
#include "main/tframe.h"

namespace lark::gui {

void TFrame::miAuthorClick() {
    // Where the settings and the default notebook live: what users are asked for when
    // they report a problem.
    const QString settings = SettingsFilePath();
    const QString notebook = files::DefaultDocumentPath();
    const QString none = QStringLiteral("(нет)");
    const QString text = QString::fromUtf8(kAboutText) + QStringLiteral("\n\nФайл настроек:\n") +
                         (settings.isEmpty() ? none : settings) + QStringLiteral("\nБлокнот по умолчанию:\n") +
                         (notebook.isEmpty() ? none : notebook);
    dialogs_.about(this, QString::fromUtf8(kAboutName), text, ProgramIcon());
}

void TFrame::miMyURLClick() {
    // Without a browser the address is shown, to be copied by hand.
    const QString address = QStringLiteral(LARKPAD_HOMEPAGE_URL);
    if (!shell.openUrl(QUrl(address)))
        ShowErrorBox(QString::fromUtf8(kNoBrowserText) + QStringLiteral("\n\n") + address);
}

void TFrame::miBugReportClick() {
    const QByteArray link = QByteArrayLiteral("mailto:" LARKPAD_BUG_EMAIL) + kBugReportQuery;
    if (!shell.openUrl(QUrl::fromEncoded(link, QUrl::StrictMode)))
        ShowErrorBox(QString::fromUtf8(kNoMailProgramText) + QStringLiteral("\n\n") + QString::fromUtf8(kWriteToText) +
                     QStringLiteral(LARKPAD_BUG_EMAIL));
}

}  // namespace lark::gui
