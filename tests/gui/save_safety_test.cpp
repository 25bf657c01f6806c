// Saves from the window that must never lose a notebook: a name still being typed, a
// document named like its backup, a target another window holds, a target that cannot
// be replaced.
#include <sys/stat.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include "document/file_access.h"
#include "files/paths.h"
#include "main/section_tree_view.h"
#include "main/window_ui.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

class SaveSafetyTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString notebook(const char* name) {
        QString p = dir_.filePath(QLatin1String(name));
        WriteNotebook(p, {{0, "A", "first"}, {0, "B", "second"}}, 0);
        return p;
    }
    static QStringList entries(const QString& dir) {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void pendingNameIsCommitted_data();
    void pendingNameIsCommitted();
    void documentNamedLikeItsBackup();
    void saveAsOntoAHeldTarget();
    void failedSaveAsOverAnExistingFile();
    void fileChangedElsewhere_data();
    void fileChangedElsewhere();
    void secondSaveAndTheBackup_data();
    void secondSaveAndTheBackup();
};

// A name typed into the tree without Enter is taken by the next command, and by the
// question of a close, with the rules Enter applies.
void SaveSafetyTest::pendingNameIsCommitted_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("nominal: Save") << "save";
    QTest::newRow("nominal: close button, Yes") << "close";
    QTest::newRow("nominal: Exit, Yes") << "exit";
}

void SaveSafetyTest::pendingNameIsCommitted() {
    QFETCH(QString, how);
    const QString file = notebook("pending.lkp");
    Window w({file});
    w.click(w.at(1));
    w.trigger(Action(w.frame(), "miRename"));
    QLineEdit* edit = nullptr;
    QTRY_VERIFY((edit = Child<gui::SectionTreeView>(w.frame(), "tvNodes")->findChild<QLineEdit*>()) != nullptr);
    edit->setText(QStringLiteral("\tПланы"));  // no Enter
    if (how == "save") {
        w.trigger(Action(w.frame(), "miSave"));
    } else {
        w.dialogs.saveChanges.push_back(Answer::Yes);
        if (how == "close") w.frame().close();
        else w.trigger(Action(w.frame(), "miExit"));
        QApplication::processEvents();
        QVERIFY(!w.frame().isVisible());
    }
    QVERIFY2(w.dialogs.allUsed(), qPrintable(w.dialogs.unexpected.join(", ")));
    QCOMPARE(w.name(1), Cp1251(" Планы"));
    QVERIFY(ReadAll(file).find(Cp1251(" Планы")) != std::string::npos);
    QVERIFY(!w.doc().isModified());
}

// notes.bak opened and saved: it is replaced, never removed as its own backup.
void SaveSafetyTest::documentNamedLikeItsBackup() {
    QTemporaryDir local;
    const QString file = local.filePath(QStringLiteral("notes.bak"));
    WriteNotebook(file, {{0, "A", "first"}}, 0);
    Window w({file});
    w.type(QStringLiteral("kept "));
    w.trigger(Action(w.frame(), "miSave"));
    QVERIFY(w.dialogs.errors.isEmpty());
    QVERIFY(ReadAll(file).find("kept first") != std::string::npos);
    QCOMPARE(entries(local.path()), QStringList{QStringLiteral("notes.bak")});
}

// Save as onto a notebook another window holds: refused before anything moves, and the
// two windows do not end up writing over each other.
void SaveSafetyTest::saveAsOntoAHeldTarget() {
    const QString mine = notebook("mine.lkp");
    const QString theirs = notebook("theirs.lkp");
    const std::string theirBytes = ReadAll(theirs);
    Window other({theirs});
    QVERIFY(other.doc().FFileHandle.valid());
    Window w({mine});
    w.type(QStringLiteral("mine "));
    w.dialogs.saves = {theirs, QString()};
    w.dialogs.overwrite = {Answer::Yes};
    w.trigger(Action(w.frame(), "miSaveAs"));
    QCOMPARE(w.dialogs.errors,
             QStringList{QStringLiteral("Cannot create file \"%1\". %2").arg(theirs, QString::fromUtf8(kInUseText))});
    QCOMPARE(ReadAll(theirs), theirBytes);
    QVERIFY(!QFileInfo::exists(files::BackupPath(theirs)));
    QCOMPARE(QString::fromStdString(w.doc().FFileName), mine);
    QVERIFY(w.doc().isModified());
    // The other window still saves its own notebook.
    other.type(QStringLiteral("theirs "));
    other.trigger(Action(other.frame(), "miSave"));
    QVERIFY(other.dialogs.errors.isEmpty());
    QVERIFY(ReadAll(theirs).find("theirs first") != std::string::npos);
}

// A Save as over an existing file that fails leaves that file under its name.
void SaveSafetyTest::failedSaveAsOverAnExistingFile() {
    const QString mine = notebook("source.lkp");
    const QString target = notebook("locked.lkp");
    const std::string targetBytes = ReadAll(target);
    QVERIFY(::chmod(target.toLocal8Bit().constData(), 0444) == 0);
    Window w({mine});
    w.type(QStringLiteral("x"));
    w.dialogs.saves = {target, QString()};
    w.dialogs.overwrite = {Answer::Yes};
    w.trigger(Action(w.frame(), "miSaveAs"));
    QCOMPARE(w.dialogs.errors.size(), 1);
    QVERIFY(w.dialogs.errors.first().startsWith(QStringLiteral("Cannot create file \"%1\".").arg(target)));
    QCOMPARE(ReadAll(target), targetBytes);
    QVERIFY(w.doc().isModified());
    QCOMPARE(QString::fromStdString(w.doc().FFileName), mine);
}

