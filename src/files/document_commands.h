#pragma once
// The commands that decide which notebook is in the window and where it goes on disk:
// New, Open, Save, Save as, the question to save changes and the backup step. They work
// on the Document and ask through FileDialogs, so tests drive them with
// scripted answers.
#include <QString>
#include <functional>
#include <memory>

#include "document/document.h"
#include "files/file_dialogs.h"

class QWidget;

namespace lark::files {

// Wait: the command returns when the file is written (or the save failed). Background:
// the command returns once the save has started (when the window can write on a worker);
// the outcome is reported when the file is on disk.
enum class SaveMode { Wait, Background };

class DocumentCommands {
public:
    DocumentCommands(Document& doc, FileDialogs& dialogs, QWidget* owner);

    // Makes sure the window is shown and in front before a question (set by the window).
    std::function<void()> showWindow;
    // True while the editor shows a file that is not a notebook (plain-text view).
    std::function<bool()> showsPlainFile;
    std::function<bool(const std::string& path, bool readOnly)> load;
    // Commits an edit still open in the window (a section name being typed), as Enter would.
    std::function<void()> commitEdits;
    // The window's saves (set by the window): starts writing a job on a worker and calls
    // `done` with the outcome once the file is on disk; waits for the saves being written.
    // Every save goes this way, a waiting one too. Unset: saves are written here and now.
    std::function<void(std::unique_ptr<SaveJob>, std::function<void(bool saved)> done)> startSave;
    std::function<void()> waitForSave;
    // Merges the file's version into the notebook (the answer "Объединить" when the file
    // changed elsewhere); set by the window.
    std::function<void()> mergeWithDisk;

    // Returns normally when the caller may go on; ends the command with SilentAbort on
    // Cancel, and also when the user answered Yes but the notebook was not saved.
    void AskSaveChanges();
    void miClearClick();
    void miOpenClick();
    // Both return whether the notebook was written, or in the background, whether the save
    // started.
    bool miSaveClick(SaveMode mode = SaveMode::Wait);
    bool miSaveAsClick(SaveMode mode = SaveMode::Wait);
    // The backup that a save of `path` keeps the previous version in; empty when that
    // would be the document itself. The save makes it without moving the document.
    QString MakeBackup(const QString& path);
    // The folder the open and save dialogs start in: the notebook's own, or for an
    // unnamed notebook the folder it came from (setUnnamedFolder), else the data folder
    // (where LARKPAD.LKP lives).
    QString DialogFolder() const;
    // Where the dialogs start while the notebook has no file: an imported notebook's
    // folder's parent. New forgets it.
    void setUnnamedFolder(const QString& folder) { unnamedFolder_ = folder; }

private:
    QString unnamedFolder_;
    bool save(const QString& path, const QString& backup, SaveMode mode, std::function<void()> saved = {});
    void waitForRunningSave() {
        if (waitForSave) waitForSave();
    }

    Document& doc_;
    FileDialogs& dialogs_;
    QWidget* owner_;
};

}  // namespace lark::files
