// Lines shown several to a block: the text, positions, lines, edits, find, triple click and
// the scroll bar are those of the same editor showing a block a line.
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>
#include <algorithm>
#include <numeric>
#include <optional>
#include <string>

#include "editor/editor_capacity.h"
#include "editor/kept_documents.h"
#include "editor/line_groups.h"
#include "editor/long_lines.h"
#include "editor/note_editor.h"
#include "editor/shown_text.h"
#include "editor/text_codec.h"
#include "support/editor_steps.h"

using namespace lark::gui;
using guitest::putCaret;
using guitest::repeat;
using guitest::step;

namespace {

// Small groups, so that a test text of a few lines has many of them.
constexpr LineGrouping kSmall{1, 3, 40};

// Lines of different lengths (some empty), CR LF between them.
std::string lines(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += "\r\n";
        out += repeat("word" + std::to_string(i) + " ", static_cast<std::size_t>(i * 7 % 23));
    }
    return out;
}

// A grouping editor and a block-a-line one with the same text.
struct Pair {
    NoteEditor grouped;
    NoteEditor plain;
    explicit Pair(const std::string& text, LineGrouping grouping = kSmall, qsizetype longLine = kLongLine) {
        grouped.setLineGrouping(grouping);
        grouped.setLongLineLength(longLine);
        plain.setLineGrouping({1 << 30, 1, 1});
        plain.setLongLineLength(1 << 30);
        grouped.setText(text);
        plain.setText(text);
    }
};

// An editor without pieces against its own bytes: the caret's byte is the byte length of
// the characters before it, and the caret's line spans the bytes between two CR LF of text().
void checkAgainstBytes(const NoteEditor& e) {
    if (e.splitsLongLines()) return;
    const int caret = e.textCursor().position();
    const std::string all = e.text();
    const std::string before = EditorToText(e.document()->toRawText().left(caret));
    QCOMPARE(e.toBytePosition(caret), before.size());
    QCOMPARE(e.toEditorPosition(before.size()), caret);
    const std::size_t br = before.rfind("\r\n");
    const std::size_t start = br == std::string::npos ? 0 : br + 2;
    const std::size_t end = std::min(all.find("\r\n", start), all.size());
    const auto line = static_cast<int>(std::ranges::count(before, '\n'));
    QCOMPARE(e.lineInBytes(line), (std::optional<std::pair<std::size_t, std::size_t>>{{start, end - start}}));
}

// One step in both editors; false (the test has failed) once their texts or selections part.
bool stepBoth(Pair& p, const QString& token) {
    step(p.grouped, token);
    step(p.plain, token);
    [&] {
        QCOMPARE(p.grouped.text(), p.plain.text());
        QCOMPARE(p.grouped.selectionStart(), p.plain.selectionStart());
        QCOMPARE(p.grouped.selectionLength(), p.plain.selectionLength());
        checkAgainstBytes(p.plain);
        if (!QTest::currentTestFailed()) checkAgainstBytes(p.grouped);
    }();
    return !QTest::currentTestFailed();
}

// Numbers below n, the same sequence for the same seed.
struct Random {
    std::uint32_t x;
    std::uint32_t operator()(std::uint32_t n) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x % n;
    }
};

// U+2028 written as '|' for the tables.
QString bars(QString s) { return s.replace(QChar(QChar::LineSeparator), u'|'); }

