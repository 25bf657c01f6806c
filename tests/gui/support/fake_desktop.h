#pragma once
// A desktop of stand-ins for window tests on the offscreen platform: a tray whose host
// the test switches on and off, foreign windows that are only entries in a table, and a
// shell whose services the test replaces, before or after the window starts.
#include <QIcon>
#include <QString>
#include <functional>
#include <map>
#include <string>

#include "desktop/desktop.h"

namespace lark::guitest {

struct FakeDesktopState {
    struct Icon {
        QIcon image;
        QString tip;
    };
    struct Foreign {
        std::string title;
        QIcon icon;
        bool mapped = true;
    };
    bool trayHost = true;
    std::map<int, Icon> icons;  // icons the tray shows (or keeps for a host to come)
    gui::WindowSystem::HotKey grab = gui::WindowSystem::HotKey::Grabbed;
    gui::WindowHandle active = 0;
    std::map<gui::WindowHandle, Foreign> windows;
    std::vector<gui::WindowHandle> restored;  // in the order they came back
    // Ends a foreign window as its program would, telling the window system's user.
    std::function<void(gui::WindowHandle)> destroy;
    // A click on a tray icon, handled by the window before the call returns (the events
    // that follow a click run), and Win+Z: what the desktop does to the window.
    std::function<void(int id, gui::TrayClick click)> click;
    std::function<void()> pressHotKey;
    // What the windows ask of the shell goes here at the time they ask (the real services
    // until a test replaces them).
    gui::DesktopShell shell;
};

// Main windows created from now on get the fake desktop; all of them share the state
// returned (reset to its defaults here).
FakeDesktopState& UseFakeDesktop();
// Main windows created from now on get the real desktop again.
void UseRealDesktop();

}  // namespace lark::guitest
