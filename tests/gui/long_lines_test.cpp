// Long lines shown in pieces: the text, positions, edits, clipboard, find and capacity
// are those of the same editor showing the lines whole.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QtTest>
#include <string>

#include "editor/edit_clipboard.h"
#include "editor/editor_capacity.h"
#include "editor/editor_links.h"
#include "editor/long_lines.h"
#include "editor/note_editor.h"
#include "editor/text_codec.h"
#include "support/editor_steps.h"

using namespace lark::gui;
using guitest::putCaret;
using guitest::repeat;
using guitest::step;

namespace {

// Short pieces, so that a test text of a few hundred characters has many boundaries.
constexpr qsizetype kPiece = 16;

// Words and blanks, the same every run.
std::string words(std::size_t bytes) { return repeat("lorem ipsum dolor sit amet consectetur ", bytes); }

// A piece-showing editor and a whole-line one with the same text.
struct Pair {
    NoteEditor split;
    NoteEditor whole;
    explicit Pair(const std::string& text, qsizetype piece = kPiece) {
        split.setLongLineLength(piece);
        whole.setLongLineLength(1 << 30);
        split.setText(text);
        whole.setText(text);
    }
};

// The editor position of the boundary before the k-th marked block.
int boundary(const NoteEditor& e, int k) {
    int seen = 0;
    for (QTextBlock b = e.document()->begin(); b.isValid(); b = b.next())
        if (ContinuesLine(b) && seen++ == k) return b.position();
    return -1;
}

}  // namespace

class LongLinesTest : public QObject {
    Q_OBJECT
private slots:
    void displayBreaks_data();
    void displayBreaks();
    void roundTrip_data();
    void roundTrip();
    void edits_data();
    void edits();
    void copyAcrossBoundaries_data();
    void copyAcrossBoundaries();
    void findAndSelect_data();
    void findAndSelect();
    void plainFromRaw();
    void linksInPieces();
    void pieceStartsMarkedInTheMargin();
    void capacityCountsTheTextNotThePieces();
    void scrollBarsComeBackAsNeeded();
};

void LongLinesTest::displayBreaks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QList<qsizetype>>("breaks");
    QTest::newRow("nominal: at the limit, no break") << QString(8, u'a') << 8 << QList<qsizetype>{};
    QTest::newRow("nominal: one over the limit") << QString(9, u'a') << 8 << QList<qsizetype>{8};
    QTest::newRow("nominal: after the last blank of the second half")
        << QStringLiteral("abcde fgxyz") << 8 << QList<qsizetype>{6};
    QTest::newRow("nominal: a blank in the first half is not taken")
        << QStringLiteral("a bcdefghij") << 8 << QList<qsizetype>{8};
    QTest::newRow("nominal: each long line on its own")
        << QStringLiteral("aaaaaaaaaa\nbb\ncccccccccccccccccc") << 8 << QList<qsizetype>{8, 22, 30};
    QTest::newRow("robustness: a line exactly at the limit beside long ones")
        << QStringLiteral("aaaaaaaa\naaaaaaaaa\n") << 8 << QList<qsizetype>{17};
    QTest::newRow("robustness: no cut between a surrogate pair")
        << (QString(7, u'a') + QStringLiteral("\U0001F600bb")) << 8 << QList<qsizetype>{7};
    QTest::newRow("robustness: line breaks only") << QStringLiteral("\n\n\n\n\n\n\n\n\n\n") << 4 << QList<qsizetype>{};
}

void LongLinesTest::displayBreaks() {
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(QList<qsizetype>, breaks);
    const std::vector<qsizetype> got = DisplayBreaks(text, limit);
    QCOMPARE(QList<qsizetype>(got.begin(), got.end()), breaks);
}

