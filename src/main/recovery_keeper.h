#pragma once
// Keeps a recovery copy of a notebook with unsaved changes: after a pause in the editing
// it takes a snapshot on the window's thread (names and shared texts, no text copied) and
// writes it compressed on a worker thread; the copy goes once nothing is left unsaved.
#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "document/recovery.h"

namespace lark {
class Document;
}

namespace lark::gui {

class RecoveryKeeper : public QObject {
    Q_OBJECT
public:
    // `idle` says whether the window may read the notebook now (no load or save running).
    RecoveryKeeper(Document& doc, std::function<bool()> idle, QObject* parent = nullptr);
    ~RecoveryKeeper() override;

    // Where copies go; empty switches the keeper off.
    void setDirectory(const std::string& directory) { directory_ = directory; }
    const std::string& directory() const { return directory_; }
    std::string copyPathFor(const std::string& notebookPath) const;
    // The pause after the last change before a copy is written.
    void setIdleInterval(int ms) { timer_.setInterval(ms); }

    // True while a save is being written: its copies stay until it has ended.
    std::function<bool()> savePending;

    // The notebook changed: the copy is written after the next pause.
    void noteChange();
    // After a command: with nothing unsaved left, the copies of this notebook go.
    void settle();
    // A copy restored at start-up for the notebook `notebookPath` (empty: unnamed) is this
    // window's from now on; it stays until nothing is left unsaved.
    void keepRestoredCopy(RecoveryClaim claim, const std::string& notebookPath);
    // The copy this window keeps (empty when none).
    std::string currentCopy() const { return claim_.held() ? claim_.copyPath() : std::string(); }
    // A normal exit: no copy is kept.
    void discardAll();
    // Waits for a copy being written.
    void finishWriting();
    // The program is being ended (a signal, the end of the session): writes the copy of
    // unsaved changes now, on this thread, unless the last copy already holds them. False
    // when unsaved changes are left without a copy.
    bool writeNow();
    // Copies written so far, and whether the last one holds every change made so far. A
    // copy that could not be written counts for nothing: the next change tries again.
    int copiesWritten() const { return written_; }
    int copiesTried() const { return tried_; }
    bool upToDate() const { return written_ > 0 && lastWritten_ && !timer_.isActive() && !watcher_.isRunning(); }

private:
    void writeCopy();
    void copyWritten();  // the worker is done (twice is harmless)
    void countWrite(bool ok);
    void removeCopies();
    // Holds a claim on a copy for the notebook's name now (the one held, or a new one).
    bool claimCopy();

    Document& doc_;
    std::function<bool()> idle_;
    std::string directory_;
    QTimer timer_;
    QFutureWatcher<bool> watcher_;
    RecoveryClaim claim_;     // the copy this window writes and keeps
    RecoveryClaim replaced_;  // the copy under the notebook's former name, until the next one is written
    std::string claimedFor_;  // the notebook name it was claimed for
    bool writing_ = false;    // the worker writes the claimed copy now
    bool discardWhenDone_ = false;
    int written_ = 0;
    int tried_ = 0;
    bool lastWritten_ = false;  // the last attempt wrote its copy
    // Changes noted so far, those the copy being written holds, those the last copy holds.
    unsigned changes_ = 0, writingChanges_ = 0, copiedChanges_ = 0;
};

}  // namespace lark::gui
