#pragma once
// What the main window gets from the desktop: the notification area, the window system
// and the shell's services. Tests swap in stand-ins through SetDesktopFactory.
#include <functional>
#include <memory>

#include "desktop/desktop_shell.h"
#include "desktop/tray_area.h"
#include "desktop/window_system.h"

namespace lark::gui {

struct Desktop {
    std::unique_ptr<TrayArea> tray;
    std::unique_ptr<WindowSystem> windows;
    DesktopShell shell;
};

using DesktopFactory = std::function<Desktop()>;

// Every main window created afterwards takes its desktop from `factory`; an empty one
// goes back to the real desktop.
void SetDesktopFactory(DesktopFactory factory);
Desktop MakeDesktop();

// The real window system: X11 when the program runs on it, else none.
std::unique_ptr<WindowSystem> MakeWindowSystem();

// The icon of a window that has none of its own: the generic application icon.
QIcon GenericWindowIcon();

}  // namespace lark::gui
