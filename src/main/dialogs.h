#pragma once
// Every dialog and message box of the window comes from one provider, so that tests can
// answer questions and pick file names. The default implementation shows Qt dialogs.
#include <QString>

class QIcon;
class QWidget;
class QPrinter;

namespace lark::gui {

class Dialogs {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~Dialogs() = default;

    // Error box: application title, error icon, OK.
    virtual void errorBox(QWidget* parent, const QString& text);
    // Plain message: application title, OK.
    virtual void message(QWidget* parent, const QString& text);
    // A plain report (application title, OK) that stays readable and closable however
    // many lines it has: the text scrolls. Defined in report_box.cpp.
    virtual void report(QWidget* parent, const QString& text);
    // Confirmation with Yes and No; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& text);
    // "Сохранить изменения?": Yes (default), No, Cancel; Esc is Cancel.
    virtual Answer askSaveChanges(QWidget* parent);
    // The overwrite question of Save as: exclamation icon, application title, Yes/No/Cancel.
    virtual Answer askOverwrite(QWidget* parent);
    // The file was changed by another program since it was opened or saved: Yes overwrites
    // it, No saves under another name, Cancel (also Esc) saves nothing.
    virtual Answer askChangedOnDisk(QWidget* parent, const QString& path);
    // The open dialog with its read-only check box; empty when cancelled.
    virtual QString openFile(QWidget* parent, bool& readOnly);
    // The save dialog; empty when cancelled. It asks nothing about existing files.
    virtual QString saveFile(QWidget* parent);
    // One-line input box; false when cancelled.
    virtual bool inputBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value);
    // The print dialog; false when cancelled.
    virtual bool printDialog(QWidget* parent, QPrinter& printer);
    // Where to export the notebook: an HTML page (`html` true) or a new folder of text files;
    // empty when cancelled. Defined in exchange_dialogs.cpp.
    virtual QString exportTarget(QWidget* parent, bool& html);
    // The folder to import; empty when cancelled. Defined in exchange_dialogs.cpp.
    virtual QString importFolder(QWidget* parent);
    // The about box: the program's name line and icon, then `text`. Defined in about_box.cpp.
    virtual void about(QWidget* parent, const QString& nameLine, const QString& text, const QIcon& icon);
};

// Name filters of the notebook dialogs: notebook files (.lkp in any letter case), all files.
QString NotebookFilters();

}  // namespace lark::gui
