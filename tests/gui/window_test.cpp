// The main window end to end: start-up and close, section commands through menus and
// short-cuts, the tree's selection mirroring, pop-up menu, drag-and-drop hit classes,
// and the editor's Windows-1251 boundary.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>
#include <functional>

#include "document/cp1251.h"
#include "document/errors.h"
#include "editor/note_editor.h"
#include "files/paths.h"
#include "main/app_texts.h"
#include "main/command_runner.h"
#include "main/section_model.h"
#include "main/section_tree_view.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

class WindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const char* name) { return dir_.filePath(QLatin1String(name)); }
    // a(0) [a1(1) [a11(2)], a2(3)], b(4), c(5)
    QString tree(const char* name = "tree.lkp", int active = 0) {
        QString p = path(name);
        WriteNotebook(p,
                      {{0, "a", "text a"},
                       {1, "a1", "text a1"},
                       {2, "a11", ""},
                       {1, "a2", "text a2"},
                       {0, "b", "text b"},
                       {0, "c", "text c"}},
                      active);
        return p;
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void init() { QFile::remove(files::DefaultDocumentPath()); }

    void formAndCaptions();
    void startWithoutArgumentsNamesDefault();
    void startWithoutArgumentsLoadsDefault();
    void startWithArgument();
    void readyOnceWithTheStartUpDocument();
    void startWithMissingArgument();
    void typedTextWithoutSelectionGoesToNewNode();
    void newNodeInEmptyNotebookWithTypedText();
    void selectionStoresOnlyEditedText();
    void movesKeepSelectionAndEditorState();
    void deleteGuards();
    void deleteWhileSelectionChanges();
    void rightClickOpensMenuWithoutSelecting();
    void dropClasses_data();
    void dropClasses();
    void renameInPlaceSanitises();
    void slowSecondClickOnly_data();
    void slowSecondClickOnly();
    void unrepresentableInputReplaced();
    void replacedNoticeOutlivesHints();
    void editorLineBreaksAndSelection();
    void shiftEnterStoredAsCrLf();
    void untouchedSectionBytesSurvive();
    void unhandledErrorsGetFullStop_data();
    void unhandledErrorsGetFullStop();
    void closeWithTrayOffAsks();
    void captionNamesNotebook();
};

