#include "main/recovery_keeper.h"

#include <QtConcurrent/QtConcurrentRun>

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
    connect(&watcher_, &QFutureWatcher<bool>::finished, this, [this] { copyWritten(); });
}

void RecoveryKeeper::countWrite(bool ok) {
    ++tried_;
    lastWritten_ = ok;
    if (!ok) return;
    ++written_;
    copiedChanges_ = writingChanges_;
    if (replaced_.held()) {
        RemoveRecoveryCopy(replaced_.copyPath());
        replaced_ = RecoveryClaim();
    }
}

void RecoveryKeeper::copyWritten() {
    if (writing_) {
        writing_ = false;
        countWrite(watcher_.future().isValid() && watcher_.result());
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
    ++changes_;
    if (!directory_.empty()) timer_.start();
}

bool RecoveryKeeper::claimCopy() {
    const std::string& name = doc_.FFileName;
    if (claim_.held() && claimedFor_ == name) return true;
    RecoveryClaim next = ClaimNewRecoveryCopy(directory_, name);
    if (!next.held()) return false;
    // The copy under the notebook's former name goes once the new one is written: until
    // then it is what a crash would leave.
    if (claim_.held()) {
        if (replaced_.held()) RemoveRecoveryCopy(replaced_.copyPath());
        replaced_ = std::move(claim_);
    }
    claim_ = std::move(next);
    claimedFor_ = name;
    return true;
}

void RecoveryKeeper::writeCopy() {
    if (directory_.empty() || !doc_.isModified()) return;
    if (!idle_() || watcher_.isRunning()) {
        timer_.start();  // try again after the load, the save or the last copy
        return;
    }
    if (!claimCopy()) return;  // a thousand copies of the one notebook: the next change tries again
    std::shared_ptr<NotebookSnapshot> snapshot = TakeSnapshot(doc_);
    const std::string path = claim_.copyPath();
    const std::string notebook = claimedFor_;
    // A sealed notebook's copy is sealed with its key: nothing of it is ever in the clear.
    std::shared_ptr<const SealKey> key = doc_.sealKey;
    writing_ = true;
    writingChanges_ = changes_;
    watcher_.setFuture(QtConcurrent::run(&BackgroundPool(), [snapshot, path, notebook, key] {
        RunBelowWindowPriority();
        try {
            WriteRecoveryCopy(*snapshot, path, notebook, key.get());
            return true;
        } catch (...) {
            // A copy that cannot be written leaves the notebook as safe as it was without
            // one; the next change tries again.
            return false;
        }
    }));
}

bool RecoveryKeeper::writeNow() {
    timer_.stop();
    finishWriting();
    if (directory_.empty() || !doc_.isModified()) return true;
    // The last copy holds every change, under the notebook's name now.
    if (written_ > 0 && copiedChanges_ == changes_ && claim_.held() && claimedFor_ == doc_.FFileName) return true;
    if (!idle_() || !claimCopy()) return false;
    writingChanges_ = changes_;
    bool ok = false;
    try {
        WriteRecoveryCopy(*TakeSnapshot(doc_), claim_.copyPath(), claimedFor_, doc_.sealKey.get());
        ok = true;
    } catch (...) {}
    countWrite(ok);
    return ok;
}

void RecoveryKeeper::keepRestoredCopy(RecoveryClaim claim, const std::string& notebookPath) {
    if (!claim.held()) return;
    if (claim_.held() && claim_.copyPath() != claim.copyPath()) RemoveRecoveryCopy(claim_.copyPath());
    claim_ = std::move(claim);
    claimedFor_ = notebookPath;
}

void RecoveryKeeper::removeCopies() {
    // A copy being written goes once it is written.
    if (watcher_.isRunning()) {
        discardWhenDone_ = true;
        return;
    }
    if (replaced_.held()) {
        RemoveRecoveryCopy(replaced_.copyPath());
        replaced_ = RecoveryClaim();
    }
    if (!claim_.held()) return;  // nothing written or restored since the last removal
    RemoveRecoveryCopy(claim_.copyPath());
    claim_ = RecoveryClaim();
    claimedFor_.clear();
}

void RecoveryKeeper::settle() {
    // A save being written may still fail: until it is on disk, the copy is what a crash
    // would leave.
    if (doc_.isModified() || (savePending && savePending())) return;
    timer_.stop();
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
