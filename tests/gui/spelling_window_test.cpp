// Spelling in the editor and the window: the underline, the context menu, the option and
// its dictionaries across a restart, and a system without dictionaries.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "document/cp1251.h"
#include "document/errors.h"
#include "editor/note_editor.h"
#include "editor/spell_marks.h"
#include "main/ini_file.h"
#include "main/interface_settings.h"
#include "main/spelling_control.h"
#include "spelling/spell_checker.h"
#include "support/fake_desktop.h"
#include "support/frame_access.h"
#include "support/window_fixture.h"

using namespace lark;
using guitest::Window;
using lark::guitest::Action;

namespace {

// Loading the Russian dictionary takes a good part of a second, much longer on a busy machine.
constexpr int kLoadMs = 60000;

std::shared_ptr<spelling::SpellChecker> systemChecker() {
    auto checker = std::make_shared<spelling::SpellChecker>();
    const auto found = spelling::FindDictionaries(spelling::HunspellFolders());
    checker->loadDictionaries(found, {"ru_RU", "en_US"});
    try {
        checker->usePersonalWords(spelling::PersonalWordsPath());
    } catch (const LarkError&) {
        // a list the test made unreadable: the checker works on without it
    }
    return checker;
}

// Types `text` key by key, as a keyboard with those letters would.
void typeText(QWidget& editor, const QString& text) {
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(&editor, &press);
        QApplication::sendEvent(&editor, &release);
    }
}

// Red pixels of the wave under the characters [from, to) of the editor's first line, or of
// the whole view when `to` is -1.
int redUnder(gui::NoteEditor& editor, int from, int to) {
    const QImage shot = editor.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto at = [&](int position) {
        QTextCursor c(editor.document());
        c.setPosition(position);
        return editor.cursorRect(c).topLeft() * shot.devicePixelRatio();
    };
    const QRect area =
        to < 0 ? shot.rect()
               : QRect(at(from), at(to) + QPoint(0, (editor.cursorRect().height() + 4) * shot.devicePixelRatio()));
    int red = 0;
    for (int y = std::max(0, area.top()); y <= std::min(shot.height() - 1, area.bottom()); ++y)
        for (int x = std::max(0, area.left()); x <= std::min(shot.width() - 1, area.right()); ++x) {
            const QColor c = shot.pixelColor(x, y);
            red += c.red() - std::max(c.green(), c.blue()) > 60;
        }
    return red;
}

QAction* menuAction(QMenu& menu, const QString& text) {
    for (QAction* a : menu.actions())
        if (a->text() == text) return a;
    return nullptr;
}

// An editor on screen showing `utf8`, unmodified, its words checked by `checker`.
struct CheckedEditor {
    CheckedEditor(const std::string& utf8, std::shared_ptr<spelling::SpellChecker> checker, QSize size = {600, 300}) {
        editor.resize(size);
        editor.show();
        editor.setText(*cp1251::fromUtf8(utf8));
        editor.setModified(false);
        spell = gui::InstallSpellHighlighter(&editor);
        spell->setChecker(std::move(checker));
    }
    // The words underlined in view, as "position:text" items.
    QStringList underlined() {
        editor.viewport()->repaint();
        for (int i = 0; spell->pending() && i < 200; ++i) {
            QTest::qWait(5);
            editor.viewport()->repaint();
        }
        QStringList words;
        for (const gui::MisspeltWord& w : spell->shownWords()) words << QString::number(w.position) + ":" + w.text;
        return words;
    }
    // Chooses `item` in the spelling menu of the word at `position`.
    void choose(int position, const QString& item) {
        const std::unique_ptr<QMenu> menu(spell->menuFor(position));
        QVERIFY(menu);
        QAction* a = menuAction(*menu, item);
        QVERIFY2(a, "no such item");
        a->trigger();
    }
    gui::NoteEditor editor;
    gui::SpellHighlighter* spell = nullptr;
};

