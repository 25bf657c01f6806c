// Spell checking in the editor.
//
//   spell_visible    checking one screenful (50 lines) of Russian text with a checker that
//                    has met none of its words yet (the words found, each asked of ru_RU and
//                    en_US), against laying out a screenful of the same text with QTextLayout,
//                    the window benchmarks' baseline (0.55 ms on the bench machine, so the
//                    target of 5 ms is a ratio of 5 / 0.55)
//   spell_keystroke  a character typed in the middle of a 10 MB section of Russian text, until
//                    the editor has painted (and undone afterwards), with checking on against
//                    the same keystroke with checking off, in turns, the quickest of each side
//                    (target 1.2)
// Both in one fresh process.
#include <QApplication>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QStandardPaths>
#include <QTextLayout>
#include <cstdio>

#include "bench_util.h"
#include "document/cp1251.h"
#include "document/document.h"
#include "editor/note_editor.h"
#include "editor/spell_marks.h"
#include "editor/text_codec.h"
#include "gui/quiet_dialogs.h"
#include "main/spelling_control.h"
#include "main/tframe.h"
#include "screenful.h"
#include "spelling/spell_checker.h"
#include "support/frame_access.h"

namespace {

using namespace lark;
using namespace lark::bench;

constexpr double kVisibleSeconds = 0.005;
constexpr int kKeysPerSide = 8;

// Russian words as a text is made of (UTF-8), some misspelt.
constexpr const char* kWords =
    "и в не на я быть он с что а по это она этот к но они мы как из у который то за свой весь год от так о "
    "для ты же все тот мочь вы человек такой его сказать только или ещё бы себя один как уже до время если "
    "сам когда другой вот говорить наш мой знать стать при чтобы дело жизнь кто первый очень два день её "
    "новый рука даже во со раз где там под можно ну какой после их работа без самый потом надо хотеть ли "
    "слово идти большой должен место иметь ничто то сейчас тут лицо каждый друг нет теперь ни глаз тоже "
    "тогда видеть вопрос через да здесь дом сторона страна мир случай голова ребёнок сила конец вид система "
    "часть город отношение женщина деньги земля машина вода отец проблема час право нога решить дверь образ "
    "история жить книга писать последний ошибко превет сдесь пачему карова малоко зделать";

std::vector<std::string> wordList() {
    std::vector<std::string> out;
    const std::string all = *cp1251::fromUtf8(kWords);
    std::size_t from = 0;
    while (from < all.size()) {
        std::size_t end = all.find(' ', from);
        if (end == std::string::npos) end = all.size();
        out.push_back(all.substr(from, end - from));
        from = end + 1;
    }
    return out;
}

// `n` bytes of Russian lines about 64 characters long, the same every run.
std::string russianText(std::size_t n, std::uint32_t seed) {
    static const std::vector<std::string> words = wordList();
    std::string out;
    out.reserve(n + 80);
    std::uint32_t x = seed;
    std::size_t line = 0;
    while (out.size() < n) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const std::string& w = words[x % words.size()];
        out += w;
        line += w.size();
        if (line >= 64) {
            out += "\r\n";
            line = 0;
        } else {
            out += x % 11 == 0 ? ", " : " ";
            ++line;
        }
    }
    out.resize(n);
    return out;
}

std::shared_ptr<spelling::SpellChecker> freshChecker() {
    auto checker = std::make_shared<spelling::SpellChecker>();
    std::vector<std::string> missing;
    checker->loadDictionaries(spelling::FindDictionaries(spelling::HunspellFolders()), {"ru_RU", "en_US"}, &missing);
    if (!missing.empty()) throw std::runtime_error("no dictionaries ru_RU, en_US (hunspell-ru, hunspell-en-us)");
    return checker;
}

