// Recovery copies in the window: a killed window's work comes back at the next start; a
// saved or dropped notebook keeps no copy; a refused copy goes, a damaged one is set aside.
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

#include "document/format.h"
#include "document/recovery.h"
#include "document/snapshot.h"
#include "editor/note_editor.h"
#include "main/recovery_keeper.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

namespace {

// The bytes a save of the window's notebook would write now.
std::string SavedBytes(Window& w) {
    const auto snap = TakeSnapshot(w.doc());
    return std::string(WriteDocument(*snap).view());
}

QString CopyOf(Window& w, const QString& notebook) {
    return QString::fromStdString(w.frame().recoveryKeeper().copyPathFor(notebook.toStdString()));
}

void EditAndWaitForTheCopy(Window& w) {
    w.frame().recoveryKeeper().setIdleInterval(30);
    w.click(w.at(1));
    w.type(QStringLiteral("typed before the crash "));
    w.click(w.at(0));  // the text of section 1 goes into its buffer
    w.type(QStringLiteral("not saved "));
    Child<gui::NoteEditor>(w.frame(), "reNodeContent")->insertPlainText(QStringLiteral("Ещё "));
    QTRY_VERIFY_WITH_TIMEOUT(w.frame().recoveryKeeper().upToDate(), 20000);
}

// The child side of the crash test: edit, wait for the copy, tell the parent what a save
// would have written, then wait to be killed.
int RunChild(const QString& notebook, const QString& expected) {
    IsolateUserDirectories();
    Window w({notebook});
    EditAndWaitForTheCopy(w);
    WriteAll(expected, SavedBytes(w));
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) QTest::qWait(1000);
}

}  // namespace

class RecoveryWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString notebook(const char* name) {
        QString p = dir_.filePath(QLatin1String(name));
        WriteNotebook(p, {{0, "A", "first"}, {1, "B", "second"}, {0, "C", "third"}}, 0);
        return p;
    }

private slots:
    void initTestCase() {
        IsolateUserDirectories();
        RemoveRecoveryCopies();
    }
    void killedWindowComesBack();
    void noCopyOnceNothingIsUnsaved_data();
    void noCopyOnceNothingIsUnsaved();
    void refusedAndDamagedCopies();
    void windowsKeepCopiesOfTheirOwn();
    void aCopyFollowsTheNotebooksName();
};

void RecoveryWindowTest::killedWindowComesBack() {
    const QString file = notebook("crash.lkp");
    const std::string onDisk = ReadAll(file);
    const QString expected = dir_.filePath(QStringLiteral("expected.bin"));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--edit-and-wait"), file, expected});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    while (!said.contains("ready") && child.waitForReadyRead(60000)) said += child.readAllStandardOutput();
    QVERIFY2(said.contains("ready"), said.constData());
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());

    Window w({file}, [](ScriptedDialogs& d) { d.confirms = {true}; });
    QVERIFY2(w.dialogs.allUsed(), qPrintable(w.dialogs.unexpected.join(", ")));
    QCOMPARE(SavedBytes(w), ReadAll(expected));
    QVERIFY(SavedBytes(w).find(Cp1251("not saved Ещё first")) != std::string::npos);
    QCOMPARE(QString::fromStdString(w.doc().FFileName), file);
    QVERIFY(w.doc().isModified());
    QCOMPARE(ReadAll(file), onDisk);
    // Saved now: the copy has served its purpose.
    w.trigger(Action(w.frame(), "miSave"));
    QVERIFY(!QFile::exists(CopyOf(w, file)));
}

void RecoveryWindowTest::noCopyOnceNothingIsUnsaved_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("kept");
    QTest::newRow("nominal: saved") << "save" << false;
    QTest::newRow("nominal: New, changes dropped") << "new" << false;
    QTest::newRow("nominal: Exit, changes dropped") << "exit" << false;
    QTest::newRow("nominal: Open cancelled, changes still there") << "open-cancel" << true;
}

void RecoveryWindowTest::noCopyOnceNothingIsUnsaved() {
    QFETCH(QString, how);
    QFETCH(bool, kept);
    const QString file = notebook("edited.lkp");
    Window w({file});
    EditAndWaitForTheCopy(w);
    const QString copy = CopyOf(w, file);
    QVERIFY(QFile::exists(copy));
    if (how == "save") {
        w.trigger(Action(w.frame(), "miSave"));
    } else if (how == "new") {
        w.dialogs.saveChanges = {Answer::No};
        w.trigger(Action(w.frame(), "miClear"));
    } else if (how == "exit") {
        w.dialogs.saveChanges = {Answer::No};
        w.trigger(Action(w.frame(), "miExit"));
        QApplication::processEvents();
    } else {
        w.dialogs.saveChanges = {Answer::No};
        w.dialogs.opens = {{QString(), false}};
        w.trigger(Action(w.frame(), "miOpen"));
    }
    QVERIFY2(w.dialogs.allUsed(), qPrintable(w.dialogs.unexpected.join(", ")));
    QCOMPARE(QFile::exists(copy), kept);
}

