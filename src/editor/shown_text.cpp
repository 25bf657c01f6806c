#include "editor/shown_text.h"

#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <vector>

#include "editor/long_lines.h"
#include "editor/text_codec.h"

namespace lark::gui {

ShownText::ShownText(QTextDocument& doc) : doc_(&doc), longLine_(kLongLine) {}

QString ShownText::show(std::string_view bytes, const Fill& fill) {
    QString shown = TextToEditor(bytes);
    const std::vector<qsizetype> breaks = DisplayBreaks(shown, longLine_);
    split_ = !breaks.empty();
    qsizetype lines = static_cast<qsizetype>(breaks.size()) + 1;
    qsizetype longest = 0;
    for (qsizetype from = 0; from <= shown.size();) {
        qsizetype end = shown.indexOf(u'\n', from);
        if (end < 0) end = shown.size();
        longest = std::max(longest, end - from);
        ++lines;
        from = end + 1;
    }
    if (split_) longest = std::min(longest, longLine_);
    // A line too long to show whole never joins a group, so the pieces of long lines and
    // the groups never share a block.
    LineGrouping grouping = grouping_;
    grouping.characters = std::min(grouping.characters, longLine_);
    const std::vector<int> groups = GroupLines(shown, grouping);
    grouped_ = !groups.empty();
    QString chars;
    if (!split_) {
        chars = shown;
    } else {
        chars.reserve(shown.size() + static_cast<qsizetype>(breaks.size()));
        qsizetype from = 0;
        for (const qsizetype b : breaks) {
            chars += QStringView(shown).mid(from, b - from);
            chars += u'\n';
            from = b;
        }
        chars += QStringView(shown).mid(from);
    }
    if (fill) {
        fill(lines, longest, chars);
    } else {
        // As a plain-text editor fills its document: no undo step, nothing changed.
        const bool undo = doc_->isUndoRedoEnabled();
        doc_->setUndoRedoEnabled(false);
        doc_->setPlainText(chars);
        doc_->setUndoRedoEnabled(undo);
        doc_->setModified(false);
    }
    if (split_) MarkContinuations(*doc_, breaks);
    if (grouped_) {
        // The counts are those of the blocks made, unless the document made others.
        const bool aligned = static_cast<std::size_t>(doc_->blockCount()) == groups.size() + breaks.size();
        CountGroupedLines(*doc_, aligned ? groups : std::vector<int>{});
    }
    starts_.clear();
    return split_ ? QString() : chars;
}

void ShownText::clear() {
    starts_.clear();
    split_ = false;
    grouped_ = false;
}

void ShownText::adopt(QTextDocument& doc, Shape shape) {
    doc_ = &doc;
    split_ = shape.pieces;
    grouped_ = shape.grouped;
    starts_.clear();
}

int ShownText::hiddenBoundaries() const { return split_ ? ContinuationCount(*doc_) : 0; }

std::string ShownText::bytes(qsizetype* replaced) const {
    // toRawText keeps no-break spaces and paragraph separators as they are.
    return EditorToText(split_ ? RawTextWithoutContinuations(*doc_) : doc_->toRawText(), replaced);
}

QString ShownText::plainText() const {
    return split_ ? PlainFromRaw(RawTextWithoutContinuations(*doc_)) : doc_->toPlainText();
}

QString ShownText::plainText(int from, int to) const {
    QTextCursor c(doc_);
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    return SelectedPlainText(c);
}

qsizetype ShownText::length() const { return doc_->characterCount() - 1 - hiddenBoundaries(); }

std::size_t ShownText::blockStart(int number, std::size_t beyondByte) const {
    // Every line break is two bytes; a boundary inside a long line is none.
    if (starts_.empty()) starts_.push_back(0);
    const auto want = static_cast<std::size_t>(std::max(number, 0));
    if (starts_.size() <= want || starts_.back() <= beyondByte) {
        QTextBlock b = doc_->findBlockByNumber(static_cast<int>(starts_.size()) - 1);
        for (QTextBlock next = b.next(); next.isValid() && (starts_.size() <= want || starts_.back() <= beyondByte);
             next = b.next()) {
            std::size_t bytes = static_cast<std::size_t>(b.length() - 1);
            if (grouped_) bytes += static_cast<std::size_t>(SeparatorsIn(b));
            if (!(split_ && ContinuesLine(next))) bytes += 2;
            starts_.push_back(starts_.back() + bytes);
            b = next;
        }
    }
    return starts_[std::min(want, starts_.size() - 1)];
}

std::size_t ShownText::bytesBefore(const QTextBlock& block, int offset) const {
    std::size_t bytes = blockStart(block.blockNumber()) + static_cast<std::size_t>(offset);
    if (grouped_ && offset > 0 && SeparatorsIn(block) > 0)
        bytes += static_cast<std::size_t>(QStringView(block.text()).left(offset).count(QChar(QChar::LineSeparator)));
    return bytes;
}

std::size_t ShownText::toByte(int position) const {
    const QTextBlock found = doc_->findBlock(position);
    const QTextBlock block = found.isValid() ? found : doc_->lastBlock();
    if (grouped_ || split_) return bytesBefore(block, position - block.position());
    // One block a line: a line break is two bytes.
    return static_cast<std::size_t>(position) + static_cast<std::size_t>(std::max(block.blockNumber(), 0));
}

int ShownText::toPosition(std::size_t byte) const {
    if (grouped_ || split_) {
        // The last block starting at or before the byte (the block starts known up to one
        // beyond it).
        blockStart(0, byte);
        const auto k = static_cast<int>(std::upper_bound(starts_.begin(), starts_.end(), byte) - starts_.begin()) - 1;
        const QTextBlock b = doc_->findBlockByNumber(std::max(k, 0));
        const std::size_t start = starts_[static_cast<std::size_t>(std::max(k, 0))];
        // Within the block a separator is two bytes; a byte inside one stands before it.
        const std::size_t want = byte - start;
        const int length = b.length() - 1;
        if (!grouped_ || SeparatorsIn(b) == 0)
            return b.position() + static_cast<int>(std::min<std::size_t>(want, static_cast<std::size_t>(length)));
        const QString t = b.text();
        std::size_t bytes = 0;
        int offset = 0;
        for (; offset < length; ++offset) {
            const std::size_t width = t[offset] == QChar(QChar::LineSeparator) ? 2 : 1;
            if (bytes + width > want) break;
            bytes += width;
        }
        return b.position() + offset;
    }
    // Line n starts at byte (its editor position + n); find the last line starting at or
    // before the byte.
    int lo = 0, hi = doc_->blockCount() - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        const std::size_t start =
            static_cast<std::size_t>(doc_->findBlockByNumber(mid).position()) + static_cast<std::size_t>(mid);
        if (start <= byte) lo = mid;
        else hi = mid - 1;
    }
    const QTextBlock block = doc_->findBlockByNumber(lo);
    const std::size_t start = static_cast<std::size_t>(block.position()) + static_cast<std::size_t>(lo);
    const int offset =
        static_cast<int>(std::min<std::size_t>(byte - start, static_cast<std::size_t>(block.length() - 1)));
    return block.position() + offset;
}

