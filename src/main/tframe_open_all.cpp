// "Открыть все": every mounted file system is searched for notebooks, and each one found
// opens in a new instance of the program; this window is left with an empty notebook. The
// first notebooks open as they are found; past those, one question for all the rest, which
// then open one at a time. Also the word on the file-type registration.
#include <QApplication>
#include <QLabel>
#include <QStatusBar>

#include "document/errors.h"
#include "finder/finder.h"
#include "main/app_texts.h"
#include "main/dialogs.h"
#include "main/paced_launches.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

void TFrame::miOpenAllClick() {
    AskSaveChanges();
    doc_->ClearDocument();
    pnInfo->setText(QString::fromUtf8(kOpenAllInfo));
    pnInfo->raise();
    pnInfo->show();
    pnInfo->repaint();

    const std::optional<std::vector<std::string>> drives = shell.mountPoints();
    if (!drives) {
        pnInfo->hide();
        throw LarkError(kNoDriveListText);
    }
    const QString program = QCoreApplication::applicationFilePath();
    constexpr std::size_t kOpenedAtOnce = 20;
    std::size_t found = 0;
    std::vector<std::string> rest;
    finder::ScanHooks hooks;
    hooks.launch = [this, &program, &found, &rest](const std::string& path) {
        if (++found > kOpenedAtOnce) {
            rest.push_back(path);
            return;
        }
        shell.startProgram(program, {QString::fromStdString(path)});
        raise();
        activateWindow();
    };
    // The window stays usable meanwhile: its menus work, and so does closing it.
    hooks.processEvents = [] { QCoreApplication::processEvents(); };
    hooks.terminating = [this] { return FTerminating; };
    for (const std::string& root : *drives) {
        try {
            finder::FindAndLaunch(root, ".LKP", hooks);
        } catch (...) {
            // That drive's remaining directories are dropped; the next drive follows.
        }
    }
    pnInfo->hide();
    if (rest.empty() || FTerminating) return;
    if (!dialogs_.confirm(this, QString::fromUtf8(kOpenAllAskText).arg(found))) return;
    if (!pacedLaunches_)
        pacedLaunches_ = new PacedLaunches(
            [this](const std::string& path) {
                shell.startProgram(QCoreApplication::applicationFilePath(), {QString::fromStdString(path)});
            },
            [this] { return FTerminating; }, this);
    pacedLaunches_->add(std::move(rest));
}

void TFrame::showRegistration(files::Registration registration) {
    if (registration == files::Registration::DefaultReadOnly)
        ui_->setStatusText(QString::fromUtf8(kMimeAppsReadOnlyText));
    else if (registration == files::Registration::DefaultNotRegular)
        ui_->setStatusText(QString::fromUtf8(kMimeAppsNotRegularText));
}

}  // namespace lark::gui
