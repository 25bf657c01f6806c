#pragma once
// The real main window with scripted dialogs, for tests.
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "document/section_tree.h"
#include "main/tframe.h"
#include "support/scripted_dialogs.h"

namespace lark::guitest {

// Isolates the user directories of the test process (call once, in initTestCase).
void IsolateUserDirectories();
// Removes the recovery copies of this test program.
void RemoveRecoveryCopies();

struct Window {
    // `script` prepares the dialogs' answers before the window starts (questions asked
    // while the start-up document opens).
    explicit Window(QStringList arguments = {}, const std::function<void(ScriptedDialogs&)>& script = {});
    ~Window();

    gui::TFrame& frame() { return *frame_; }
    Document& doc() { return frame_->document(); }
    Section* at(int index) { return doc().tree().at(index); }
    std::string name(int index) { return at(index) ? std::string(at(index)->name()) : std::string("<none>"); }

    // What a user does.
    void click(Section* section);    // selects in the tree view
    void type(const QString& text);  // types into the editor at its cursor
    // Menu item, button or short-cut; returns once a save it started is on disk.
    void trigger(QAction* action);
    // The same, going on while a save it started is still being written.
    void triggerAndGoOn(QAction* action) { action->trigger(); }
    void waitForSaves();

    ScriptedDialogs dialogs;
    // The window ends as a crashed one would: its recovery copies stay to be offered.
    bool keepCopies = false;

private:
    std::unique_ptr<gui::TFrame> frame_;
};

}  // namespace lark::guitest
