// Saves written on a worker while the window goes on: edits made meanwhile keep the
// notebook changed, a second Save waits for the first, and closing waits for the file.
// A gate in the file operations holds the worker just before it flushes the new file, so
// each test sees the save in progress for as long as it needs.
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "document/file_ops.h"
#include "main/background_saves.h"
#include "main/window_ui.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

namespace {

// Holds every flush until released; counts the files put in place under `target`.
class GatedOps : public FileOps {
public:
    explicit GatedOps(const QString& target) : target_(target.toStdString()) {}
    int rename(const char* from, const char* to) override {
        if (target_ == to) {
            std::lock_guard lock(mutex_);
            ++replaced_;
        }
        return FileOps::rename(from, to);
    }
    int fsync(int fd) override {
        std::unique_lock lock(mutex_);
        ++arrived_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        lock.unlock();
        return FileOps::fsync(fd);
    }
    void release() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until a save's worker is held at the gate.
    bool waitForArrival() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return arrived_ > 0; });
    }
    int replaced() {
        std::lock_guard lock(mutex_);
        return replaced_;
    }

private:
    const std::string target_;
    int replaced_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int arrived_ = 0;
};

// Holds the flush of each new file in the notebook's folder (recovery copies go elsewhere)
// until it is let go, one save at a time; a save held longer than kHold goes on by itself
// and counts as held too long.
class StagedOps : public FileOps {
public:
    static constexpr auto kHold = std::chrono::seconds(5);
    explicit StagedOps(const QString& folder) : folder_(folder.toStdString() + "/") {}
    int fsync(int fd) override {
        if (inFolder(fd)) {
            std::unique_lock lock(mutex_);
            const int arrival = ++arrived_;
            changed_.notify_all();
            if (!changed_.wait_for(lock, kHold, [&] { return released_ >= arrival; })) heldTooLong_ = true;
        }
        return FileOps::fsync(fd);
    }
    void releaseNext() {
        std::lock_guard lock(mutex_);
        ++released_;
        changed_.notify_all();
    }
    bool waitForArrivals(int n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return arrived_ >= n; });
    }
    struct Counts {
        int arrived, released;
        bool heldTooLong;
    };
    Counts counts() {
        std::lock_guard lock(mutex_);
        return {arrived_, released_, heldTooLong_};
    }

private:
    bool inFolder(int fd) const {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
        char where[4096] = {};
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(self.c_str(), where, sizeof where - 1);
        return n > 0 && std::string_view(where, static_cast<std::size_t>(n)).starts_with(folder_);
    }
    const std::string folder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int arrived_ = 0, released_ = 0;
    bool heldTooLong_ = false;
};

}  // namespace

class BackgroundSaveTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString notebook(const char* name) {
        QString p = dir_.filePath(QLatin1String(name));
        WriteNotebook(p, {{0, "A", "first"}, {0, "B", "second"}}, 0);
        return p;
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void editsDuringTheSave_data();
    void editsDuringTheSave();
    void secondSaveIsQueued();
    void exitWaitsForTheSave_data();
    void exitWaitsForTheSave();
    void queuedSaveUnderACommandKeepsTheWindowResponsive_data();
    void queuedSaveUnderACommandKeepsTheWindowResponsive();
};

void BackgroundSaveTest::editsDuringTheSave_data() {
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("nominal: nothing changes, the notebook ends unchanged") << "";
    QTest::newRow("nominal: typing goes on and keeps it changed") << "type";
    QTest::newRow("nominal: a new section keeps it changed") << "section";
}

void BackgroundSaveTest::editsDuringTheSave() {
    QFETCH(QString, meanwhile);
    const QString file = notebook("edits.lkp");
    Window w({file});
    w.type(QStringLiteral("saved "));
    GatedOps gate(file);
    ScopedFileOps scoped(gate);
    w.triggerAndGoOn(Action(w.frame(), "miSave"));
    QVERIFY(gate.waitForArrival());
    QVERIFY(w.frame().backgroundSaves().running());
    QVERIFY2(!w.frame().ui().statusText().startsWith(QStringLiteral("Сохранено")), "reported before the file is there");
    // The window takes commands while the file is being written.
    QVERIFY(w.frame().idle());
    if (meanwhile == "type") w.type(QStringLiteral("later "));
    if (meanwhile == "section") w.triggerAndGoOn(Action(w.frame(), "miNewNode"));
    gate.release();
    w.waitForSaves();
    QVERIFY2(w.dialogs.errors.isEmpty(), qPrintable(w.dialogs.errors.join(", ")));
    QCOMPARE(w.frame().ui().statusText(), QStringLiteral("Сохранено ") + file);
    const std::string bytes = ReadAll(file);
    QVERIFY(bytes.find("saved first") != std::string::npos);
    QVERIFY(bytes.find("later") == std::string::npos);
    QVERIFY(bytes.find("New Node") == std::string::npos);
    QCOMPARE(w.doc().isModified(), !meanwhile.isEmpty());
}