void WindowTest::formAndCaptions() {
    Window w;
    gui::TFrame& f = w.frame();
    QCOMPARE(f.objectName(), QStringLiteral("Frame"));
    QCOMPARE(f.windowTitle(),
             QFileInfo(files::DefaultDocumentPath()).fileName() + QStringLiteral(" — Larkpad - иерархический блокнот"));
    QCOMPARE(f.minimumSize(), QSize(300, 200));
    QCOMPARE(Child<gui::SectionTreeView>(f, "tvNodes")->width(), 177);
    for (const char* name : {"tvNodes", "reNodeContent", "sbStatus", "tbToolBar", "pmNodesMenu", "pnInfo", "miSave",
                             "tbSave", "pmNewNode", "pmTextMenu", "tmExit", "miUseZip"})
        QVERIFY2(f.findChild<QObject*>(QLatin1String(name)), name);
    QCOMPARE(Action(f, "miSave")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    QCOMPARE(Action(f, "miToUpper")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Alt+U")));
    QCOMPARE(Action(f, "miNewNode")->statusTip(),
             QStringLiteral("Создать новый раздел возле выбранного раздела на дереве"));
    QCOMPARE(Action(f, "tbDelete")->statusTip(), Action(f, "miDelete")->statusTip());
    QCOMPARE(Action(f, "miUseTray")->text(), QStringLiteral("Сворачиваться в трей\tWin+Z"));
    QVERIFY(Action(f, "miShowToolBar")->isChecked());
    QVERIFY(!Action(f, "miWordWrap")->isChecked() && !Action(f, "miUseZip")->isChecked() &&
            !Action(f, "miUseTray")->isChecked());
    QStringList popup;
    for (QAction* a : Child<QMenu>(f, "pmNodesMenu")->actions())
        if (!a->isSeparator()) popup << a->objectName();
    QCOMPARE(popup,
             (QStringList{"pmNewNode", "pmDelNode", "pmRenNode", "pmMoveNodeUp", "pmMoveNodeDown", "pmMoveNodeTop",
                          "pmMoveNodeBottom", "pmMoveNodeLevUp", "pmUndoSection", "pmRedoSection", "pmBacklinks"}));
    // Hints reach the status bar.
    Action(f, "miOpen")->showStatusText(Child<gui::SectionTreeView>(f, "tvNodes"));
    QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("Открыть существующий файл"));
    // The option and its tool bar.
    Action(f, "miShowToolBar")->trigger();
    QVERIFY(Child<QToolBar>(f, "tbToolBar")->isHidden());
    Action(f, "miShowToolBar")->trigger();
    QVERIFY(!Child<QToolBar>(f, "tbToolBar")->isHidden());
}

void WindowTest::startWithoutArgumentsNamesDefault() {
    Window w;
    const QString def = files::DefaultDocumentPath();
    QCOMPARE(QString::fromStdString(w.doc().FFileName), def);
    QVERIFY(w.dialogs.asked.isEmpty() && w.dialogs.errors.isEmpty());
    // The first Save writes it without a dialog.
    w.type(QStringLiteral("hello"));
    w.trigger(Action(w.frame(), "miSave"));
    QVERIFY(w.dialogs.asked.isEmpty());
    QVERIFY(QFileInfo::exists(def));
    QCOMPARE(w.doc().tree().count(), 1);
    QCOMPARE(w.name(0), std::string("New Node"));
}

void WindowTest::startWithoutArgumentsLoadsDefault() {
    const QString def = files::DefaultDocumentPath();
    WriteNotebook(def, {{0, "default", "d"}}, 0);
    Window w;
    QCOMPARE(w.doc().tree().count(), 1);
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("d"));
    QCOMPARE(w.frame().statusBar()->currentMessage(), QStringLiteral("Открыто ") + def);
}

void WindowTest::startWithArgument() {
    const QString file = tree("arg.lkp", 3);
    Window w({file});
    QCOMPARE(QString::fromStdString(w.doc().FFileName), file);
    QCOMPARE(w.doc().selected(), w.at(3));
    QCOMPARE(Child<gui::SectionTreeView>(w.frame(), "tvNodes")->currentIndex(),
             w.frame().sectionModel()->indexOf(w.at(3)));
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("text a2"));
    QVERIFY(!w.doc().isModified());
}

// `ready` comes once, when the start-up document is already on the window.
void WindowTest::readyOnceWithTheStartUpDocument() {
    const QString file = tree("ready.lkp", 3);
    ScriptedDialogs dialogs;
    gui::TFrame f(dialogs, {file});
    QStringList seen;  // at each `ready`: the notebook, the editor's text, isReady()
    connect(&f, &gui::TFrame::ready, this, [&] {
        seen << QStringLiteral("%1|%2|%3")
                    .arg(QString::fromStdString(f.document().FFileName),
                         Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(),
                         f.isReady() ? QStringLiteral("ready") : QStringLiteral("not ready"));
    });
    QVERIFY(!f.isReady());
    QVERIFY(WaitUntilReady(f));
    // Later activations send nothing more.
    QWidget other;
    other.show();
    other.activateWindow();
    (void)QTest::qWaitForWindowActive(&other);
    f.activateWindow();
    (void)QTest::qWaitForWindowActive(&f);
    QCOMPARE(seen, QStringList{file + QStringLiteral("|text a2|ready")});
}

void WindowTest::startWithMissingArgument() {
    // "-hide" alone is also the first argument: a document path that does not exist.
    Window w({QStringLiteral("-hide")});
    QVERIFY(w.frame().isVisible());  // no tray option: shown normally
    QCOMPARE(w.dialogs.errors.size(), 1);
    QVERIFY(w.doc().FFileName.empty());
}

