// The editor's view and edit commands in the real window: word wrap, the font commands,
// plain-text copy and paste from menus, pop-up menu and keys, the capacity, hints, the
// information panel's place, and printing a section to PDF.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QtTest>
#include <cmath>

#include "editor/editor_capacity.h"
#include "editor/note_editor.h"
#include "main/section_tree_view.h"
#include "main/window_ui.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/pdf_pages.h"
#include "support/window_fixture.h"

using namespace lark;
using guitest::Window;
using lark::guitest::Action;
using lark::guitest::Child;

namespace {

QString pdfText(const QString& pdf) {
    QProcess p;
    p.start("pdftotext", {"-enc", "UTF-8", pdf, "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return QStringLiteral("<pdftotext failed>");
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pdfTitle(const QString& pdf) {
    QProcess p;
    p.start("pdfinfo", {pdf});
    p.waitForFinished(60000);
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
        if (line.startsWith("Title:")) return line.mid(6).trimmed();
    return QString();
}

QStringList words(const QString& text) { return text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts); }

void setClipboardPicture() {
    auto* picture = new QMimeData;
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    picture->setImageData(image);
    QApplication::clipboard()->setMimeData(picture);
}

}  // namespace

class ViewCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void wordWrapKeepsTextAndModifiedFlag_data();
    void wordWrapKeepsTextAndModifiedFlag();
    void fontCommandsGoBelowZeroWithoutMarkingChanges();
    void copyAndPasteCarryPlainTextOnly();
    void editKeysRunTheMenuCommands();
    void capacityRefusesTypingAndPasting();
    void hintsGoToTheStatusBar();
    void infoPanelCentredAlsoInANarrowWindow();
    void printsTheSectionToPdf();
    void optionsMenu();
};

void ViewCommandsTest::initTestCase() {
    guitest::IsolateUserDirectories();
    // A settings file of its own: other window tests do not see what these leave.
    QApplication::setApplicationName(QStringLiteral("larkpad-view-test"));
    QFile::remove(gui::TFrame::SettingsFilePath());
}

void ViewCommandsTest::wordWrapKeepsTextAndModifiedFlag_data() {
    QTest::addColumn<bool>("modified");
    QTest::newRow("nominal: unchanged notebook stays unchanged") << false;
    QTest::newRow("nominal: changed notebook stays changed") << true;
}

void ViewCommandsTest::wordWrapKeepsTextAndModifiedFlag() {
    QFETCH(bool, modified);
    Window w;
    gui::TFrame& f = w.frame();
    const QString text = QString(300, u'ж') + QStringLiteral(" длинная строка\nвторая\n\tтретья");
    Child<gui::NoteEditor>(f, "reNodeContent")->setPlainText(text);
    Child<gui::NoteEditor>(f, "reNodeContent")->setModified(modified);
    QTextCursor c = Child<gui::NoteEditor>(f, "reNodeContent")->textCursor();
    c.setPosition(5);
    Child<gui::NoteEditor>(f, "reNodeContent")->setTextCursor(c);

    w.trigger(Action(f, "miWordWrap"));
    QVERIFY(Action(f, "miWordWrap")->isChecked());
    QVERIFY(Action(f, "tbWordWrap")->isChecked());
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), text);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->modified(), modified);
    QCOMPARE(f.document().isModified(), modified);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->textCursor().position(), 5);

    // The tool button toggles back.
    Action(f, "tbWordWrap")->trigger();
    QVERIFY(!Action(f, "miWordWrap")->isChecked());
    QVERIFY(!Action(f, "tbWordWrap")->isChecked());
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), text);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->modified(), modified);
    // The undo history survives the switch.
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->document()->isUndoAvailable(), false);
    w.type("x");
    w.trigger(Action(f, "miWordWrap"));
    w.trigger(Action(f, "miUndo"));
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), text);
}

