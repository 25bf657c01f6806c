// Document commands driven through the real window with scripted answers: the save
// question on every path, Save and Save as with their backups, read-only opens, and the
// path rules.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include "document/file_access.h"
#include "editor/note_editor.h"
#include "files/document_commands.h"
#include "files/paths.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

class DocumentCommandsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const char* name) { return dir_.filePath(QLatin1String(name)); }
    QString notebook(const char* name, const char* firstText = "first") {
        QString p = path(name);
        WriteNotebook(p, {{0, "A", firstText}, {1, "B", "second"}, {0, "C", "third"}}, 0);
        return p;
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }

    void paths_data();
    void paths();
    void saveQuestion_data();
    void saveQuestion();
    void yesThenCancelledSaveAsKeepsChanges();
    void yesThenFailedSaveKeepsChanges();
    void noQuestionWithoutChanges();
    void typedTextCountsAsChange();
    void openCancelledKeepsChangesAndAsksAgain();
    void backupAfterTwoSaves();
    void saveAsOntoCurrentFile();
    void saveAsLoop();
    void saveAsForcesExtension();
    void saveOfDeletedFileWritesWithoutBackup();
    void readOnlyOpenThenNew();
    void saveInPlainTextViewAsksForName();
    void openFailureKeepsNotebook();
    void dialogsStartInTheNotebooksFolder_data();
    void dialogsStartInTheNotebooksFolder();
};

void DocumentCommandsTest::paths_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QString>("saveAs");
    QTest::newRow("nominal: extension replaced") << "/d/Notes/Work.LKP"
                                                 << "/d/Notes/Work.bak"
                                                 << "/d/Notes/Work.lkp";
    QTest::newRow("nominal: no extension appended") << "/d/My Docs/notes"
                                                    << "/d/My Docs/notes.bak"
                                                    << "/d/My Docs/notes.lkp";
    QTest::newRow("nominal: case of the path kept") << "/Д/Заметки/Мои.TXT"
                                                    << "/Д/Заметки/Мои.bak"
                                                    << "/Д/Заметки/Мои.lkp";
    QTest::newRow("robustness: dot only in a directory") << "/d/v1.2/notes"
                                                         << "/d/v1.2/notes.bak"
                                                         << "/d/v1.2/notes.lkp";
    QTest::newRow("robustness: last dot counts") << "/d/a.b.c"
                                                 << "/d/a.b.bak"
                                                 << "/d/a.b.lkp";
    QTest::newRow("robustness: hidden file name") << "/d/.notes"
                                                  << "/d/.bak"
                                                  << "/d/.lkp";
}

void DocumentCommandsTest::paths() {
    QFETCH(QString, in);
    QFETCH(QString, backup);
    QFETCH(QString, saveAs);
    QCOMPARE(files::BackupPath(in), backup);
    QCOMPARE(files::SaveAsPath(in), saveAs);
}

// The question guards New, Open and Exit; Yes saves, No drops, Cancel ends the command.
void DocumentCommandsTest::saveQuestion_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    for (const char* c : {"new", "open", "exit"}) {
        QTest::addRow("nominal: %s, yes", c) << c << int(Answer::Yes);
        QTest::addRow("nominal: %s, no", c) << c << int(Answer::No);
        QTest::addRow("nominal: %s, cancel", c) << c << int(Answer::Cancel);
    }
}

