#pragma once
// Saves that write on a worker thread while the window stays usable. The job holds a
// snapshot of the notebook, so typing, selecting and section commands go on meanwhile;
// the outcome is reported on the window's thread once the file is on disk. One save runs
// at a time; one more may wait for it, taken from a fresh snapshot when it ends. Every save
// of the window goes this way; one that must be on disk before the command goes on (close,
// New, Open) is started and then waited for.
#include <QFutureWatcher>
#include <QObject>
#include <functional>
#include <memory>
#include <utility>

namespace lark {
class Document;
struct SaveJob;
}  // namespace lark

namespace lark::gui {

class WindowUi;

class BackgroundSaves : public QObject {
    Q_OBJECT
public:
    BackgroundSaves(Document& doc, WindowUi& ui, QObject* parent = nullptr);
    ~BackgroundSaves() override;

    bool running() const { return job_ != nullptr; }
    // Writes the job on a worker; `done(saved)` runs on this thread after the document has
    // heard the outcome. Only while no save runs.
    void start(std::unique_ptr<SaveJob> job, std::function<void(bool saved)> done);
    // Waits for a running save and its report, and for a save started from that report (the
    // queued one), showing progress after the usual delay; the event loop runs meanwhile
    // with input held back. Returns at once when none runs.
    void wait();

    // A save asked for while one runs: remembered once, taken by the caller when the
    // running one has ended (see `ended`).
    void queueAnother() { queued_ = true; }
    bool takeQueued() { return std::exchange(queued_, false); }
    // Called after each save's report (the window starts the queued save from here).
    std::function<void(bool saved)> ended;

signals:
    // After each save's report, `done` and `ended` included.
    void reported();

private:
    void finish();

    Document& doc_;
    WindowUi& ui_;
    QFutureWatcher<void> watcher_;
    std::unique_ptr<SaveJob> job_;
    std::function<void(bool)> done_;
    bool queued_ = false;
};

}  // namespace lark::gui
