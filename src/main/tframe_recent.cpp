// "Недавние" in "&Файл": the notebooks last opened or saved. The list is read when the
// window is made and written to larkpad.ini whenever it changes.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include "document/errors.h"
#include "editor/editor.h"
#include "files/document_commands.h"
#include "main/recent_menu.h"
#include "main/recent_notebooks.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

namespace {

std::string iniPath() {
    const QString path = TFrame::SettingsFilePath();
    return path.isEmpty() ? std::string() : QFile::encodeName(path).toStdString();
}

// The folder the ini goes in, made when missing.
void makeIniFolder() {
    const QString path = TFrame::SettingsFilePath();
    if (!path.isEmpty()) QDir().mkpath(QFileInfo(path).absolutePath());
}

}  // namespace

void TFrame::createRecentMenu() {
    recent_ = std::make_shared<RecentNotebooks>();
    if (const std::string ini = iniPath(); !ini.empty()) recent_->read(IniFile::load(ini));
    mnRecent = new RecentMenu(QStringLiteral("Недавние"), mnFile);
    mnRecent->setObjectName(QStringLiteral("mnRecent"));
    // Right after the open commands.
    const QList<QAction*> file = mnFile->actions();
    const qsizetype after = file.indexOf(miOpenAll);
    mnFile->insertMenu(after >= 0 && after + 1 < file.size() ? file[after + 1] : nullptr, mnRecent);
    connect(mnRecent, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
    fillRecentMenu();
}

void TFrame::fillRecentMenu() {
    // The item being chosen may be the one that refills the menu: items go later.
    for (QAction* old : mnRecent->actions()) {
        mnRecent->removeAction(old);
        old->setParent(nullptr);
        old->deleteLater();
    }
    const std::vector<std::string>& paths = recent_->paths();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const QString path = QString::fromStdString(paths[i]);
        QString shown = path;
        shown.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = mnRecent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        a->setObjectName(QStringLiteral("miRecent%1").arg(i + 1));
        // A notebook no longer there is shown greyed; chosen, it leaves the list.
        RecentMenu::setMissing(a, !QFileInfo(path).isFile());
        connect(a, &QAction::triggered, this, [this, path] { runCommand([&] { openRecent(path); }); });
    }
    mnRecent->addSeparator();
    QAction* clear = mnRecent->addAction(QStringLiteral("Очистить список"));
    clear->setObjectName(QStringLiteral("miRecentClear"));
    clear->setEnabled(!paths.empty());
    connect(clear, &QAction::triggered, this, [this] {
        recent_->clear();
        saveRecent();
        fillRecentMenu();
    });
}

void TFrame::openRecent(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        recent_->remove(path.toStdString());
        saveRecent();
        fillRecentMenu();
        ui_->showMessage((QStringLiteral("Файл не найден и убран из списка недавних: ") + path).toStdString());
        return;
    }
    commands_->AskSaveChanges();
    loadWithProgress(path.toStdString(), false);
}

void TFrame::rememberRecent() {
    if (!recent_ || doc_->FFileName.empty() || reNodeContent->showsFile()) return;
    const std::string path = QFileInfo(QString::fromStdString(doc_->FFileName)).absoluteFilePath().toStdString();
    // Saving the notebook on top of the list again changes nothing: the ini is not rewritten.
    if (!recent_->paths().empty() && recent_->paths().front() == path) return;
    recent_->add(path);
    saveRecent();
    fillRecentMenu();
}

void TFrame::saveRecent() {
    const std::string path = iniPath();
    if (path.empty()) return;
    makeIniFolder();
    try {
        IniFile ini = IniFile::load(path);
        recent_->write(ini);
        ini.save(path);
    } catch (const LarkError&) {
        // A settings folder that cannot be written keeps the list for this session only.
    }
}

}  // namespace lark::gui
