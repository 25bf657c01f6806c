// Recovery copies in the window: a killed window's work comes back at the next start; a
// saved or dropped notebook keeps no copy; a refused copy goes, a damaged one is set aside.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <future>
#include <memory>

#include "desktop/termination_signals.h"
#include "document/file_ops.h"
#include "document/format.h"
#include "document/recovery.h"
#include "document/snapshot.h"
#include "editor/note_editor.h"
#include "main/recovery_keeper.h"
#include "main/section_model.h"
#include "main/section_tree_view.h"
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

// The child side of the end-by-signal test: types past its last copy, changes
// an option, then runs the program's event loop until the parent ends it ("quit": the
// loop is ended without a close, as the end of a session may end it).
int RunEndedChild(const QString& notebook, const QString& how) {
    IsolateUserDirectories();
    auto* w = new Window({notebook});  // never deleted: its end would drop the copy
    gui::RecoveryKeeper& keeper = w->frame().recoveryKeeper();
    keeper.setIdleInterval(30);
    w->click(w->at(1));
    w->type(QStringLiteral("typed before the "));
    while (!keeper.upToDate()) QTest::qWait(20);
    // Typed after the last copy, with no pause long enough for another.
    keeper.setIdleInterval(3600 * 1000);
    w->type(QStringLiteral("end "));
    QAction* wrap = Action(w->frame(), "miWordWrap");
    wrap->trigger();
    // A section's new name, still being typed.
    auto* tree = Child<gui::SectionTreeView>(w->frame(), "tvNodes");
    tree->edit(static_cast<gui::SectionModel*>(tree->model())->indexOf(w->at(2)));
    tree->viewport()->findChild<QLineEdit*>()->setText(QStringLiteral("C renamed"));
    gui::TerminationSignals handover([w](int signal) { w->frame().TerminateBySignal(signal); });
    std::printf("ready %d %d\n", keeper.copiesTried(), wrap->isChecked() ? 1 : 0);
    std::fflush(stdout);
    if (how == "quit") QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    std::_Exit(QApplication::exec());
}

// Holds the first flush until released (30 s at most).
class HeldFlush : public FileOps {
public:
    std::promise<void> arrived, released;
    int fsync(int fd) override {
        if (!held_.exchange(true)) {
            arrived.set_value();
            released.get_future().wait_for(std::chrono::seconds(30));  // a failed test goes on
        }
        return FileOps::fsync(fd);
    }

private:
    std::atomic<bool> held_{false};
};

// Makes every file this process writes fail past `bytes` (none: no limit).
void LimitFileSize(rlim_t bytes) {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
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
    void anEndBySignalKeepsTheWork_data();
    void anEndBySignalKeepsTheWork();
    void answersToTheOffer_data();
    void answersToTheOffer();
    void aCopyStaysWhileTheSaveIsWritten();
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

    Window w({file}, [](ScriptedDialogs& d) { d.recoveries = {Answer::Yes}; });
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
        Window w({file}, [](ScriptedDialogs& d) { d.recoveries = {Answer::No}; });
        QVERIFY(!QFile::exists(copy));
        QVERIFY(w.dialogs.errors.isEmpty());
        QVERIFY(!w.doc().isModified());
    }
    // Accepted but damaged: reported, set aside, never deleted.
    WriteAll(copy, "ZIPPED!not really");
    Window w({file}, [](ScriptedDialogs& d) { d.recoveries = {Answer::Yes}; });
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
    Window d({}, [](ScriptedDialogs& dd) { dd.recoveries = {Answer::Yes}; });
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
    // A copy that cannot be written counts for nothing, and the one under the former name
    // stays meanwhile.
    const int tried = w.frame().recoveryKeeper().copiesTried();
    LimitFileSize(1);
    w.type(QStringLiteral("lost "));
    QTRY_VERIFY_WITH_TIMEOUT(w.frame().recoveryKeeper().copiesTried() > tried, 20000);
    LimitFileSize(RLIM_INFINITY);
    QCOMPARE(w.frame().recoveryKeeper().copiesWritten(), written);
    QVERIFY(!w.frame().recoveryKeeper().upToDate());
    QVERIFY(QFile::exists(before));
    // The next change tries again.
    w.type(QStringLiteral("more "));
    QTRY_VERIFY_WITH_TIMEOUT(w.frame().recoveryKeeper().copiesWritten() > written, 20000);
    QVERIFY(w.frame().recoveryKeeper().upToDate());
    const QString after = QString::fromStdString(w.frame().recoveryKeeper().currentCopy());
    QCOMPARE(after, CopyOf(w, dir_.filePath(QStringLiteral("after.lkp"))));
    QVERIFY(QFile::exists(after));
    QVERIFY(!QFile::exists(before));
}

