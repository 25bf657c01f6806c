// "Открыть все": every mounted file system is searched for notebooks, and each one found
// opens in a new instance of the program; this window is left with an empty notebook.
#include <QApplication>
#include <QLabel>

#include "document/errors.h"
#include "finder/finder.h"
#include "main/app_texts.h"
#include "main/tframe.h"

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
    finder::ScanHooks hooks;
    hooks.launch = [this, &program](const std::string& path) {
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
}

}  // namespace lark::gui
