#include "main/background_saves.h"

#include <QEventLoop>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

#include "document/document.h"
#include "main/background_pool.h"
#include "main/window_ui.h"

namespace lark::gui {

BackgroundSaves::BackgroundSaves(Document& doc, WindowUi& ui, QObject* parent) : QObject(parent), doc_(doc), ui_(ui) {
    connect(&watcher_, &QFutureWatcher<void>::finished, this, [this] { finish(); });
}

BackgroundSaves::~BackgroundSaves() {
    // The worker writes from the job: it must be done before the job goes.
    if (job_) {
        watcher_.waitForFinished();
        finish();
    }
}

void BackgroundSaves::start(std::unique_ptr<SaveJob> job, std::function<void(bool)> done) {
    job_ = std::move(job);
    done_ = std::move(done);
    SaveJob* work = job_.get();
    watcher_.setFuture(QtConcurrent::run(&BackgroundPool(), [work] {
        RunBelowWindowPriority();
        Document::WriteSave(*work);
    }));
}

void BackgroundSaves::finish() {
    // A late signal of a save already reported (a destructor's wait came first).
    if (!job_ || !watcher_.isFinished()) return;
    // Whatever the reports do, a wait hears that this save has ended.
    struct Reported {
        BackgroundSaves* self;
        ~Reported() { emit self->reported(); }
    } reported{this};
    std::unique_ptr<SaveJob> job = std::move(job_);
    auto done = std::move(done_);
    const bool saved = doc_.FinishSave(*job);
    job.reset();
    if (done) done(saved);
    // The window may start the queued save from here: a wait goes on to wait for it.
    if (ended) ended(saved);
}

void BackgroundSaves::wait() {
    if (!job_) return;
    // The window's thread never blocks on the worker: it runs its event loop (timers,
    // painting; input waits) until no save is being written, the queued one included,
    // which starts from the report of the one before.
    ui_.beginBusy(QStringLiteral("Сохранение..."));
    while (job_) {
        QEventLoop loop;
        connect(this, &BackgroundSaves::reported, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    ui_.endBusy();
}

}  // namespace lark::gui
