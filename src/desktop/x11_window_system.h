#pragma once
// Win+Z and foreign windows on X11, through the program's own xcb connection to the
// display: a passive key grab on the root window, EWMH for the active window, icons and
// titles, and ICCCM withdrawal for hiding. Every request is checked, so a window that has
// gone away meanwhile only makes the request fail.
#include <memory>

#include "desktop/window_system.h"

namespace lark::gui {

class X11WindowSystem : public WindowSystem {
public:
    // Null when the program does not run on X11.
    static std::unique_ptr<X11WindowSystem> create();
    ~X11WindowSystem() override;

    HotKey grabHotKey() override;
    void ungrabHotKey() override;
    WindowHandle activeWindow() override;
    QIcon windowIcon(WindowHandle window) override;
    std::string windowTitle(WindowHandle window) override;
    bool withdraw(WindowHandle window) override;
    void restore(WindowHandle window) override;

    struct Private;

private:
    explicit X11WindowSystem(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d_;
};

}  // namespace lark::gui
