#pragma once
// Long lines in the editor. A line of many thousand characters is laid out whole at every
// change and every showing, which takes seconds for a line of megabytes. Such a line is
// shown as several editor blocks instead: the block boundary before each piece after the
// first carries a mark ("continues the line") and is no line break of the text. Everything that reads the text, positions or selections leaves these
// boundaries out; everything that inserts line breaks gives the new blocks no mark.
#include <QString>
#include <QTextBlock>
#include <vector>

class QTextCursor;
class QTextDocument;

namespace lark::gui {

// Lines longer than this are shown in pieces of at most this many characters: short enough
// that a keystroke lays out little, and as long as the most characters a group of lines
// holds (line_groups.h).
constexpr qsizetype kLongLine = 2048;

// Where the pieces of the long lines of `shown` (line breaks '\n') begin: indexes into
// `shown`, ascending. A piece ends after a blank where one is in its second half, and
// never between the two halves of a surrogate pair.
std::vector<qsizetype> DisplayBreaks(const QString& shown, qsizetype longLine = kLongLine);

// Whether the boundary before `block` is marked: the block continues the line of the
// block before it.
bool ContinuesLine(const QTextBlock& block);

// Marks the boundaries inserted at `breaks` (indexes of the text before the boundaries
// were inserted). No undo step, no change notices.
void MarkContinuations(QTextDocument& doc, const std::vector<qsizetype>& breaks);

// Counts the marked blocks.
int ContinuationCount(const QTextDocument& doc);

// The document's characters with the marked boundaries left out; a line break is
// U+2029 as in QTextDocument::toRawText.
QString RawTextWithoutContinuations(const QTextDocument& doc);

// The same characters as QTextDocument::toPlainText gives them for the raw text.
QString PlainFromRaw(QString raw);

// The text of the selection of `cursor` with the marked boundaries left out, line breaks
// as '\n' (what the plain-text clipboard gets).
QString SelectedPlainText(const QTextCursor& cursor);

// Inserts `text` as QTextCursor::insertText does (CR LF, CR, LF and U+2029 each end a
// line), except that the new blocks carry the mark only where a piece of a long line
// begins: before the characters of `text` at the indexes `pieces` (ascending).
void InsertKeepingLines(QTextCursor& cursor, const QString& text, const std::vector<qsizetype>& pieces = {});

// Inserts a line break whose new block carries no mark.
void InsertLineBreak(QTextCursor& cursor);

// For an erase of one character before (`forward` false) or after the cursor position
// `position`: the character that is erased, skipping marked boundaries, or -1 when there
// is none.
int ErasedCharacter(const QTextDocument& doc, int position, bool forward);

}  // namespace lark::gui