void DocumentCommandsTest::saveQuestion() {
    QFETCH(QString, command);
    QFETCH(int, answer);
    const QString file = notebook("q.lkp");
    const QString other = notebook("other.lkp", "other first");
    Window w({file});
    w.click(w.at(2));
    w.type(QStringLiteral("edited "));
    QVERIFY(w.doc().isModified());
    w.dialogs.saveChanges.push_back(Answer(answer));
    if (command == "open" && answer != int(Answer::Cancel)) w.dialogs.opens.push_back({other, false});

    if (command == "new") w.trigger(Action(w.frame(), "miClear"));
    else if (command == "open") w.trigger(Action(w.frame(), "miOpen"));
    else w.trigger(Action(w.frame(), "miExit"));
    QApplication::processEvents();

    QVERIFY2(w.dialogs.allUsed(), qPrintable(w.dialogs.unexpected.join(", ")));
    QCOMPARE(w.dialogs.asked.first(), QStringLiteral("saveChanges"));
    const bool saved = ReadAll(file).find("edited third") != std::string::npos;
    QCOMPARE(saved, answer == int(Answer::Yes));
    if (answer == int(Answer::Cancel)) {
        // Nothing happened: same notebook, still changed, window still open.
        QCOMPARE(QString::fromStdString(w.doc().FFileName), file);
        QVERIFY(w.doc().isModified());
        QVERIFY(w.frame().isVisible());
        QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("edited third"));
        return;
    }
    if (command == "new") {
        QCOMPARE(w.doc().tree().count(), 0);
        QVERIFY(w.doc().FFileName.empty());
    } else if (command == "open") {
        QCOMPARE(QString::fromStdString(w.doc().FFileName), other);
        QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("other first"));
    } else {
        QVERIFY(!w.frame().isVisible());
        return;  // closed: with No the changes are simply dropped
    }
    QVERIFY(!w.doc().isModified());
}

// "Yes" and then no save (the dialog of an unnamed notebook cancelled): the changes
// the user asked to keep are not dropped, whatever the command.
void DocumentCommandsTest::yesThenCancelledSaveAsKeepsChanges() {
    Window w;
    w.doc().FFileName.clear();
    w.type(QStringLiteral("precious"));
    for (QAction* command : {Action(w.frame(), "miClear"), Action(w.frame(), "miOpen"), Action(w.frame(), "miExit")}) {
        w.dialogs.saveChanges.push_back(Answer::Yes);
        w.dialogs.saves.emplace_back();  // cancel the save dialog
        w.trigger(command);
        QApplication::processEvents();
        QVERIFY2(w.dialogs.allUsed(), qPrintable(command->objectName() + w.dialogs.unexpected.join(", ")));
        QVERIFY(w.frame().isVisible());
        QVERIFY(w.doc().isModified());
        // The typed text went into a section by the save attempt or is still in the editor.
        const bool kept =
            Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText() == QStringLiteral("precious") ||
            (w.doc().tree().count() > 0 && w.at(0)->text() == "precious");
        QVERIFY2(kept, qPrintable(command->objectName()));
    }
}

void DocumentCommandsTest::yesThenFailedSaveKeepsChanges() {
    const QString file = notebook("fail.lkp");
    Window w({file});
    w.type(QStringLiteral("x"));
    // The directory disappears: the save cannot create its file.
    w.doc().FFileName = dir_.filePath(QStringLiteral("gone/fail.lkp")).toStdString();
    w.dialogs.saveChanges.push_back(Answer::Yes);
    w.trigger(Action(w.frame(), "miClear"));
    QCOMPARE(w.dialogs.errors.size(), 1);
    QVERIFY(w.doc().isModified());
    QCOMPARE(w.doc().tree().count(), 3);
}

void DocumentCommandsTest::noQuestionWithoutChanges() {
    const QString file = notebook("clean.lkp");
    Window w({file});
    w.click(w.at(2));  // moving the selection is no change
    w.trigger(Action(w.frame(), "miClear"));
    QVERIFY(w.dialogs.asked.isEmpty());
    QCOMPARE(w.doc().tree().count(), 0);
}

void DocumentCommandsTest::typedTextCountsAsChange() {
    const QString file = notebook("typed.lkp");
    Window w({file});
    w.type(QStringLiteral("z"));
    QVERIFY(!w.doc().treeModified());  // only the editor knows
    w.dialogs.saveChanges.push_back(Answer::Cancel);
    w.trigger(Action(w.frame(), "miClear"));
    QCOMPARE(w.dialogs.asked, QStringList{QStringLiteral("saveChanges")});
}

