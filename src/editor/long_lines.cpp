#include "editor/long_lines.h"

#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>

namespace lark::gui {
namespace {

constexpr int kContinuesLine = QTextFormat::UserProperty + 1;

bool isBlank(QChar ch) { return ch == u' ' || ch == u'\t'; }

// The characters QTextCursor::insertText takes for a line break (a CR before an LF is
// part of the same break).
bool isLineBreak(QChar ch) {
    return ch == u'\n' || ch == u'\r' || ch == QChar::ParagraphSeparator || ch == QChar(0xfdd0) || ch == QChar(0xfdd1);
}

// The characters of [start, end) of the document, boundaries left out where marked.
QString rawRange(const QTextDocument& doc, int start, int end) {
    QString out;
    if (end <= start) return out;
    out.reserve(end - start);
    for (QTextBlock b = doc.findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        const int from = std::max(start - b.position(), 0);
        const int to = std::min(end - b.position(), b.length() - 1);
        if (to > from) out += QStringView(b.text()).mid(from, to - from);
        // The block's own separator lies within the range.
        const int separator = b.position() + b.length() - 1;
        if (separator >= start && separator < end && b.next().isValid() && !ContinuesLine(b.next()))
            out += QChar(QChar::ParagraphSeparator);
    }
    return out;
}

// The cursor's character format without the mark (which an empty piece passes on to
// what is typed into it).
QTextCharFormat plainFormat(const QTextCursor& cursor) {
    QTextCharFormat f = cursor.charFormat();
    f.clearProperty(kContinuesLine);
    return f;
}

}  // namespace

std::vector<qsizetype> DisplayBreaks(const QString& shown, qsizetype longLine) {
    std::vector<qsizetype> breaks;
    if (shown.size() <= longLine || longLine < 2) return breaks;
    const QStringView all(shown);
    qsizetype lineStart = 0;
    while (lineStart <= all.size()) {
        qsizetype lineEnd = all.indexOf(u'\n', lineStart);
        if (lineEnd < 0) lineEnd = all.size();
        qsizetype piece = lineStart;
        while (lineEnd - piece > longLine) {
            qsizetype cut = piece + longLine;
            // After a blank in the second half of the piece, if there is one.
            for (qsizetype j = cut; j > piece + longLine / 2; --j)
                if (isBlank(all[j - 1])) {
                    cut = j;
                    break;
                }
            if (all[cut].isLowSurrogate() && all[cut - 1].isHighSurrogate()) --cut;
            breaks.push_back(cut);
            piece = cut;
        }
        lineStart = lineEnd + 1;
    }
    return breaks;
}

// The mark is on the boundary character itself (its character format, which is what
// QTextBlock::charFormat gives for the block after it): it goes and comes back with that
// character whatever erases or restores it, which a block format does not (an erase from
// the start of one block into another keeps the format of the last).
bool ContinuesLine(const QTextBlock& block) {
    return block.position() > 0 && block.charFormat().boolProperty(kContinuesLine);
}

void MarkContinuations(QTextDocument& doc, const std::vector<qsizetype>& breaks) {
    if (breaks.empty()) return;
    const bool undo = doc.isUndoRedoEnabled();
    const bool modified = doc.isModified();
    {
        // A change of block formats only: nobody needs to hear of it, and it is no step
        // that could be undone.
        const QSignalBlocker quiet(&doc);
        doc.setUndoRedoEnabled(false);
        QTextCharFormat mark;
        mark.setProperty(kContinuesLine, true);
        QTextCursor c(&doc);
        // Within an edit block the cursor does not lay out the lines it is moved over.
        c.beginEditBlock();
        for (std::size_t k = 0; k < breaks.size(); ++k) {
            // The k breaks before this one each added a character.
            const int boundary = static_cast<int>(breaks[k] + static_cast<qsizetype>(k));
            c.setPosition(boundary);
            c.setPosition(boundary + 1, QTextCursor::KeepAnchor);
            c.mergeCharFormat(mark);
        }
        c.endEditBlock();
        doc.setUndoRedoEnabled(undo);
        doc.setModified(modified);
    }
}

int ContinuationCount(const QTextDocument& doc) {
    int n = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (ContinuesLine(b)) ++n;
    return n;
}

QString RawTextWithoutContinuations(const QTextDocument& doc) { return rawRange(doc, 0, doc.characterCount() - 1); }

QString PlainFromRaw(QString raw) {
    for (QChar& ch : raw) {
        const char16_t u = ch.unicode();
        if (u == QChar::ParagraphSeparator || u == QChar::LineSeparator || u == 0xfdd0 || u == 0xfdd1) ch = u'\n';
        else if (u == QChar::Nbsp) ch = u' ';
    }
    return raw;
}

QString SelectedPlainText(const QTextCursor& cursor) {
    return PlainFromRaw(rawRange(*cursor.document(), cursor.selectionStart(), cursor.selectionEnd()));
}

void InsertLineBreak(QTextCursor& cursor) { cursor.insertBlock(cursor.blockFormat(), plainFormat(cursor)); }

void InsertKeepingLines(QTextCursor& cursor, const QString& text, const std::vector<qsizetype>& pieces) {
    cursor.beginEditBlock();
    if (cursor.hasSelection()) cursor.removeSelectedText();
    QTextCharFormat mark = plainFormat(cursor);
    mark.setProperty(kContinuesLine, true);
    auto piece = pieces.begin();
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (piece != pieces.end() && *piece == i) {
            if (i > from) cursor.insertText(text.mid(from, i - from), plainFormat(cursor));
            cursor.insertBlock(cursor.blockFormat(), mark);
            from = i;
            ++piece;
        }
        if (!isLineBreak(text[i])) continue;
        if (i > from) cursor.insertText(text.mid(from, i - from), plainFormat(cursor));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        InsertLineBreak(cursor);
        from = i + 1;
    }
    if (from < text.size()) cursor.insertText(text.mid(from), plainFormat(cursor));
    cursor.endEditBlock();
}

int ErasedCharacter(const QTextDocument& doc, int position, bool forward) {
    int p = position;
    if (!forward) {
        while (p > 0) {
            const QTextBlock b = doc.findBlock(p);
            if (p != b.position() || !ContinuesLine(b)) return p - 1;
            p = b.position() - 1;  // the end of the block before
        }
        return -1;
    }
    for (;;) {
        const QTextBlock b = doc.findBlock(p);
        if (!b.isValid()) return -1;
        if (p < b.position() + b.length() - 1) return p;
        const QTextBlock next = b.next();
        if (!next.isValid()) return -1;
        if (!ContinuesLine(next)) return p;
        p = next.position();
    }
}

}  // namespace lark::gui