void ViewCommandsTest::fontCommandsGoBelowZeroWithoutMarkingChanges() {
    Window w;
    gui::TFrame& f = w.frame();
    Child<gui::NoteEditor>(f, "reNodeContent")->setPlainText("text");
    Child<gui::NoteEditor>(f, "reNodeContent")->setModified(false);
    const int editorStart = Child<gui::NoteEditor>(f, "reNodeContent")->font().pointSize();
    const int treeStart = Child<gui::SectionTreeView>(f, "tvNodes")->font().pointSize();
    QVERIFY(editorStart > 0 && treeStart > 0);

    for (int i = 0; i < 10; ++i) w.trigger(Action(f, "miSmallerFont"));
    QCOMPARE(gui::TFrameTestAccess::editorFontPoints(f), editorStart - 10);
    QCOMPARE(gui::TFrameTestAccess::treeFontPoints(f), treeStart - 10);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->font().pointSize(), std::max(1, editorStart - 10));
    QCOMPARE(Child<gui::SectionTreeView>(f, "tvNodes")->font().pointSize(), std::max(1, treeStart - 10));
    QVERIFY(!Child<gui::NoteEditor>(f, "reNodeContent")->modified());
    QVERIFY(!f.document().isModified());

    // Going on below zero has no stop, and coming back counts every step.
    for (int i = 0; i < editorStart; ++i) w.trigger(Action(f, "miSmallerFont"));
    QCOMPARE(gui::TFrameTestAccess::editorFontPoints(f), -10);
    for (int i = 0; i < editorStart + 12; ++i) w.trigger(Action(f, "miBiggerFont"));
    QCOMPARE(gui::TFrameTestAccess::editorFontPoints(f), editorStart + 2);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->font().pointSize(), editorStart + 2);
    QCOMPARE(Child<gui::SectionTreeView>(f, "tvNodes")->font().pointSize(), treeStart + 2);

    Child<gui::NoteEditor>(f, "reNodeContent")->setModified(true);
    w.trigger(Action(f, "miBiggerFont"));
    QVERIFY(Child<gui::NoteEditor>(f, "reNodeContent")->modified());
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("text"));
}

void ViewCommandsTest::copyAndPasteCarryPlainTextOnly() {
    Window w;
    gui::TFrame& f = w.frame();
    QClipboard* clipboard = QApplication::clipboard();
    Child<gui::NoteEditor>(f, "reNodeContent")->setPlainText(QStringLiteral("Заметка\nстрока два"));
    Child<gui::NoteEditor>(f, "reNodeContent")->selectAll();
    w.trigger(Action(f, "miCopy"));
    QCOMPARE(clipboard->mimeData()->formats(), QStringList{"text/plain"});
    QCOMPARE(clipboard->text(), QStringLiteral("Заметка\nстрока два"));

    // The pop-up menu's item runs the same command: paste at the end.
    Child<gui::NoteEditor>(f, "reNodeContent")->moveCursor(QTextCursor::End);
    auto* rich = new QMimeData;
    rich->setHtml(QStringLiteral("<i>курсив</i>"));
    rich->setText(QStringLiteral(" курсив"));
    clipboard->setMimeData(rich);
    Action(f, "pmTextPaste")->trigger();
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("Заметка\nстрока два курсив"));
    QCOMPARE(clipboard->mimeData()->formats(), QStringList{"text/plain"});

    // A picture alone: nothing goes in, and an empty text takes the picture's place.
    setClipboardPicture();
    Child<gui::NoteEditor>(f, "reNodeContent")->setModified(false);
    w.trigger(Action(f, "miPaste"));
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("Заметка\nстрока два курсив"));
    QVERIFY(!Child<gui::NoteEditor>(f, "reNodeContent")->modified());
    QVERIFY(!clipboard->mimeData()->hasImage());
    QCOMPARE(clipboard->text(), QString());

    // Cut leaves plain text too; select all and undo from the pop-up menu.
    Action(f, "pmTextSelectAll")->trigger();
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->textCursor().selectedText().size(),
             Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText().size());
    Action(f, "pmTextCut")->trigger();
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QString());
    QCOMPARE(clipboard->mimeData()->formats(), QStringList{"text/plain"});
    QCOMPARE(clipboard->text(), QStringLiteral("Заметка\nстрока два курсив"));
    Action(f, "pmTextUndo")->trigger();
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("Заметка\nстрока два курсив"));

    // The pop-up menu holds its items in order, separators included.
    QStringList items;
    for (QAction* a : Child<QMenu>(f, "pmTextMenu")->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    QCOMPARE(items, (QStringList{"pmTextUndo", "-", "pmTextCut", "pmTextCopy", "pmTextPaste", "-", "pmTextSelectAll"}));
}

