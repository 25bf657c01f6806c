#include "support/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include "document/recovery.h"
#include "editor/note_editor.h"
#include "main/background_saves.h"
#include "main/recovery_keeper.h"
#include "main/section_model.h"
#include "main/section_tree_view.h"
#include "support/frame_access.h"

namespace lark::guitest {

void IsolateUserDirectories() {
    // One name per test program: programs that ctest runs side by side keep apart their
    // settings files (written at every close) and their default notebooks.
    QApplication::setApplicationName(QStringLiteral("larkpad-test-") +
                                     QFileInfo(QApplication::applicationFilePath()).baseName());
    QApplication::setOrganizationName(QStringLiteral("larkpad-test"));
    QStandardPaths::setTestModeEnabled(true);
    // Recovery copies go beside the other test-mode folders, one folder per program.
    qputenv("XDG_STATE_HOME", (QDir::homePath() + QStringLiteral("/.qttest/state")).toLocal8Bit());
    // Every run starts from the window's design values, whatever an earlier run left.
    QFile::remove(gui::TFrame::SettingsFilePath());
}

void RemoveRecoveryCopies() {
    QDir(QString::fromStdString(RecoveryDirectory(QApplication::applicationName().toStdString()))).removeRecursively();
}

Window::Window(QStringList arguments, const std::function<void(ScriptedDialogs&)>& script) {
    if (script) script(dialogs);
    frame_ = std::make_unique<gui::TFrame>(dialogs, std::move(arguments));
    // The first activation (start-up document) runs once the window is on screen.
    QVERIFY(WaitUntilReady(*frame_));
    frame_->activateWindow();
    if (!QTest::qWaitForWindowActive(frame_.get())) qWarning("the window did not become active");
}

Window::~Window() {
    if (keepCopies) return;
    // Tests end without questions: whatever is left is dropped.
    frame_->document().setTreeModified(false);
    Child<gui::NoteEditor>(*frame_, "reNodeContent")->setModified(false);
    frame_->recoveryKeeper().discardAll();
}

void Window::click(Section* section) {
    auto* view = Child<gui::SectionTreeView>(*frame_, "tvNodes");
    const QModelIndex index = frame_->sectionModel()->indexOf(section);
    view->scrollTo(index);
    const QRect r = view->visualRect(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 20, r.center().y()));
}

void Window::type(const QString& text) {
    Child<gui::NoteEditor>(*frame_, "reNodeContent")->setFocus();
    QTest::keyClicks(Child<gui::NoteEditor>(*frame_, "reNodeContent"), text);
}

void Window::trigger(QAction* action) {
    action->trigger();
    waitForSaves();
}

void Window::waitForSaves() { frame_->backgroundSaves().wait(); }

}  // namespace lark::guitest