// The conversions of `shown` against a model read straight from the characters of a plain
// document (a block a line): a line break two bytes, every other character one, a line's
// bytes between two line breaks, a word move that of the plain document's cursor. Checked
// at the bytes `at` (with the text between each and the next), and at the lines `lines`.
void checkShownAgainstPlain(const ShownText& shown, QTextDocument& plainDoc, const std::vector<std::size_t>& at,
                            const std::vector<int>& lines) {
    const QString chars = plainDoc.toPlainText();
    std::vector<std::size_t> byteOf{0};  // of every plain position
    std::vector<std::pair<std::size_t, std::size_t>> spans{{0, 0}};
    for (const QChar ch : chars) {
        byteOf.push_back(byteOf.back() + (ch == u'\n' ? 2 : 1));
        if (ch == u'\n') spans.emplace_back(byteOf.back(), 0);
        else ++spans.back().second;
    }
    QCOMPARE(shown.length(), chars.size());
    const auto positionOf = [&](std::size_t byte) {  // a byte inside a line break stands before it
        return static_cast<int>(std::ranges::upper_bound(byteOf, byte) - byteOf.begin()) - 1;
    };
    for (std::size_t k = 0; k < at.size(); ++k) {
        const int p = positionOf(at[k]);
        const int shownAt = shown.toPosition(at[k]);
        QCOMPARE(shown.toByte(shownAt), byteOf[static_cast<std::size_t>(p)]);
        for (const bool forward : {true, false}) {
            QTextCursor c(&plainDoc);
            c.setPosition(p);
            c.movePosition(forward ? QTextCursor::NextWord : QTextCursor::PreviousWord);
            QCOMPARE(shown.toByte(shown.wordMoveTarget(shownAt, forward)),
                     byteOf[static_cast<std::size_t>(c.position())]);
        }
        const int q = positionOf(at[(k + 1) % at.size()]);
        const int shownTo = shown.toPosition(at[(k + 1) % at.size()]);
        QCOMPARE(shown.plainText(std::min(shownAt, shownTo), std::max(shownAt, shownTo)),
                 chars.mid(std::min(p, q), std::abs(q - p)));
    }
    using Span = std::optional<std::pair<std::size_t, std::size_t>>;
    for (const int k : lines)
        QCOMPARE(shown.lineInBytes(k),
                 k < static_cast<int>(spans.size()) ? Span{spans[static_cast<std::size_t>(k)]} : Span{});
}

}  // namespace

class LineGroupsTest : public QObject {
    Q_OBJECT
private slots:
    void groupLines_data();
    void groupLines();
    void roundTrip_data();
    void roundTrip();
    void edits_data();
    void edits();
    void randomEditsMatchThePlainEditor_data();
    void randomEditsMatchThePlainEditor();
    void pastedTextShownAsIfShownAfresh_data();
    void pastedTextShownAsIfShownAfresh();
    void shownTextAgainstTheBytes_data();
    void shownTextAgainstTheBytes();
    void tripleClickSelectsTheLine();
    void scrollBarSpansTheLines();
    void sectionsShownAgainAgainstTheirBytes();
};

void LineGroupsTest::groupLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fromLines");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QList<int>>("groups");
    QTest::newRow("nominal: three lines a block") << "a\nb\nc\nd\ne" << 1 << "a|b|c\nd|e" << QList<int>{3, 2};
    QTest::newRow("nominal: fewer lines than the threshold stay") << "a\nb\nc" << 4 << "a\nb\nc" << QList<int>{};
    QTest::newRow("nominal: exactly the threshold") << "a\nb\nc\nd" << 4 << "a|b|c\nd" << QList<int>{3, 1};
    QTest::newRow("nominal: a block ends before it would pass 40 characters")
        << (QString(20, u'x') + "\n" + QString(19, u'y') + "\n" + "z") << 1
        << (QString(20, u'x') + "|" + QString(19, u'y') + "\n" + "z") << QList<int>{2, 1};
    QTest::newRow("robustness: a line longer than a block stands alone")
        << ("a\n" + QString(41, u'x') + "\nb\nc") << 1 << ("a\n" + QString(41, u'x') + "\nb|c") << QList<int>{1, 1, 2};
    QTest::newRow("robustness: empty lines and a closing line break") << "\n\n\n\n" << 1 << "||\n|" << QList<int>{3, 2};
    QTest::newRow("robustness: no line break") << "abc" << 1 << "abc" << QList<int>{1};
}