void WindowTest::typedTextWithoutSelectionGoesToNewNode() {
    const QString file = tree();
    Window w({file});
    w.doc().SelectSection(nullptr);
    Child<gui::SectionTreeView>(w.frame(), "tvNodes")->showSelection(nullptr);
    w.type(QStringLiteral("loose "));
    const QString typed =
        Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText();  // what the editor kept, with the typing
    w.click(w.at(4));                                                       // selecting b stores the typed text first
    const int n = w.doc().tree().count();
    QCOMPARE(n, 7);
    QCOMPARE(w.name(6), std::string("New Node"));
    QCOMPARE(w.at(6)->parent(), nullptr);
    QCOMPARE(QString::fromStdString(std::string(w.at(6)->text())), typed);
    QVERIFY(typed.startsWith(QStringLiteral("loose ")));
    QCOMPARE(w.doc().selected(), w.at(4));
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("text b"));
    QVERIFY(w.doc().treeModified());
}

void WindowTest::newNodeInEmptyNotebookWithTypedText() {
    Window w;
    w.type(QStringLiteral("typed"));
    w.trigger(Action(w.frame(), "miNewNode"));
    QCOMPARE(w.doc().tree().count(), 2);
    QCOMPARE(w.doc().selected(), w.at(0));
    QVERIFY(w.at(0)->text().empty());
    QCOMPARE(std::string(w.at(1)->text()), std::string("typed"));
    // The new section's name is open for editing.
    QTRY_VERIFY(Child<gui::SectionTreeView>(w.frame(), "tvNodes")->findChild<QLineEdit*>() != nullptr);
    QCOMPARE(Child<gui::SectionTreeView>(w.frame(), "tvNodes")->findChild<QLineEdit*>()->text(),
             QStringLiteral("New Node"));
}

void WindowTest::selectionStoresOnlyEditedText() {
    const QString file = tree();
    Window w({file});
    w.click(w.at(4));
    w.click(w.at(5));
    QVERIFY(!w.doc().isModified());
    w.type(QStringLiteral("X"));
    w.click(w.at(0));
    QCOMPARE(std::string(w.at(5)->text()), std::string("Xtext c"));
    QVERIFY(w.doc().treeModified());
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("text a"));
    QVERIFY(!Child<gui::NoteEditor>(w.frame(), "reNodeContent")->modified());
}

void WindowTest::movesKeepSelectionAndEditorState() {
    const QString file = tree();
    Window w({file});
    Section* a1 = w.at(1);
    w.click(a1);
    w.type(QStringLiteral("unsaved "));
    gui::TFrame& f = w.frame();
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_D,
                    Qt::ControlModifier);  // down, typed in the editor: after a2
    QCOMPARE(w.name(1), std::string("a2"));
    QCOMPARE(w.at(2), a1);
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_U,
                    Qt::ControlModifier | Qt::ShiftModifier);  // one level up: before a
    QCOMPARE(w.at(0), a1);
    QCOMPARE(a1->parent(), nullptr);
    QCOMPARE(a1->childCount(), 1);  // its subtree came along
    w.trigger(Action(f, "pmMoveNodeBottom"));
    QCOMPARE(w.doc().tree().topLevel(w.doc().tree().topLevelCount() - 1), a1);
    for (auto* s :
         {w.doc().selected(), gui::SectionModel::sectionAt(Child<gui::SectionTreeView>(f, "tvNodes")->currentIndex())})
        QCOMPARE(s, a1);
    QVERIFY(Child<gui::NoteEditor>(f, "reNodeContent")->modified());
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("unsaved text a1"));
    // Up on the first sibling changes nothing.
    w.click(w.at(0));
    QVERIFY(!Child<gui::NoteEditor>(f, "reNodeContent")->modified());
    w.doc().setTreeModified(false);
    w.trigger(Action(f, "miMoveUp"));
    QVERIFY(!w.doc().treeModified());
}