// The settings file as the window left it.
IniFile settings() { return IniFile::load(QFile::encodeName(gui::TFrame::SettingsFilePath()).toStdString()); }

// The window's highlighter once its dictionaries have loaded (null when they failed).
gui::SpellHighlighter* loadedSpell(Window& w) {
    auto* control = w.frame().findChild<gui::SpellingControl*>("spellingControl");
    [&] { QTRY_VERIFY_WITH_TIMEOUT(control && !control->loading(), kLoadMs); }();
    return w.frame().findChild<gui::SpellHighlighter*>("spellHighlighter");
}

}  // namespace

class SpellingWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void underlineLeavesTheDocumentAlone();
    void onlyTheLinesInViewAreChecked();
    void suggestionReplacesTheWordAsOneUndoStep();
    void skipAndAddToTheWordList();
    void optionAndDictionariesSurviveARestart();
    void noDictionaryGreysTheOption();
    void vanishedDictionariesGiveWayToTheDefaults();

private:
    QTemporaryDir data_;
    std::shared_ptr<spelling::SpellChecker> checker_;
};

void SpellingWindowTest::initTestCase() {
    guitest::IsolateUserDirectories();
    guitest::UseFakeDesktop();
    QVERIFY(data_.isValid());
    qputenv("XDG_DATA_HOME", data_.path().toLocal8Bit());
    qunsetenv("DICPATH");
    checker_ = systemChecker();
    QVERIFY2(checker_->languages() == (std::vector<std::string>{"ru_RU", "en_US"}),
             "hunspell-ru and hunspell-en-us are installed by scripts/install-deps.sh");
}

void SpellingWindowTest::init() {
    QFile::remove(gui::TFrame::SettingsFilePath());
    QFile::remove(data_.filePath("larkpad/dictionary.txt"));
    qunsetenv("DICPATH");
}

// The underline is drawn over the text: the text, its undo history and its modified state
// stay as they were.
void SpellingWindowTest::underlineLeavesTheDocumentAlone() {
    CheckedEditor e("Превет, мир! file://@Ошибко и Helo 12.05.23 NASA", checker_);
    auto& [editor, spell] = e;
    editor.setLinksEnabled(true);
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    const std::string text = editor.text();
    QCOMPARE(gui::InstallSpellHighlighter(&editor), spell);
    const int undoSteps = editor.document()->availableUndoSteps();
    QCOMPARE(e.underlined(), (QStringList{"0:Превет", "30:Helo"}));
    QCOMPARE(editor.text(), text);
    QVERIFY(!editor.modified());
    QVERIFY(!editor.document()->isUndoAvailable() || editor.document()->availableUndoSteps() == undoSteps);
    // The waves are under the unknown words and nowhere else; the link keeps its own mark.
    QVERIFY(redUnder(editor, 0, 6) > 5);
    QVERIFY(redUnder(editor, 30, 34) > 3);
    QCOMPARE(redUnder(editor, 8, 11), 0);
    QCOMPARE(redUnder(editor, 13, 27), 0);
    QCOMPARE(editor.extraSelections().size(), 1);
    QCOMPARE(editor.extraSelections().first().cursor.selectedText(), QStringLiteral("file://@Ошибко"));
    // A larger font moves the waves with the words.
    const QFont font = editor.font();
    editor.setFont(QFont(font.family(), font.pointSize() * 3 / 2));
    QVERIFY(redUnder(editor, 30, 34) > 3);
    QCOMPARE(redUnder(editor, 13, 27), 0);
    editor.setFont(font);
    // Typing a fix takes the underline away; the checker off takes every one away.
    QTextCursor c(editor.document());
    c.setPosition(2);
    c.deleteChar();
    c.insertText("и");
    QCOMPARE(e.underlined(), QStringList{"30:Helo"});
    QCOMPARE(redUnder(editor, 0, 6), 0);
    // With the marks in place the view is not painted again and again.
    int paints = 0;
    editor.drawOver = [&, draw = editor.drawOver](QPainter& p, const QRect& dirty) { ++paints, draw(p, dirty); };
    editor.viewport()->update(QRect(0, 0, 5, 5));
    QTest::qWait(300);
    QVERIFY2(paints <= 3, qPrintable(QString::number(paints)));
    // A word being typed is judged once the caret leaves it.
    editor.moveCursor(QTextCursor::End);
    typeText(editor, " Превет");
    QCOMPARE(e.underlined(), QStringList{"30:Helo"});
    QTest::keyClick(&editor, Qt::Key_Left);
    QCOMPARE(e.underlined(), (QStringList{"30:Helo", "49:Превет"}));
    QTest::keyClick(&editor, Qt::Key_End);
    QTest::keyClick(&editor, Qt::Key_Backspace);
    QCOMPARE(e.underlined(), QStringList{"30:Helo"});
    typeText(editor, "ь ");
    QCOMPARE(e.underlined(), (QStringList{"30:Helo", "49:Превеь"}));
    spell->setChecker(nullptr);
    QCOMPARE(e.underlined(), QStringList{});
    QCOMPARE(redUnder(editor, 0, -1), 0);
}

