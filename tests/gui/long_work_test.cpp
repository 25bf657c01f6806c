// Long saves that a command waits for (New after "save the changes?"): the file is written on
// a worker thread while the window keeps processing events, shows progress after a moment
// and runs no command meanwhile; a failure reaches the command.
#include <QProgressBar>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>

#include <atomic>
#include <functional>

#include "document/errors.h"
#include "document/file_ops.h"
#include "main/window_ui.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

namespace {

// Runs `atFlush` on the thread that flushes the new file, then fails the flush with
// `failErrno` or lets it go on.
class FlushSeam : public FileOps {
public:
    std::function<void()> atFlush;
    int failErrno = 0;
    std::atomic<QThread*> flushThread{nullptr};
    int fsync(int fd) override {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !flushThread.exchange(QThread::currentThread())) {
            if (atFlush) atFlush();
            if (failErrno) {
                errno = failErrno;
                return -1;
            }
        }
        return FileOps::fsync(fd);
    }
};

}  // namespace

class LongWorkTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString notebook() {
        QString p = dir_.filePath(QStringLiteral("wait.lkp"));
        WriteNotebook(p, {{0, "A", "first"}, {0, "B", "second"}}, 0);
        return p;
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void workRunsOffTheGuiThreadWithProgress();
    void failuresReachTheSave();
    void compressedSaveRoundTrips();
};

void LongWorkTest::workRunsOffTheGuiThreadWithProgress() {
    // The worker holds on until the window has shown its progress: the test waits on that
    // event, not on the clock, so a slow machine only makes it take longer.
    const QString file = notebook();
    Window w({file});
    w.type(QStringLiteral("typed "));
    w.dialogs.saveChanges.push_back(Answer::Yes);
    auto* progress = w.frame().findChild<QProgressBar*>(QStringLiteral("pbBusy"));
    QVERIFY(progress);
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
    std::atomic<bool> released = false;
    FlushSeam seam;
    seam.atFlush = [&] { released = progressShown.tryAcquire(1, 60000); };
    {
        ScopedFileOps scoped(seam);
        w.trigger(Action(w.frame(), "miClear"));
    }
    watch.stop();
    QVERIFY(seam.flushThread && seam.flushThread != QThread::currentThread());
    QVERIFY(timerFired);  // events went on during the save
    QVERIFY(commandRefused && !commandRan);
    QVERIFY(progressSeen && released);
    QVERIFY(!progress->isVisible());
    QVERIFY2(w.dialogs.errors.isEmpty(), qPrintable(w.dialogs.errors.join(", ")));
    QVERIFY(ReadAll(file).find("typed first") != std::string::npos);
    QCOMPARE(w.doc().tree().count(), 0);   // New went on once the file was written
    QVERIFY(w.frame().runCommand([] {}));  // commands run again afterwards
}

void LongWorkTest::failuresReachTheSave() {
    // The user said Yes and the save failed: the error is shown, New does not throw the
    // changes away, and the file keeps its old contents.
    const QString file = notebook();
    Window w({file});
    w.type(QStringLiteral("typed "));
    w.dialogs.saveChanges.push_back(Answer::Yes);
    FlushSeam seam;
    seam.failErrno = EIO;
    {
        ScopedFileOps scoped(seam);
        w.trigger(Action(w.frame(), "miClear"));
    }
    QCOMPARE(w.dialogs.errors.size(), 1);
    QVERIFY2(w.dialogs.errors[0].contains(QStringLiteral("Input/output error")), qPrintable(w.dialogs.errors[0]));
    QCOMPARE(w.doc().tree().count(), 2);
    QVERIFY(w.doc().isModified());
    QVERIFY(ReadAll(file).find("typed") == std::string::npos);
}

void LongWorkTest::compressedSaveRoundTrips() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("zip.lkp"));
    std::vector<SectionRow> rows;
    for (int i = 0; i < 2000; ++i)
        rows.push_back({i % 4 ? 1 : 0, "s" + std::to_string(i), std::string(500, char('a' + i % 26))});
    WriteNotebook(file, rows, 7);
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
