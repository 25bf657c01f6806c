#pragma once
// How tests reach into the window: actions and widgets by object name, as a user's
// automation finds them; the end of the start-up through the window's `ready` signal; the
// handlers that only the desktop calls (showing or hiding from the tray, the end of a
// session) and the font sizes below one point through TFrameTestAccess, the window's one test
// accessor, which hands out no field.
#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "editor/note_editor.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"

namespace lark::gui {

struct TFrameTestAccess {
    static int editorFontPoints(const TFrame& f) { return f.editorFontPoints(); }
    static int treeFontPoints(const TFrame& f) { return f.treeFontPoints(); }

    // Handlers whose events come from outside the window.
    static void ToggleMainWindow(TFrame& f, bool forceShow) { f.ToggleMainWindow(forceShow); }
    static void EndSessionQuery(TFrame& f) { f.EndSessionQuery(); }
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

// Waits for the window's `ready` (its start-up document open, the offers made with it
// answered); false when it has not come within `timeoutMs` (a negative one waits for good).
inline bool WaitUntilReady(gui::TFrame& frame, int timeoutMs = 5000) {
    if (frame.isReady()) return true;
    QEventLoop loop;
    QObject::connect(&frame, &gui::TFrame::ready, &loop, &QEventLoop::quit);
    if (timeoutMs >= 0) QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return frame.isReady();
}

}  // namespace lark::guitest
