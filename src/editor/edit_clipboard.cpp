#include "editor/edit_clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <exception>

#include "editor/editor_capacity.h"

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

int CopyAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard) {
    for (int attempt = 1; attempt <= kCopyAttempts; ++attempt) {
        try {
            editor.copy();
            QApplication::processEvents();
            const QString text = clipboardText(clipboard);
            setPlainTextOnly(clipboard, text);
            if (clipboardText(clipboard) == text) return attempt;
        } catch (const std::exception&) {
            // a failing attempt is followed by the next one
        }
    }
    return 0;
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
