#pragma once
// How tests reach into the window: actions and widgets by object name, as a user's
// automation finds them; the fields and the handlers that only the desktop calls (tray
// clicks, the hot key, the end of a session) through TFrameTestAccess, the window's one
// test accessor.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

#include "editor/note_editor.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"

namespace lark::gui {

struct TFrameTestAccess {
    static bool& FirstActivation(TFrame& f) { return f.FirstActivation; }
    static bool& FCloseRequested(TFrame& f) { return f.FCloseRequested; }
    static bool& FTerminating(TFrame& f) { return f.FTerminating; }
    static HiddenWindows& FHiddenWindows(TFrame& f) { return f.FHiddenWindows; }
    static DesktopShell& shell(TFrame& f) { return f.shell; }
    static int editorFontPoints(const TFrame& f) { return f.editorFontPoints(); }
    static int treeFontPoints(const TFrame& f) { return f.treeFontPoints(); }

    // Handlers whose events come from outside the window.
    static void WMTrayNotify(TFrame& f, int id, TrayClick click) { f.WMTrayNotify(id, click); }
    static void WMHotKey(TFrame& f) { f.WMHotKey(); }
    static void ToggleMainWindow(TFrame& f, bool forceShow) { f.ToggleMainWindow(forceShow); }
    static void SetTrayMode(TFrame& f, bool on) { f.SetTrayMode(on); }
    static void EndSessionQuery(TFrame& f) { f.EndSessionQuery(); }
    static void QuitProgram(TFrame& f) { f.QuitProgram(); }
    // The search commands without runCommand around them, so their failures reach the test.
    static void miFindClick(TFrame& f) { f.miFindClick(); }
    static void miEntireSearchClick(TFrame& f) { f.miEntireSearchClick(); }
    static void miSearchAgainClick(TFrame& f) { f.miSearchAgainClick(); }
};

}  // namespace lark::gui

namespace lark::guitest {

// The window's action (menu item, tool button, pop-up item) of that object name.
inline QAction* Action(QObject& frame, const char* name) {
    auto* action = frame.findChild<QAction*>(QLatin1String(name));
    if (!action) qFatal("The window has no action named %s", name);
    return action;
}

// The window's widget or menu of that object name.
template <class T>
T* Child(QObject& frame, const char* name) {
    auto* child = frame.findChild<T*>(QLatin1String(name));
    if (!child) qFatal("The window has no child named %s", name);
    return child;
}

}  // namespace lark::guitest
