#pragma once
// The window system as Win+Z needs it: the global hot key, the window in the foreground,
// and other programs' windows (their icon and title, hiding and showing them). The X11
// implementation lives in x11_window_system.cpp; without X11 there is no hot key and no
// foreign window.
#include <QIcon>
#include <functional>
#include <string>

#include "desktop/hidden_windows.h"

namespace lark::gui {

class WindowSystem {
public:
    enum class HotKey { Grabbed, Taken, Unavailable };

    virtual ~WindowSystem() = default;

    // Grabs Win+Z for the whole desktop: Taken when another client holds it.
    virtual HotKey grabHotKey() = 0;
    virtual void ungrabHotKey() = 0;
    // The window that has the user's focus; 0 when none is known.
    virtual WindowHandle activeWindow() = 0;
    // The window's own small icon; a null icon when it has none.
    virtual QIcon windowIcon(WindowHandle window) = 0;
    // The window's title (UTF-8), as long as the window gives it.
    virtual std::string windowTitle(WindowHandle window) = 0;
    // Hides the window so that the window manager drops it from the task bar; false when
    // that failed (the window is gone).
    virtual bool withdraw(WindowHandle window) = 0;
    // Shows the window again and brings it to the front; a window that is gone is skipped
    // silently.
    virtual void restore(WindowHandle window) = 0;

    // Win+Z was pressed (on the GUI thread).
    std::function<void()> onHotKey;
    // A window withdrawn here was destroyed by its program (on the GUI thread).
    std::function<void(WindowHandle)> onWindowGone;
};

// The stand-in where there is no X11: no hot key, no foreign windows.
class NoWindowSystem : public WindowSystem {
public:
    HotKey grabHotKey() override { return HotKey::Unavailable; }
    void ungrabHotKey() override {}
    WindowHandle activeWindow() override { return 0; }
    QIcon windowIcon(WindowHandle) override { return {}; }
    std::string windowTitle(WindowHandle) override { return {}; }
    bool withdraw(WindowHandle) override { return false; }
    void restore(WindowHandle) override {}
};

}  // namespace lark::gui