void DocumentCommandsTest::openCancelledKeepsChangesAndAsksAgain() {
    const QString file = notebook("oc.lkp");
    Window w({file});
    w.type(QStringLiteral("keep"));
    w.dialogs.saveChanges.push_back(Answer::No);
    w.dialogs.opens.push_back({});  // cancel the open dialog
    w.trigger(Action(w.frame(), "miOpen"));
    QVERIFY(w.doc().isModified());
    QCOMPARE(QString::fromStdString(w.doc().FFileName), file);
    w.dialogs.saveChanges.push_back(Answer::Cancel);
    w.trigger(Action(w.frame(), "miOpen"));
    QCOMPARE(w.dialogs.asked.count(QStringLiteral("saveChanges")), 2);
    QVERIFY(w.dialogs.allUsed());
}

void DocumentCommandsTest::backupAfterTwoSaves() {
    const QString file = notebook("two.lkp");
    const std::string original = ReadAll(file);
    Window w({file});
    w.type(QStringLiteral("one "));
    w.trigger(Action(w.frame(), "miSave"));
    const std::string afterFirst = ReadAll(file);
    QVERIFY(afterFirst != original);
    QCOMPARE(ReadAll(files::BackupPath(file)), original);
    w.type(QStringLiteral("two "));
    w.trigger(Action(w.frame(), "miSave"));
    QCOMPARE(ReadAll(files::BackupPath(file)), afterFirst);
    QVERIFY(ReadAll(file).find("one two first") != std::string::npos);
    QCOMPARE(w.frame().statusBar()->currentMessage(), QStringLiteral("Сохранено ") + file);
    QVERIFY(w.dialogs.asked.isEmpty());
}

void DocumentCommandsTest::saveAsOntoCurrentFile() {
    const QString file = notebook("self.lkp");
    const std::string original = ReadAll(file);
    Window w({file});
    w.type(QStringLiteral("new "));
    w.dialogs.saves.push_back(file);
    w.dialogs.overwrite.push_back(Answer::Yes);
    w.trigger(Action(w.frame(), "miSaveAs"));
    QVERIFY(w.dialogs.allUsed());
    QCOMPARE(ReadAll(files::BackupPath(file)), original);
    QVERIFY(ReadAll(file).find("new first") != std::string::npos);
    QCOMPARE(w.frame().statusBar()->currentMessage(), file);  // the bare path
    QVERIFY(!w.doc().isModified());
}

// No brings the dialog back; Cancel in the question ends Save as without saving.
void DocumentCommandsTest::saveAsLoop() {
    const QString file = notebook("loop.lkp");
    const QString taken = notebook("taken.lkp");
    const std::string takenBytes = ReadAll(taken);
    Window w({file});
    w.type(QStringLiteral("t"));
    w.dialogs.saves = {taken, taken};
    w.dialogs.overwrite = {Answer::No, Answer::Cancel};
    w.trigger(Action(w.frame(), "miSaveAs"));
    QVERIFY(w.dialogs.allUsed());
    QCOMPARE(w.dialogs.asked, (QStringList{"save", "overwrite", "save", "overwrite"}));
    QCOMPARE(ReadAll(taken), takenBytes);
    QCOMPARE(QString::fromStdString(w.doc().FFileName), file);
    QVERIFY(w.doc().isModified());
}

void DocumentCommandsTest::saveAsForcesExtension() {
    Window w;
    w.type(QStringLiteral("text"));
    w.dialogs.saves.push_back(path("Notes.TXT"));
    w.trigger(Action(w.frame(), "miSaveAs"));
    const QString written = path("Notes.lkp");
    QVERIFY(QFileInfo::exists(written));
    QVERIFY(!QFileInfo::exists(path("Notes.TXT")));
    QCOMPARE(QString::fromStdString(w.doc().FFileName), written);
    QCOMPARE(ReadAll(written).substr(0, 4), std::string("LKP\x01"));
}

void DocumentCommandsTest::saveOfDeletedFileWritesWithoutBackup() {
    const QString file = notebook("del.lkp");
    Window w({file});
    CloseDocumentFile(w.doc().FFileHandle);
    QVERIFY(QFile::remove(file));
    w.type(QStringLiteral("again "));
    w.trigger(Action(w.frame(), "miSave"));
    QVERIFY(QFileInfo::exists(file));
    QVERIFY(!QFileInfo::exists(files::BackupPath(file)));
    QVERIFY(w.dialogs.asked.isEmpty());
}

