// Search and navigation in the real window: the search prompts, find and search again,
// the global search's name-then-text steps, the editor's own find, section links clicked
// in the editor, and the nearest-dates report.
#include <QDate>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <optional>

#include "document/fold_find.h"
#include "editor/editor_links.h"
#include "editor/note_editor.h"
#include "editor/text_codec.h"
#include "main/report_box.h"
#include "main/search_prompt.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"
#include "search/nearest_dates.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/scripted_dialogs.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;

namespace {

// Scripted dialogs that also answer the input box and keep the reports.
class SearchDialogs : public ScriptedDialogs {
public:
    struct Question {
        QString caption, prompt, value;
    };
    std::deque<std::optional<QString>> answers;  // nothing: Cancel
    QList<Question> questions;
    QStringList reports;

    bool inputBox(QWidget*, const QString& caption, const QString& prompt, QString& value) override {
        questions.append({caption, prompt, value});
        if (answers.empty()) {
            unexpected << QStringLiteral("input: ") + caption;
            return false;
        }
        const std::optional<QString> a = answers.front();
        answers.pop_front();
        if (!a) return false;
        value = *a;
        return true;
    }
    void report(QWidget*, const QString& text) override { reports << text; }
};

// Receives what the desktop would be asked to open.
class UrlSink : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

const QString kFind = QStringLiteral("Поиск в текущем разделе");
const QString kGlobal = QStringLiteral("Глобальный поиск");
const QString kPrompt = QStringLiteral("Введите подстроку:");

struct Frame {
    SearchDialogs dialogs;
    std::unique_ptr<gui::TFrame> frame;
    explicit Frame(const QString& path) {
        frame = std::make_unique<gui::TFrame>(dialogs, QStringList{path});
        QVERIFY(WaitUntilReady(*frame));
        frame->activateWindow();
        (void)QTest::qWaitForWindowActive(frame.get());
    }
    ~Frame() {
        frame->document().setTreeModified(false);
        Child<gui::NoteEditor>(*frame, "reNodeContent")->setModified(false);
    }
    Document& doc() { return frame->document(); }
    gui::NoteEditor& editor() { return *Child<gui::NoteEditor>(*frame, "reNodeContent"); }
    // A search command as its menu item runs it; nothing may have gone wrong in it.
    void command(const char* action) {
        Action(*frame, action)->trigger();
        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'\n')));
    }
    int selectedIndex() { return doc().tree().indexOf(doc().selected()); }
    QString selectedText() { return editor().textCursor().selectedText(); }
    std::size_t selStart() { return editor().selectionStart(); }
    void key(int k, Qt::KeyboardModifiers mods) {
        editor().setFocus();
        QTest::keyClick(&editor(), Qt::Key(k), mods);
    }
    // Presses the left button on the character at document position `pos`.
    void pressAt(int pos, Qt::MouseButton button = Qt::LeftButton) {
        QTextCursor c(editor().document());
        c.setPosition(pos);
        editor().setTextCursor(c);
        editor().ensureCursorVisible();
        const QRect r = editor().cursorRect(c);
        QTest::mousePress(editor().viewport(), button, {}, QPoint(r.left() + 2, r.center().y()));
        QTest::mouseRelease(editor().viewport(), button, {}, QPoint(r.left() + 2, r.center().y()));
    }
    int posOf(const QString& s) { return static_cast<int>(editor().toPlainText().indexOf(s)); }
};