// Save over a file that another program replaced or changed since it was read asks first.
void SaveSafetyTest::fileChangedElsewhere_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("answer");  // -1: no question expected
    QTest::newRow("nominal: unchanged, no question") << "none" << -1;
    QTest::newRow("nominal: deleted, written again without a question") << "delete" << -1;
    QTest::newRow("robustness: replaced, Yes overwrites") << "replace" << int(Answer::Yes);
    QTest::newRow("robustness: replaced, No saves as") << "replace" << int(Answer::No);
    QTest::newRow("robustness: replaced, Cancel keeps both") << "replace" << int(Answer::Cancel);
    QTest::newRow("robustness: changed in place, Cancel") << "append" << int(Answer::Cancel);
}

void SaveSafetyTest::fileChangedElsewhere() {
    QFETCH(QString, change);
    QFETCH(int, answer);
    QTemporaryDir local;
    const QString file = local.filePath(QStringLiteral("shared.lkp"));
    const QString elsewhere = local.filePath(QStringLiteral("mine.lkp"));
    WriteNotebook(file, {{0, "A", "first"}}, 0);
    Window w({file});
    w.type(QStringLiteral("mine "));
    const std::string theirs = "their version of the notebook";
    if (change == "delete") {
        QVERIFY(QFile::remove(file));
    } else if (change == "replace") {
        // A sync tool or another editor: new file, renamed over the old one.
        WriteAll(file + ".tmp", theirs);
        QVERIFY(::rename((file + ".tmp").toLocal8Bit().constData(), file.toLocal8Bit().constData()) == 0);
    } else if (change == "append") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::Append));
        f.write("!");
    }
    const std::string before = ReadAll(file);
    if (answer >= 0) w.dialogs.changedOnDisk.push_back(Answer(answer));
    if (answer == int(Answer::No)) w.dialogs.saves.push_back(elsewhere);
    w.trigger(Action(w.frame(), "miSave"));
    QVERIFY2(w.dialogs.allUsed(), qPrintable(w.dialogs.unexpected.join(", ")));
    const bool ours = ReadAll(file).find("mine first") != std::string::npos;
    if (answer < 0 || answer == int(Answer::Yes)) {
        QVERIFY(ours);
        QVERIFY(!w.doc().isModified());
        if (answer == int(Answer::Yes)) QCOMPARE(ReadAll(files::BackupPath(file)), theirs);
    } else {
        QCOMPARE(ReadAll(file), before);
        if (answer == int(Answer::No)) {
            QVERIFY(ReadAll(elsewhere).find("mine first") != std::string::npos);
            QCOMPARE(QString::fromStdString(w.doc().FFileName), elsewhere);
        } else {
            QVERIFY(w.doc().isModified());
        }
    }
    // After a save the file is the notebook's own again: the next save asks nothing.
    if (!w.doc().isModified()) {
        w.type(QStringLiteral("again "));
        w.trigger(Action(w.frame(), "miSave"));
        QVERIFY(w.dialogs.asked.count(QStringLiteral("changedOnDisk")) == (answer >= 0 ? 1 : 0));
    }
}

// Ctrl+S pressed twice out of habit: the second save writes the same bytes and the backup
// keeps the version before the first; a change between the two moves the backup on.
void SaveSafetyTest::secondSaveAndTheBackup_data() {
    QTest::addColumn<QString>("between");
    QTest::newRow("nominal: nothing changed, the older backup stays") << "";
    QTest::newRow("nominal: typed between, the first save is the backup") << "two ";
}

void SaveSafetyTest::secondSaveAndTheBackup() {
    QFETCH(QString, between);
    QTemporaryDir local;
    const QString file = local.filePath(QStringLiteral("twice.lkp"));
    WriteNotebook(file, {{0, "A", "first"}}, 0);
    const std::string original = ReadAll(file);
    Window w({file});
    w.type(QStringLiteral("one "));
    w.trigger(Action(w.frame(), "miSave"));
    const std::string firstSave = ReadAll(file);
    if (!between.isEmpty()) w.type(between);
    w.trigger(Action(w.frame(), "miSave"));
    QVERIFY2(w.dialogs.errors.isEmpty(), qPrintable(w.dialogs.errors.join(", ")));
    QCOMPARE(w.frame().ui().statusText(), QStringLiteral("Сохранено ") + file);
    QVERIFY(ReadAll(file).find(("one " + between + "first").toStdString()) != std::string::npos);
    QVERIFY(ReadAll(files::BackupPath(file)) == (between.isEmpty() ? original : firstSave));
    QCOMPARE(entries(local.path()), (QStringList{QStringLiteral("twice.bak"), QStringLiteral("twice.lkp")}));
}

QTEST_MAIN(SaveSafetyTest)
#include "save_safety_test.moc"
