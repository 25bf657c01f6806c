#pragma once
// Every dialog and message box of the window comes from one provider, so that tests can
// answer questions and pick file names. The default implementation shows Qt dialogs.
#include <QString>

#include "files/file_dialogs.h"

class QIcon;
class QWidget;
class QPrinter;

namespace lark::gui {

class Dialogs : public files::FileDialogs {
public:
    // Error box: application title, error icon, OK.
    virtual void errorBox(QWidget* parent, const QString& text);
    // Plain message: application title, OK.
    virtual void message(QWidget* parent, const QString& text);
    // A plain report (application title, OK) that stays readable and closable however
    // many lines it has: the text scrolls. Defined in report_box.cpp.
    virtual void report(QWidget* parent, const QString& text);
    // Confirmation with Yes and No; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& text);
    // The offer of a recovery copy: Yes restores, No deletes it, Cancel ("Позже", Escape,
    // closing the box) keeps it for the next start.
    virtual Answer askRecovery(QWidget* parent, const QString& text);
    // The questions and file dialogs of the document commands (files::FileDialogs).
    Answer askSaveChanges(QWidget* parent) override;
    Answer askOverwrite(QWidget* parent) override;
    Answer askChangedOnDisk(QWidget* parent, const QString& path) override;
    QString openFile(QWidget* parent, const QString& folder, bool& readOnly) override;
    QString saveFile(QWidget* parent, const QString& folder) override;
    // One-line input box; false when cancelled.
    virtual bool inputBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value);
    // A password typed without being shown; false when cancelled. Defined in password_dialog.cpp.
    virtual bool askPassword(QWidget* parent, const QString& prompt, QString& password);
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

// The width a dialog needs for `caption` in its title bar: the text in a bold face, plus
// the icon and the buttons that share the bar; at most nine tenths of the screen.
int CaptionRoom(const QWidget& dialog, const QString& caption);

}  // namespace lark::gui