void LongLinesTest::roundTrip_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("piece");
    QTest::addColumn<bool>("splits");
    const auto row = [](const char* name, const std::string& text, int piece, bool splits) {
        QTest::newRow(name) << QByteArray::fromStdString(text) << piece << splits;
    };
    row("nominal: 2 MB in one line, real piece length", words(2u << 20), static_cast<int>(kLongLine), true);
    row("nominal: one line without blanks", repeat("x", 500), 16, true);
    row("nominal: mixed CR LF, LF and CR", words(100) + "\r\n" + words(70) + "\n" + words(40) + "\r" + words(90), 16,
        true);
    row("nominal: Cyrillic", repeat("\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0 ", 300) + "\r\n\xe0\xe1", 16, true);
    const auto atLength = static_cast<std::size_t>(kLongLine);
    row("nominal: a line exactly at the length stays whole", repeat("ab ", atLength), static_cast<int>(kLongLine),
        false);
    row("robustness: one over the length", repeat("ab ", atLength + 1), static_cast<int>(kLongLine), true);
    row("robustness: lines around the length", repeat("a", 15) + "\r\n" + repeat("b", 16) + "\r\n" + repeat("c", 17),
        16, true);
    std::string control;
    for (int c = 1; c < 32; ++c)
        if (c != '\r' && c != '\n') control += static_cast<char>(c);
    control += "\x7f\x98\xa0\xad";
    row("robustness: control bytes, no-break space, soft hyphen", repeat(control, 400), 16, true);
    row("robustness: empty lines and a closing line break", "\r\n\r\n" + words(100) + "\r\n\r\n", 16, true);
    row("robustness: blanks only", repeat(" ", 200), 16, true);
    row("nominal: short text keeps the plain path", "a few words\r\nand more", 16, false);
}

void LongLinesTest::roundTrip() {
    QFETCH(QByteArray, text);
    QFETCH(int, piece);
    QFETCH(bool, splits);
    const std::string bytes = text.toStdString();
    Pair p(bytes, piece);
    QCOMPARE(p.split.splitsLongLines(), splits);
    QCOMPARE(p.whole.splitsLongLines(), false);
    for (QTextBlock b = p.split.document()->begin(); b.isValid(); b = b.next()) QVERIFY(b.length() - 1 <= piece);
    // Read back exactly as the whole-line editor reads it.
    QCOMPARE(p.split.text(), p.whole.text());
    QCOMPARE(p.split.printedText(), p.whole.toPlainText());
    QCOMPARE(EditorLength(p.split), EditorLength(p.whole));
    QVERIFY(!p.split.modified());
    QVERIFY(!p.split.document()->isUndoAvailable());
    // Every byte position maps to the same byte position again.
    for (std::size_t at = 0; at <= bytes.size(); at += 1 + bytes.size() / 97) {
        p.split.select(at, 0);
        p.whole.select(at, 0);
        QCOMPARE(p.split.selectionStart(), p.whole.selectionStart());
    }
    // A line's place (what find-all rows are shown by) is that of the whole line.
    for (int line = 0; line <= p.whole.document()->blockCount(); ++line)
        QCOMPARE(p.split.lineInBytes(line), p.whole.lineInBytes(line));
}