void LineGroupsTest::groupLines() {
    QFETCH(QString, text);
    QFETCH(int, fromLines);
    QFETCH(QString, shown);
    QFETCH(QList<int>, groups);
    LineGrouping grouping = kSmall;
    grouping.fromLines = fromLines;
    const std::vector<int> got = GroupLines(text, grouping);
    QCOMPARE(bars(text), shown);
    QCOMPARE(QList<int>(got.begin(), got.end()), groups);
}

void LineGroupsTest::roundTrip_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("longLine");
    const auto row = [](const char* name, const std::string& text, qsizetype longLine = kLongLine) {
        QTest::newRow(name) << QByteArray::fromStdString(text) << static_cast<int>(longLine);
    };
    row("nominal: lines of many lengths", lines(60));
    row("nominal: mixed CR LF, LF and CR", "one\r\ntwo\nthree\rfour\r\n\r\nfive\n");
    row("nominal: Cyrillic", repeat("\xcf\xf0\xe8\xe2\xe5\xf2\r\n\xec\xe8\xf0 ", 400));
    row("nominal: long lines in pieces among groups", lines(30) + "\r\n" + repeat("abc ", 300) + "\r\n" + lines(20),
        16);
    row("robustness: empty lines only", repeat("\r\n", 50));
    row("robustness: no-break spaces and control bytes", repeat("\xa0\x01\r\n\x7f\t", 120));
}

void LineGroupsTest::roundTrip() {
    QFETCH(QByteArray, text);
    QFETCH(int, longLine);
    const std::string bytes = text.toStdString();
    Pair p(bytes, kSmall, longLine);
    QVERIFY(p.grouped.groupsLines());
    QVERIFY(p.grouped.document()->blockCount() - p.grouped.hiddenBoundaries() < p.plain.document()->blockCount());
    QCOMPARE(p.grouped.text(), p.plain.text());
    QCOMPARE(p.grouped.printedText(), p.plain.toPlainText());
    QCOMPARE(EditorLength(p.grouped), EditorLength(p.plain));
    QVERIFY(!p.grouped.modified());
    QVERIFY(!p.grouped.document()->isUndoAvailable());
    // Every byte position, and every line, maps as in the plain editor.
    const std::string shown = p.plain.text();
    for (std::size_t at = 0; at <= shown.size() + 2; ++at) {
        p.grouped.select(at, 0);
        p.plain.select(at, 0);
        QCOMPARE(p.grouped.selectionStart(), p.plain.selectionStart());
        // (A boundary inside a long line is an editor position of its own.)
        if (p.grouped.hiddenBoundaries() == 0)
            QCOMPARE(p.grouped.textCursor().position(), p.plain.textCursor().position());
    }
    int line = 0;
    for (; p.plain.lineInBytes(line); ++line) QCOMPARE(p.grouped.lineInBytes(line), p.plain.lineInBytes(line));
    QCOMPARE(line, p.plain.document()->blockCount());
    QVERIFY(!p.grouped.lineInBytes(line));
    // The find answers as the plain editor's, from every line's start.
    for (const char* needle : {"word1", "\xec\xe8\xf0", "\r\nfour", "\x7f\t", "five"}) {
        for (int k = 0; k < line; k += 7) {
            const std::size_t from = p.plain.lineInBytes(k)->first;
            QCOMPARE(p.grouped.findText(needle, from), p.plain.findText(needle, from));
        }
    }
}