void ViewCommandsTest::editKeysRunTheMenuCommands() {
    Window w;
    gui::TFrame& f = w.frame();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    Child<gui::NoteEditor>(f, "reNodeContent")->setFocus();
    Child<gui::NoteEditor>(f, "reNodeContent")->setPlainText(QStringLiteral("один два"));
    QClipboard* clipboard = QApplication::clipboard();

    Child<gui::NoteEditor>(f, "reNodeContent")->selectAll();
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_Insert, Qt::ControlModifier);
    QCOMPARE(clipboard->mimeData()->formats(), QStringList{"text/plain"});
    QCOMPARE(clipboard->text(), QStringLiteral("один два"));

    clipboard->clear();
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->mimeData()->formats(), QStringList{"text/plain"});

    setClipboardPicture();
    Child<gui::NoteEditor>(f, "reNodeContent")->moveCursor(QTextCursor::End);
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(clipboard->text(), QString());
    QVERIFY(!clipboard->mimeData()->hasImage());
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("один два"));

    Child<gui::NoteEditor>(f, "reNodeContent")->selectAll();
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QString());
    QCOMPARE(clipboard->text(), QStringLiteral("один два"));
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText(), QStringLiteral("один дваодин два"));

    // Ctrl+W switches word wrap from the editor too.
    QTest::keyClick(Child<gui::NoteEditor>(f, "reNodeContent"), Qt::Key_W, Qt::ControlModifier);
    QVERIFY(Action(f, "miWordWrap")->isChecked());
}

void ViewCommandsTest::capacityRefusesTypingAndPasting() {
    Window w;
    gui::TFrame& f = w.frame();
    gui::NoteEditor* editor = Child<gui::NoteEditor>(f, "reNodeContent");
    QString text(gui::kEditorCapacity - 1, u'я');
    for (qsizetype i = 99; i < text.size(); i += 100) text[i] = u'\n';
    editor->setPlainText(text);
    text.clear();
    editor->moveCursor(QTextCursor::End);
    editor->setFocus();
    QCOMPARE(gui::EditorLength(*editor), gui::kEditorCapacity - 1);

    QApplication::clipboard()->setText(QStringLiteral("ab"));
    w.trigger(Action(f, "miPaste"));  // two characters where one is left
    QCOMPARE(gui::EditorLength(*editor), gui::kEditorCapacity - 1);
    w.type(QStringLiteral("xyz"));  // the first fits, the rest is refused
    QCOMPARE(gui::EditorLength(*editor), gui::kEditorCapacity);
    QVERIFY(editor->toPlainText().endsWith(QStringLiteral("яx")));

    // A drop is checked like a paste.
    QMimeData drop;
    drop.setText(QStringLiteral("d"));
    QDropEvent event(editor->cursorRect().center(), Qt::CopyAction, &drop, Qt::LeftButton, {});
    QApplication::sendEvent(editor->viewport(), &event);
    QCOMPARE(gui::EditorLength(*editor), gui::kEditorCapacity);

    // Over a selection of two, the paste of two fits.
    QTextCursor c = editor->textCursor();
    c.movePosition(QTextCursor::End);
    c.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, 2);
    editor->setTextCursor(c);
    w.trigger(Action(f, "miPaste"));
    QVERIFY(editor->toPlainText().endsWith(QStringLiteral("ab")));
    QCOMPARE(gui::EditorLength(*editor), gui::kEditorCapacity);
}

