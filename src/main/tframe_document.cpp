// Document commands of the "&Файл" menu; the logic is files::DocumentCommands.
#include <QAction>
#include <QApplication>
#include <QThread>

#include "files/document_commands.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

void TFrame::AskSaveChanges() { commands_->AskSaveChanges(); }
void TFrame::miClearClick() { commands_->miClearClick(); }
void TFrame::miOpenClick() { commands_->miOpenClick(); }
void TFrame::miSaveClick() { commands_->miSaveClick(); }
void TFrame::miSaveAsClick() { commands_->miSaveAsClick(); }
void TFrame::miExitClick() { QuitProgram(); }

void TFrame::miOpenAllClick() {
    // The scan of every drive for notebooks comes with its own change.
}

bool TFrame::saveWithProgress(const std::function<bool()>& save) {
    doc_->UseZip = miUseZip->isChecked();
    ui_->beginBusy(QStringLiteral("Сохранение..."));
    const bool ok = save();
    ui_->endBusy();
    return ok;
}

}  // namespace lark::gui
