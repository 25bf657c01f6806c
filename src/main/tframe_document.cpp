// Document commands of the "&Файл" menu (the logic is files::DocumentCommands); every save
// is written by BackgroundSaves.
#include <QAction>
#include <QFileInfo>

#include "files/document_commands.h"
#include "main/app_texts.h"
#include "main/background_saves.h"
#include "main/command_runner.h"
#include "main/recovery_keeper.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

void TFrame::AskSaveChanges() { commands_->AskSaveChanges(); }
void TFrame::miClearClick() { commands_->miClearClick(); }
void TFrame::miOpenClick() { commands_->miOpenClick(); }
void TFrame::miSaveClick() {
    // A save asked for while one is being written follows it, from a fresh snapshot.
    if (saves_->running()) {
        saves_->queueAnother();
        return;
    }
    doc_->UseZip = miUseZip->isChecked();
    commands_->miSaveClick(files::SaveMode::Background);
}

void TFrame::miSaveAsClick() {
    doc_->UseZip = miUseZip->isChecked();
    commands_->miSaveAsClick(files::SaveMode::Background);
}

void TFrame::updateCaption() {
    // "name.lkp — caption", with a leading "*" while something is unsaved: windows of
    // several notebooks tell apart in the task bar.
    QString title = QString::fromUtf8(kMainCaption);
    if (!doc_->FFileName.empty()) {
        const QString name = QFileInfo(QString::fromStdString(doc_->FFileName)).fileName();
        title = (doc_->isModified() ? QStringLiteral("*") : QString()) + name + QStringLiteral(" — ") +
                QString::fromUtf8(kAppTitle);
    }
    title = sealCaption(title);
    if (title != windowTitle()) setWindowTitle(title);
}

void TFrame::saveEnded(bool saved) {
    updateCaption();
    if (!saved) {
        // The notebook stays changed: its recovery copy is kept up to date, and a save
        // queued behind the failed one would only fail again.
        saves_->takeQueued();
        recovery_->noteChange();
        return;
    }
    rememberRecent();
    // The queued save starts at once, so that a wait for this one (closing, New, Open)
    // waits for it too.
    if (saves_->takeQueued() && !destroyed_) RunCommand([this] { miSaveClick(); });
    recovery_->settle();
}
void TFrame::miExitClick() { QuitProgram(); }

}  // namespace lark::gui
