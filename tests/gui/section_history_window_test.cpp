// The section history in the window: its two commands in the menus, what undo shows, and
// New / Open starting afresh.
#include <QTemporaryDir>
#include <QTest>

#include "editor/note_editor.h"
#include "main/section_tree_view.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

class SectionHistoryWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void undoAndRedoInTheWindow_data();
    void undoAndRedoInTheWindow();
};

void SectionHistoryWindowTest::undoAndRedoInTheWindow_data() {
    QTest::addColumn<QString>("afterwards");  // what ends the history
    QTest::newRow("nominal: New") << "miClear";
    QTest::newRow("nominal: Open") << "miOpen";
}

void SectionHistoryWindowTest::undoAndRedoInTheWindow() {
    QFETCH(QString, afterwards);
    const QString file = dir_.filePath(QStringLiteral("history.lkp"));
    WriteNotebook(file, {{0, "One", "1"}, {1, "Two", "2"}, {0, "Three", "3"}}, 0);
    Window w({file});
    auto* editor = Child<gui::NoteEditor>(w.frame(), "reNodeContent");
    auto* tree = Child<gui::SectionTreeView>(w.frame(), "tvNodes");
    QAction* undo = Action(w.frame(), "miUndoSection");
    QAction* redo = Action(w.frame(), "miRedoSection");
    QAction* popupUndo = Action(w.frame(), "pmUndoSection");
    QVERIFY(!undo->isEnabled() && !redo->isEnabled() && !popupUndo->isEnabled());

    // A section deleted with text typed and not yet stored comes back with it, selected.
    w.click(w.at(1));
    editor->moveCursor(QTextCursor::End);
    w.type(QStringLiteral(" typed"));
    w.dialogs.confirms.push_back(true);
    w.trigger(Action(w.frame(), "miDelete"));
    QCOMPARE(w.doc().tree().count(), 2);
    QVERIFY(undo->isEnabled() && popupUndo->isEnabled());
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier);
    QTRY_COMPARE(w.doc().tree().count(), 3);
    QCOMPARE(w.name(1), std::string("Two"));
    QCOMPARE(w.doc().selected(), w.at(1));
    QCOMPARE(tree->currentIndex().data().toString(), QStringLiteral("Two"));
    QCOMPARE(editor->toPlainText(), QStringLiteral("2 typed"));
    QVERIFY(w.doc().isModified());
    QVERIFY(!undo->isEnabled() && redo->isEnabled());

    // Typing goes on in the editor's own undo; the section history is apart from it.
    w.trigger(redo);
    QCOMPARE(w.doc().tree().count(), 2);
    QCOMPARE(w.doc().selected(), w.at(0));  // where the delete left it: the parent
    w.click(w.at(1));
    w.trigger(Action(w.frame(), "miMoveUp"));
    QCOMPARE(w.name(0), std::string("Three"));
    w.trigger(Action(w.frame(), "miSave"));  // a save keeps the history
    QVERIFY(!w.doc().isModified());
    w.trigger(undo);
    QCOMPARE(w.name(0), std::string("One"));
    QVERIFY(w.doc().isModified());
    w.trigger(redo);

    // New and Open start a history of their own.
    w.dialogs.saveChanges.push_back(Answer::No);  // do not save the changes
    if (afterwards == "miOpen") w.dialogs.opens.push_back({file, false});
    w.trigger(Action(w.frame(), afterwards.toLatin1().constData()));
    QVERIFY(!undo->isEnabled() && !redo->isEnabled());
}

QTEST_MAIN(SectionHistoryWindowTest)
#include "section_history_window_test.moc"
