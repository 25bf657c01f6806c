#include "main/recovery_keeper.h"

#include <QtConcurrent/QtConcurrentRun>
#include <cstdio>

#include "document/document.h"
#include "document/recovery.h"
#include "document/snapshot.h"
#include "main/background_pool.h"

namespace lark::gui {

namespace {
constexpr int kDefaultIdleMs = 5000;  // well inside the half minute a crash may cost
}

RecoveryKeeper::RecoveryKeeper(Document& doc, std::function<bool()> idle, QObject* parent)
    : QObject(parent), doc_(doc), idle_(std::move(idle)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kDefaultIdleMs);
    connect(&timer_, &QTimer::timeout, this, [this] { writeCopy(); });
    connect(&watcher_, &QFutureWatcher<void>::finished, this, [this] { copyWritten(); });
}

void RecoveryKeeper::copyWritten() {
    if (!writingCopy_.empty()) {
        lastCopy_ = writingCopy_;
        writingCopy_.clear();
        ++written_;
        copyMayExist_ = true;  // also after a removal that came while it was being written
    }
    // Saved or dropped meanwhile: the copy just written is already stale.
    if (discardWhenDone_) {
        discardWhenDone_ = false;
        removeCopies();
    }
}

RecoveryKeeper::~RecoveryKeeper() { finishWriting(); }

std::string RecoveryKeeper::copyPathFor(const std::string& notebookPath) const {
    return directory_.empty() ? std::string() : RecoveryPathFor(directory_, notebookPath);
}

void RecoveryKeeper::noteChange() {
    if (!directory_.empty()) timer_.start();
}

void RecoveryKeeper::writeCopy() {
    if (directory_.empty() || !doc_.isModified()) return;
    if (!idle_() || watcher_.isRunning()) {
        timer_.start();  // try again after the load, the save or the last copy
        return;
    }
    std::shared_ptr<NotebookSnapshot> snapshot = TakeSnapshot(doc_);
    const std::string path = copyPathFor(doc_.FFileName);
    // A copy under another name (the notebook was saved as, or opened) is no longer needed.
    if (!lastCopy_.empty() && lastCopy_ != path) std::remove(lastCopy_.c_str());
    writingCopy_ = path;
    copyMayExist_ = true;
    watcher_.setFuture(QtConcurrent::run(&BackgroundPool(), [snapshot, path] {
        RunBelowWindowPriority();
        try {
            WriteRecoveryCopy(*snapshot, path);
        } catch (...) {
            // A copy that cannot be written leaves the notebook as safe as it was without
            // one; the next pause tries again.
        }
    }));
}

void RecoveryKeeper::removeCopies() {
    if (!copyMayExist_) return;  // nothing written or restored since the last removal
    copyMayExist_ = false;
    if (!lastCopy_.empty()) std::remove(lastCopy_.c_str());
    if (!directory_.empty()) std::remove(copyPathFor(doc_.FFileName).c_str());
    lastCopy_.clear();
}

void RecoveryKeeper::settle() {
    // A save being written may still fail: until it is on disk, the copy is what a crash
    // would leave.
    if (doc_.isModified() || (savePending && savePending())) return;
    timer_.stop();
    if (watcher_.isRunning()) discardWhenDone_ = true;
    removeCopies();
}

void RecoveryKeeper::discardAll() {
    timer_.stop();
    finishWriting();
    removeCopies();
}

void RecoveryKeeper::finishWriting() {
    if (!watcher_.isRunning()) return;
    watcher_.waitForFinished();
    copyWritten();
}

}  // namespace lark::gui