void WindowTest::deleteGuards() {
    const QString file = tree();
    Window w({file});
    gui::TFrame& f = w.frame();
    // Nothing selected.
    w.doc().SelectSection(nullptr);
    w.trigger(Action(f, "miDelete"));
    QCOMPARE(w.dialogs.messages, QStringList{QStringLiteral("Сначала выберите узел для удаления (кликните по нему)")});
    // A section with children.
    w.click(w.at(0));
    w.trigger(Action(f, "pmDelNode"));
    QCOMPARE(w.dialogs.errors, QStringList{QStringLiteral("Нельзя удалить узел, содержащий другие узлы")});
    // No in the confirmation keeps it; Yes removes it and shows the next one.
    w.click(w.at(4));
    w.type(QStringLiteral("doomed "));
    w.dialogs.confirms = {false, true};
    QTest::keyClick(&f, Qt::Key_F8);
    QCOMPARE(w.doc().tree().count(), 6);
    QTest::keyClick(&f, Qt::Key_F8);
    QCOMPARE(w.dialogs.confirmTexts.last(), QStringLiteral("Вы действительно хотите удалить раздел?"));
    QCOMPARE(w.doc().tree().count(), 5);
    QCOMPARE(w.name(4), std::string("c"));
    QCOMPARE(w.doc().selected(), w.at(4));
    // The row below, not the one Qt would pick after a removal (the row above).
    QCOMPARE(gui::SectionModel::sectionAt(Child<gui::SectionTreeView>(f, "tvNodes")->currentIndex()), w.at(4));
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("text c"));
    QVERIFY(!Child<gui::NoteEditor>(f, "reNodeContent")->modified());
    QVERIFY(w.dialogs.allUsed());
}

void WindowTest::deleteWhileSelectionChanges() {
    const QString file = tree();
    Window w({file});
    w.click(w.at(5));
    w.dialogs.confirms = {true};
    w.dialogs.duringConfirm = [&] { w.click(w.at(4)); };
    w.trigger(Action(w.frame(), "miDelete"));
    QCOMPARE(w.dialogs.messages, QStringList{QStringLiteral("Действуйте медленнее, когда удаляете данные!")});
    QCOMPARE(w.doc().tree().count(), 5);
    QCOMPARE(w.name(4), std::string("b"));
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(), QStringLiteral("text b"));
}

void WindowTest::rightClickOpensMenuWithoutSelecting() {
    const QString file = tree();
    Window w({file});
    auto* view = Child<gui::SectionTreeView>(w.frame(), "tvNodes");
    const QRect r = view->visualRect(w.frame().sectionModel()->indexOf(w.at(4)));
    const QPoint p(r.left() + 20, r.center().y());
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, p);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, p, view->viewport()->mapToGlobal(p));
    QApplication::sendEvent(view->viewport(), &menuEvent);
    QTRY_VERIFY(Child<QMenu>(w.frame(), "pmNodesMenu")->isVisible());
    Child<QMenu>(w.frame(), "pmNodesMenu")->hide();
    QCOMPARE(w.doc().selected(), w.at(0));
    QCOMPARE(gui::SectionModel::sectionAt(view->currentIndex()), w.at(0));
}

// Drops are classified by where they land; points come from the items' rectangles.
void WindowTest::dropClasses_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("expected");  // top-level names, children in brackets
    QTest::newRow("nominal: on label of b") << "label b"
                                            << "a[a1[a11]a2]b[c]";
    QTest::newRow("nominal: in indentation of a2") << "indent a2"
                                                   << "a[a1[a11]ca2]b";
    QTest::newRow("nominal: branch column of childless a2") << "branch a2"
                                                            << "a[a1[a11]ca2]b";
    QTest::newRow("nominal: below last item") << "below"
                                              << "a[a1[a11]a2]bc";
    QTest::newRow("robustness: expand button of a1") << "button a1"
                                                     << "a[a1[a11]a2]bc";
    QTest::newRow("robustness: right of label b") << "right b"
                                                  << "a[a1[a11]a2]bc";
    QTest::newRow("robustness: outside the tree") << "outside"
                                                  << "a[a1[a11]a2]bc";
    QTest::newRow("robustness: on own label") << "label c"
                                              << "a[a1[a11]a2]bc";
}

