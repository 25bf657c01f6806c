#pragma once
// A Dialogs provider that answers from scripts and records every question, so window
// tests run without anyone clicking. A question without a scripted answer is recorded
// in `unexpected` and answered Cancel (or with an empty file name).
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

#include "main/dialogs.h"

namespace lark::guitest {

class ScriptedDialogs : public gui::Dialogs {
public:
    struct OpenChoice {
        QString path;
        bool readOnly = false;
    };

    std::deque<Answer> saveChanges;    // answers to "Сохранить изменения?"
    std::deque<Answer> overwrite;      // answers to the overwrite question
    std::deque<Answer> changedOnDisk;  // answers to the question about a file changed elsewhere
    std::deque<bool> confirms;         // answers to Yes/No confirmations
    std::deque<Answer> recoveries;     // answers to the offers of recovery copies
    std::deque<OpenChoice> opens;      // open dialog results (empty path: cancel)
    std::deque<QString> saves;         // save dialog results (empty: cancel)
    struct ExportChoice {
        QString path;  // empty: cancel
        bool html = false;
    };
    std::deque<ExportChoice> exports;     // export dialog results
    std::deque<QString> imports;          // import folder choices (empty: cancel)
    std::deque<QString> prints;           // print dialog results: a PDF file to print to (empty: cancel)
    std::deque<QString> passwords;        // typed passwords (a null string: Cancel)
    std::function<void()> duringConfirm;  // runs while a confirmation is open

    QStringList errors, messages, confirmTexts, asked, unexpected;
    int askedOverHidden = 0;  // questions about unsaved changes asked over a hidden window
    QStringList folders;      // the folder each open and save dialog started in
    QStringList printFiles;   // the PDF file each print dialog proposed

    void errorBox(QWidget*, const QString& text) override { errors << text; }
    void message(QWidget*, const QString& text) override { messages << text; }
    bool confirm(QWidget*, const QString& text) override;
    Answer askRecovery(QWidget*, const QString& text) override;
    Answer askSaveChanges(QWidget*) override;
    Answer askOverwrite(QWidget*) override;
    Answer askChangedOnDisk(QWidget*, const QString& path) override;
    QString openFile(QWidget*, const QString& folder, bool& readOnly) override;
    QString saveFile(QWidget*, const QString& folder) override;
    bool inputBox(QWidget*, const QString& caption, const QString&, QString&) override;
    bool askPassword(QWidget*, const QString& prompt, QString& password) override;
    bool printDialog(QWidget*, QPrinter& printer) override;
    QString exportTarget(QWidget*, bool& html) override;
    QString importFolder(QWidget*) override;

    // True when every scripted answer was used and nothing unscripted was asked.
    bool allUsed() const;
};

}  // namespace lark::guitest