void RecoveryWindowTest::anEndBySignalKeepsTheWork_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("signal");
    QTest::newRow("nominal: SIGTERM (kill, shutdown)") << "signal" << int(SIGTERM);
    QTest::newRow("nominal: SIGHUP (terminal closed)") << "signal" << int(SIGHUP);
    QTest::newRow("nominal: SIGINT (Ctrl+C)") << "signal" << int(SIGINT);
    QTest::newRow("nominal: the session ends the program") << "quit" << 0;
}

// Ended without a close: the typing of the last seconds is in a copy offered at the next
// start, and the options changed in that run are in the settings file.
void RecoveryWindowTest::anEndBySignalKeepsTheWork() {
    QFETCH(QString, how);
    QFETCH(int, signal);
    RemoveRecoveryCopies();
    const QString file = notebook("ended.lkp");
    const std::string onDisk = ReadAll(file);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--end"), file, how});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    while (!said.contains('\n') && child.waitForReadyRead(60000)) said += child.readAllStandardOutput();
    const QList<QByteArray> words = said.trimmed().split(' ');
    QVERIFY2(words.size() == 3 && words[0] == "ready", said.constData());
    QCOMPARE(words[1], QByteArray("1"));  // one copy, before the last typing
    if (signal) ::kill(static_cast<pid_t>(child.processId()), signal);
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), signal ? 128 + signal : 0);
    QCOMPARE(ReadAll(file), onDisk);
    const std::string settings = ReadAll(gui::TFrame::SettingsFilePath());
    QVERIFY2(settings.find("WordWrap=" + words[2].toStdString()) != std::string::npos, settings.c_str());

    Window w({file}, [](ScriptedDialogs& d) { d.recoveries = {Answer::Yes}; });
    QVERIFY2(w.dialogs.allUsed(), qPrintable(w.dialogs.unexpected.join(", ")));
    QVERIFY(SavedBytes(w).find("typed before the end second") != std::string::npos);
    QCOMPARE(w.name(2), std::string("C renamed"));
    QVERIFY(w.doc().isModified());
}

// Да restores, Нет deletes, Escape keeps, whether the notebook is still there or was
// deleted after the crash (then Да restores it unnamed).
void RecoveryWindowTest::answersToTheOffer_data() {
    QTest::addColumn<bool>("gone");
    QTest::addColumn<int>("answer");
    for (const bool gone : {false, true})
        for (const auto& [answer, name] :
             {std::pair{Answer::Yes, "Да"}, {Answer::No, "Нет"}, {Answer::Cancel, "Escape"}})
            QTest::addRow("%s, %s", gone ? "notebook gone" : "notebook there", name) << gone << int(answer);
}

