// "Заменить..." driven through each of its buttons, in the section (the editor's undo) and
// over the notebook (one step of the section history); "Ссылки на раздел" from both menus.
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
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_H, Qt::ControlModifier);
    gui::ReplaceDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = w.frame().findChild<gui::ReplaceDialog*>(QStringLiteral("dlgReplace"))) != nullptr);
    QVERIFY(dialog->isVisible());
    auto button = [&](const char* name) { QTest::mouseClick(Child<QPushButton>(*dialog, name), Qt::LeftButton); };
    auto edit = [&](const char* name, const QString& text) { Child<QLineEdit>(*dialog, name)->setText(text); };
    edit("edFind", QStringLiteral("ONE"));
    edit("edReplace", QStringLiteral("1"));

    // The section: find, replace one and go on, then all; the editor's undo takes back each.
    button("btFindNext");
    QVERIFY(editor->selectionStart() == 0 && editor->selectionLength() == 3);
    button("btReplace");
    QCOMPARE(editor->toPlainText(), QStringLiteral("1 two one"));
    QCOMPARE(editor->selectionStart(), 6u);
    button("btReplaceAll");
    QCOMPARE(editor->toPlainText(), QStringLiteral("1 two 1"));
    QCOMPARE(dialog->result(), QStringLiteral("Заменено: 1"));
    QCOMPARE(w.frame().ui().statusText(), QStringLiteral("Заменено: 1"));
    editor->undo();
    QCOMPARE(editor->toPlainText(), QStringLiteral("1 two one"));
    editor->undo();
    QCOMPARE(editor->toPlainText(), QStringLiteral("one two one"));

    // A character Windows-1251 has no byte for is refused, named, and nothing changes.
    edit("edReplace", QStringLiteral("✓"));
    button("btReplaceAll");
    QVERIFY(w.dialogs.errors.size() == 1 && w.dialogs.errors[0].contains(QStringLiteral("«✓»")));
    QCOMPARE(editor->toPlainText(), QStringLiteral("one two one"));

    // The notebook: names and texts, the text being typed included, as one step.
    edit("edReplace", QStringLiteral("1"));
    Child<QCheckBox>(*dialog, "cbWholeNotebook")->setChecked(true);
    const auto dump = [&] {
        QStringList all;
        for (int i = 0; w.at(i); ++i) all << QString::fromStdString(w.name(i) + "|" + std::string(w.at(i)->text()));
        return all << editor->toPlainText();
    };
    editor->moveCursor(QTextCursor::End);
    w.type(QStringLiteral(" one"));
    button("btReplaceAll");
    QCOMPARE(dialog->result(), QStringLiteral("Заменено: 6"));
    const QStringList after{"A|1 two 1 1", "B|1 x", "1 c|n1", "1 two 1 1"};
    QCOMPARE(dump(), after);
    QVERIFY(w.doc().isModified());
    w.trigger(Action(w.frame(), "miUndoSection"));
    QCOMPARE(dump(), QStringList({"A|one two one one", "B|One x", "one c|none", "one two one one"}));
    w.trigger(Action(w.frame(), "miRedoSection"));
    QCOMPARE(dump(), after);

    // Find next goes on into the following sections.
    edit("edFind", QStringLiteral("x"));
    button("btFindNext");
    QCOMPARE(w.doc().selected(), w.at(1));
    QCOMPARE(editor->selectionStart(), 2u);
    button("btClose");
    QVERIFY(!dialog->isVisible());
}

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
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->textCursor().selectedText(),
             QStringLiteral("file://@Target"));
    w.trigger(Action(w.frame(), "pmBacklinks"));  // for "Other", which nothing links to
    QTRY_VERIFY_WITH_TIMEOUT(!panel->running(), 20000);
    QCOMPARE(panel->model().rowCount(), 0);
    QCOMPARE(Child<QLabel>(*panel, "lbBacklinks")->text(), QStringLiteral("Ссылок на этот раздел нет"));
    // The find-all panel keeps its own parts' names.
    QVERIFY(w.frame().findChild<QLabel*>(QStringLiteral("lbFindAll")) != Child<QLabel>(*panel, "lbBacklinks"));
}

QTEST_MAIN(ReplaceWindowTest)
#include "replace_window_test.moc"