void LongLinesTest::edits_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("boundary");
    QTest::addColumn<bool>("afterBoundary");  // the caret at the start of the piece, or the end of the one before
    QTest::addColumn<int>("selectBytes");     // then a selection of so many bytes from the caret
    QTest::addColumn<QString>("script");
    const QByteArray line = QByteArray::fromStdString(repeat("abcdefghij", 200));
    const QByteArray lines = "head\r\n" + line + "\r\nmid\r\n" + line + "\r\n";
    QTest::newRow("nominal: type after the boundary") << line << 2 << true << 0 << "xy";
    QTest::newRow("nominal: type before the boundary") << line << 2 << false << 0 << "xy";
    QTest::newRow("nominal: backspace after the boundary") << line << 3 << true << 0 << "bs bs bs";
    QTest::newRow("nominal: backspace before the boundary") << line << 3 << false << 0 << "bs";
    QTest::newRow("nominal: delete before the boundary") << line << 3 << false << 0 << "del del";
    QTest::newRow("nominal: delete after the boundary") << line << 3 << true << 0 << "del";
    QTest::newRow("nominal: enter at the boundary, then type") << line << 1 << true << 0 << "enter z";
    QTest::newRow("nominal: enter before the boundary") << line << 1 << false << 0 << "enter enter bs";
    QTest::newRow("nominal: a selection across the boundary, typed over") << line << 4 << false << -5 << "q";
    QTest::newRow("nominal: a selection across two boundaries, erased") << line << 4 << true << 40 << "bs";
    QTest::newRow("nominal: a selection across a boundary, replaced by a line break")
        << line << 4 << true << 9 << "enter";
    QTest::newRow("nominal: paste lines at the boundary")
        << line << 5 << true << 0 << R"(paste:one\r\ntwo\nthree\rfour)";
    QTest::newRow("nominal: cut across the boundary, paste back") << line << 5 << false << 20 << "cut left paste";
    QTest::newRow("nominal: undo and redo an erase across the boundary")
        << line << 2 << true << 0 << "bs undo redo undo";
    QTest::newRow("nominal: undo and redo a line break at the boundary")
        << line << 2 << true << 0 << "enter undo redo x undo undo";
    QTest::newRow("nominal: undo a selection erased across boundaries") << line << 2 << true << 50 << "del undo";
    QTest::newRow("nominal: left and right over the boundary") << line << 3 << true << 0 << "left x right right y";
    QTest::newRow("nominal: left and right from before the boundary")
        << line << 3 << false << 0 << "right x left left y";
    QTest::newRow("nominal: a selection grown over the boundary")
        << line << 3 << false << 0 << "shift-right shift-right shift-left shift-left shift-left bs";
    // (Word moves stop at a boundary cut inside a word; pieces end after a blank where they can.)
    QTest::newRow("nominal: end goes to the end of the line, home to its start")
        << lines << 3 << true << 0 << "end x home y end end z shift-home bs";
    QTest::newRow("nominal: shift+end selects to the end of the line")
        << line << 2 << false << 0 << "shift-end shift-end bs home shift-end del";
    QTest::newRow("nominal: word moves over the boundary")
        << QByteArray::fromStdString(words(300)) << 3 << true << 0 << "word-left z word-right word-right w";
    QTest::newRow("robustness: backspace empties a piece and goes on")
        << line << 6 << true << 0 << "bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs";
    QTest::newRow("robustness: moves and word erases over an emptied piece")
        << QByteArray::fromStdString(words(400)) << 6 << true << 0
        << "bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs left right right word-left word-right word-del "
           "word-left word-bs";
    QTest::newRow("robustness: a line break typed into an emptied piece")
        << line << 6 << true << 0 << "bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs enter x";
    QTest::newRow("robustness: delete empties a piece and goes on")
        << line << 6 << true << 0 << "del del del del del del del del del del del del del del del del del del del";
    // Two lines of 200 characters in pieces of 16: boundaries 0-11 in the first, 12-23 in
    // the second.
    QTest::newRow("nominal: the first boundary after a short line") << lines << 0 << true << 0 << "bs enter";
    QTest::newRow("robustness: a selection from a long line into the next line")
        << lines << 11 << true << 30 << "bs undo";
    QTest::newRow("robustness: backspace on into a real line break")
        << lines << 12 << true << 0 << "bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs bs undo";
}

void LongLinesTest::edits() {
    QFETCH(QByteArray, text);
    QFETCH(int, boundary);
    QFETCH(bool, afterBoundary);
    QFETCH(int, selectBytes);
    QFETCH(QString, script);
    Pair p(text.toStdString());
    QVERIFY(p.split.splitsLongLines());
    const int at = ::boundary(p.split, boundary);
    QVERIFY(at > 0);
    const int caret = afterBoundary ? at : at - 1;
    putCaret(p.split, caret);
    const std::size_t byte = p.split.selectionStart();
    p.whole.select(byte, 0);
    if (selectBytes != 0) {
        const std::size_t from = selectBytes < 0 ? byte - static_cast<std::size_t>(-selectBytes) : byte;
        p.split.select(from, static_cast<std::size_t>(std::abs(selectBytes)));
        p.whole.select(from, static_cast<std::size_t>(std::abs(selectBytes)));
        QCOMPARE(p.split.textCursor().selectedText().remove(QChar::ParagraphSeparator).size(),
                 p.whole.textCursor().selectedText().remove(QChar::ParagraphSeparator).size());
    }
    for (const QString& token : script.split(u' ')) {
        step(p.split, token);
        step(p.whole, token);
        QCOMPARE(p.split.text(), p.whole.text());
        QCOMPARE(p.split.selectionStart(), p.whole.selectionStart());
        QCOMPARE(p.split.selectionLength(), p.whole.selectionLength());
        QCOMPARE(p.split.printedText(), p.whole.toPlainText());
        QCOMPARE(EditorLength(p.split), EditorLength(p.whole));
        QCOMPARE(p.split.modified(), p.whole.modified());
    }
    // Everything undone gives the text shown.
    while (p.split.document()->isUndoAvailable()) p.split.undo();
    QCOMPARE(p.split.text(), Pair(text.toStdString()).whole.text());
}