void SpellingWindowTest::onlyTheLinesInViewAreChecked() {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "слово ошибкаа" + std::to_string(i % 10) + "\r\n";
    auto checker = systemChecker();
    CheckedEditor e(text + "хвостоваяошибка\r\n", checker, {400, 200});
    gui::NoteEditor& editor = e.editor;
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    const QStringList first = e.underlined();
    QVERIFY(first.size() < 60);
    QVERIFY(!checker->decided(*cp1251::fromUtf8("хвостоваяошибка")));
    editor.moveCursor(QTextCursor::End);
    QVERIFY(e.underlined().contains(QString::number(2000 * 15) + ":хвостоваяошибка"));

    // A screen of hardly anything but unknown words (a log, code) is underlined from the
    // top up to a bound: every mark costs each keystroke and each paint.
    std::string dense;
    for (int i = 0; i < 60; ++i) {
        for (const char* letter : {"а", "б", "в", "г", "д", "е", "ж", "з", "и", "к"})
            dense += "ошибка" + std::string(letter) + "я ";
        dense += "\r\n";
    }
    CheckedEditor d(dense, checker, {900, 700});
    QVERIFY(QTest::qWaitForWindowExposed(&d.editor));
    const QStringList marks = d.underlined();
    QCOMPARE(marks.size(), 200);
    QCOMPARE(marks.first(), QStringLiteral("0:ошибкаая"));
    QCOMPARE(marks.last(), QStringLiteral("1810:ошибкакя"));
}