void LineGroupsTest::edits_data() {
    QTest::addColumn<int>("line");  // the caret at the start of this line
    QTest::addColumn<QString>("script");
    QTest::newRow("nominal: type inside a group") << 4 << "right xy";
    QTest::newRow("nominal: backspace joins a grouped line to the one before") << 4 << "bs bs x";
    QTest::newRow("nominal: delete joins the line after") << 4 << "left del del";
    QTest::newRow("nominal: enter splits a group") << 4 << "right enter enter z";
    QTest::newRow("nominal: shift+enter ends the line as enter does") << 4 << "right shift-enter z left shift-enter bs";
    QTest::newRow("nominal: paste lines into a group") << 7 << R"(paste:one\r\ntwo\nthree\rfour)";
    QTest::newRow("nominal: cut across groups, paste back")
        << 5 << "shift-right shift-right shift-right shift-right cut left paste";
    QTest::newRow("nominal: undo and redo a join") << 4 << "bs undo redo undo";
    QTest::newRow("nominal: moves over a separator") << 4 << "left x right right y word-left word-left z";
    QTest::newRow("nominal: word moves, selections and erases across line ends")
        << 5 << "word-right word-right word-right a word-left word-left b shift-word-right shift-word-right c";
    QTest::newRow("nominal: word erases across line ends") << 5 << "word-del word-del x word-bs word-bs word-bs y";
    QTest::newRow("robustness: erase a whole group") << 3 << "del del del del del del del del del del del bs bs undo";
}

void LineGroupsTest::edits() {
    QFETCH(int, line);
    QFETCH(QString, script);
    const std::string text = repeat("ab\r\ncd e\r\n\r\nfg\r\n", 96);
    Pair p(text);
    const std::size_t start = p.plain.lineInBytes(line)->first;
    p.grouped.select(start, 0);
    p.plain.select(start, 0);
    for (const QString& token : script.split(u' ')) {
        if (!stepBoth(p, token)) return;
        QCOMPARE(p.grouped.printedText(), p.plain.toPlainText());
        QCOMPARE(EditorLength(p.grouped), EditorLength(p.plain));
        QCOMPARE(p.grouped.modified(), p.plain.modified());
        for (int k : {0, line - 1, line, line + 1, line + 2})
            QCOMPARE(p.grouped.lineInBytes(k), p.plain.lineInBytes(k));
    }
    while (p.grouped.document()->isUndoAvailable()) p.grouped.undo();
    QCOMPARE(p.grouped.text(), Pair(text).plain.text());
}

void LineGroupsTest::randomEditsMatchThePlainEditor_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("longLine");
    QTest::newRow("nominal: grouped lines") << QByteArray::fromStdString(lines(120)) << static_cast<int>(kLongLine);
    QTest::newRow("nominal: grouped lines beside long lines in pieces")
        << QByteArray::fromStdString(lines(60) + "\r\n" + repeat("abc defgh ", 200) + "\r\n" + lines(30)) << 16;
    QTest::newRow("nominal: grouped lines beside a long line cut inside words")
        << QByteArray::fromStdString(lines(40) + "\r\n" + repeat("abcdefghijklmnopqrstu v", 300) + "\r\n" + lines(20))
        << 16;
}

void LineGroupsTest::randomEditsMatchThePlainEditor() {
    // Keys, carets and pastes at random, the same in both editors; compared at every step.
    // (Undo steps are grouped by Qt, which joins erased characters but not erased line
    // breaks of its own: undo is checked against the text shown first instead.)
    // LARKPAD_TEST_SEED=N plays another sequence.
    QFETCH(QByteArray, text);
    QFETCH(int, longLine);
    const QStringList tokens{"x",          "bs",          "del",      "enter",           "shift-enter", "left",
                             "right",      "shift-right", "cut",      "paste",           "paste:a\\nb", "word-left",
                             "word-right", "word-bs",     "word-del", "shift-word-right"};
    Pair p(text.toStdString(), kSmall, longLine);
    Random next{static_cast<std::uint32_t>(qEnvironmentVariableIntValue("LARKPAD_TEST_SEED")) | 12345u};
    for (int i = 0; i < 600; ++i) {
        if (next(8) == 0) {
            const std::size_t at = next(static_cast<std::uint32_t>(p.plain.text().size() + 1));
            p.grouped.select(at, 0);
            p.plain.select(at, 0);
        }
        const QString& token = tokens[static_cast<qsizetype>(next(static_cast<std::uint32_t>(tokens.size())))];
        if (!stepBoth(p, token)) return;
        // Both ways of showing answer as the plain document's characters do, at bytes and
        // lines at random and at the text's end.
        const auto bytes = static_cast<std::uint32_t>(p.plain.text().size());
        const std::vector<std::size_t> at{next(bytes + 1), next(bytes + 1), next(bytes + 1), bytes};
        const auto lineCount = static_cast<std::uint32_t>(p.plain.document()->blockCount());
        const std::vector<int> lines{static_cast<int>(next(lineCount)), static_cast<int>(lineCount)};
        for (const NoteEditor* e : {&p.grouped, &p.plain}) {
            checkShownAgainstPlain(e->shownText(), *p.plain.document(), at, lines);
            if (QTest::currentTestFailed()) return;
        }
    }
    QCOMPARE(p.grouped.printedText(), p.plain.toPlainText());
    while (p.grouped.document()->isUndoAvailable()) p.grouped.undo();
    QCOMPARE(p.grouped.text(), Pair(text.toStdString()).plain.text());
}

