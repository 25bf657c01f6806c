#include "x_input.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace lark::xtest {

namespace {

bool refused = false;

int Trap(Display*, XErrorEvent* e) {
    if (e->error_code == BadAccess) refused = true;
    return 0;
}

Display* Dpy() {
    static Display* d = [] {
        XSetErrorHandler(Trap);  // windows that went away are no failure of the test's own
        return XOpenDisplay(nullptr);
    }();
    return d;
}

}  // namespace

bool Mapped(unsigned long window) {
    XWindowAttributes a;
    return XGetWindowAttributes(Dpy(), window, &a) && a.map_state == IsViewable;
}

unsigned long ActiveWindow() {
    Atom type;
    int format;
    unsigned long count = 0, after = 0, w = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(Dpy(), DefaultRootWindow(Dpy()), XInternAtom(Dpy(), "_NET_ACTIVE_WINDOW", False), 0, 1,
                           False, XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data && count == 1)
        w = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return w;
}

void RequestActivation(unsigned long window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(Dpy(), "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;
    XSendEvent(Dpy(), DefaultRootWindow(Dpy()), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(Dpy());
}

void PressWinZ() {
    const KeyCode super = XKeysymToKeycode(Dpy(), XK_Super_L), z = XKeysymToKeycode(Dpy(), XK_z);
    XTestFakeKeyEvent(Dpy(), super, True, 0);
    XTestFakeKeyEvent(Dpy(), z, True, 0);
    XTestFakeKeyEvent(Dpy(), z, False, 0);
    XTestFakeKeyEvent(Dpy(), super, False, 0);
    XFlush(Dpy());
}

void Click(int x, int y, unsigned button, bool twice) {
    XTestFakeMotionEvent(Dpy(), -1, x, y, 0);
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
        XTestFakeButtonEvent(Dpy(), button, True, 0);
        XTestFakeButtonEvent(Dpy(), button, False, 0);
    }
    XFlush(Dpy());
}

void HoldHotKey(bool hold) {
    const KeyCode z = XKeysymToKeycode(Dpy(), XK_z);
    if (hold) XGrabKey(Dpy(), z, Mod4Mask, DefaultRootWindow(Dpy()), True, GrabModeAsync, GrabModeAsync);
    else XUngrabKey(Dpy(), z, Mod4Mask, DefaultRootWindow(Dpy()));
    XSync(Dpy(), False);
}

bool HotKeyHeld() {
    refused = false;
    HoldHotKey(true);
    const bool held = refused;
    if (!held) HoldHotKey(false);
    return held;
}

}  // namespace lark::xtest
