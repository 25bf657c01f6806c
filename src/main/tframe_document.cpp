// Document commands of the "&Файл" menu; the logic is files::DocumentCommands.
#include <QAction>
#include <QApplication>
#include <QThread>
#include <exception>
#include <future>
#include <thread>

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

bool TFrame::saveWithProgress(const std::function<bool()>& save) {
    doc_->UseZip = miUseZip->isChecked();
    ui_->beginBusy(QStringLiteral("Сохранение..."));
    const bool ok = save();
    ui_->endBusy();
    return ok;
}

void TFrame::runOnWorker(const std::function<void()>& work) {
    std::exception_ptr failure;
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done.set_value();
    });
    // The tree is only read meanwhile: commands are held off (runCommand) and user input
    // waits until the work is done.
    ui_->beginBusy(QStringLiteral("Сохранение..."));
    while (finished.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready) ui_->pump(true);
    worker.join();
    ui_->endBusy();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace lark::gui