void LineGroupsTest::pastedTextShownAsIfShownAfresh_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("longLine");
    QTest::addColumn<QString>("pasted");
    const auto row = [](const char* name, const std::string& text, int longLine, const std::string& pasted) {
        QTest::newRow(name) << QByteArray::fromStdString(text) << longLine << QString::fromLatin1(pasted);
    };
    row("nominal: a long line pasted among short lines", lines(6), 16, repeat("abc defgh ", 300));
    row("nominal: a long line without blanks", "ab\r\ncd", 16, repeat("x", 200));
    row("nominal: many lines pasted", "one\r\ntwo", static_cast<int>(kLongLine), lines(90));
    row("nominal: long and short lines pasted into a long line", "x\r\n" + repeat("pq rs ", 60), 16,
        lines(20) + "\r\n" + repeat("abc defgh ", 40) + "\r\n" + lines(7));
    row("robustness: CR, LF and CR LF in the paste", "ab", 16, "one\rtwo\nthree\r\n" + repeat("four ", 30) + "\r\r\n");
}

// A paste is shown as the same text would be shown afresh: no block far longer than a
// piece, not many more blocks than a fresh showing makes; and everything read from the
// editor stays what a plain editor gives, while typing goes on.
void LineGroupsTest::pastedTextShownAsIfShownAfresh() {
    QFETCH(QByteArray, text);
    QFETCH(int, longLine);
    QFETCH(QString, pasted);
    Pair p(text.toStdString(), kSmall, longLine);
    // The middle of the second line: a piece after the first where the line is long.
    const auto second = p.plain.lineInBytes(1);
    const std::size_t middle = second ? second->first + second->second / 2 : 1;
    p.grouped.select(middle, 0);
    p.plain.select(middle, 0);
    QString token = pasted;
    if (!stepBoth(p, "paste:" + token.replace("\r", "\\r").replace("\n", "\\n"))) return;
    NoteEditor fresh;
    fresh.setLineGrouping(kSmall);
    fresh.setLongLineLength(longLine);
    fresh.setText(p.plain.text());
    QVERIFY2(p.grouped.document()->blockCount() <= fresh.document()->blockCount() + 2,
             qPrintable(QString::number(p.grouped.document()->blockCount())));
    for (QTextBlock b = p.grouped.document()->begin(); b.isValid(); b = b.next())
        QVERIFY(b.length() - 1 <= std::max<int>(kSmall.characters, 2 * longLine));
    for (std::size_t at = 0; at <= p.plain.text().size(); ++at) {
        p.grouped.select(at, 0);
        p.plain.select(at, 0);
        QCOMPARE(p.grouped.selectionStart(), p.plain.selectionStart());
    }
    for (int k = 0; p.plain.lineInBytes(k); ++k) QCOMPARE(p.grouped.lineInBytes(k), p.plain.lineInBytes(k));
    for (const char* step : {"x", "enter", "bs", "word-left", "shift-end", "cut", "undo", "undo"})
        if (!stepBoth(p, QString::fromLatin1(step))) return;
}