void ViewCommandsTest::hintsGoToTheStatusBar() {
    Window w;
    gui::TFrame& f = w.frame();
    auto tip = [](QObject* receiver, const QString& text) {
        QStatusTipEvent event(text);
        QApplication::sendEvent(receiver, &event);
    };
    // A menu item's hint, as a menu shows it over the window.
    Action(f, "miCopy")->showStatusText(&f);
    QCOMPARE(Child<QStatusBar>(f, "sbStatus")->currentMessage(), QStringLiteral("Копировать текст"));
    // A control's hint reaches the window through its parents.
    tip(Child<gui::SectionTreeView>(f, "tvNodes")->viewport(), Action(f, "miWordWrap")->statusTip());
    QCOMPARE(Child<QStatusBar>(f, "sbStatus")->currentMessage(),
             QStringLiteral("Изменить вид переноса текста раздела"));
    // Only the long part of a two-part hint.
    tip(&f, QStringLiteral("Коротко|Длинная подсказка"));
    QCOMPARE(Child<QStatusBar>(f, "sbStatus")->currentMessage(), QStringLiteral("Длинная подсказка"));
    // An empty hint empties the bar, also over an operation's own text.
    f.ui().setStatusText(QStringLiteral("Открыто /tmp/x.lkp"));
    tip(Child<gui::SectionTreeView>(f, "tvNodes"), QString());
    QCOMPARE(Child<QStatusBar>(f, "sbStatus")->currentMessage(), QString());
    QCOMPARE(Action(f, "miPrintNode")->statusTip(), QStringLiteral("Печать текущего раздела на принтере"));
    QCOMPARE(Action(f, "tbPrintNode")->statusTip(), Action(f, "miPrintNode")->statusTip());
}

void ViewCommandsTest::infoPanelCentredAlsoInANarrowWindow() {
    Window w;
    gui::TFrame& f = w.frame();
    QCOMPARE(Child<QLabel>(f, "pnInfo")->size(), QSize(345, 41));
    QVERIFY(Child<QLabel>(f, "pnInfo")->font().bold());
    QVERIFY(Child<QLabel>(f, "pnInfo")->isHidden());
    const int menu = f.menuWidget()->height();
    auto expectedLeft = [&] { return (f.width() - 345) / 2; };
    auto expectedTop = [&] { return menu + (f.height() - menu - 41) / 2; };

    f.resize(700, 500);
    QTRY_COMPARE(f.width(), 700);
    QCOMPARE(Child<QLabel>(f, "pnInfo")->pos(), QPoint(expectedLeft(), expectedTop()));
    QCOMPARE(Child<QLabel>(f, "pnInfo")->x(), 177);

    // Narrower than the panel: the left edge goes negative, rounded toward zero.
    f.resize(300, 200);
    QTRY_COMPARE(f.width(), 300);
    QCOMPARE(Child<QLabel>(f, "pnInfo")->x(), -22);  // (300 - 345) / 2 truncates to -22
    QCOMPARE(Child<QLabel>(f, "pnInfo")->pos(), QPoint(expectedLeft(), expectedTop()));
    QCOMPARE(Child<QLabel>(f, "pnInfo")->size(), QSize(345, 41));
}

