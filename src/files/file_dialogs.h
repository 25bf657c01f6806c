#pragma once
// The questions and file dialogs the document commands need. The window answers them
// with its dialogs; tests answer them from scripts.
#include <QString>

class QWidget;

namespace lark::files {

class FileDialogs {
public:
    enum class Answer { Yes, No, Cancel, Merge };

    virtual ~FileDialogs() = default;

    // "Сохранить изменения?": Yes (default), No, Cancel; Esc is Cancel.
    virtual Answer askSaveChanges(QWidget* parent) = 0;
    // The overwrite question of Save as: exclamation icon, application title, Yes/No/Cancel.
    virtual Answer askOverwrite(QWidget* parent) = 0;
    // The file was changed by another program since it was opened or saved: Yes overwrites
    // it, No saves under another name, Merge merges its version into the notebook (saving
    // nothing yet), Cancel (also Esc) saves nothing.
    virtual Answer askChangedOnDisk(QWidget* parent, const QString& path) = 0;
    // The open dialog with its read-only check box, showing `folder` first; empty when
    // cancelled.
    virtual QString openFile(QWidget* parent, const QString& folder, bool& readOnly) = 0;
    // The save dialog, showing `folder` first; empty when cancelled. It asks nothing about
    // existing files.
    virtual QString saveFile(QWidget* parent, const QString& folder) = 0;
};

}  // namespace lark::files
