#include "editor/edit_clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "editor/editor_capacity.h"
#include "editor/long_lines.h"

namespace lark::gui {
namespace {

QString clipboardText(const QClipboard& clipboard) {
    const QMimeData* data = clipboard.mimeData();
    return data && data->hasText() ? data->text() : QString();
}

// Replaces whatever the clipboard holds with the text alone.
void setPlainTextOnly(QClipboard& clipboard, const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    clipboard.setMimeData(data);  // the clipboard takes ownership and drops the old formats
}

}  // namespace

bool CopyAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard) {
    const QTextCursor selection = editor.textCursor();
    if (!selection.hasSelection()) return false;
    setPlainTextOnly(clipboard, SelectedPlainText(selection));
    return true;
}

void CutAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard) {
    if (!editor.textCursor().hasSelection()) return;
    editor.cut();
    setPlainTextOnly(clipboard, clipboardText(clipboard));
}

bool PasteAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard) {
    const QString text = clipboardText(clipboard);
    setPlainTextOnly(clipboard, text);
    if (!FitsEditorCapacity(editor, InsertedLength(text))) {
        QApplication::beep();
        return false;
    }
    editor.paste();
    return true;
}

}  // namespace lark::gui
