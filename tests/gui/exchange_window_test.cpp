// Export and import from the window: what is exported is what a save would write now,
// an imported folder becomes a new unnamed notebook, a refused folder changes nothing.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "document/cp1251.h"
#include "editor/note_editor.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

class ExchangeWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const QString& name) { return dir_.filePath(name); }
    QString notebook(const QString& name) {
        QString p = path(name);
        WriteNotebook(p, {{0, "A", "first"}, {1, Cp1251("Б/В"), "second"}, {0, "C", "see file://@A"}}, 1);
        return p;
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void exportHoldsTheTextBeingEdited_data();
    void exportHoldsTheTextBeingEdited();
    void exportedFolderComesBackAsANewUnnamedNotebook();
    void importAsksToSaveFirstAndCancelStopsIt();
    void refusedFolderLeavesTheNotebookAsItWas();
    void leftOutFilesAreNamed();
};

void ExchangeWindowTest::exportHoldsTheTextBeingEdited_data() {
    QTest::addColumn<bool>("html");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("file");  // where the typed text must be found
    QTest::addColumn<QString>("expected");
    QTest::newRow("nominal: folder") << false << "folder"
                                     << "folder/001 A/001 Б%2FВ.txt"
                                     << "typed second";
    QTest::newRow("nominal: HTML page") << true << "page.html"
                                        << "page.html"
                                        << "<h3>Б/В</h3><pre>\ntyped second</pre>";
}

void ExchangeWindowTest::exportHoldsTheTextBeingEdited() {
    QFETCH(bool, html);
    QFETCH(QString, target);
    QFETCH(QString, file);
    QFETCH(QString, expected);
    const QString nb = notebook(QStringLiteral("export-%1.lkp").arg(html));
    const QString out = path(QString::number(html) + target);
    Window w({nb});
    QCOMPARE(w.doc().tree().indexOf(w.doc().selected()), 1);
    w.type(QStringLiteral("typed "));
    w.dialogs.exports.push_back({out, html});
    w.trigger(Action(w.frame(), "miExport"));
    QVERIFY2(w.dialogs.errors.isEmpty(), qPrintable(w.dialogs.errors.join(QLatin1Char('\n'))));
    const std::string written = ReadAll(path(QString::number(html) + file));
    QVERIFY2(written.find(expected.toStdString()) != std::string::npos, written.c_str());
    QVERIFY2(w.doc().isModified(), "an export is not a save");
    QCOMPARE(ReadAll(nb).find("typed"), std::string::npos);
    QVERIFY(w.dialogs.allUsed());
}

void ExchangeWindowTest::exportedFolderComesBackAsANewUnnamedNotebook() {
    const QString nb = notebook(QStringLiteral("round.lkp"));
    const QString folder = path(QStringLiteral("round"));
    {
        Window w({nb});
        w.dialogs.exports.push_back({folder, false});
        w.trigger(Action(w.frame(), "miExport"));
        QVERIFY(w.dialogs.errors.isEmpty());
    }
    Window w({notebook(QStringLiteral("other.lkp"))});
    w.type(QStringLiteral("unsaved"));
    w.dialogs.saveChanges.push_back(Answer::No);
    w.dialogs.imports.push_back(folder);
    w.trigger(Action(w.frame(), "miImport"));
    QCOMPARE(w.dialogs.asked, (QStringList{QStringLiteral("saveChanges"), QStringLiteral("import")}));
    QVERIFY(w.dialogs.errors.isEmpty());
    QCOMPARE(w.doc().tree().count(), 3);
    QCOMPARE(w.name(1), Cp1251("Б/В"));
    QCOMPARE(w.at(1)->depth(), 1);
    QCOMPARE(w.doc().tree().indexOf(w.doc().selected()), 1);
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("second"));
    QVERIFY(w.doc().FFileName.empty());
    QVERIFY2(w.doc().isModified(), "closing asks to save the imported notebook");
    // Saved under a name of its own, it is the notebook that was exported, byte for byte.
    const QString saved = path(QStringLiteral("saved.lkp"));
    w.dialogs.saves.push_back(saved);
    w.trigger(Action(w.frame(), "miSave"));
    QCOMPARE(QString::fromStdString(w.doc().FFileName), saved);
    QCOMPARE(w.dialogs.folders.constLast(), QFileInfo(folder).absolutePath());  // beside the imported folder
    QVERIFY(ReadAll(saved) == ReadAll(nb));
    QVERIFY(w.dialogs.allUsed());
}

void ExchangeWindowTest::importAsksToSaveFirstAndCancelStopsIt() {
    const QString nb = notebook(QStringLiteral("cancel.lkp"));
    Window w({nb});
    w.type(QStringLiteral("kept"));
    w.dialogs.saveChanges.push_back(Answer::Cancel);
    w.trigger(Action(w.frame(), "miImport"));
    QCOMPARE(w.dialogs.asked, QStringList{QStringLiteral("saveChanges")});
    QCOMPARE(QString::fromStdString(w.doc().FFileName), nb);
    QVERIFY(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText().startsWith(QStringLiteral("kept")));
    QVERIFY(w.dialogs.allUsed());
}

void ExchangeWindowTest::refusedFolderLeavesTheNotebookAsItWas() {
    const QString nb = notebook(QStringLiteral("refuse.lkp"));
    const QString folder = path(QStringLiteral("bad"));
    QVERIFY(QDir().mkpath(folder));
    WriteAll(folder + QStringLiteral("/ok.txt"), "fine");
    WriteAll(folder + QStringLiteral("/bad.txt"), "line one\nline two \xE2\x9C\x93");
    Window w({nb});
    w.dialogs.imports.push_back(folder);
    w.trigger(Action(w.frame(), "miImport"));
    QCOMPARE(w.dialogs.errors.size(), 1);
    QVERIFY2(w.dialogs.errors.constFirst().contains(QStringLiteral("bad.txt: line 2: character U+2713")),
             qPrintable(w.dialogs.errors.constFirst()));
    QCOMPARE(w.doc().tree().count(), 3);
    QCOMPARE(QString::fromStdString(w.doc().FFileName), nb);
    QVERIFY(!w.doc().isModified());
    QVERIFY(w.dialogs.allUsed());
}

void ExchangeWindowTest::leftOutFilesAreNamed() {
    const QString folder = path(QStringLiteral("mixed"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
    WriteAll(folder + QStringLiteral("/note.md"), "# heading\n");
    WriteAll(folder + QStringLiteral("/sub/photo.jpg"), "\xFF\xD8");
    WriteAll(path(QStringLiteral("secret.txt")), "secret");
    QVERIFY(QFile::link(path(QStringLiteral("secret.txt")), folder + QStringLiteral("/sub/leak.txt")));
    Window w;
    w.dialogs.imports.push_back(folder);
    w.trigger(Action(w.frame(), "miImport"));
    QVERIFY(w.dialogs.errors.isEmpty());
    QCOMPARE(w.dialogs.messages, QStringList{QStringLiteral("Не импортированы:\nsub/photo.jpg (не .txt и не .md)\n"
                                                            "sub/leak.txt (символьная ссылка)")});
    QCOMPARE(w.doc().tree().count(), 2);
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("# heading\n"));
}

QTEST_MAIN(ExchangeWindowTest)
#include "exchange_window_test.moc"