namespace {
std::string shape(const SectionTree& tree, const Section* parent = nullptr) {
    std::string out;
    for (int i = 0; i < tree.childCount(parent); ++i) {
        const Section* s = tree.childAt(parent, i);
        out += s->name();
        if (s->hasChildren()) out += "[" + shape(tree, s) + "]";
    }
    return out;
}
}  // namespace

void WindowTest::dropClasses() {
    QFETCH(QString, where);
    QFETCH(QString, expected);
    const QString file = tree();
    Window w({file});
    gui::TFrame& f = w.frame();
    auto* view = Child<gui::SectionTreeView>(f, "tvNodes");
    view->expandAll();
    w.click(w.at(5));  // c is dragged
    w.type(QStringLiteral("typed "));
    w.doc().setTreeModified(false);
    auto rectOf = [&](int index) { return view->visualRect(f.sectionModel()->indexOf(w.at(index))); };
    const QStringList parts = where.split(u' ');
    const int index = parts.size() > 1 ? QStringList{"a", "a1", "a11", "a2", "b", "c"}.indexOf(parts[1]) : -1;
    QPoint p;
    if (parts[0] == "label") p = QPoint(rectOf(index).left() + 5, rectOf(index).center().y());
    else if (parts[0] == "indent")
        p = QPoint(rectOf(index).left() - view->indentation() - 3, rectOf(index).center().y());
    else if (parts[0] == "button" || parts[0] == "branch")
        p = QPoint(rectOf(index).left() - view->indentation() / 2, rectOf(index).center().y());
    else if (parts[0] == "right") p = QPoint(rectOf(index).left() + 150, rectOf(index).center().y());
    else if (parts[0] == "below") p = QPoint(20, rectOf(5).bottom() + 20);
    else p = QPoint(-5, 10);

    QMimeData data;
    data.setData(QString::fromLatin1(gui::SectionModel::kMimeType), "1");
    QDragEnterEvent enter(QPoint(1, 1), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(p, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QDropEvent drop(QPointF(p), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);

    QCOMPARE(QString::fromStdString(shape(w.doc().tree())), expected);
    const bool counts = parts[0] == "label" || parts[0] == "indent" || parts[0] == "branch" || parts[0] == "below";
    QCOMPARE(w.doc().treeModified(), counts);
    QCOMPARE(w.doc().selected()->name(), std::string("c"));
    QVERIFY(Child<gui::NoteEditor>(f, "reNodeContent")->modified());
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("typed text c"));
    if (parts[0] == "label" && parts[1] == "b") QVERIFY(view->isExpanded(f.sectionModel()->indexOf(w.at(4))));
}

void WindowTest::renameInPlaceSanitises() {
    // The name editor is closed once, by itself, after its commit.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("closeEditor called with an editor")));
    const QString file = tree();
    Window w({file});
    w.click(w.at(4));
    w.trigger(Action(w.frame(), "miRename"));
    QLineEdit* edit = nullptr;
    QTRY_VERIFY((edit = Child<gui::SectionTreeView>(w.frame(), "tvNodes")->findChild<QLineEdit*>()) != nullptr);
    edit->setText(QStringLiteral("\tИмя\r\nс 😀"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(w.at(4)->name(), Cp1251(" Имя  с ?"));
    QVERIFY(w.doc().treeModified());
    QVERIFY(w.frame().statusBar()->currentMessage().contains(QStringLiteral("заменены")));
}

// Only a slow second click on the selected section, with the keyboard and mouse still on
// the tree when its time comes, opens the name editor; typing elsewhere never renames.
void WindowTest::slowSecondClickOnly_data() {
    QTest::addColumn<int>("clicked");    // section clicked (a is selected at start)
    QTest::addColumn<QString>("after");  // what follows the click
    QTest::addColumn<bool>("edits");
    QTest::newRow("nominal: slow click on the selected") << 0 << "" << true;
    QTest::newRow("nominal: a click that selects another") << 4 << "" << false;
    QTest::newRow("robustness: Tab away, then type") << 0 << "tab" << false;
    QTest::newRow("robustness: a double click") << 0 << "double" << false;
    QTest::newRow("robustness: a key in the tree") << 0 << "down" << false;
    QTest::newRow("robustness: F2 is not Rename") << 4 << "f2" << false;
    QTest::newRow("robustness: the mouse leaves the tree") << 0 << "leave" << false;
}

void WindowTest::slowSecondClickOnly() {
    QFETCH(int, clicked);
    QFETCH(QString, after);
    QFETCH(bool, edits);
    Window w({tree()});
    auto* view = Child<gui::SectionTreeView>(w.frame(), "tvNodes");
    view->setFocus();
    QCOMPARE(w.doc().selected(), w.at(0));
    w.click(w.at(clicked));
    Section* const target = w.doc().selected();
    if (after == "tab") {
        QTest::keyClick(view, Qt::Key_Tab);
        QVERIFY(!view->hasFocus());
    } else if (after == "double") {
        const QRect r = view->visualRect(w.frame().sectionModel()->indexOf(target));
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 20, r.center().y()));
    } else if (after == "down") {
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Up);
    } else if (after == "f2") {
        QTest::keyClick(view, Qt::Key_F2);
    } else if (after == "leave") {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view->viewport(), &leave);
    }
    QTest::qWait(QApplication::doubleClickInterval() * 2);
    QCOMPARE(view->findChild<QLineEdit*>() != nullptr, edits);
    // Whatever has the keyboard now takes some typing and Enter.
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClicks(focus, QStringLiteral("xyz"));
    QTest::keyClick(focus, Qt::Key_Return);
    QTRY_COMPARE(target->name(), std::string(edits ? "xyz" : (clicked == 0 ? "a" : "b")));
    for (int i = 0; i < w.doc().tree().count(); ++i)
        if (w.at(i) != target) QVERIFY(w.name(i) != "xyz");
}

