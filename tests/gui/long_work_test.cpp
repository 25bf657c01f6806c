// Long saves: the content is assembled on a worker thread while the window keeps
// processing events, shows progress after a moment and runs no command meanwhile.
#include <QProgressBar>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "document/errors.h"
#include "main/window_ui.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;

class LongWorkTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void workRunsOffTheGuiThreadWithProgress();
    void failuresReachTheSave();
    void compressedSaveRoundTrips();
};

void LongWorkTest::workRunsOffTheGuiThreadWithProgress() {
    // The work holds on until the window has shown its progress: the test waits on that
    // event, not on the clock, so a slow machine only makes it take longer.
    Window w;
    auto* progress = w.frame().findChild<QProgressBar*>(QStringLiteral("pbBusy"));
    QVERIFY(progress);
    QThread* workerThread = nullptr;
    bool commandRan = false, commandRefused = false, progressSeen = false, timerFired = false;
    QSemaphore progressShown;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!timerFired) {
            timerFired = true;
            commandRefused = !w.frame().runCommand([&] { commandRan = true; });
        }
        if (progress->isVisible()) {
            progressSeen = true;
            watch.stop();
            progressShown.release();
        }
    });
    watch.start();
    bool released = false;
    w.doc().RunLongWork([&] {
        workerThread = QThread::currentThread();
        released = progressShown.tryAcquire(1, 60000);
    });
    watch.stop();
    QVERIFY(workerThread && workerThread != QThread::currentThread());
    QVERIFY(timerFired);  // events went on during the work
    QVERIFY(commandRefused && !commandRan);
    QVERIFY(progressSeen && released);
    QVERIFY(!progress->isVisible());
    QVERIFY(w.frame().runCommand([] {}));  // commands run again afterwards
}

void LongWorkTest::failuresReachTheSave() {
    Window w;
    bool caught = false;
    try {
        w.doc().RunLongWork([] { throw LarkError("broken"); });
    } catch (const LarkError& e) {
        caught = std::string(e.what()) == "broken";
    }
    QVERIFY(caught);
}

void LongWorkTest::compressedSaveRoundTrips() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("zip.lkp"));
    std::vector<SectionSpec> specs;
    for (int i = 0; i < 2000; ++i)
        specs.push_back({i % 4 ? 1 : 0, "s" + std::to_string(i), std::string(500, char('a' + i % 26))});
    WriteNotebook(file, specs, 7);
    {
        Window w({file});
        Action(w.frame(), "miUseZip")->trigger();
        w.type(QStringLiteral("z"));
        w.trigger(Action(w.frame(), "miSave"));
        QVERIFY(w.dialogs.errors.isEmpty());
    }
    QCOMPARE(ReadAll(file).substr(0, 7), std::string("ZIPPED!"));
    Window again({file});
    QCOMPARE(again.doc().tree().count(), 2000);
    QCOMPARE(again.doc().selected(), again.at(7));
    QCOMPARE(std::string(again.at(7)->text()).substr(0, 2), std::string("zh"));
}

QTEST_MAIN(LongWorkTest)
#include "long_work_test.moc"
