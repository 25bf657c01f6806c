// Document commands of the "&Файл" menu (the logic is files::DocumentCommands), and the
// busy state of long saves: the progress indicator and the worker thread that writes.
#include <QAction>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QMenu>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <vector>

#include "files/document_commands.h"
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

void TFrame::saveEnded(bool saved) {
    if (!saved) {
        // The notebook stays changed: its recovery copy is kept up to date, and a save
        // queued behind the failed one would only fail again.
        saves_->takeQueued();
        recovery_->noteChange();
        return;
    }
    // The queued save starts at once, so that a wait for this one (closing, New, Open)
    // waits for it too.
    if (saves_->takeQueued() && !destroyed_) RunCommand([this] { miSaveClick(); });
    recovery_->settle();
}
void TFrame::miExitClick() { QuitProgram(); }

bool TFrame::saveWithProgress(const std::function<bool()>& save) {
    doc_->UseZip = miUseZip->isChecked();
    ui_->beginBusy(QStringLiteral("Сохранение..."));
    const bool ok = save();
    ui_->endBusy();
    return ok;
}

void TFrame::runOnWorker(const std::function<void()>& work) {
    // The worker only reads the tree. Meanwhile every command is held off (idle() is false
    // and the actions are disabled) and user input waits; the window keeps painting.
    std::exception_ptr failure;
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    ui_->beginBusy(QStringLiteral("Сохранение..."));
    std::vector<QAction*> disabled;
    for (QAction* action : findChildren<QAction*>()) {
        if (action->isEnabled() && !action->menu()) {
            action->setEnabled(false);
            disabled.push_back(action);
        }
    }
    watcher.setFuture(QtConcurrent::run([&work, &failure] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    if (!watcher.isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    watcher.waitForFinished();
    for (QAction* action : disabled) action->setEnabled(true);
    ui_->endBusy();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace lark::gui
