#include "editor/editor_capacity.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/note_editor.h"

namespace lark::gui {
namespace {

// Characters a key press would insert: its text, unless it is a control key (erasing,
// moving) or a short-cut with Ctrl or Alt.
qsizetype typedLength(const QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return 0;
    const QString text = key.text();
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) return 1;
    for (const QChar ch : text)
        if (ch.category() == QChar::Other_Control && ch != u'\t') return 0;
    return text.size();
}

}  // namespace

qsizetype EditorLength(const QPlainTextEdit& editor) {
    // Without the closing paragraph mark, nor the boundaries shown inside long lines.
    const auto* note = qobject_cast<const NoteEditor*>(&editor);
    return note ? note->shownText().length() : editor.document()->characterCount() - 1;
}

qsizetype InsertedLength(const QString& text) { return text.size() - text.count(QLatin1String("\r\n")); }

bool FitsEditorCapacity(const QPlainTextEdit& editor, qsizetype added) {
    const QTextCursor cursor = editor.textCursor();
    const qsizetype selected = cursor.selectionEnd() - cursor.selectionStart();
    // The document's characters, boundaries inside long lines with them, are never fewer
    // than the text's, nor are those of the selection: what fits by that count fits, and
    // the boundaries are counted (a walk over every block) only close to the capacity.
    if (editor.document()->characterCount() - 1 - selected + added <= kEditorCapacity) return true;
    const auto* note = qobject_cast<const NoteEditor*>(&editor);
    const qsizetype selectedText =
        note
            ? static_cast<qsizetype>(note->shownText().plainText(cursor.selectionStart(), cursor.selectionEnd()).size())
            : selected;
    return EditorLength(editor) - selectedText + added <= kEditorCapacity;
}

CapacityGuard::CapacityGuard(QPlainTextEdit* editor) : QObject(editor), editor_(editor) {
    editor->installEventFilter(this);
}

bool CapacityGuard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != editor_ || editor_->isReadOnly()) return false;
    qsizetype added = 0;
    if (event->type() == QEvent::KeyPress) {
        added = typedLength(*static_cast<QKeyEvent*>(event));
    } else if (event->type() == QEvent::InputMethod) {
        const auto* im = static_cast<QInputMethodEvent*>(event);
        added = im->commitString().size() - im->replacementLength();
    }
    if (added <= 0 || FitsEditorCapacity(*editor_, added)) return false;
    ++refusals_;
    QApplication::beep();
    event->accept();
    return true;
}

}  // namespace lark::gui
