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
    // Reported already (a wait came first), or a late signal while the next save runs.
    if (!job_ || !watcher_.isFinished()) return;
    std::unique_ptr<SaveJob> job = std::move(job_);
    auto done = std::move(done_);
    const bool saved = doc_.FinishSave(*job);
    job.reset();
    if (done) done(saved);
    if (ended) ended(saved);
}

void BackgroundSaves::wait() {
    // A save that was queued starts when the running one ends: it is waited for too.
    bool busy = false;
    while (job_) {
        if (!watcher_.isFinished()) {
            if (!busy) ui_.beginBusy(QStringLiteral("Сохранение..."));
            busy = true;
            QEventLoop loop;
            connect(&watcher_, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
            if (!watcher_.isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        watcher_.waitForFinished();
        finish();
    }
    if (busy) ui_.endBusy();
}

}  // namespace lark::gui
