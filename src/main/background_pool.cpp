#include "main/background_pool.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lark::gui {

namespace {
constexpr int kBackgroundNice = 10;
}  // namespace

QThreadPool& BackgroundPool() {
    // A save and a recovery copy may be written at the same time.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;  // lives as long as the process: jobs may still end at exit
        p->setMaxThreadCount(2);
        return p;
    }();
    return *pool;
}

void RunBelowWindowPriority() {
    // On Linux the nice value belongs to the thread: PRIO_PROCESS with a thread id.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (current < kBackgroundNice) ::setpriority(PRIO_PROCESS, tid, kBackgroundNice);
}

}  // namespace lark::gui