void LineGroupsTest::shownTextAgainstTheBytes_data() {
    QTest::addColumn<QByteArray>("text");
    const auto row = [](const char* name, const std::string& text) {
        QTest::newRow(name) << QByteArray::fromStdString(text);
    };
    row("nominal: lines of many lengths", lines(40));
    row("nominal: long lines among short ones", lines(12) + "\r\n" + repeat("abc defgh ", 90) + "\r\n" + lines(9));
    row("nominal: a long line cut inside words", "x\r\n" + repeat("abcdefghij", 30) + "\r\ny");
    row("nominal: mixed CR LF, LF and CR", "one\r\ntwo\nthree\rfour\r\n\r\nfive\n");
    row("robustness: empty lines only", repeat("\r\n", 30));
    row("robustness: no-break spaces, punctuation and Cyrillic", repeat("\xa0.,\xe0\xe1 \xcf\r\n", 160));
}

// Every way of showing against the bytes: the text, the length, every byte position,
// every line and every word move are those the bytes themselves give.
void LineGroupsTest::shownTextAgainstTheBytes() {
    QFETCH(QByteArray, text);
    // The bytes with CR LF for each line break, and the text as a plain editor shows it.
    std::string bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') bytes += text[i];
        else bytes += "\r\n";
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    std::vector<std::pair<std::size_t, std::size_t>> lineSpans;
    for (std::size_t start = 0;;) {
        const std::size_t br = bytes.find("\r\n", start);
        lineSpans.emplace_back(start, std::min(br, bytes.size()) - start);
        if (br == std::string::npos) break;
        start = br + 2;
    }
    QTextDocument plainDoc;
    ShownText plain(plainDoc);
    plain.setLineGrouping({1 << 30, 1, 1});
    plain.setLongLineLength(1 << 30);
    plain.show(text.toStdString());
    struct Way {
        LineGrouping grouping;
        qsizetype longLine;
        bool grouped;
        bool pieces;
    };
    const bool longLines = std::ranges::any_of(lineSpans, [](const auto& l) { return l.second > 16; });
    for (const Way& way : {Way{{1 << 30, 1, 1}, 1 << 30, false, false}, Way{kSmall, 1 << 30, true, false},
                           Way{{1 << 30, 1, 1}, 16, false, longLines}, Way{kSmall, 16, true, longLines}}) {
        QTextDocument doc;
        ShownText shown(doc);
        shown.setLineGrouping(way.grouping);
        shown.setLongLineLength(way.longLine);
        shown.show(text.toStdString());
        QCOMPARE(shown.grouped(), way.grouped && lineSpans.size() > 1);
        QCOMPARE(shown.hasPieces(), way.pieces);
        QCOMPARE(shown.bytes(), bytes);
        QCOMPARE(shown.plainText(), plainDoc.toPlainText());
        std::vector<std::size_t> at(bytes.size() + 1);
        std::iota(at.begin(), at.end(), std::size_t{0});
        std::vector<int> lines(lineSpans.size() + 1);
        std::iota(lines.begin(), lines.end(), 0);
        checkShownAgainstPlain(shown, plainDoc, at, lines);
    }
}

void LineGroupsTest::tripleClickSelectsTheLine() {
    // Lines 0-2 share a block; a triple click on each selects that line with its line break,
    // as in the plain editor.
    Pair p("first line\r\nsecond line\r\nthird line\r\nfourth line");
    for (NoteEditor* e : {&p.grouped, &p.plain}) {
        e->resize(400, 300);
        e->show();
        QVERIFY(QTest::qWaitForWindowExposed(e));
    }
    QCOMPARE(p.grouped.document()->blockCount(), 2);
    for (int line = 0; line < 4; ++line) {
        std::vector<std::pair<std::size_t, std::size_t>> selected;
        for (NoteEditor* e : {&p.grouped, &p.plain}) {
            const QRect caret = e->cursorRect(QTextCursor(e->document()));
            const QPoint at(caret.left() + 20, caret.center().y() + line * e->fontMetrics().lineSpacing());
            QTest::mouseDClick(e->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, at);
            selected.emplace_back(e->selectionStart(), e->selectionLength());
        }
        QCOMPARE(selected[0], selected[1]);
        QVERIFY(selected[0].second >= 10);
    }
}