void SpellingWindowTest::suggestionReplacesTheWordAsOneUndoStep() {
    CheckedEditor e("Мы пачему-то здесь.\r\nВторая строка", checker_);
    auto& [editor, spell] = e;
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCOMPARE(e.underlined(), QStringList{"3:пачему-то"});
    QVERIFY(spell->menuFor(0) == nullptr);
    const std::unique_ptr<QMenu> menu(spell->menuFor(5));
    QVERIFY(menu);
    QStringList suggestions;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) break;
        suggestions << a->text();
    }
    QVERIFY(!suggestions.isEmpty());
    QVERIFY(suggestions.size() <= gui::SpellHighlighter::kMostSuggestions);
    QVERIFY2(suggestions.contains("почему-то"), qPrintable(suggestions.join(", ")));
    QVERIFY(menuAction(*menu, "Добавить в словарь"));
    QVERIFY(menuAction(*menu, "Пропустить"));
    menuAction(*menu, "почему-то")->trigger();
    QCOMPARE(editor.text(), *cp1251::fromUtf8("Мы почему-то здесь.\r\nВторая строка"));
    QVERIFY(editor.modified());
    QCOMPARE(e.underlined(), QStringList{});
    editor.undo();
    QCOMPARE(editor.text(), *cp1251::fromUtf8("Мы пачему-то здесь.\r\nВторая строка"));
    QVERIFY(!editor.document()->isUndoAvailable());
    QCOMPARE(e.underlined(), QStringList{"3:пачему-то"});
    // A right click on the word: the spelling items, then the text menu's.
    QMenu textMenu;
    textMenu.addAction("Копировать");
    spell->textMenu = [&] { return &textMenu; };
    QStringList shown;
    QTimer::singleShot(50, [&] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* a : popup->actions()) shown << (a->isSeparator() ? QString("-") : a->text());
            popup->close();
        }
    });
    const QRect at = editor.cursorRect(QTextCursor(editor.document()->findBlock(0)));
    QContextMenuEvent click(QContextMenuEvent::Mouse, at.center() + QPoint(40, 0),
                            editor.viewport()->mapToGlobal(at.center()));
    QApplication::sendEvent(editor.viewport(), &click);
    QVERIFY(click.isAccepted());
    QVERIFY2(shown.size() >= 5 &&
                 shown.mid(shown.size() - 4) == QStringList({"Добавить в словарь", "Пропустить", "-", "Копировать"}),
             qPrintable(shown.join("|")));
    // A read-only text offers no replacement.
    editor.setReadOnly(true);
    const std::unique_ptr<QMenu> readOnly(spell->menuFor(5));
    QVERIFY(readOnly);
    QCOMPARE(readOnly->actions().first()->text(), QStringLiteral("Добавить в словарь"));
}

void SpellingWindowTest::skipAndAddToTheWordList() {
    CheckedEditor e("Ларкпад и Ларкпадом, флибустьерр", systemChecker());
    auto& [editor, spell] = e;
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCOMPARE(e.underlined(), (QStringList{"0:Ларкпад", "10:Ларкпадом", "21:флибустьерр"}));
    e.choose(25, "Пропустить");
    QCOMPARE(e.underlined(), (QStringList{"0:Ларкпад", "10:Ларкпадом"}));
    e.choose(1, "Добавить в словарь");
    QCOMPARE(e.underlined(), QStringList{"10:Ларкпадом"});
    QFile list(data_.filePath("larkpad/dictionary.txt"));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(list.readAll()), QStringLiteral("Ларкпад\n"));
    // The next run knows the added word, not the skipped one.
    spell->setChecker(systemChecker());
    QCOMPARE(e.underlined(), (QStringList{"10:Ларкпадом", "21:флибустьерр"}));
    // A list that cannot be written is reported; the word is skipped for this run.
    QFile::remove(list.fileName());
    QVERIFY(QFile::link(data_.filePath("elsewhere"), list.fileName()));
    spell->setChecker(systemChecker());
    QString reported;
    spell->onWordListError = [&](const QString& text) { reported = text; };
    e.choose(12, "Добавить в словарь");
    QVERIFY(!reported.isEmpty());
    QVERIFY(!QFile::exists(data_.filePath("elsewhere")));
    QCOMPARE(e.underlined(), (QStringList{"0:Ларкпад", "21:флибустьерр"}));
    QFile::remove(list.fileName());
}

