#include "editor/line_groups.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <algorithm>

#include "editor/long_lines.h"

namespace lark::gui {
namespace {

// A block's separator count, until a change of the block's text drops it. (A block's
// revision is no key for it: a block keeps its revision when the line after it is joined
// to it, and when a redo gives it back a text.)
class SeparatorCount final : public QTextBlockUserData {
public:
    explicit SeparatorCount(int separators) : count(separators) {}
    const int count;
};

void remember(QTextBlock block, int count) { block.setUserData(new SeparatorCount(count)); }

}  // namespace

std::vector<int> GroupLines(QString& shown, const LineGrouping& grouping) {
    std::vector<int> groups;
    if (shown.count(u'\n') + 1 < grouping.fromLines) return groups;
    const qsizetype n = shown.size();
    qsizetype groupStart = 0;
    int inGroup = 1;
    for (qsizetype end = shown.indexOf(u'\n'); end >= 0;) {
        qsizetype nextEnd = shown.indexOf(u'\n', end + 1);
        if (nextEnd < 0) nextEnd = n;
        // The next line joins the block when both fit: a line longer than a block stands alone.
        if (inGroup < grouping.lines && nextEnd - groupStart <= grouping.characters) {
            shown[end] = QChar(QChar::LineSeparator);
            ++inGroup;
        } else {
            groups.push_back(inGroup);
            groupStart = end + 1;
            inGroup = 1;
        }
        end = nextEnd < n ? nextEnd : -1;
    }
    groups.push_back(inGroup);
    return groups;
}

int SeparatorsIn(const QTextBlock& block) {
    if (const auto* known = dynamic_cast<const SeparatorCount*>(block.userData())) return known->count;
    const auto count = static_cast<int>(block.text().count(QChar(QChar::LineSeparator)));
    remember(block, count);
    return count;
}

void ForgetSeparatorCount(QTextBlock block) {
    if (block.userData()) block.setUserData(nullptr);
}

void CountGroupedLines(QTextDocument& doc, const std::vector<int>& lines) {
    bool changed = false;
    std::size_t next = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        int separators = 0;
        if (lines.empty()) {
            separators = SeparatorsIn(b);
        } else if (!ContinuesLine(b)) {
            // The pieces of a long line after the first are blocks of their own, with no
            // count of their own (a long line is never grouped).
            separators = next < lines.size() ? lines[next++] - 1 : SeparatorsIn(b);
            remember(b, separators);
        }
        // A block laid out has at least a line per separator and one; one not laid out
        // has been given a single line.
        if (b.isVisible() && b.lineCount() < separators + 1) {
            b.setLineCount(separators + 1);
            changed = true;
        }
    }
    if (!changed) return;
    if (QAbstractTextDocumentLayout* layout = doc.documentLayout())
        emit layout->documentSizeChanged(layout->documentSize());
}

}  // namespace lark::gui