void RecoveryWindowTest::refusedAndDamagedCopies() {
    const QString file = notebook("offered.lkp");
    const std::string onDisk = ReadAll(file);
    QString copy;
    {
        Window w({file});
        copy = CopyOf(w, file);
    }
    // Refused: the copy goes and the notebook is the one on disk.
    WriteAll(copy, "ZIPPED!not really");
    {
        Window w({file}, [](ScriptedDialogs& d) { d.confirms = {false}; });
        QVERIFY(!QFile::exists(copy));
        QVERIFY(w.dialogs.errors.isEmpty());
        QVERIFY(!w.doc().isModified());
    }
    // Accepted but damaged: reported, set aside, never deleted.
    WriteAll(copy, "ZIPPED!not really");
    Window w({file}, [](ScriptedDialogs& d) { d.confirms = {true}; });
    QCOMPARE(w.dialogs.errors.size(), 1);
    QVERIFY(w.dialogs.errors.first().contains(copy + QStringLiteral(".damaged")));
    QVERIFY(!QFile::exists(copy));
    QCOMPARE(ReadAll(copy + QStringLiteral(".damaged")), std::string("ZIPPED!not really"));
    QCOMPARE(SavedBytes(w).substr(0, 4), onDisk.substr(0, 4));
    QCOMPARE(w.name(0), std::string("A"));
    QFile::remove(copy + QStringLiteral(".damaged"));
}

void RecoveryWindowTest::windowsKeepCopiesOfTheirOwn() {
    // Two windows with unnamed notebooks: a copy each, and neither offered to a third window.
    auto a = std::make_unique<Window>(QStringList{notebook("a.lkp")});
    auto b = std::make_unique<Window>(QStringList{notebook("b.lkp")});
    for (Window* w : {a.get(), b.get()}) {
        w->trigger(Action(w->frame(), "miClear"));
        w->frame().recoveryKeeper().setIdleInterval(30);
        w->type(w == a.get() ? QStringLiteral("first window") : QStringLiteral("second window"));
        QTRY_VERIFY_WITH_TIMEOUT(w->frame().recoveryKeeper().upToDate(), 20000);
    }
    const QString copyA = QString::fromStdString(a->frame().recoveryKeeper().currentCopy());
    const QString copyB = QString::fromStdString(b->frame().recoveryKeeper().currentCopy());
    QVERIFY(QFile::exists(copyA));
    QVERIFY(QFile::exists(copyB));
    QVERIFY(copyA != copyB);
    {
        Window c;
        QVERIFY2(c.dialogs.allUsed() && c.dialogs.unexpected.isEmpty(), qPrintable(c.dialogs.unexpected.join(", ")));
        QVERIFY(!c.doc().isModified());
    }
    // The first window drops its changes: its copy goes, the other one stays.
    a->dialogs.saveChanges = {Answer::No};
    a->trigger(Action(a->frame(), "miClear"));
    QVERIFY(!QFile::exists(copyA));
    QVERIFY(QFile::exists(copyB));
    // The second window crashes: its claim goes with it, its copy stays (the fixture's
    // window drops its copy on the way out; the crash test above kills a real process).
    const std::string left = ReadAll(copyB);
    b.reset();
    WriteAll(copyB, left);
    Window d({}, [](ScriptedDialogs& dd) { dd.confirms = {true}; });
    QVERIFY2(d.dialogs.allUsed(), qPrintable(d.dialogs.unexpected.join(", ")));
    QVERIFY(SavedBytes(d).find("second window") != std::string::npos);
    QCOMPARE(QString::fromStdString(d.frame().recoveryKeeper().currentCopy()), copyB);
}

void RecoveryWindowTest::aCopyFollowsTheNotebooksName() {
    Window w({notebook("before.lkp")});
    EditAndWaitForTheCopy(w);
    const QString before = QString::fromStdString(w.frame().recoveryKeeper().currentCopy());
    QVERIFY(QFile::exists(before));
    // The name changes while the changes are still unsaved: the next copy is under the new
    // name, and the one under the old name goes once it is written.
    w.doc().FFileName = dir_.filePath(QStringLiteral("after.lkp")).toStdString();
    const int written = w.frame().recoveryKeeper().copiesWritten();
    w.type(QStringLiteral("more "));
    QTRY_VERIFY_WITH_TIMEOUT(w.frame().recoveryKeeper().copiesWritten() > written, 20000);
    const QString after = QString::fromStdString(w.frame().recoveryKeeper().currentCopy());
    QCOMPARE(after, CopyOf(w, dir_.filePath(QStringLiteral("after.lkp"))));
    QVERIFY(QFile::exists(after));
    QVERIFY(!QFile::exists(before));
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--edit-and-wait")
        return RunChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    RecoveryWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "recovery_window_test.moc"