// Ctrl+S during a save: one more save follows, from the notebook as it is when the first
// ends; a third press meanwhile adds nothing.
void BackgroundSaveTest::secondSaveIsQueued() {
    const QString file = notebook("queued.lkp");
    Window w({file});
    w.type(QStringLiteral("one "));
    GatedOps gate(file);
    ScopedFileOps scoped(gate);
    w.triggerAndGoOn(Action(w.frame(), "miSave"));
    QVERIFY(gate.waitForArrival());
    w.type(QStringLiteral("two "));
    w.triggerAndGoOn(Action(w.frame(), "miSave"));
    w.triggerAndGoOn(Action(w.frame(), "miSave"));
    QCOMPARE(gate.replaced(), 0);
    w.type(QStringLiteral("three "));
    gate.release();
    w.waitForSaves();
    QCOMPARE(gate.replaced(), 2);
    QVERIFY2(!w.frame().backgroundSaves().running(), "the wait ended before the queued save");
    QVERIFY2(w.dialogs.errors.isEmpty(), qPrintable(w.dialogs.errors.join(", ")));
    QVERIFY(ReadAll(file).find("one two three first") != std::string::npos);
    QVERIFY(!w.doc().isModified());
}

// Exit while the file is being written: the close waits for it, then asks about what
// changed after the snapshot (and only then).
void BackgroundSaveTest::exitWaitsForTheSave_data() {
    QTest::addColumn<bool>("typedLater");
    QTest::newRow("nominal: nothing after the snapshot, no question") << false;
    QTest::newRow("nominal: typed after the snapshot, asked and saved") << true;
}

void BackgroundSaveTest::exitWaitsForTheSave() {
    QFETCH(bool, typedLater);
    const QString file = notebook("exit.lkp");
    Window w({file});
    w.type(QStringLiteral("saved "));
    GatedOps gate(file);
    ScopedFileOps scoped(gate);
    w.triggerAndGoOn(Action(w.frame(), "miSave"));
    QVERIFY(gate.waitForArrival());
    if (typedLater) {
        w.type(QStringLiteral("later "));
        w.dialogs.saveChanges.push_back(Answer::Yes);
    }
    // Released from the window's own event loop, which runs only while the close waits.
    QTimer::singleShot(0, &w.frame(), [&gate] { gate.release(); });
    w.trigger(Action(w.frame(), "miExit"));
    QApplication::processEvents();
    QVERIFY(!w.frame().isVisible());
    QVERIFY2(w.dialogs.allUsed(), qPrintable(w.dialogs.unexpected.join(", ")));
    QVERIFY(w.dialogs.errors.isEmpty());
    const std::string bytes = ReadAll(file);
    QVERIFY(bytes.find(typedLater ? "saved later first" : "saved first") != std::string::npos);
}

// Exit, New or Open while a save is written and another is queued behind it: the command
// waits for both without ever blocking the window's thread. Its timers keep firing while the
// queued save is held at the gate; it is the timer that lets it go.
void BackgroundSaveTest::queuedSaveUnderACommandKeepsTheWindowResponsive_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("robustness: Exit") << "miExit";
    QTest::newRow("robustness: New") << "miClear";
    QTest::newRow("robustness: Open") << "miOpen";
}

void BackgroundSaveTest::queuedSaveUnderACommandKeepsTheWindowResponsive() {
    QFETCH(QString, command);
    const QString file = notebook("close.lkp"), other = notebook("other.lkp");
    Window w({file});
    w.type(QStringLiteral("one "));
    StagedOps gate(dir_.path());
    ScopedFileOps scoped(gate);
    w.triggerAndGoOn(Action(w.frame(), "miSave"));
    QVERIFY(gate.waitForArrivals(1));
    w.type(QStringLiteral("two "));
    w.triggerAndGoOn(Action(w.frame(), "miSave"));
    QVERIFY(w.frame().backgroundSaves().running());

    int ticksWhileQueuedHeld = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto c = gate.counts();
        // The first save ends during the close; the queued one after three ticks held.
        if (c.released == 0 || (c.arrived == 2 && c.released == 1 && ++ticksWhileQueuedHeld == 3)) gate.releaseNext();
    });
    ticker.start();
    if (command == "miOpen") w.dialogs.opens.push_back({other});
    w.trigger(Action(w.frame(), command.toLatin1().constData()));
    ticker.stop();
    QVERIFY2(!gate.counts().heldTooLong, "the window's thread stopped while the queued save was written");
    QCOMPARE(ticksWhileQueuedHeld, 3);
    QCOMPARE(gate.counts().arrived, 2);
    QCOMPARE(w.frame().isVisible(), command != "miExit");
    if (command == "miClear") QCOMPARE(w.doc().tree().count(), 0);
    if (command == "miOpen") QCOMPARE(QString::fromStdString(w.doc().FFileName), other);
    QVERIFY2(w.dialogs.allUsed(), qPrintable(w.dialogs.unexpected.join(", ")));
    QVERIFY2(w.dialogs.errors.isEmpty(), qPrintable(w.dialogs.errors.join(", ")));
    QVERIFY(ReadAll(file).find("one two first") != std::string::npos);
}

QTEST_MAIN(BackgroundSaveTest)
#include "background_save_test.moc"