// Typed and pasted characters outside Windows-1251 are replaced where the user sees
// them, and the status bar says so.
void WindowTest::unrepresentableInputReplaced() {
    const QString file = tree();
    Window w({file});
    auto* editor = Child<gui::NoteEditor>(w.frame(), "reNodeContent");
    w.click(w.at(4));
    editor->moveCursor(QTextCursor::End);
    w.type(QStringLiteral(" "));
    for (const QString& ch : {QStringLiteral("ё"), QStringLiteral("€"), QStringLiteral("漢")}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, ch);
        QApplication::sendEvent(editor, &press);
    }
    QCOMPARE(editor->toPlainText(), QStringLiteral("text b ё€?"));
    QVERIFY(w.frame().statusBar()->currentMessage().contains(QStringLiteral("Windows-1251")));
    w.frame().statusBar()->clearMessage();
    QApplication::clipboard()->setText(QStringLiteral("∑ok"));
    w.trigger(Action(w.frame(), "miPaste"));
    QCOMPARE(editor->toPlainText(), QStringLiteral("text b ё€??ok"));
    QVERIFY(w.frame().statusBar()->currentMessage().contains(QStringLiteral("заменены")));
    QCOMPARE(editor->text(), Cp1251("text b ё€??ok"));
}

void WindowTest::editorLineBreaksAndSelection() {
    gui::NoteEditor editor;
    editor.setText("one\r\ntwo\rthree\nfour\xA0\xE6");
    QCOMPARE(editor.document()->blockCount(), 4);
    QCOMPARE(editor.document()->lastBlock().text(), QStringLiteral("four\u00A0ж"));
    QCOMPARE(editor.text(), std::string("one\r\ntwo\r\nthree\r\nfour\xA0\xE6"));
    QVERIFY(!editor.modified());
    // Byte positions count CR LF as two.
    editor.select(5, 3);  // "two"
    QCOMPARE(editor.textCursor().selectedText(), QStringLiteral("two"));
    QCOMPARE(editor.selectionStart(), std::size_t(5));
    QCOMPARE(editor.selectionLength(), std::size_t(3));
    editor.select(3, 7);  // CR LF "two" CR LF
    QCOMPARE(editor.selectionLength(), std::size_t(7));
    editor.select(4, 0);  // between CR and LF: end of the line
    QCOMPARE(editor.textCursor().position(), 3);
    editor.select(0, 1000);
    QCOMPARE(editor.selectionLength(), editor.text().size());
}