std::optional<std::pair<std::size_t, std::size_t>> ShownText::lineInBytes(int line) const {
    if (line < 0) return std::nullopt;
    if (!grouped_ && !split_) {
        const QTextBlock block = doc_->findBlockByNumber(line);
        if (!block.isValid()) return std::nullopt;
        return std::pair{static_cast<std::size_t>(block.position() + line),
                         static_cast<std::size_t>(block.length() - 1)};
    }
    // Lines span blocks or share them: walk the blocks, counting the lines that start in
    // each and its bytes, to the block where the line starts.
    const auto separator = QChar(QChar::LineSeparator);
    std::size_t byte = 0;
    int seen = 0;
    QTextBlock b = doc_->begin();
    for (; b.isValid(); b = b.next()) {
        const int separators = grouped_ ? SeparatorsIn(b) : 0;
        const bool startsLine = !(split_ && ContinuesLine(b));
        if (seen + (startsLine ? 1 : 0) + separators > line) break;
        seen += (startsLine ? 1 : 0) + separators;
        byte += static_cast<std::size_t>(b.length() - 1 + separators);
        if (b.next().isValid() && !(split_ && ContinuesLine(b.next()))) byte += 2;
    }
    if (!b.isValid()) return std::nullopt;
    // The line starts at the block's start or after one of its separators (each two bytes).
    const QString t = b.text();
    const int after = line - seen + (split_ && ContinuesLine(b) ? 1 : 0);
    qsizetype offset = 0;
    for (int k = 0; k < after; ++k) offset = t.indexOf(separator, offset) + 1;
    const std::size_t start = byte + static_cast<std::size_t>(offset + after);
    // It ends at the next separator, or goes on into the pieces that continue it.
    qsizetype end = t.indexOf(separator, offset);
    std::size_t length = static_cast<std::size_t>((end < 0 ? t.size() : end) - offset);
    for (QTextBlock next = b.next(); end < 0 && split_ && next.isValid() && ContinuesLine(next); next = next.next()) {
        const QString piece = next.text();
        end = piece.indexOf(separator);
        length += static_cast<std::size_t>(end < 0 ? piece.size() : end);
    }
    return std::pair{start, length};
}