void SpellingWindowTest::optionAndDictionariesSurviveARestart() {
    {
        Window w;
        auto* option = Action(w.frame(), "miSpellCheck");
        QVERIFY(option->isEnabled());
        QVERIFY(option->isChecked());  // on by default with dictionaries
        auto* spell = loadedSpell(w);
        QVERIFY(spell && spell->checker());
        auto* control = w.frame().findChild<gui::SpellingControl*>("spellingControl");
        QCOMPARE(spell->checker()->languages(), (std::vector<std::string>{"ru_RU", "en_US"}));
        std::vector<std::string> offered;
        control->chooseDictionaries = [&](const auto&, const auto& chosen) {
            offered = chosen;
            return std::optional<std::vector<std::string>>(std::vector<std::string>{"en_US"});
        };
        w.trigger(Action(w.frame(), "miDictionaries"));
        QCOMPARE(offered, (std::vector<std::string>{"ru_RU", "en_US"}));
        QTRY_VERIFY_WITH_TIMEOUT(!control->loading(), kLoadMs);
        QTRY_COMPARE_WITH_TIMEOUT(spell->checker()->languages(), std::vector<std::string>{"en_US"}, kLoadMs);
        w.trigger(option);
        QVERIFY(!option->isChecked());
        QVERIFY(!spell->checker());
        QVERIFY(w.frame().close());
    }
    QCOMPARE(settings().value(kSettingsSection, "SpellCheck"), std::optional<std::string>("0"));
    QCOMPARE(settings().value(kSettingsSection, "SpellLanguages"), std::optional<std::string>("en_US"));
    {
        Window w;
        QVERIFY(!Action(w.frame(), "miSpellCheck")->isChecked());
        w.trigger(Action(w.frame(), "miSpellCheck"));
        auto* spell = loadedSpell(w);
        QTRY_VERIFY_WITH_TIMEOUT(spell->checker(), kLoadMs);
        QCOMPARE(spell->checker()->languages(), std::vector<std::string>{"en_US"});
        QVERIFY(w.frame().close());
    }
    QCOMPARE(settings().value(kSettingsSection, "SpellCheck"), std::optional<std::string>("1"));
}

void SpellingWindowTest::noDictionaryGreysTheOption() {
    QTemporaryDir empty;
    qputenv("DICPATH", empty.path().toLocal8Bit());
    {
        Window w;
        auto* option = Action(w.frame(), "miSpellCheck");
        QVERIFY(!option->isEnabled());
        QVERIFY(!option->isChecked());
        QVERIFY(option->statusTip().contains("hunspell-ru"));
        QVERIFY(option->statusTip().contains("hunspell-en-us"));
        QVERIFY(!w.frame().findChild<gui::SpellHighlighter*>("spellHighlighter")->checker());
        w.trigger(Action(w.frame(), "miDictionaries"));  // says the same, asks nothing
        QVERIFY(w.frame().close());
    }
    // The choice stays as it was for when dictionaries come.
    QCOMPARE(settings().value(kSettingsSection, "SpellCheck"), std::optional<std::string>("1"));
    qunsetenv("DICPATH");
}

void SpellingWindowTest::vanishedDictionariesGiveWayToTheDefaults() {
    QDir().mkpath(QFileInfo(gui::TFrame::SettingsFilePath()).absolutePath());
    IniFile ini;
    ini.setValue(kSettingsSection, "SpellCheck", "1");
    ini.setValue(kSettingsSection, "SpellLanguages", "xx_XX,en_US");
    ini.save(QFile::encodeName(gui::TFrame::SettingsFilePath()).toStdString());
    std::string written = "xx_XX,en_US";
    for (const auto& expected : {std::vector<std::string>{"en_US"}, std::vector<std::string>{"ru_RU", "en_US"}}) {
        Window w;
        auto* spell = loadedSpell(w);
        QVERIFY(spell->checker());
        QCOMPARE(spell->checker()->languages(), expected);
        QVERIFY(w.frame().close());
        IniFile gone = settings();
        QCOMPARE(gone.value(kSettingsSection, "SpellLanguages"),
                 std::optional<std::string>(written));  // kept as chosen
        written = "xx_XX";
        gone.setValue(kSettingsSection, "SpellLanguages", written);
        gone.save(QFile::encodeName(gui::TFrame::SettingsFilePath()).toStdString());
    }
}

QTEST_MAIN(SpellingWindowTest)
#include "spelling_window_test.moc"