void ViewCommandsTest::printsTheSectionToPdf() {
    QTemporaryDir dir, notebooks;
    const QString notebook = notebooks.filePath("Заметки.lkp");
    guitest::WriteNotebook(notebook, {{0, guitest::Cp1251("Дом"), ""}, {1, guitest::Cp1251("Дача/огород"), "x"}}, 1);
    Window w({notebook});
    gui::TFrame& f = w.frame();
    QCOMPARE(w.doc().selected(), w.at(1));
    Child<gui::NoteEditor>(f, "reNodeContent")->setPlainText(QStringLiteral("Список покупок\n\tхлеб\n\tмолоко"));
    w.type(QStringLiteral(" and cheese"));  // unsaved edits are printed too
    const QString shown = Child<gui::NoteEditor>(f, "reNodeContent")->toPlainText();
    // The section's name heads the text, the page's number follows it.
    const QStringList printed = QStringList{"Дача/огород"} + words(shown) + QStringList{"1"};

    // A new notebook: the job has no title, the PDF is proposed in the home folder.
    f.document().FFileName.clear();
    const QString first = dir.filePath("first.pdf");
    w.dialogs.prints.push_back(first);
    w.trigger(Action(f, "miPrintNode"));
    QVERIFY(QFileInfo::exists(first));
    QCOMPARE(words(pdfText(first)), printed);
    QCOMPARE(pdfTitle(first), QString());
    // The default margins: the text starts 20 mm from the page's left and top edges.
    const std::vector<guitest::PdfPage> pages = guitest::ReadPdfPages(first);
    QCOMPARE(pages.size(), std::size_t(1));
    const double margin = 20 * guitest::kPointsPerMm;
    QVERIFY2(std::abs(pages[0].words.at(0).box.left() - margin) < 1.5,
             qPrintable(QString::number(pages[0].words.at(0).box.left())));
    QVERIFY2(std::abs(pages[0].words.at(0).box.top() - margin) < 3,
             qPrintable(QString::number(pages[0].words.at(0).box.top())));

    // A saved notebook: the job is titled with its file name, the PDF proposed next to it;
    // the tool button prints too.
    f.document().FFileName = "/home/me/Заметки.lkp";
    const QString second = dir.filePath("second.pdf");
    w.dialogs.prints.push_back(second);
    Action(f, "tbPrintNode")->trigger();
    QCOMPARE(words(pdfText(second)), printed);
    QCOMPARE(pdfTitle(second), QStringLiteral("/home/me/Заметки.lkp"));
    QCOMPARE(w.dialogs.printFiles,
             (QStringList{QDir::home().filePath("Дача_огород.pdf"), QStringLiteral("/home/me/Дача_огород.pdf")}));

    // Cancel in the dialog prints nothing.
    w.dialogs.prints.emplace_back();
    w.trigger(Action(f, "miPrintNode"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    QVERIFY(w.dialogs.errors.isEmpty());
    // A printer that cannot start: the command ends with a message, nothing is written.
    w.dialogs.prints.push_back(dir.filePath("no/such/folder/third.pdf"));
    w.trigger(Action(f, "miPrintNode"));
    QCOMPARE(w.dialogs.errors.size(), 1);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    QVERIFY(w.dialogs.allUsed());
}

void ViewCommandsTest::optionsMenu() {
    Window w;
    gui::TFrame& f = w.frame();
    QStringList items;
    for (QAction* a : Child<QMenu>(f, "mnOptions")->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(items,
             (QStringList{"Сохранять при минимизации", "Отображать панель инструментов", "Сворачиваться в трей\tWin+Z",
                          "-", "Сжатие информации", "-", "Проверка орфографии", "Словари..."}));
    QVERIFY(Child<QToolBar>(f, "tbToolBar")->isVisible());
    w.trigger(Action(f, "miShowToolBar"));
    QVERIFY(!Action(f, "miShowToolBar")->isChecked());
    QVERIFY(!Child<QToolBar>(f, "tbToolBar")->isVisible());
    w.trigger(Action(f, "miShowToolBar"));
    QVERIFY(Child<QToolBar>(f, "tbToolBar")->isVisible());

    QVERIFY(!f.document().UseZip);
    w.trigger(Action(f, "miUseZip"));
    QVERIFY(Action(f, "miUseZip")->isChecked());
    QVERIFY(f.document().UseZip);
    w.trigger(Action(f, "miUseZip"));
    QVERIFY(!f.document().UseZip);

    w.trigger(Action(f, "miSaveOnMin"));
    QVERIFY(Action(f, "miSaveOnMin")->isChecked());
    QVERIFY(!f.document().isModified());  // options are not changes to the notebook
}

QTEST_MAIN(ViewCommandsTest)
#include "view_commands_test.moc"
