#pragma once
// The threads that write saves and recovery copies. They run below the window's priority:
// on a machine with few processors a long write must not take the processor away from
// the thread that handles typing and painting.
#include <QThreadPool>

namespace lark::gui {

QThreadPool& BackgroundPool();

// Called at the start of each job on a pool thread: lowers that thread's priority (a
// thread's nice value on Linux). Lowering is always allowed, so it holds for the job.
void RunBelowWindowPriority();

}  // namespace lark::gui