void LongLinesTest::copyAcrossBoundaries_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("length");
    const QByteArray line = QByteArray::fromStdString(words(300));
    QTest::newRow("nominal: across one boundary") << line << 10 << 10;
    QTest::newRow("nominal: across many boundaries") << line << 3 << 250;
    QTest::newRow("nominal: a real line break copied as one") << "x\r\n" + line + "\r\nend" << 0 << 40;
    QTest::newRow("nominal: no-break spaces and Cyrillic")
        << QByteArray(QByteArray::fromStdString(repeat("\xe0\xa0\xe1 ", 120))) << 5 << 100;
    QTest::newRow("robustness: the selection ends on a boundary") << line << 0 << 16;
    QTest::newRow("robustness: the whole text") << line + "\r\n" << 0 << 302;
}

void LongLinesTest::copyAcrossBoundaries() {
    QFETCH(QByteArray, text);
    QFETCH(int, from);
    QFETCH(int, length);
    Pair p(text.toStdString());
    QVERIFY(p.split.splitsLongLines());
    QClipboard& clipboard = *QApplication::clipboard();
    p.whole.select(static_cast<std::size_t>(from), static_cast<std::size_t>(length));
    QVERIFY(CopyAsPlainText(p.whole, clipboard));
    const QString expected = clipboard.text();
    clipboard.clear();
    p.split.select(static_cast<std::size_t>(from), static_cast<std::size_t>(length));
    QVERIFY(CopyAsPlainText(p.split, clipboard));
    QCOMPARE(clipboard.text(), expected);
    QCOMPARE(clipboard.mimeData()->formats(), QStringList{"text/plain"});
}

void LongLinesTest::findAndSelect_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<int>("from");
    const QByteArray line = QByteArray::fromStdString(repeat("abcdefghij", 100));
    const QByteArray lines = "head\r\n" + line + "\r\n\r\n" + line + "XYZ";
    QTest::newRow("nominal: across a boundary") << line << QByteArray("opqrs") << 0;
    QTest::newRow("nominal: right after a boundary") << line << QByteArray("ghij") << 20;
    QTest::newRow("nominal: in the second long line") << lines << QByteArray("jxyz") << 0;
    QTest::newRow("nominal: a needle with a line break") << lines << QByteArray("ij\r\n\r\nab") << 0;
    QTest::newRow("robustness: from a byte past a boundary") << lines << QByteArray("cdef") << 311;
    QTest::newRow("robustness: not found") << lines << QByteArray("jj") << 0;
}

void LongLinesTest::findAndSelect() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, needle);
    QFETCH(int, from);
    Pair p(text.toStdString());
    QVERIFY(p.split.splitsLongLines());
    const std::string lowered = needle.toLower().toStdString();
    const auto got = p.split.findText(lowered, static_cast<std::size_t>(from));
    const auto want = p.whole.findText(lowered, static_cast<std::size_t>(from));
    QCOMPARE(got.has_value(), want.has_value());
    if (!got) return;
    QCOMPARE(*got, *want);
    p.split.select(*got, lowered.size());
    p.whole.select(*want, lowered.size());
    QCOMPARE(p.split.selectionStart(), *want);
    QCOMPARE(p.split.selectionLength(), lowered.size());
    QCOMPARE(SelectedPlainText(p.split.textCursor()), p.whole.textCursor().selection().toPlainText());
    // The bytes selected are the needle's.
    QCOMPARE(QByteArray::fromStdString(p.split.text().substr(*got, lowered.size())).toLower(), needle.toLower());
}

void LongLinesTest::plainFromRaw() {
    // The raw characters that the plain text shows differently.
    QTextDocument doc;
    QTextCursor(&doc).insertText(QStringLiteral("a\u00a0b\u2028c\u2029d\ufdd0e\ufdd1f\u00adg\th\u200b"));
    QCOMPARE(PlainFromRaw(doc.toRawText()), doc.toPlainText());
    QCOMPARE(PlainFromRaw(QStringLiteral("a\u00a0b\u2028c")), QStringLiteral("a b\nc"));
}