void LineGroupsTest::scrollBarSpansTheLines() {
    const std::string text = lines(400);
    NoteEditor grouped;
    grouped.setLineGrouping({1, 32, 2048});
    grouped.resize(300, 200);
    grouped.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grouped));
    grouped.setText(text);
    QVERIFY(grouped.document()->blockCount() <= 400 / 10);
    // Against an editor made afresh with a block a line, the same font and the same size.
    const auto same = [&] {
        NoteEditor plain;
        plain.setLineGrouping({1 << 30, 1, 1});
        plain.setFont(grouped.font());
        plain.resize(grouped.size());
        plain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        plain.setText(text);
        QTRY_COMPARE(grouped.verticalScrollBar()->maximum(), plain.verticalScrollBar()->maximum());
        // The end of the text is where the plain editor has it.
        for (NoteEditor* e : {&grouped, &plain}) e->verticalScrollBar()->setValue(e->verticalScrollBar()->maximum());
        QTRY_COMPARE(grouped.cursorForPosition({5, 5}).position(), plain.cursorForPosition({5, 5}).position());
        grouped.verticalScrollBar()->setValue(0);
    };
    same();
    // The layout starts over with another font and after word wrap on and off.
    QFont f = grouped.font();
    f.setPointSize(f.pointSize() + 3);
    grouped.setFont(f);
    same();
    grouped.setLineWrapMode(QPlainTextEdit::WidgetWidth);
    grouped.setLineWrapMode(QPlainTextEdit::NoWrap);
    same();
}

// Large texts shown, edited, read (as a save does) or left unread (as discarding does) and
// shown again, at random, against the bytes each should show: a document kept from before is
// only ever shown for exactly its bytes, with nothing to undo; no more are kept than allowed.
void LineGroupsTest::sectionsShownAgainAgainstTheirBytes() {
    const std::size_t large = 5000;
    std::vector<std::string> sections{repeat("ab cd\r\nefg\r\n", large), repeat("ab cd\r\nefg\r\n", large),
                                      repeat("abc defgh ", large), repeat("xy\r\n", large), "small"};
    const std::size_t z = sections[1].find('e', large / 2);
    sections[1][z] = 'Z';  // as long as the first, one letter apart
    NoteEditor e;
    e.setLineGrouping(kSmall);
    e.setLongLineLength(16);
    e.setKeptDocumentsFrom(4000);
    std::size_t shown = 0;
    Random next{2463534242u};
    for (int i = 0; i < 300; ++i) {
        switch (next(4)) {
        case 0:
            // Typed somewhere.
            putCaret(e, static_cast<int>(next(static_cast<std::uint32_t>(e.document()->characterCount()))));
            step(e, next(2) ? "q" : "enter");
            break;
        case 1:
            // Saved: the section holds the bytes read.
            sections[shown] = e.text();
            e.setModified(false);
            break;
        default: {
            // Edits not saved are dropped; another section is shown.
            e.setModified(false);
            shown = next(static_cast<std::uint32_t>(sections.size()));
            e.setText(sections[shown]);
            QVERIFY(e.text() == sections[shown]);
            QVERIFY(!e.document()->isUndoAvailable() && !e.modified());
            QCOMPARE(e.textCursor().position(), 0);
            const std::size_t zAt = sections[shown].find('Z');
            QCOMPARE(e.findText("z", 0), zAt == std::string::npos ? std::nullopt : std::optional{zAt});
        }
        }
        QVERIFY(e.findChildren<QTextDocument*>(QString(), Qt::FindDirectChildrenOnly).size() <=
                static_cast<qsizetype>(1 + KeptDocuments::kKeptAtMost));
    }
    e.clear();
    QCOMPARE(e.findChildren<QTextDocument*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
}

QTEST_MAIN(LineGroupsTest)
#include "line_groups_test.moc"