// Shift+Enter ends the line as Enter does (no line separator inside a line, which the
// byte positions would not count): stored as CR LF, the caret after it.
void WindowTest::shiftEnterStoredAsCrLf() {
    const QString file = path("shift.lkp");
    WriteNotebook(file, {{0, "one", ""}}, 0);
    {
        Window w({file});
        w.type(QStringLiteral("up"));
        QTest::keyClick(Child<gui::NoteEditor>(w.frame(), "reNodeContent"), Qt::Key_Return, Qt::ShiftModifier);
        w.type(QStringLiteral("down"));
        const gui::NoteEditor& editor = *Child<gui::NoteEditor>(w.frame(), "reNodeContent");
        QVERIFY(!editor.document()->toRawText().contains(QChar::LineSeparator));
        QCOMPARE(editor.selectionStart(), std::size_t(8));
        QCOMPARE(editor.lineInBytes(1), (std::optional<std::pair<std::size_t, std::size_t>>{{4, 4}}));
        w.trigger(Action(w.frame(), "miSave"));
    }
    Window again({file});
    QCOMPARE(std::string(again.at(0)->text()), std::string("up\r\ndown"));
}

void WindowTest::untouchedSectionBytesSurvive() {
    // Lone CR and LF are what the editor cannot show as such: only an edit may change them.
    const QString file = path("bytes.lkp");
    WriteNotebook(file, {{0, "raw", "a\rb\nc"}, {0, "other", "x"}}, 0);
    {
        Window w({file});
        w.click(w.at(1));
        w.type(QStringLiteral("y"));
        w.trigger(Action(w.frame(), "miSave"));
    }
    Window again({file});
    QCOMPARE(again.doc().tree().count(), 2);
    QCOMPARE(std::string(again.at(0)->text()), std::string("a\rb\nc"));
    QCOMPARE(std::string(again.at(1)->text()), std::string("yx"));
}

void WindowTest::unhandledErrorsGetFullStop_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("nominal: letter") << "Диск полон"
                                     << "Диск полон.";
    QTest::newRow("nominal: digit") << "Code 5"
                                    << "Code 5.";
    QTest::newRow("robustness: full stop kept") << "Done."
                                                << "Done.";
    QTest::newRow("robustness: exclamation kept") << "Stop!"
                                                  << "Stop!";
    QTest::newRow("robustness: empty") << ""
                                       << "";
}

void WindowTest::unhandledErrorsGetFullStop() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(gui::WithFullStop(text), shown);
    Window w;
    QVERIFY(!w.frame().runCommand([&] { throw LarkError(text.toStdString()); }));
    QCOMPARE(w.dialogs.errors, QStringList{shown});
    QVERIFY(!w.frame().runCommand([] { throw SilentAbort(); }));
    QCOMPARE(w.dialogs.errors.size(), 1);  // the silent abort is never shown
}

