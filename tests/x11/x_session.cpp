#include "x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

namespace lark::xtest {

namespace {
void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = 0;
}

// Asks the display once; false when it cannot be reached.
template <typename F>
bool Ask(const std::string& display, F question) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    bool answer = false;
    if (!xcb_connection_has_error(c)) answer = question(c, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root);
    xcb_disconnect(c);
    return answer;
}

// A display number is free when no lock file claims it and no server answers on its
// abstract socket (which other sandboxes on this machine may share with us).
bool DisplayFree(int number) {
    if (access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0) return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const bool answered =
        connect(fd, reinterpret_cast<sockaddr*>(&address), socklen_t(sizeof(sa_family_t) + 1 + name.size())) == 0;
    close(fd);
    return !answered;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}
}  // namespace

XSession::XSession() {
    char pattern[] = "/tmp/larkpad-xsession-XXXXXX";
    if (mkdtemp(pattern)) dir_ = pattern;
}

XSession::~XSession() {
    stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

pid_t XSession::spawn(const char* const* argv, const char* log) {
    const std::string path = dir_ + "/" + log;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(out, 1);
        dup2(out, 2);
        if (!display_.empty()) setenv("DISPLAY", display_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);  // the helpers' stock settings
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        execvp(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    return pid;
}

bool XSession::waitFor(const char* what, bool (XSession::*condition)()) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        if ((this->*condition)()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::fprintf(stderr, "x session on %s: %s did not happen\n", display_.c_str(), what);
    for (const auto& log : std::filesystem::directory_iterator(dir_)) {
        if (log.path().extension() != ".log") continue;
        std::fprintf(stderr, "--- %s\n", log.path().filename().c_str());
        if (FILE* f = std::fopen(log.path().c_str(), "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, f)) std::fputs(line, stderr);
            std::fclose(f);
        }
    }
    return false;
}

bool XSession::displayAnswers() {
    return Ask(display_, [](xcb_connection_t*, xcb_window_t) { return true; });
}

bool XSession::wmRunning() {
    return Ask(display_, [](xcb_connection_t* c, xcb_window_t root) {
        auto* r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, Atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1), nullptr);
        const bool set = r && xcb_get_property_value_length(r) == 4;
        std::free(r);
        return set;
    });
}

bool XSession::trayOwned() {
    return Ask(display_, [](xcb_connection_t* c, xcb_window_t) {
        auto* r = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, Atom(c, "_NET_SYSTEM_TRAY_S0")), nullptr);
        const bool owned = r && r->owner != XCB_NONE;
        std::free(r);
        return owned;
    });
}

bool XSession::start(std::string& why) {
    if (dir_.empty()) return why = "no temporary folder", false;
    // A number of our own, well away from the ones people and other tools take.
    std::mt19937 pick{std::random_device{}()};
    for (int attempt = 0; attempt < 20 && display_.empty(); ++attempt) {
        const int number = 200 + int(pick() % 700);
        if (!DisplayFree(number)) continue;
        int fds[2];
        if (pipe(fds) != 0) return why = "no pipe", false;
        const std::string fd = std::to_string(fds[1]), name = ":" + std::to_string(number);
        const char* server[] = {"Xvfb",        name.c_str(), "-displayfd", fd.c_str(), "-screen", "0",
                                "1024x768x24", "-nolisten",  "tcp",        "-noreset", nullptr};
        server_ = spawn(server, "xvfb.log");
        close(fds[1]);
        std::string reported;
        char ch;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 30000) == 1 && read(fds[0], &ch, 1) == 1 && ch != '\n') reported += ch;
        close(fds[0]);
        if (reported == std::to_string(number)) display_ = name;
        else Stop(server_);  // taken meanwhile: another number
    }
    if (display_.empty()) return why = "Xvfb did not start (is it installed?)", false;
    // -noreset: without it the server resets whenever its last client leaves (each
    // check below is one), and a client connecting meanwhile is turned away.
    if (!waitFor("the server's start", &XSession::displayAnswers)) return why = "Xvfb does not answer", false;
    const char* wm[] = {"openbox", nullptr};
    wm_ = spawn(wm, "openbox.log");
    if (!waitFor("the window manager's start", &XSession::wmRunning)) return why = "openbox did not start", false;
    if (!startTrayHost()) return why = "tint2 did not start", false;
    return true;
}

bool XSession::startTrayHost() {
    const std::string rc = dir_ + "/tint2rc";
    if (FILE* f = std::fopen(rc.c_str(), "w")) {
        std::fputs(
            "panel_items = TS\npanel_position = bottom center horizontal\npanel_size = 100% 32\n"
            "panel_layer = top\nstrut_policy = follow_size\nsystray_icon_size = 22\nsystray_sort = "
            "left2right\nsystray_padding = 4 2 4\n"
            "task_text = 1\n",
            f);
        std::fclose(f);
    }
    const char* host[] = {"tint2", "-c", rc.c_str(), nullptr};
    tray_ = spawn(host, "tint2.log");
    return waitFor("the tray host's start", &XSession::trayOwned);
}

void XSession::stopTrayHost() {
    Stop(tray_);
    waitFor("the tray host's end", &XSession::trayFree);
}

void XSession::stop() {
    Stop(tray_);
    Stop(wm_);
    Stop(server_);
}

}  // namespace lark::xtest
