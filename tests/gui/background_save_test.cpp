// Saves written on a worker while the window goes on: edits made meanwhile keep the
// notebook changed, a second Save waits for the first, and closing waits for the file.
// A gate in the file operations holds the worker just before it flushes the new file, so
// each test sees the save in progress for as long as it needs.
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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

QTEST_MAIN(BackgroundSaveTest)
#include "background_save_test.moc"