int spellChild(const std::vector<std::string>& args) {
    int argc = 1;
    char name[] = "larkpad_gui_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(args.at(1)));  // an empty personal list
    const int reps = std::max(1, std::atoi(args.at(0).c_str()));

    QuietDialogs dialogs;
    gui::TFrame frame(dialogs, QStringList{});
    guitest::WaitUntilReady(frame, -1);
    frame.resize(1000, 700);
    settle();
    auto* control = frame.findChild<gui::SpellingControl*>(QStringLiteral("spellingControl"));
    while (control && control->loading()) settle();
    Document& doc = frame.document();
    gui::NoteEditor& editor = *guitest::Child<gui::NoteEditor>(frame, "reNodeContent");
    auto* spell = frame.findChild<gui::SpellHighlighter*>(QStringLiteral("spellHighlighter"));

    // One screenful: 50 lines, each checked with a checker new to them.
    std::vector<std::string> screen;
    {
        const std::string text = russianText(50 * 70, 88172645u);
        std::size_t from = 0;
        while (screen.size() < 50 && from < text.size()) {
            std::size_t end = text.find("\r\n", from);
            if (end == std::string::npos) end = text.size();
            screen.push_back(text.substr(from, end - from));
            from = end + 2;
        }
    }
    const QString shown = gui::TextToEditor(russianText(1u << 16, 88172645u));
    std::vector<double> base, visible;
    std::size_t unknown = 0;
    for (int i = 0; i < reps; ++i) {
        std::vector<double> screens;
        for (int k = 0; k < kScreenfulRuns; ++k) screens.push_back(screenful(shown, editor));
        base.push_back(median(screens));
        const auto checker = freshChecker();
        unknown = 0;
        visible.push_back(timeIt([&] {
            for (const std::string& line : screen) unknown += checker->unknownWords(line).size();
        }));
    }

    // Keystrokes in 10 MB, checking on and off in turns.
    Section* huge = doc.tree().appendChild(nullptr, "huge", std::make_unique<TNodeContent>());
    huge->content()->Text = TextBuffer::copyOf(russianText(10u << 20, 2463534242u));
    doc.SelectSection(huge);
    settle();
    const auto checker = freshChecker();
    std::vector<double> keyOn, keyOff;
    const auto typeKey = [&] {
        QTextCursor c = editor.textCursor();
        c.setPosition(editor.document()->characterCount() / 2);
        editor.setTextCursor(c);
        editor.ensureCursorVisible();
        settle();
        const int before = editor.document()->characterCount();
        const QString letter = QStringLiteral("ы");
        const double seconds = timeIt([&] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, letter);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, letter);
            QApplication::sendEvent(&editor, &press);
            QApplication::sendEvent(&editor, &release);
            settle();
        });
        if (editor.document()->characterCount() != before + 1)
            throw std::runtime_error("the key did not reach the editor");
        editor.undo();  // every keystroke goes into the same text
        settle();
        return seconds;
    };
    for (int i = 0; i < reps * kKeysPerSide; ++i) {
        spell->setChecker(checker);
        settle();
        while (spell->pending()) settle();
        if (spell->shownWords().empty()) throw std::runtime_error("no word is underlined in view");
        keyOn.push_back(typeKey());
        spell->setChecker(nullptr);
        settle();
        keyOff.push_back(typeKey());
    }
    editor.document()->setModified(false);
    doc.setTreeModified(false);
    // The machine's other work only ever adds to a keystroke: the quickest of each side is
    // compared, the medians noted.
    std::printf("base=%.6f visible=%.6f unknown=%zu keyon=%.6f keyoff=%.6f keyonmedian=%.6f keyoffmedian=%.6f\n",
                median(base), median(visible), unknown, minimum(keyOn), minimum(keyOff), median(keyOn), median(keyOff));
    return 0;
}
LARK_BENCH_COMMAND("spell-editor", spellChild);

void spellCase(Context& ctx) {
    const auto v = runChild("spell-editor", {std::to_string(std::min(ctx.reps, 5)), ctx.scratch("spell-data")});
    auto ms = [](double s) { return formatNumber(s * 1e3, "%.2f ms"); };
    note("screenful " + ms(v.at("base")) + "; checking 50 lines " + ms(v.at("visible")) + " (" +
         formatNumber(v.at("unknown"), "%.0f") + " unknown words, target " + ms(kVisibleSeconds) +
         "); keystroke in 10 MB with checking " + ms(v.at("keyon")) + ", without " + ms(v.at("keyoff")) +
         " (quickest; medians " + ms(v.at("keyonmedian")) + ", " + ms(v.at("keyoffmedian")) + ")");
    printFigure("spell_visible", v.at("visible") / v.at("base"), kVisibleSeconds / kBaselineOnBenchMachine);
    printFigure("spell_keystroke", v.at("keyon") / v.at("keyoff"), 1.2);
}
LARK_BENCH_CASE(57, "spell_editor", spellCase);

}  // namespace