bool ShownText::samePlace(int a, int b) const {
    if (a == b) return true;
    if (!split_) return false;
    // Nothing but boundaries inside long lines between them (looked at one by one, up to
    // the first that is none, not counted from the text's start).
    for (int p = std::min(a, b); p < std::max(a, b); ++p) {
        const QTextBlock block = doc_->findBlock(p);
        if (p != block.position() + block.length() - 1 || !block.next().isValid() || !ContinuesLine(block.next()))
            return false;
    }
    return true;
}

int ShownText::wordMoveTarget(int from, bool forward) const {
    const auto step = [this, forward](int at) {
        // Where lines are grouped, the layout of a block would take a line separator for
        // a blank between words.
        const auto separator = QChar(QChar::LineSeparator);
        if (forward ? doc_->characterAt(at) == separator : at > 0 && doc_->characterAt(at - 1) == separator)
            return forward ? at + 1 : at - 1;
        QTextCursor c(doc_);
        c.setPosition(at);
        c.movePosition(forward ? QTextCursor::NextWord : QTextCursor::PreviousWord);
        const int to = c.position();
        const QTextBlock block = doc_->findBlock(at);
        if (!grouped_ || doc_->findBlock(to) != block) return to;
        const QString t = block.text();
        const int start = block.position();
        if (forward) {
            const qsizetype k = t.indexOf(separator, at - start);
            return k >= 0 && start + k < to ? start + static_cast<int>(k) : to;
        }
        const qsizetype k = at - start > 0 ? t.lastIndexOf(separator, at - start - 1) : -1;
        return k >= 0 && start + k >= to ? start + static_cast<int>(k) + 1 : to;
    };
    int to = step(from);
    // Both sides of a boundary inside a long line are the same place of the text: a move
    // that only crossed boundaries goes on from there (over empty pieces too).
    for (int next = to; to != from && samePlace(to, from) && (next = step(to)) != to;) to = next;
    // A boundary inside a word (the text around it was edited) is no word boundary: the
    // move goes on into the next piece as it would in the whole line.
    for (std::optional<int> beyond; split_ && (beyond = boundaryInWord(to, forward));) to = step(*beyond);
    return to;
}

std::optional<int> ShownText::boundaryInWord(int at, bool forward) const {
    const QTextBlock b = doc_->findBlock(at);
    // The position on the other side of the boundaries (of empty pieces too) reached at
    // `at`, and the characters on both sides of them.
    int beyond = 0, left = 0, right = 0;
    if (forward && at == b.position() + b.length() - 1 && at > b.position()) {
        QTextBlock next = b.next();
        if (!next.isValid() || !ContinuesLine(next)) return std::nullopt;
        while (next.length() == 1 && next.next().isValid() && ContinuesLine(next.next())) next = next.next();
        if (next.length() == 1) return std::nullopt;
        beyond = next.position();
        left = at - 1;
        right = beyond;
    } else if (!forward && at == b.position() && ContinuesLine(b) && b.length() > 1) {
        QTextBlock previous = b.previous();
        while (previous.length() == 1 && ContinuesLine(previous)) previous = previous.previous();
        if (previous.length() == 1) return std::nullopt;
        beyond = previous.position() + previous.length() - 1;
        left = beyond - 1;
        right = at;
    } else {
        return std::nullopt;
    }
    const auto inWord = [](QChar ch) { return ch.isLetterOrNumber() || ch == u'_'; };
    if (!inWord(doc_->characterAt(left)) || !inWord(doc_->characterAt(right))) return std::nullopt;
    return beyond;
}