void DocumentCommandsTest::readOnlyOpenThenNew() {
    const QString file = notebook("ro.lkp");
    Window w;
    w.dialogs.opens.push_back({file, true});
    w.trigger(Action(w.frame(), "miOpen"));
    QVERIFY(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->isReadOnly());
    QVERIFY(w.doc().view().treeReadOnly());
    QCOMPARE(QString::fromStdString(w.doc().FFileName), file);
    w.trigger(Action(w.frame(), "miClear"));
    QCOMPARE(w.doc().tree().count(), 0);
    QVERIFY(w.doc().FFileName.empty());
    // Still read-only until the next open.
    QVERIFY(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->isReadOnly());
    QVERIFY(w.doc().view().treeReadOnly());
}

// A text file shown in the plain-text view is never overwritten by a notebook: Save
// asks for a name.
void DocumentCommandsTest::saveInPlainTextViewAsksForName() {
    const QString text = path("letter.txt");
    const std::string bytes = "Dear friend,\r\nthis is not a notebook.\r\n";
    WriteAll(text, bytes);
    Window w;
    w.dialogs.opens.push_back({text, true});
    w.trigger(Action(w.frame(), "miOpen"));
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(),
             QStringLiteral("Dear friend,\nthis is not a notebook.\n"));
    w.dialogs.saves.emplace_back();
    w.trigger(Action(w.frame(), "miSave"));
    QCOMPARE(w.dialogs.asked.last(), QStringLiteral("save"));
    QCOMPARE(ReadAll(text), bytes);
    QVERIFY(!QFileInfo::exists(files::BackupPath(text)));
}

void DocumentCommandsTest::openFailureKeepsNotebook() {
    const QString file = notebook("keep.lkp");
    Window w({file});
    w.dialogs.opens.push_back({path("missing.lkp"), false});
    w.trigger(Action(w.frame(), "miOpen"));
    QCOMPARE(w.dialogs.errors.size(), 1);
    QCOMPARE(w.doc().tree().count(), 3);
    QCOMPARE(QString::fromStdString(w.doc().FFileName), file);
}

void DocumentCommandsTest::dialogsStartInTheNotebooksFolder_data() {
    QTest::addColumn<QString>("folder");  // where the notebook lies; empty: an unnamed notebook
    QTest::addColumn<bool>("saveAs");
    QTest::newRow("nominal: open, named notebook") << "Архив/2026" << false;
    QTest::newRow("nominal: save as, named notebook") << "Архив/2026" << true;
    QTest::newRow("nominal: open, unnamed notebook") << "" << false;
    QTest::newRow("nominal: save as, unnamed notebook") << "" << true;
}

void DocumentCommandsTest::dialogsStartInTheNotebooksFolder() {
    QFETCH(QString, folder);
    QFETCH(bool, saveAs);
    QStringList arguments;
    QString expected = QFileInfo(files::DefaultDocumentPath()).absolutePath();
    if (!folder.isEmpty()) {
        QVERIFY(QDir(dir_.path()).mkpath(folder));
        const QString file = dir_.filePath(folder + QStringLiteral("/n.lkp"));
        WriteNotebook(file, {{0, "A", "a"}}, 0);
        arguments << file;
        expected = QFileInfo(file).absolutePath();
    }
    Window w(arguments);
    if (folder.isEmpty()) {
        w.trigger(Action(w.frame(), "miClear"));
        QVERIFY(w.doc().FFileName.empty());
    }
    if (saveAs) {
        w.dialogs.saves.emplace_back();
        w.trigger(Action(w.frame(), "miSaveAs"));
    } else {
        w.dialogs.opens.push_back({});
        w.trigger(Action(w.frame(), "miOpen"));
    }
    QVERIFY(w.dialogs.allUsed());
    QCOMPARE(w.dialogs.folders, QStringList{expected});
    QVERIFY(expected != QDir::currentPath());
}

QTEST_MAIN(DocumentCommandsTest)
#include "document_commands_test.moc"
