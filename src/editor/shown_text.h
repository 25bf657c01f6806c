#pragma once
// A section's text as the editor's document shows it, and every conversion between the two.
// Built from the section's bytes, it decides how the text is shown: a block a line; many
// short lines several to a block (line_groups.h); lines too long to lay out whole in pieces
// (long_lines.h). It fills the document and answers byte and editor positions, a line's
// bytes, the plain text of a range, word moves, inserts and the length the capacity counts,
// whatever the way of showing. The editor widget keeps keys, mouse and painting.
#include <QString>
#include <QTextBlock>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "editor/line_groups.h"

class QTextCursor;
class QTextDocument;

namespace lark::gui {

class ShownText {
public:
    explicit ShownText(QTextDocument& doc);

    // How the next show() decides: the longest line shown whole, and when and how lines go
    // several to a block.
    void setLongLineLength(qsizetype length) { longLine_ = length; }
    qsizetype longLineLength() const { return longLine_; }
    void setLineGrouping(const LineGrouping& grouping) { grouping_ = grouping; }

    // Fills the document with the text of `bytes` (CR LF, CR and LF each a line break).
    // `fill`, when given, puts `chars` into the document in place of
    // QTextDocument::setPlainText, hearing first how many lines the editor will show
    // (lines and pieces of long lines, and one more) and the longest of them. Returns the
    // document's characters when they are those of the text one to one (no pieces), a
    // null string otherwise.
    using Fill = std::function<void(qsizetype lines, qsizetype longest, const QString& chars)>;
    QString show(std::string_view bytes, const Fill& fill = {});
    // The document was emptied.
    void clear();

    // How the text shown last is shown.
    struct Shape {
        bool grouped = false;
        bool pieces = false;
    };
    Shape shape() const { return {grouped_, split_}; }
    // Answers for `doc` from now on, a document show() filled before in the way `shape`
    // tells (the editor swaps in one it kept).
    void adopt(QTextDocument& doc, Shape shape);
    bool grouped() const { return grouped_; }
    bool hasPieces() const { return split_; }
    // Block boundaries shown inside long lines.
    int hiddenBoundaries() const;

    // The text's bytes (line breaks CR LF); characters without a Windows-1251 byte become
    // '?', counted in *replaced.
    std::string bytes(qsizetype* replaced = nullptr) const;
    // The plain text of the whole document, or of the editor positions [from, to): line
    // breaks '\n', boundaries inside long lines left out.
    QString plainText() const;
    QString plainText(int from, int to) const;
    // Characters of the text (a line break one), what the capacity counts.
    qsizetype length() const;

    // Editor position <-> byte of bytes(). A byte inside a line break stands before it.
    std::size_t toByte(int position) const;
    int toPosition(std::size_t byte) const;
    // Line `line` (from 0) in bytes(): its first byte and its length without the line
    // break; nothing when there is no such line.
    std::optional<std::pair<std::size_t, std::size_t>> lineInBytes(int line) const;
    // Whether two editor positions are the same place of the text (the two sides of a
    // boundary inside a long line are).
    bool samePlace(int a, int b) const;

    // Where a move to the start (`forward` false) or the end of a line that stopped at
    // `position` belongs: beyond a boundary inside a long line, on to the real line's
    // start or end; `position` itself elsewhere.
    int lineEndBeyondPieces(int position, bool forward) const;
    // Whether `block` starts a piece of a long line after its first (the margin shows it).
    bool startsPiece(const QTextBlock& block) const;

    // Where a word move from `from` ends, as with a block a line: a line break is a stop
    // of its own, and a move that only crosses a boundary inside a long line goes on.
    int wordMoveTarget(int from, bool forward) const;
    // The editor positions of the line around `position` when it shares its block with
    // other lines: its start, and the end of its line separator (or the block's end).
    std::optional<std::pair<int, int>> groupedLineAround(int position) const;

    // For an erase of one character before or after `position` where a boundary inside a
    // long line is next to it: the character erased (-1 when none). Nothing when no
    // boundary is next to the position.
    std::optional<int> erasedAcrossBoundary(int position, bool forward) const;
    // Inserts typed or pasted text at `cursor` (CR LF, CR, LF and U+2029 each a line
    // break) shown as the same text shown afresh: its long lines in pieces, its many lines
    // in groups. And a line break alone, keeping new lines apart from the boundaries.
    void insert(QTextCursor& cursor, const QString& text);
    void insertLineBreak(QTextCursor& cursor) const;

    // The document changed at [position, position + added): what was worked out for those
    // blocks is dropped.
    void changed(int position, int added);
    // Gives the layout the line counts of grouped blocks again after it dropped them.
    void recountLines();

private:
    // Where a word move that reached `at` goes on when a boundary inside a long line next
    // to it (ahead of the move) stands inside a word: the other side of the boundary.
    std::optional<int> boundaryInWord(int at, bool forward) const;
    // The byte where block `number` starts, from the starts known, which grow to it (and
    // on to the first block starting beyond `beyondByte`); a change drops those after it.
    std::size_t blockStart(int number, std::size_t beyondByte = 0) const;
    // The byte where `block` starts and the bytes of the characters before `offset` in it.
    std::size_t bytesBefore(const QTextBlock& block, int offset) const;
    QTextDocument* doc_;
    qsizetype longLine_;
    LineGrouping grouping_;
    bool split_ = false;
    bool grouped_ = false;
    mutable std::vector<std::size_t> starts_;
};

}  // namespace lark::gui
