// "Заменить...": the dialog driven through each of its buttons, in the current section (the
// editor's undo) and over the whole notebook (one step of the section history).
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "editor/note_editor.h"
#include "main/find_all_panel.h"
#include "main/replace_dialog.h"
#include "main/window_ui.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;

class ReplaceWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void everyButtonOnce();
    void linksIntoASection();
};

void ReplaceWindowTest::everyButtonOnce() {
    const QString file = dir_.filePath(QStringLiteral("r.lkp"));
    WriteNotebook(file, {{0, "A", "one two one"}, {1, "B", "One x"}, {0, "one c", "none"}}, 0);
    Window w({file});
    auto* editor = Child<gui::NoteEditor>(w.frame(), "reNodeContent");
    w.click(w.at(0));
    // Ctrl+H in the editor, whose own keys would take it otherwise.
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_H, Qt::ControlModifier);
    gui::ReplaceDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = w.frame().findChild<gui::ReplaceDialog*>(QStringLiteral("dlgReplace"))) != nullptr);
    QVERIFY(dialog->isVisible());
    QCOMPARE(editor->toPlainText(), QStringLiteral("one two one"));
    auto button = [&](const char* name) { QTest::mouseClick(Child<QPushButton>(*dialog, name), Qt::LeftButton); };
    Child<QLineEdit>(*dialog, "edFind")->setText(QStringLiteral("ONE"));
    Child<QLineEdit>(*dialog, "edReplace")->setText(QStringLiteral("1"));

    // The current section: find, replace one, then all; the editor's undo takes back each.
    button("btFindNext");
    QCOMPARE(editor->selectionStart(), 0u);
    QCOMPARE(editor->selectionLength(), 3u);
    button("btReplace");
    QCOMPARE(editor->toPlainText(), QStringLiteral("1 two one"));
    QCOMPARE(editor->selectionStart(), 6u);  // on to the next match
    button("btReplaceAll");
    QCOMPARE(editor->toPlainText(), QStringLiteral("1 two 1"));
    QCOMPARE(dialog->result(), QStringLiteral("Заменено: 1"));
    QCOMPARE(w.frame().ui().statusText(), QStringLiteral("Заменено: 1"));
    editor->undo();
    QCOMPARE(editor->toPlainText(), QStringLiteral("1 two one"));
    editor->undo();
    QCOMPARE(editor->toPlainText(), QStringLiteral("one two one"));

    // A character Windows-1251 has no byte for: refused, naming it, nothing changed.
    Child<QLineEdit>(*dialog, "edReplace")->setText(QStringLiteral("✓"));
    button("btReplaceAll");
    QCOMPARE(w.dialogs.errors.size(), 1);
    QVERIFY(w.dialogs.errors[0].contains(QStringLiteral("«✓»")));
    QCOMPARE(editor->toPlainText(), QStringLiteral("one two one"));

    // The whole notebook: names and texts, the text in the editor included, one step.
    Child<QLineEdit>(*dialog, "edReplace")->setText(QStringLiteral("1"));
    Child<QCheckBox>(*dialog, "cbWholeNotebook")->setChecked(true);
    const auto dump = [&] {
        QStringList all;
        for (int i = 0; w.at(i); ++i) all << QString::fromStdString(w.name(i) + "|" + std::string(w.at(i)->text()));
        return all << editor->toPlainText();
    };
    editor->moveCursor(QTextCursor::End);
    w.type(QStringLiteral(" one"));
    const QStringList before = dump();
    button("btReplaceAll");
    QCOMPARE(dialog->result(), QStringLiteral("Заменено: 6"));
    const QStringList after = dump();
    QCOMPARE(after, QStringList({"A|1 two 1 1", "B|1 x", "1 c|n1", "1 two 1 1"}));
    QVERIFY(w.doc().isModified());
    w.trigger(Action(w.frame(), "miUndoSection"));
    QCOMPARE(dump(), QStringList({"A|one two one one", "B|One x", "one c|none", "one two one one"}));
    QCOMPARE(before.last(), dump().last());
    w.trigger(Action(w.frame(), "miRedoSection"));
    QCOMPARE(dump(), after);

    // Find next goes on into the following sections.
    Child<QLineEdit>(*dialog, "edFind")->setText(QStringLiteral("x"));
    editor->moveCursor(QTextCursor::End);
    button("btFindNext");
    QCOMPARE(w.doc().selected(), w.at(1));
    QCOMPARE(editor->selectionStart(), 2u);

    button("btClose");
    QVERIFY(!dialog->isVisible());
}

// "Ссылки на раздел" from the menu and from the tree's pop-up menu: the links a click
// would follow to the section, the row activated selects the link.
void ReplaceWindowTest::linksIntoASection() {
    const QString file = dir_.filePath(QStringLiteral("l.lkp"));
    WriteNotebook(
        file,
        {{0, "Index", "go file://@Target"}, {0, "Target", "t"}, {0, "Other", "x\r\nfile://@Target. file://@Targets"}},
        0);
    Window w({file});
    w.click(w.at(1));
    w.trigger(Action(w.frame(), "miBacklinks"));
    auto* panel = w.frame().findChild<gui::FindAllPanel*>(QStringLiteral("dkBacklinks"));
    QVERIFY(panel && panel->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!panel->running(), 20000);
    QCOMPARE(panel->model().rowCount(), 2);
    panel->activate(1);
    QCOMPARE(w.doc().selected(), w.at(2));
    auto* editor = Child<gui::NoteEditor>(w.frame(), "reNodeContent");
    QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("file://@Target"));

    w.trigger(Action(w.frame(), "pmBacklinks"));  // now for "Other", which nothing links to
    QTRY_VERIFY_WITH_TIMEOUT(!panel->running(), 20000);
    QCOMPARE(panel->model().rowCount(), 0);
    QCOMPARE(Child<QLabel>(*panel, "lbBacklinks")->text(), QStringLiteral("Ссылок на этот раздел нет"));
    // The find-all panel keeps its own parts' names.
    QVERIFY(w.frame().findChild<QLabel*>(QStringLiteral("lbFindAll")) != Child<QLabel>(*panel, "lbBacklinks"));
}

QTEST_MAIN(ReplaceWindowTest)
#include "replace_window_test.moc"
