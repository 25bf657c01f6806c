#include "support/scripted_dialogs.h"

#include <QPrinter>
#include <QWidget>

namespace lark::guitest {

namespace {
template <class T>
bool take(std::deque<T>& q, T& out) {
    if (q.empty()) return false;
    out = q.front();
    q.pop_front();
    return true;
}
}  // namespace

bool ScriptedDialogs::confirm(QWidget*, const QString& text) {
    asked << QStringLiteral("confirm");
    confirmTexts << text;
    if (duringConfirm) duringConfirm();
    bool answer = false;
    if (!take(confirms, answer)) unexpected << QStringLiteral("confirm: ") + text;
    return answer;
}

gui::Dialogs::Answer ScriptedDialogs::askRecovery(QWidget*, const QString& text) {
    asked << QStringLiteral("recovery");
    confirmTexts << text;
    Answer a = Answer::Cancel;
    if (!take(recoveries, a)) unexpected << QStringLiteral("recovery: ") + text;
    return a;
}

gui::Dialogs::Answer ScriptedDialogs::askSaveChanges(QWidget* parent) {
    asked << QStringLiteral("saveChanges");
    if (parent && !parent->isVisible()) ++askedOverHidden;
    Answer a = Answer::Cancel;
    if (!take(saveChanges, a)) unexpected << QStringLiteral("saveChanges");
    return a;
}

gui::Dialogs::Answer ScriptedDialogs::askOverwrite(QWidget*) {
    asked << QStringLiteral("overwrite");
    Answer a = Answer::Cancel;
    if (!take(overwrite, a)) unexpected << QStringLiteral("overwrite");
    return a;
}

gui::Dialogs::Answer ScriptedDialogs::askChangedOnDisk(QWidget*, const QString&) {
    asked << QStringLiteral("changedOnDisk");
    Answer a = Answer::Cancel;
    if (!take(changedOnDisk, a)) unexpected << QStringLiteral("changedOnDisk");
    return a;
}

QString ScriptedDialogs::openFile(QWidget*, const QString& folder, bool& readOnly) {
    asked << QStringLiteral("open");
    folders << folder;
    OpenChoice c;
    if (!take(opens, c)) unexpected << QStringLiteral("open");
    readOnly = c.readOnly;
    return c.path;
}

QString ScriptedDialogs::saveFile(QWidget*, const QString& folder) {
    asked << QStringLiteral("save");
    folders << folder;
    QString path;
    if (!take(saves, path)) unexpected << QStringLiteral("save");
    return path;
}

bool ScriptedDialogs::inputBox(QWidget*, const QString& caption, const QString&, QString&) {
    unexpected << QStringLiteral("input: ") + caption;
    return false;
}

bool ScriptedDialogs::askPassword(QWidget*, const QString& prompt, QString& password) {
    asked << prompt;
    QString typed;
    if (!take(passwords, typed)) {
        unexpected << QStringLiteral("password: ") + prompt;
        return false;
    }
    if (typed.isNull()) return false;
    password = typed;
    return true;
}

bool ScriptedDialogs::printDialog(QWidget*, QPrinter& printer) {
    asked << QStringLiteral("print");
    printFiles << printer.outputFileName();
    QString pdf;
    if (!take(prints, pdf)) {
        unexpected << QStringLiteral("print");
        return false;
    }
    if (pdf.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
}

QString ScriptedDialogs::exportTarget(QWidget*, bool& html) {
    asked << QStringLiteral("export");
    ExportChoice c;
    if (!take(exports, c)) unexpected << QStringLiteral("export");
    html = c.html;
    return c.path;
}

QString ScriptedDialogs::importFolder(QWidget*) {
    asked << QStringLiteral("import");
    QString path;
    if (!take(imports, path)) unexpected << QStringLiteral("import");
    return path;
}

bool ScriptedDialogs::allUsed() const {
    return unexpected.isEmpty() && saveChanges.empty() && overwrite.empty() && changedOnDisk.empty() &&
           confirms.empty() && recoveries.empty() && opens.empty() && saves.empty() && prints.empty() &&
           exports.empty() && imports.empty() && passwords.empty();
}

}  // namespace lark::guitest
