#pragma once
// Lines in groups. QTextDocument makes a block of every line, and making a hundred
// thousand blocks takes the better part of a second, which a section of 150,000 lines
// paid every time it was shown. A text of many lines is shown with several short lines
// in one block instead: the line breaks inside a block are U+2028 (a line separator,
// which the layout breaks at and toPlainText turns into '\n'). A line separator is one
// editor position as a block boundary is, so positions and lengths stay as they were;
// what counts lines (byte positions, a line's place) counts the separators too.
#include <QString>
#include <QTextBlock>
#include <vector>

class QTextDocument;

namespace lark::gui {

struct LineGrouping {
    qsizetype fromLines = 10000;  // texts of fewer lines keep a block a line
    int lines = 32;               // lines in a block at most
    qsizetype characters = 2048;  // characters in a block at most (a longer line stands alone)
};

// Turns line breaks ('\n') of `shown` into U+2028 where lines go into one block. The
// characters stay where they were. Returns how many lines each block holds, in order; empty
// (and `shown` untouched) when the text has fewer lines than `grouping.fromLines`.
std::vector<int> GroupLines(QString& shown, const LineGrouping& grouping);

// The line separators in `block`'s text; counted once until ForgetSeparatorCount.
int SeparatorsIn(const QTextBlock& block);
// Drops the count of a block whose text changed.
void ForgetSeparatorCount(QTextBlock block);

// Tells the document's layout how many lines each block not laid out yet holds (a line
// per separator and one), so the scroll bar spans the lines, not the blocks. `lines`, when
// given, holds the count of each block that is no continuation of a long line (it seeds
// the separator counts too).
void CountGroupedLines(QTextDocument& doc, const std::vector<int>& lines = {});

}  // namespace lark::gui