// The links drawn in block `b` once the editor has painted: (start in the block, length).
QList<std::pair<int, int>> linkRuns(gui::NoteEditor& e, const QTextBlock& b) {
    e.viewport()->repaint();
    QList<std::pair<int, int>> out;
    for (const QTextEdit::ExtraSelection& link : e.extraSelections())
        if (link.format.fontUnderline() && e.document()->findBlock(link.cursor.selectionStart()) == b)
            out.append({link.cursor.selectionStart() - b.position(),
                        link.cursor.selectionEnd() - link.cursor.selectionStart()});
    return out;
}

}  // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString notebook(const char* name, const std::vector<SectionRow>& sections, int active = 0) {
        QString p = dir_.filePath(QLatin1String(name));
        WriteNotebook(p, sections, active);
        return p;
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }

    void promptsAndShortcuts_data();
    void promptsAndShortcuts();
    void cancelAndRefusalKeepState();
    void realInputBoxIsPrefilledAndSelected();
    void findStepsThroughSection();
    void findStartsAtTextStartWithoutSelection();
    void globalSearchNameThenText();
    void globalSearchFromToolButtonsAndNothingFound();
    void editorFindMatchesByteSearch_data();
    void editorFindMatchesByteSearch();
    void editorFindFollowsEdits();
    void selectionsShownWithoutFocus();
    void linksUnderlined();
    void linksFollowEditsAndScrolling();
    void drawnLinksLeaveTheDocumentAlone();
    void sectionLinkSelectsLastOfEqualNames();
    void linkTypedJustNowWorks();
    void missingSectionReported();
    void otherLinksGoToDesktop();
    void pressBesideLinkPlacesCaret();
    void datesReport();
    void reportBoxScrollsAndCloses();
    void reportBoxShowsNoTextCursor();
};

// Ctrl+F, Ctrl+Shift+F and Ctrl+L typed in the editor open the right prompt, pre-filled
// with the last search string.
void SearchWindowTest::promptsAndShortcuts_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("mods");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("caption");
    QTest::newRow("nominal: Ctrl+F finds in the section")
        << int(Qt::Key_F) << int(Qt::ControlModifier) << "old" << kFind;
    QTest::newRow("nominal: Ctrl+Shift+F searches everywhere")
        << int(Qt::Key_F) << int(Qt::ControlModifier | Qt::ShiftModifier) << "Слово" << kGlobal;
    QTest::newRow("nominal: Ctrl+L with no string yet asks as find")
        << int(Qt::Key_L) << int(Qt::ControlModifier) << "" << kFind;
}

void SearchWindowTest::promptsAndShortcuts() {
    QFETCH(int, key);
    QFETCH(int, mods);
    QFETCH(QString, before);
    QFETCH(QString, caption);
    Frame w(notebook("p.lkp", {{0, "A", "text"}}));
    w.frame->searchState().FSearchText = gui::QStringToBytes(before);
    w.dialogs.answers.emplace_back(std::nullopt);
    w.key(key, Qt::KeyboardModifiers(mods));
    QCOMPARE(w.dialogs.questions.size(), 1);
    QCOMPARE(w.dialogs.questions[0].caption, caption);
    QCOMPARE(w.dialogs.questions[0].prompt, kPrompt);
    QCOMPARE(w.dialogs.questions[0].value, before);
    QVERIFY(w.dialogs.unexpected.isEmpty());
}

void SearchWindowTest::cancelAndRefusalKeepState() {
    Frame w(notebook("c.lkp", {{0, "A", "abc abc"}, {0, "B", "abc"}}));
    auto& f = *w.frame;
    SearchState& state = f.searchState();
    state.FSearchText = "abc";
    state.FGlobalSearch = true;
    state.FSearchNode = 1;
    state.FNameMatchNode = 0;
    auto same = [&] {
        return state.FSearchText == "abc" && state.FGlobalSearch && state.FSearchNode == 1 && state.FNameMatchNode == 0;
    };
    w.dialogs.answers = {std::nullopt, std::nullopt};
    w.command("miFind");
    QVERIFY(same());
    w.command("miEntireSearch");
    QVERIFY(same());
    QCOMPARE(w.selectedIndex(), 0);
    QCOMPARE(w.selStart(), 0u);
    QVERIFY(w.selectedText().isEmpty());
    // A string the notebook's code page cannot hold is refused and the user told why.
    w.dialogs.answers = {QStringLiteral("abc\u4e2d")};
    w.command("miEntireSearch");
    QVERIFY(same());
    QCOMPARE(f.statusBar()->currentMessage(), gui::SearchTextRefusedNotice());
    QVERIFY(w.selectedText().isEmpty());
    // Over-long answers are cut to the edit line's 255 characters.
    w.dialogs.answers = {QString(300, u'я')};
    w.command("miFind");
    QCOMPARE(gui::BytesToQString(state.FSearchText), QString(255, u'я'));
    QVERIFY(!state.FGlobalSearch);
}

