#include "files/document_commands.h"

#include <QFileInfo>
#include <memory>

#include "document/errors.h"
#include "files/paths.h"

namespace lark::files {

namespace {
std::string toPath(const QString& path) { return path.toStdString(); }
QString fromPath(const std::string& path) { return QString::fromStdString(path); }
}  // namespace

DocumentCommands::DocumentCommands(Document& doc, FileDialogs& dialogs, QWidget* owner)
    : doc_(doc), dialogs_(dialogs), owner_(owner) {}

bool DocumentCommands::save(const QString& path, const QString& backup, SaveMode mode, std::function<void()> saved) {
    if (!startSave) {
        const bool ok = doc_.SaveDocument(toPath(path), toPath(backup));
        if (ok && saved) saved();
        return ok;
    }
    waitForRunningSave();
    std::unique_ptr<SaveJob> job = doc_.BeginSave(toPath(path), toPath(backup));
    if (!job) return false;
    // The outcome outlives this call when the command does not wait for it.
    auto outcome = std::make_shared<bool>(false);
    startSave(std::move(job), [saved = std::move(saved), outcome](bool ok) {
        *outcome = ok;
        if (ok && saved) saved();
    });
    if (mode == SaveMode::Background) return true;
    waitForRunningSave();
    return *outcome;
}

void DocumentCommands::AskSaveChanges() {
    if (commitEdits) commitEdits();
    // A save still being written decides whether anything is left unsaved.
    waitForRunningSave();
    if (!doc_.isModified()) return;
    if (showWindow) showWindow();
    switch (dialogs_.askSaveChanges(owner_)) {
    case FileDialogs::Answer::Yes:
        // The user asked to keep the changes: when they were not written (save dialog
        // cancelled, save failed), the command must not go on and drop them.
        if (!miSaveClick()) throw SilentAbort();
        return;
    case FileDialogs::Answer::No: return;
    case FileDialogs::Answer::Cancel:
    case FileDialogs::Answer::Merge: throw SilentAbort();
    }
}

void DocumentCommands::miClearClick() {
    AskSaveChanges();
    doc_.ClearDocument();
    unnamedFolder_.clear();
}

void DocumentCommands::miOpenClick() {
    AskSaveChanges();
    bool readOnly = false;
    const QString path = dialogs_.openFile(owner_, DialogFolder(), readOnly);
    if (path.isEmpty()) return;
    if (load) load(toPath(path), readOnly);
    else doc_.LoadDocument(toPath(path), readOnly);
}

bool DocumentCommands::miSaveClick(SaveMode mode) {
    if (commitEdits) commitEdits();
    // The file's state is known once a save being written has ended.
    waitForRunningSave();
    // A file shown in the plain-text view is the user's text, not a notebook: writing a
    // notebook over it would destroy it, so it is saved under a new name instead.
    if (doc_.FFileName.empty() || (showsPlainFile && showsPlainFile())) return miSaveAsClick(mode);
    const QString path = fromPath(doc_.FFileName);
    // Another program replaced or changed the file since we read or wrote it: writing over
    // it silently would lose its version.
    if (doc_.ChangedOnDisk(doc_.FFileName)) {
        if (showWindow) showWindow();
        switch (dialogs_.askChangedOnDisk(owner_, path)) {
        case FileDialogs::Answer::Yes: break;
        case FileDialogs::Answer::No: return miSaveAsClick(mode);
        case FileDialogs::Answer::Cancel: return false;
        case FileDialogs::Answer::Merge:
            // Nothing is written: the merged notebook is the user's to look over and save.
            if (mergeWithDisk) mergeWithDisk();
            return false;
        }
    }
    return save(path, QFileInfo::exists(path) ? MakeBackup(path) : QString(), mode);
}

QString DocumentCommands::DialogFolder() const {
    if (doc_.FFileName.empty() && !unnamedFolder_.isEmpty()) return unnamedFolder_;
    const QString name = doc_.FFileName.empty() ? DefaultDocumentPath() : fromPath(doc_.FFileName);
    return name.isEmpty() ? QString() : QFileInfo(name).absolutePath();
}

QString DocumentCommands::MakeBackup(const QString& path) {
    // The document itself may carry the backup's name (notes.bak): it never becomes its
    // own backup, or the save would remove the only copy.
    const QString backup = BackupPath(path);
    return backup == path ? QString() : backup;
}

bool DocumentCommands::miSaveAsClick(SaveMode mode) {
    if (commitEdits) commitEdits();
    waitForRunningSave();
    for (;;) {
        const QString chosen = dialogs_.saveFile(owner_, DialogFolder());
        if (chosen.isEmpty()) return false;
        const QString path = SaveAsPath(chosen);
        // The notebook takes the new name once its file is there.
        auto named = [this, path] {
            doc_.FFileName = toPath(path);
            doc_.ui().setStatus(toPath(path));
        };
        bool saved = false;
        bool tried = false;
        if (QFileInfo::exists(path)) {
            switch (dialogs_.askOverwrite(owner_)) {
            case FileDialogs::Answer::Cancel:
            case FileDialogs::Answer::Merge: return false;
            case FileDialogs::Answer::Yes:
                // A failed save leaves the old file under its name (the replace is
                // atomic), so there is nothing to move back.
                tried = true;
                saved = save(path, MakeBackup(path), mode, named);
                break;
            case FileDialogs::Answer::No: saved = false; break;
            }
        } else {
            tried = true;
            saved = save(path, QString(), mode, named);
        }
        if (saved) return true;
        // A save that could not start in the background has said why; it is not retried.
        if (tried && mode == SaveMode::Background && startSave) return false;
    }
}

}  // namespace lark::files