void LongLinesTest::linksInPieces() {
    // Pieces end after blanks, so no link is cut: the links of the pieces are those of the line.
    const std::string unit = "see http://example.com/a_long_path?q=1 or www.example.org ";
    const std::string line = repeat(unit, unit.size() * 5000);
    NoteEditor editor;
    editor.setText(line);
    QVERIFY(editor.splitsLongLines());
    QStringList inPieces;
    for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next())
        for (const auto& [start, length] : LinksInLine(b.text())) inPieces << b.text().mid(start, length);
    QStringList whole;
    const QString shown = TextToEditor(line);
    for (const auto& [start, length] : LinksInLine(shown)) whole << shown.mid(start, length);
    QCOMPARE(inPieces.size(), 10000);
    QCOMPARE(inPieces, whole);
}

void LongLinesTest::pieceStartsMarkedInTheMargin() {
    NoteEditor editor;
    editor.setLongLineLength(kPiece);
    editor.resize(400, 300);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.setText("short\r\n" + words(60) + "\r\n\r\nend");
    QVERIFY(editor.hiddenBoundaries() >= 3);
    const QImage shot = editor.viewport()->grab().toImage();
    const QColor mark = editor.palette().color(QPalette::Link);
    int marks = 0;
    for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next()) {
        const int y = editor.cursorRect(QTextCursor(b)).center().y();
        const bool marked =
            shot.pixelColor(0, y) == mark && shot.pixelColor(NoteEditor::kPieceMarkWidth - 1, y) == mark;
        QCOMPARE(marked, ContinuesLine(b));
        marks += marked ? 1 : 0;
        // Never as wide as the text's own margin.
        QVERIFY(shot.pixelColor(NoteEditor::kPieceMarkWidth, y) != mark);
    }
    QCOMPARE(marks, editor.hiddenBoundaries());
}

// A line in pieces one short of the capacity: the document holds a boundary more per
// piece, yet one more character fits, and only one; a selection across a boundary makes
// room for the characters of the text it holds, not for the boundary.
void LongLinesTest::capacityCountsTheTextNotThePieces() {
    NoteEditor editor;
    new CapacityGuard(&editor);
    editor.setText(repeat("abcdefg ", static_cast<std::size_t>(kEditorCapacity - 1)));
    QVERIFY(editor.hiddenBoundaries() > 1000);
    QCOMPARE(EditorLength(editor), kEditorCapacity - 1);
    editor.moveCursor(QTextCursor::End);
    QTest::keyClicks(&editor, QStringLiteral("xy"));
    QCOMPARE(EditorLength(editor), kEditorCapacity);
    QCOMPARE(editor.text().back(), 'x');
    const std::size_t across = editor.toBytePosition(boundary(editor, 0)) - 2;
    QClipboard& clipboard = *QApplication::clipboard();
    for (const auto& [pasted, fits] : {std::pair{"12345", false}, std::pair{"1234", true}}) {
        editor.select(across, 4);
        clipboard.setText(QString::fromLatin1(pasted));
        QCOMPARE(PasteAsPlainText(editor, clipboard), fits);
        QCOMPARE(EditorLength(editor), kEditorCapacity);
    }
    QCOMPARE(editor.text().substr(across, 4), std::string("1234"));
}

void LongLinesTest::scrollBarsComeBackAsNeeded() {
    NoteEditor editor;
    editor.resize(300, 200);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.setText(repeat("line\r\n", std::size_t{7} * 5000));
    QCOMPARE(editor.verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(editor.horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QVERIFY(editor.verticalScrollBar()->isVisible());
    QVERIFY(!editor.horizontalScrollBar()->isVisible());
    editor.setText(words(1 << 16));
    QCOMPARE(editor.horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QVERIFY(editor.horizontalScrollBar()->isVisible());
    // A short text afterwards: no scroll bar is left behind.
    editor.setText("a few words");
    QTRY_VERIFY(!editor.verticalScrollBar()->isVisible());
    QTRY_VERIFY(!editor.horizontalScrollBar()->isVisible());
}

QTEST_MAIN(LongLinesTest)
#include "long_lines_test.moc"