// The toolkit's input box: caption, prompt, pre-filled, all selected, 255 characters.
void SearchWindowTest::realInputBoxIsPrefilledAndSelected() {
    gui::Dialogs dialogs;
    QString caption, label, text, selected;
    int maxLength = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!box) return;
        caption = box->windowTitle();
        label = box->labelText();
        if (auto* edit = box->findChild<QLineEdit*>()) {
            text = edit->text();
            selected = edit->selectedText();
            maxLength = edit->maxLength();
        }
        box->reject();
    });
    QString value = QStringLiteral("прежняя строка");
    QVERIFY(!dialogs.inputBox(nullptr, kGlobal, kPrompt, value));
    QCOMPARE(caption, kGlobal);
    QCOMPARE(label, kPrompt);
    QCOMPARE(text, QStringLiteral("прежняя строка"));
    QCOMPARE(selected, text);
    QCOMPARE(maxLength, 255);
    QCOMPARE(value, QStringLiteral("прежняя строка"));
}

// Successive hits do not overlap, positions count CR LF, and there is no wrap-around.
void SearchWindowTest::findStepsThroughSection() {
    Frame w(notebook("f.lkp", {{0, "A", Cp1251("Поиск\r\naaa\r\nАаА конец\r\naa")}}));
    w.dialogs.answers = {QStringLiteral("аа")};  // Cyrillic
    w.command("miFind");
    QCOMPARE(w.selectedText(), QStringLiteral("Аа"));
    QCOMPARE(w.selStart(), 12u);
    QVERIFY(!w.frame->searchState().FGlobalSearch);
    w.command("miSearchAgain");
    QCOMPARE(w.selectedText(), QStringLiteral("Аа"));  // the only Cyrillic pair
    QCOMPARE(w.selStart(), 12u);

    w.dialogs.answers = {QStringLiteral("AA")};  // Latin capitals against small letters
    w.editor().moveCursor(QTextCursor::Start);
    w.command("miFind");
    QCOMPARE(w.selStart(), 7u);
    QCOMPARE(w.editor().selectionLength(), 2u);
    w.key(Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(w.selStart(), 23u);  // "aaa" holds one non-overlapping hit; then the last line
    w.key(Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(w.selStart(), 23u);
    QCOMPARE(w.selectedText(), QStringLiteral("aa"));
    QVERIFY(w.dialogs.unexpected.isEmpty());
}

void SearchWindowTest::findStartsAtTextStartWithoutSelection() {
    Frame w(notebook("s.lkp", {{0, "A", "xx one xx two"}}));
    QTextCursor c = w.editor().textCursor();
    c.setPosition(10);
    w.editor().setTextCursor(c);
    w.dialogs.answers = {QStringLiteral("XX")};
    w.command("miFind");
    QCOMPARE(w.selStart(), 0u);
    QCOMPARE(w.selectedText(), QStringLiteral("xx"));
}

// Name first, then each text hit, then the next section; typed capitals find small letters.
void SearchWindowTest::globalSearchNameThenText() {
    Frame w(notebook("g.lkp", {{0, "Intro", "no match here"},
                               {0, "Parent", "nothing"},
                               {1, Cp1251("Ключ раздел"), Cp1251("ключ один\r\nи КЛЮЧ два")},
                               {0, "Last", Cp1251("последний ключ")}}));
    w.dialogs.answers = {QStringLiteral("КЛЮЧ")};
    w.key(Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w.selectedIndex(), 2);
    QVERIFY(w.selectedText().isEmpty());
    QCOMPARE(w.frame->searchState().FNameMatchNode, 2);
    QVERIFY(w.frame->searchState().FGlobalSearch);
    if (QApplication::focusWidget())
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Child<gui::SectionTreeView>(*w.frame, "tvNodes")));
    // The nested section is visible in the tree.
    QVERIFY(Child<gui::SectionTreeView>(*w.frame, "tvNodes")
                ->isExpanded(Child<gui::SectionTreeView>(*w.frame, "tvNodes")->currentIndex().parent()));

    w.key(Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(w.selectedIndex(), 2);
    QCOMPARE(w.selStart(), 0u);
    QCOMPARE(w.selectedText(), QStringLiteral("ключ"));
    w.key(Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(w.selStart(), 13u);
    QCOMPARE(w.selectedText(), QStringLiteral("КЛЮЧ"));
    w.key(Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(w.selectedIndex(), 3);
    QCOMPARE(w.selStart(), 10u);
    // After the last hit: nothing more, no wrap, no message.
    w.key(Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(w.selectedIndex(), 3);
    QCOMPARE(w.selStart(), 10u);
    QCOMPARE(w.frame->searchState().FSearchNode, 3);
    QVERIFY(w.dialogs.messages.isEmpty());
    QVERIFY(w.dialogs.errors.isEmpty());
}

void SearchWindowTest::globalSearchFromToolButtonsAndNothingFound() {
    Frame w(notebook("t.lkp", {{0, "A", "alpha"}, {0, "B", "beta"}}));
    // Nothing more found: no box, a word in the status bar until the next hit.
    auto nothingMore = [&] { return w.frame->statusBar()->currentMessage() == QStringLiteral("Больше не найдено"); };
    w.dialogs.answers = {QStringLiteral("BET")};
    Action(*w.frame, "tbEntireSearch")->trigger();
    QCOMPARE(w.selectedIndex(), 1);  // the name "B" does not hold "bet"; the text does
    QCOMPARE(w.selectedText(), QStringLiteral("bet"));
    QVERIFY(!nothingMore());
    w.dialogs.answers = {QStringLiteral("zzz")};
    Action(*w.frame, "tbEntireSearch")->trigger();
    QCOMPARE(w.selectedIndex(), 1);
    QCOMPARE(w.selectedText(), QStringLiteral("bet"));
    QVERIFY(nothingMore());
    Action(*w.frame, "tbSearchAgain")->trigger();
    QCOMPARE(w.selectedText(), QStringLiteral("bet"));
    QVERIFY(nothingMore());
    w.dialogs.answers = {QStringLiteral("ALPH")};
    Action(*w.frame, "tbFind")->trigger();  // find in the current section only
    QCOMPARE(w.selectedIndex(), 1);
    QCOMPARE(w.selectedText(), QStringLiteral("bet"));
    QVERIFY(nothingMore());
    w.dialogs.answers = {QStringLiteral("ET")};
    w.editor().moveCursor(QTextCursor::Start);
    Action(*w.frame, "tbFind")->trigger();
    QCOMPARE(w.selectedText(), QStringLiteral("et"));
    QVERIFY(!nothingMore());
    QVERIFY(w.dialogs.errors.isEmpty() && w.dialogs.unexpected.isEmpty());
}

// The editor's own find gives the positions the byte text gives.
void SearchWindowTest::editorFindMatchesByteSearch_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<int>("from");
    const QByteArray t = Cp1251("Ёлка ёЛКА\r\n\r\nabc ABC\r\nконец ЁЛКА").c_str();
    QTest::newRow("nominal: first line") << t << QByteArray(Cp1251("ёлка").c_str()) << 0;
    QTest::newRow("nominal: after the first hit") << t << QByteArray(Cp1251("ёлка").c_str()) << 1;
    QTest::newRow("nominal: last line") << t << QByteArray(Cp1251("ёлка").c_str()) << 10;
    QTest::newRow("nominal: latin") << t << QByteArray("abc") << 0;
    QTest::newRow("nominal: latin second") << t << QByteArray("abc") << 14;
    QTest::newRow("nominal: the needle is the whole text")
        << QByteArray(Cp1251("ЁЛКА").c_str()) << QByteArray(Cp1251("ёлка").c_str()) << 0;
    QTest::newRow("nominal: a hit that fills the rest of the text")
        << t << QByteArray(Cp1251("ёлка").c_str()) << int(t.size()) - 4;
    QTest::newRow("robustness: from inside CR LF") << t << QByteArray("abc") << 10;
    QTest::newRow("robustness: from the end") << t << QByteArray("a") << int(t.size());
    QTest::newRow("robustness: from beyond the end") << t << QByteArray("a") << int(t.size()) + 5;
    QTest::newRow("robustness: needle with a line break") << t << QByteArray("\r\nabc") << 0;
    QTest::newRow("robustness: not across lines") << t << QByteArray("abcкон") << 0;
    QTest::newRow("robustness: longer than the rest") << t << QByteArray(Cp1251("ёлка!").c_str()) << 0;
    QTest::newRow("robustness: byte without a character") << t << QByteArray("\x98") << 0;
    QTest::newRow("robustness: lone LF and CR become CR LF") << QByteArray("a\nb\rc\r\nd b") << QByteArray("b") << 2;
    QTest::newRow("robustness: long text, late hit")
        << (QByteArray(100000, 'x') + "\r\n" + QByteArray(5000, 'y') + "Zq") << QByteArray("zq") << 7;
}

void SearchWindowTest::editorFindMatchesByteSearch() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, needle);
    QFETCH(int, from);
    gui::NoteEditor editor;
    editor.setText(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    const std::string bytes = editor.text();
    const std::size_t expected = FindFolded(bytes, needle.toStdString(), static_cast<std::size_t>(from));
    const std::optional<std::size_t> got = editor.findText(needle.toStdString(), static_cast<std::size_t>(from));
    QCOMPARE(got.value_or(kNotFound), expected);
    if (QByteArray(QTest::currentDataTag()).startsWith("nominal")) QVERIFY(expected != kNotFound);
}

// Typing, deleting, undo, redo, pasting and re-showing: each find still gives the byte
// text's answer.
void SearchWindowTest::editorFindFollowsEdits() {
    gui::NoteEditor editor;
    editor.setText(Cp1251("Ёлка один\r\nдва ёлка\r\nтри"));
    auto check = [&](const char* what) {
        const std::string bytes = editor.text();
        for (const std::string& needle : {Cp1251("ёлка"), Cp1251("ка д"), std::string("x"), Cp1251("три")})
            for (std::size_t from : {std::size_t{0}, std::size_t{3}, bytes.size() / 2}) {
                const std::size_t want = FindFolded(bytes, needle, from);
                const std::size_t got = editor.findText(needle, from).value_or(kNotFound);
                if (got != want)
                    QFAIL(qPrintable(QStringLiteral("%1: from %2, got %3, want %4")
                                         .arg(QLatin1String(what))
                                         .arg(from)
                                         .arg(qlonglong(got))
                                         .arg(qlonglong(want))));
            }
    };
    check("shown");
    QTextCursor c(editor.document());
    c.insertText(QStringLiteral("x\nЁЛКА "));
    check("typed at the start");
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral(" ёлкаx"));
    check("typed at the end");
    c.setPosition(3);
    c.setPosition(15, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    check("selection deleted across lines");
    editor.undo();
    check("undone");
    editor.redo();
    check("redone");
    editor.selectAll();
    editor.insertPlainText(QStringLiteral("всё заново\nтри x"));
    check("replaced whole");
    editor.clear();
    check("cleared");
    editor.setText(std::string(3000, 'x') + "\r\n" + Cp1251("ёлка"));
    check("shown again");
}

// The links of the lines drawn follow edits, undo, scrolling and switching links off.
void SearchWindowTest::linksFollowEditsAndScrolling() {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "plain line " + std::to_string(i) + "\r\n";
    text += "go http://far.away/x now";
    Frame w(notebook("f.lkp", {{0, "A", text}}));
    gui::NoteEditor& e = w.editor();
    const QTextBlock first = e.document()->firstBlock();
    const QTextBlock last = e.document()->lastBlock();
    auto underlined = [&](const QTextBlock& b) { return linkRuns(e, b); };
    using Runs = QList<std::pair<int, int>>;
    e.verticalScrollBar()->setValue(e.verticalScrollBar()->maximum());
    QCOMPARE(underlined(last), (Runs{{3, 17}}));
    e.verticalScrollBar()->setValue(0);
    QCOMPARE(underlined(first), Runs{});
    e.moveCursor(QTextCursor::Start);
    e.setFocus();
    QTest::keyClicks(&e, QStringLiteral("www.x.org "));
    QCOMPARE(underlined(first), (Runs{{0, 9}}));
    QTest::keyClick(&e, Qt::Key_Home);
    QTest::keyClick(&e, Qt::Key_Delete);
    QCOMPARE(underlined(first), Runs{});  // ww.x.org is no link
    e.undo();
    QCOMPARE(underlined(first), (Runs{{0, 9}}));
    e.setLinksEnabled(false);
    QCOMPARE(underlined(first), Runs{});
    e.setLinksEnabled(true);
    QCOMPARE(underlined(first), (Runs{{0, 9}}));
    // The next line, with a link of its own, joined to this one: the line is looked at
    // again although Qt leaves its revision as it was.
    QTest::keyClick(&e, Qt::Key_Down);
    QTest::keyClick(&e, Qt::Key_Home);
    QTest::keyClicks(&e, QStringLiteral(" www.y.org "));
    QCOMPARE(underlined(first.next()), (Runs{{1, 9}}));
    QTest::keyClick(&e, Qt::Key_Home);
    QTest::keyClick(&e, Qt::Key_Backspace);
    const int joined = static_cast<int>(first.text().indexOf(QStringLiteral("www.y.org")));
    QVERIFY(joined > 9);
    QCOMPARE(underlined(first), (Runs{{0, 9}, {joined, 9}}));
}

// A line drawn with its links is no changed line: a key typed at the end of the text is
// a change of one character there, not of everything from the link on.
void SearchWindowTest::drawnLinksLeaveTheDocumentAlone() {
    std::string text = "see www.a.org here\r\n";
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\r\n";
    QList<QList<int>> changes;  // outlives the window, which empties the editor as it goes
    Frame w(notebook("d.lkp", {{0, "A", text}}));
    gui::NoteEditor& e = w.editor();
    const QTextBlock first = e.document()->firstBlock();
    QCOMPARE(linkRuns(e, first), (QList<std::pair<int, int>>{{4, 9}}));
    connect(e.document(), &QTextDocument::contentsChange, &e, [&](int at, int removed, int added) {
        changes.append({at, removed, added});
    });
    const int end = e.document()->characterCount() - 1;
    e.moveCursor(QTextCursor::End);
    QTest::keyClicks(&e, QStringLiteral("x"));
    QCOMPARE(changes, (QList<QList<int>>{{end, 0, 1}}));
    // Typed into the link's line: the change is that line's, and the link is drawn anew.
    changes.clear();
    e.moveCursor(QTextCursor::Start);
    QTest::keyClicks(&e, QStringLiteral("y"));
    QCOMPARE(changes, (QList<QList<int>>{{0, 0, 1}}));
    QCOMPARE(linkRuns(e, first), (QList<std::pair<int, int>>{{5, 9}}));
}

void SearchWindowTest::selectionsShownWithoutFocus() {
    Frame w(notebook("sel.lkp", {{0, "A", "one two"}}));
    for (QWidget* widget : {static_cast<QWidget*>(Child<gui::SectionTreeView>(*w.frame, "tvNodes")),
                            static_cast<QWidget*>(Child<gui::NoteEditor>(*w.frame, "reNodeContent"))}) {
        const QPalette pal = widget->palette();
        QCOMPARE(pal.color(QPalette::Inactive, QPalette::Highlight), pal.color(QPalette::Active, QPalette::Highlight));
        QCOMPARE(pal.color(QPalette::Inactive, QPalette::HighlightedText),
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    }
}

void SearchWindowTest::linksUnderlined() {
    Frame w(notebook("u.lkp",
                     {{0, "A", Cp1251("see http://a.b/c, mail mailto:x@y.z or www.q.org\r\nfile://@Имя раздела")}}));
    // Lines get their links when they are drawn.
    QTextBlock first = w.editor().document()->firstBlock();
    QCOMPARE(linkRuns(w.editor(), first), (QList<std::pair<int, int>>{{4, 12}, {23, 12}, {39, 9}}));
    // The name ends at the blank.
    QCOMPARE(linkRuns(w.editor(), first.next()), (QList<std::pair<int, int>>{{0, 8 + 3}}));
    for (const QTextEdit::ExtraSelection& link : w.editor().extraSelections())
        QCOMPARE(link.format.foreground(), w.editor().palette().brush(QPalette::Link));
    QVERIFY(!w.editor().modified());
    // The pointing hand over a link, the text cursor elsewhere.
    auto over = [&](int pos) {
        QTextCursor c(w.editor().document());
        c.setPosition(pos);
        const QRect r = w.editor().cursorRect(c);
        QTest::mouseMove(w.editor().viewport(), QPoint(r.left() + 2, r.center().y()));
        return w.editor().viewport()->cursor().shape();
    };
    QCOMPARE(over(6), Qt::PointingHandCursor);
    QCOMPARE(over(1), Qt::IBeamCursor);
}

// file://@ then the name: exact bytes, the last of equal names wins, the edited text of
// the section left is stored.
void SearchWindowTest::sectionLinkSelectsLastOfEqualNames() {
    Frame w(notebook("l.lkp", {{0, "Start", "go file://@Target now"},
                               {0, "Target", "first target"},
                               {1, "Target", "second target"},
                               {0, "target", "lower case"}}));
    QTextCursor end(w.editor().document());
    end.movePosition(QTextCursor::End);
    w.editor().setTextCursor(end);
    w.editor().insertPlainText(QStringLiteral(" edited"));
    w.pressAt(w.posOf(QStringLiteral("Target")));
    QCOMPARE(w.selectedIndex(), 2);
    QCOMPARE(w.editor().toPlainText(), QStringLiteral("second target"));
    QCOMPARE(std::string(w.doc().tree().at(0)->text()), std::string("go file://@Target now edited"));
    QVERIFY(w.dialogs.errors.isEmpty());
}

void SearchWindowTest::linkTypedJustNowWorks() {
    Frame w(notebook("j.lkp", {{0, "Start", "x"}, {0, Cp1251("Цель"), "goal"}}));
    QTextCursor end(w.editor().document());
    end.movePosition(QTextCursor::End);
    w.editor().setTextCursor(end);
    w.editor().insertPlainText(QStringLiteral("\nfile://@Цель"));
    w.pressAt(w.posOf(QStringLiteral("Цель")) + 1);
    QCOMPARE(w.selectedIndex(), 1);
    QCOMPARE(w.editor().toPlainText(), QStringLiteral("goal"));
}

void SearchWindowTest::missingSectionReported() {
    Frame w(notebook("m.lkp", {{0, "Start", "a file://@target b\r\nc file://@ d"}, {0, "Target", "t"}}));
    w.pressAt(w.posOf(QStringLiteral("target")));
    QCOMPARE(w.dialogs.errors, QStringList{QStringLiteral("Раздел \"target\" не найден\r\n(поиск с учётом регистра)")});
    QCOMPARE(w.selectedIndex(), 0);
    // Nothing after the prefix: a section with an empty name, which there is not.
    w.pressAt(w.posOf(QStringLiteral("file://@ d")) + 3);
    QCOMPARE(w.dialogs.errors.size(), 2);
    QCOMPARE(w.dialogs.errors[1], QStringLiteral("Раздел \"\" не найден\r\n(поиск с учётом регистра)"));
    QCOMPARE(w.selectedIndex(), 0);
    QCOMPARE(w.editor().toPlainText(), QStringLiteral("a file://@target b\nc file://@ d"));
}

void SearchWindowTest::otherLinksGoToDesktop() {
    UrlSink sink;
    for (const char* scheme : {"http", "https", "file", "mailto", "ftp"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &sink, "open");
    Frame w(notebook("o.lkp", {{0, "Start", "www.example.org/a FILE://@Start https://x.y/z mailto:me@x.y"}}));
    w.pressAt(w.posOf(QStringLiteral("example")));
    w.pressAt(w.posOf(QStringLiteral("FILE")) + 2);
    w.pressAt(w.posOf(QStringLiteral("x.y/z")));
    w.pressAt(w.posOf(QStringLiteral("me@")));
    w.pressAt(w.posOf(QStringLiteral("/a")), Qt::RightButton);  // not a left press
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    for (const char* scheme : {"http", "https", "file", "mailto", "ftp"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    QCOMPARE(sink.opened.size(), 4);
    QCOMPARE(sink.opened[0], QUrl(QStringLiteral("http://www.example.org/a")));
    QCOMPARE(sink.opened[1].scheme(), QStringLiteral("file"));  // the prefix in capitals is no section link
    QCOMPARE(sink.opened[2], QUrl(QStringLiteral("https://x.y/z")));
    QCOMPARE(sink.opened[3], QUrl(QStringLiteral("mailto:me@x.y")));
    QVERIFY(w.dialogs.errors.isEmpty());
    QCOMPARE(w.selectedIndex(), 0);
}

// Presses away from a link's characters place the caret as usual.
void SearchWindowTest::pressBesideLinkPlacesCaret() {
    Frame w(notebook("b.lkp", {{0, "Start", "file://@Other\r\nplain words here"}, {0, "Other", "o"}}));
    // Right of the line's end: the caret goes to the end of the line.
    QTextCursor c(w.editor().document());
    c.setPosition(13);
    const QRect endRect = w.editor().cursorRect(c);
    QTest::mouseClick(w.editor().viewport(), Qt::LeftButton, {}, QPoint(endRect.right() + 60, endRect.center().y()));
    QCOMPARE(w.selectedIndex(), 0);
    QCOMPARE(w.editor().textCursor().position(), 13);
    c.setPosition(20);
    const QRect word = w.editor().cursorRect(c);
    QTest::mouseClick(w.editor().viewport(), Qt::LeftButton, {}, QPoint(word.left() + 1, word.center().y()));
    QCOMPARE(w.selectedIndex(), 0);
    QCOMPARE(w.editor().textCursor().position(), 20);
    QVERIFY(w.dialogs.errors.isEmpty());
}

// F9: stored texts only, dates of any year placed by day and month around today.
void SearchWindowTest::datesReport() {
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yy"));
    const std::string todayLine = "today " + today.toStdString();
    Frame w(notebook("d.lkp", {{0, "A", "never 01.13.99\r\nfirst 00.00.00"}, {1, "B", todayLine}}));
    w.editor().insertPlainText(QStringLiteral("unsaved 01.01.01\n"));
    w.key(Qt::Key_F9, Qt::NoModifier);
    QCOMPARE(w.dialogs.reports.size(), 1);
    const QString tildes(32, u'~');
    QCOMPARE(w.dialogs.reports[0], QStringLiteral("\r\nfirst 00.00.00\r\n") + QString::fromStdString(todayLine) +
                                       QStringLiteral("\r\n") + tildes + QStringLiteral("\r\nnever 01.13.99"));
    QCOMPARE(w.dialogs.reports[0].toStdString(), NearestDatesReport(w.doc(), TodayKey()));
    QVERIFY(w.dialogs.messages.isEmpty());
}

void SearchWindowTest::reportBoxScrollsAndCloses() {
    QStringList lines;
    for (int i = 0; i < 600; ++i) lines << QStringLiteral("строка %1 01.02.03").arg(i);
    gui::ReportBox box(nullptr, QStringLiteral("\r\n") + lines.join(QStringLiteral("\r\n")));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QRect area = box.screen()->availableGeometry();
    QVERIFY(box.height() <= area.height());
    QCOMPARE(box.windowTitle(), QStringLiteral("Larkpad - иерархический блокнот"));
    QCOMPARE(box.textView()->toPlainText(), QStringLiteral("\n") + lines.join(u'\n'));
    QVERIFY(box.textView()->verticalScrollBar()->maximum() > 0);
    // The keys scroll it to its last line.
    QTest::keyClick(box.textView(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(box.textView()->verticalScrollBar()->value(), box.textView()->verticalScrollBar()->maximum());
    auto* ok = box.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QVERIFY(ok && ok->isVisible());
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QVERIFY(!box.isVisible());
}

// The report reads like a message: focus on its text paints no text cursor, so nothing
// looks editable.
void SearchWindowTest::reportBoxShowsNoTextCursor() {
    gui::ReportBox box(nullptr, QStringLiteral("\r\nпервая 01.02.03\r\nвторая 04.05.06"));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QPlainTextEdit* text = box.textView();
    QVERIFY(text->isReadOnly());
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(text, &out);
    const QImage unfocused = text->viewport()->grab().toImage();
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(text, &in);
    const QImage focused = text->viewport()->grab().toImage();
    QCOMPARE(focused, unfocused);
}

QTEST_MAIN(SearchWindowTest)
#include "search_window_test.moc"
