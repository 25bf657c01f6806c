#include "editor/editor_links.h"

#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/note_editor.h"
#include "editor/text_codec.h"
#include "search/section_links.h"

namespace lark::gui {

std::vector<std::pair<int, int>> LinksInLine(const QString& line) {
    std::vector<std::pair<int, int>> out;
    // A quick look first: every link begins with one of these letters.
    bool candidate = false;
    for (const QChar ch : line) {
        const char16_t c = ch.unicode() | 0x20;
        if (c == u'h' || c == u'f' || c == u'm' || c == u'w') {
            candidate = true;
            break;
        }
    }
    if (!candidate) return out;
    // One byte per character: positions in the bytes are positions in the line.
    const std::string bytes = QStringToBytes(line);
    for (const LinkRun& run : FindLinks(bytes))
        out.emplace_back(static_cast<int>(run.start), static_cast<int>(run.length));
    return out;
}

namespace {

// Whether the character at document position `pos` is drawn under `p`.
bool charUnder(const NoteEditor& editor, int pos, const QPoint& p) {
    const QTextDocument* doc = editor.document();
    if (pos < 0 || pos >= doc->characterCount() - 1) return false;
    const QChar ch = doc->characterAt(pos);
    if (ch == QChar::ParagraphSeparator || ch == QChar::LineSeparator) return false;
    QTextCursor c(const_cast<QTextDocument*>(doc));
    c.setPosition(pos);
    const QRect left = editor.cursorRect(c);
    c.setPosition(pos + 1);
    const QRect right = editor.cursorRect(c);
    if (p.y() < left.top() || p.y() > left.bottom()) return false;
    // The next caret place lies on the same visual line unless the line wraps here.
    const int end = right.top() == left.top() && right.left() > left.left()
                        ? right.left()
                        : left.left() + editor.fontMetrics().horizontalAdvance(ch);
    return p.x() >= left.left() && p.x() < end;
}

}  // namespace

std::optional<EditorLink> LinkAt(const NoteEditor& editor, const QPoint& viewportPos) {
    if (!editor.linksEnabled()) return std::nullopt;
    const int nearest = editor.cursorForPosition(viewportPos).position();
    // The nearest caret place stands before or after the character under the point.
    int pos = -1;
    for (const int candidate : {nearest, nearest - 1})
        if (charUnder(editor, candidate, viewportPos)) {
            pos = candidate;
            break;
        }
    if (pos < 0) return std::nullopt;
    const QTextBlock block = editor.document()->findBlock(pos);
    const QString line = block.text();
    const int inLine = pos - block.position();
    for (const auto& [start, length] : LinksInLine(line))
        if (inLine >= start && inLine < start + length)
            return EditorLink{line.mid(start, length), block.position() + start, length};
    return std::nullopt;
}

EditorLinks::EditorLinks(NoteEditor* editor, std::function<void(const QString&)> onPress)
    : QObject(editor), editor_(editor), onPress_(std::move(onPress)) {
    editor_->viewport()->setMouseTracking(true);
    editor_->viewport()->installEventFilter(this);
}

bool EditorLinks::eventFilter(QObject* watched, QEvent* event) {
    if (watched != editor_->viewport()) return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* e = static_cast<QMouseEvent*>(event);
        const bool over = e->buttons() == Qt::NoButton && LinkAt(*editor_, e->position().toPoint()).has_value();
        if (over != overLink_) {
            overLink_ = over;
            editor_->viewport()->setCursor(over ? Qt::PointingHandCursor : Qt::IBeamCursor);
        }
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton) return false;
        const std::optional<EditorLink> link = LinkAt(*editor_, e->position().toPoint());
        if (!link) return false;
        // A double click acts once, on its first press; its second press is taken too,
        // so that it does not select a word of the link.
        if (event->type() == QEvent::MouseButtonPress && onPress_) onPress_(link->text);
        return true;
    }
    default: return false;
    }
}

void InstallEditorLinks(NoteEditor* editor, std::function<void(const QString&)> onPress) {
    if (editor->findChild<EditorLinks*>(QString(), Qt::FindDirectChildrenOnly)) return;
    new EditorLinks(editor, std::move(onPress));
}

}  // namespace lark::gui