int ShownText::lineEndBeyondPieces(int position, bool forward) const {
    if (!split_) return position;
    QTextBlock b = doc_->findBlock(position);
    if (!b.isValid()) return position;
    if (forward) {
        if (position != b.position() + b.length() - 1) return position;
        while (b.next().isValid() && ContinuesLine(b.next())) b = b.next();
        return b.position() + b.length() - 1;
    }
    if (position != b.position()) return position;
    while (ContinuesLine(b)) b = b.previous();
    return b.position();
}

bool ShownText::startsPiece(const QTextBlock& block) const { return split_ && ContinuesLine(block); }

std::optional<std::pair<int, int>> ShownText::groupedLineAround(int position) const {
    if (!grouped_) return std::nullopt;
    const QTextBlock block = doc_->findBlock(position);
    if (!block.isValid() || SeparatorsIn(block) == 0) return std::nullopt;
    const QString t = block.text();
    const int at = position - block.position();
    const auto separator = QChar(QChar::LineSeparator);
    const int from = at == 0 ? 0 : static_cast<int>(t.lastIndexOf(separator, at - 1)) + 1;
    const auto next = static_cast<int>(t.indexOf(separator, at));
    const int to = next < 0 ? block.length() - 1 : next + 1;
    return std::pair{block.position() + from, block.position() + to};
}

std::optional<int> ShownText::erasedAcrossBoundary(int position, bool forward) const {
    if (!split_) return std::nullopt;
    const QTextBlock block = doc_->findBlock(position);
    const bool atBoundary = forward ? position == block.position() + block.length() - 1 && block.next().isValid() &&
                                          ContinuesLine(block.next())
                                    : position == block.position() && ContinuesLine(block);
    if (!atBoundary) return std::nullopt;
    return ErasedCharacter(*doc_, position, forward);
}

void ShownText::insert(QTextCursor& cursor, const QString& text) {
    // The text's lines as show() sees them, then its pieces and groups as show() makes them.
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(u'\r', u'\n');
    lines.replace(QChar(QChar::ParagraphSeparator), u'\n');
    const std::vector<qsizetype> breaks = DisplayBreaks(lines, longLine_);
    bool joined = false;
    if (grouped_ || lines.count(u'\n') + doc_->blockCount() >= grouping_.fromLines) {
        LineGrouping grouping = grouping_;
        grouping.characters = std::min(grouping.characters, longLine_);
        grouping.fromLines = 1;
        GroupLines(lines, grouping);
        joined = lines.contains(QChar(QChar::LineSeparator));
    }
    if (breaks.empty() && !joined && !split_) {
        cursor.insertText(text);
        return;
    }
    InsertKeepingLines(cursor, lines, breaks);
    if (split_ != (split_ || !breaks.empty()) || (joined && !grouped_)) starts_.clear();
    split_ = split_ || !breaks.empty();
    if (joined && !grouped_) {
        grouped_ = true;
        // Every block's count is worked out anew from here on.
        for (QTextBlock b = doc_->begin(); b.isValid(); b = b.next()) ForgetSeparatorCount(b);
    }
    if (joined) CountGroupedLines(*doc_);
}

void ShownText::insertLineBreak(QTextCursor& cursor) const { InsertLineBreak(cursor); }

void ShownText::changed(int position, int added) {
    // The starts of the blocks up to the one changed stay.
    const auto first = static_cast<std::size_t>(std::max(doc_->findBlock(position).blockNumber(), 0));
    if (starts_.size() > first + 1) starts_.resize(first + 1);
    if (!grouped_) return;
    const QTextBlock last = doc_->findBlock(position + std::max(added, 0));
    for (QTextBlock b = doc_->findBlock(position); b.isValid(); b = b.next()) {
        ForgetSeparatorCount(b);
        if (b == last) break;
    }
}

void ShownText::recountLines() {
    if (grouped_) CountGroupedLines(*doc_);
}

}  // namespace lark::gui
