#pragma once
// A desktop of its own for the tray tests: Xvfb on a display number no other server has
// (lock file and abstract socket checked; the server confirms it through -displayfd),
// openbox as window manager and tint2 as tray host. The helpers' output goes to logs in a
// private folder, shown when something does not start.
#include <sys/types.h>
#include <string>

namespace lark::xtest {

class XSession {
public:
    XSession();
    ~XSession();
    // Starts the server, the window manager and the tray host; false with `why`.
    bool start(std::string& why);
    void stop();
    bool startTrayHost();  // waits until the host owns the tray selection
    void stopTrayHost();   // waits until the tray selection has no owner
    const std::string& display() const { return display_; }
    const std::string& folder() const { return dir_; }

private:
    pid_t spawn(const char* const* argv, const char* log);
    bool waitFor(const char* what, bool (XSession::*condition)());
    bool displayAnswers();
    bool wmRunning();
    bool trayOwned();
    bool trayFree() { return !trayOwned(); }

    std::string display_, dir_;
    pid_t server_ = 0, wm_ = 0, tray_ = 0;
};

}  // namespace lark::xtest