void RecoveryWindowTest::answersToTheOffer() {
    QFETCH(bool, gone);
    QFETCH(int, answer);
    const bool restored = answer == int(Answer::Yes), kept = answer != int(Answer::No);
    RemoveRecoveryCopies();
    for (const char* folder : {"A", "B"}) QDir(dir_.path()).mkpath(QLatin1String(folder));
    const QString file = notebook("A/answered.lkp"), canonical = QFileInfo(file).canonicalFilePath();
    WriteNotebook(dir_.filePath(QStringLiteral("B/answered.lkp")), {{0, "Other", "other notebook"}}, 0);
    // A crash under a relative name is never offered to the same name in another folder.
    const QString home = QDir::currentPath();
    const auto back = qScopeGuard([&] { QDir::setCurrent(home); });
    QString copy;
    for (const QString& folder : {QStringLiteral("A"), QStringLiteral("B")}) {
        QDir::setCurrent(dir_.filePath(folder));
        Window w({QStringLiteral("answered.lkp")});
        QVERIFY2(w.dialogs.asked.isEmpty(), qPrintable(w.dialogs.asked.join(", ")));
        if (folder == QStringLiteral("B")) break;
        EditAndWaitForTheCopy(w);
        copy = QString::fromStdString(w.frame().recoveryKeeper().currentCopy());
        w.keepCopies = true;
    }
    QDir::setCurrent(home);
    if (gone) QVERIFY(QFile::remove(file));
    // The copy is found, and the offer names the notebook's full path, however it is named.
    const QString spelled = dir_.filePath(QStringLiteral("B/../A/answered.lkp"));
    const QStringList arguments = gone ? QStringList() : QStringList{spelled};
    auto w = std::make_unique<Window>(arguments, [&](ScriptedDialogs& d) { d.recoveries = {Answer(answer)}; });
    QVERIFY2(w->dialogs.allUsed(), qPrintable(w->dialogs.unexpected.join(", ")));
    const QString asked = w->dialogs.confirmTexts.value(0);
    QVERIFY2(asked.contains(QStringLiteral("«") + canonical + QStringLiteral("»")), qPrintable(asked));
    QCOMPARE(asked.contains(QStringLiteral("которого больше нет?")), gone);
    QCOMPARE(SavedBytes(*w).find(Cp1251("not saved Ещё first")) != std::string::npos, restored);
    QCOMPARE(w->doc().isModified(), restored);
    if (restored) QCOMPARE(QString::fromStdString(w->doc().FFileName), gone ? QString() : spelled);
    QCOMPARE(QFile::exists(copy), kept);
    if (restored && gone) {
        // The restored work is an unnamed notebook's from now on.
        w->frame().recoveryKeeper().setIdleInterval(30);
        w->type(QStringLiteral("x"));
        QTRY_VERIFY_WITH_TIMEOUT(w->frame().recoveryKeeper().upToDate(), 20000);
        QVERIFY(QString::fromStdString(w->frame().recoveryKeeper().currentCopy()).contains(QStringLiteral("/unnamed")));
        QVERIFY(!QFile::exists(copy));
        QVERIFY(OrphanedRecoveryCopies(w->frame().recoveryKeeper().directory()).empty());
    }
    if (restored || !kept) return;
    // Kept: offered again at the next start.
    w.reset();
    Window again(arguments, [](ScriptedDialogs& d) { d.recoveries = {Answer::No}; });
    QVERIFY2(again.dialogs.allUsed(), qPrintable(again.dialogs.unexpected.join(", ")));
    QVERIFY(!QFile::exists(copy));
}

// A save may still fail while it is written: until its file is in place the copy is what a
// crash would leave, whatever commands run meanwhile.
void RecoveryWindowTest::aCopyStaysWhileTheSaveIsWritten() {
    const QString file = notebook("saving.lkp");
    HeldFlush gate;  // outlives the window, whose end waits for the save
    Window w({file});
    EditAndWaitForTheCopy(w);
    const QString copy = QString::fromStdString(w.frame().recoveryKeeper().currentCopy());
    {
        ScopedFileOps scoped(gate);
        w.triggerAndGoOn(Action(w.frame(), "miSave"));
        QVERIFY(gate.arrived.get_future().wait_for(std::chrono::seconds(20)) == std::future_status::ready);
        w.triggerAndGoOn(Action(w.frame(), "miWordWrap"));  // a command while the save is held
        QVERIFY(QFile::exists(copy));
        gate.released.set_value();
        w.waitForSaves();
    }
    QVERIFY(!w.doc().isModified());
    QVERIFY(!QFile::exists(copy));
}

int main(int argc, char** argv) {
    // A copy past the file size limit fails as a write, as in the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--edit-and-wait")
        return RunChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 4 && QByteArray(argv[1]) == "--end")
        return RunEndedChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    RecoveryWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "recovery_window_test.moc"