void WindowTest::closeWithTrayOffAsks() {
    Window w;
    w.type(QStringLiteral("x"));
    w.dialogs.saveChanges = {Answer::Cancel};
    QVERIFY(!w.frame().close());
    QVERIFY(w.frame().isVisible());
    w.dialogs.saveChanges = {Answer::No};
    QVERIFY(w.frame().close());
    QVERIFY(w.dialogs.allUsed());
}

// The caption names the notebook, with a "*" while it has unsaved changes.
void WindowTest::captionNamesNotebook() {
    Window w({tree()});
    gui::TFrame& f = w.frame();
    const QString tail = QStringLiteral(" — Larkpad - иерархический блокнот");
    struct Step {
        const char* name;
        std::function<void()> run;
        QString caption;
    };
    const Step steps[] = {
        {"nominal: opened", {}, "tree.lkp" + tail},
        {"nominal: typed text", [&] { w.type(QStringLiteral("x")); }, "*tree.lkp" + tail},
        {"nominal: saved", [&] { w.trigger(Action(f, "miSave")); }, "tree.lkp" + tail},
        {"nominal: a tree change", [&] { w.trigger(Action(f, "miMoveDown")); }, "*tree.lkp" + tail},
        {"nominal: saved under another name",
         [&] {
             w.dialogs.saves = {path("other.lkp")};
             w.trigger(Action(f, "miSaveAs"));
         },
         "other.lkp" + tail},
        {"robustness: a save that fails keeps the star",
         [&] {
             w.type(QStringLiteral("y"));
             w.dialogs.saves = {path("missing/folder/x.lkp")};
             w.trigger(Action(f, "miSaveAs"));
         },
         "*other.lkp" + tail},
    };
    for (const Step& step : steps) {
        if (step.run) step.run();
        QVERIFY2(f.windowTitle() == step.caption, qPrintable(QString::fromUtf8(step.name) + ": " + f.windowTitle()));
    }
}

// The notice about replaced characters stays while hints come and go, and ends with the
// next edit.
void WindowTest::replacedNoticeOutlivesHints() {
    const QString file = tree();
    Window w({file});
    auto* editor = Child<gui::NoteEditor>(w.frame(), "reNodeContent");
    w.click(w.at(4));
    editor->moveCursor(QTextCursor::End);
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("漢"));
    QApplication::sendEvent(editor, &press);
    const QString notice = w.frame().statusBar()->currentMessage();
    QVERIFY(notice.contains(QStringLiteral("заменены")));
    auto hint = [&](const QString& text) {
        QStatusTipEvent tip(text);
        QApplication::sendEvent(&w.frame(), &tip);
        return w.frame().statusBar()->currentMessage();
    };
    struct Step {
        const char* name;
        std::function<void()> before;
        QString hint, shown;
    };
    const QString toolHint = QStringLiteral("Открыть существующий файл");
    const Step steps[] = {
        {"nominal: a tool button's hint shows over the notice", {}, toolHint, toolHint},
        {"nominal: the mouse leaves it, the notice comes back", {}, QString(), notice},
        {"nominal: another hint, and back again", {}, toolHint, toolHint},
        {"nominal: back again", {}, QString(), notice},
        {"nominal: the next edit ends the notice", [&] { w.type(QStringLiteral("a")); }, QString(), QString()},
        {"robustness: hints after it show and clear as before", {}, toolHint, toolHint},
        {"robustness: cleared", {}, QString(), QString()},
    };
    for (const Step& step : steps) {
        if (step.before) step.before();
        QVERIFY2(hint(step.hint) == step.shown, step.name);
    }
    // Other status texts end it as well.
    QKeyEvent again(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("漢"));
    QApplication::sendEvent(editor, &again);
    QCOMPARE(w.frame().statusBar()->currentMessage(), notice);
    w.trigger(Action(w.frame(), "miSave"));  // says where it saved
    QVERIFY(w.dialogs.allUsed());
    QVERIFY(hint(QString()) != notice);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
