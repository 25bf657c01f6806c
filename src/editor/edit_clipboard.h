#pragma once
// Copy and paste that carry plain text only: after a copy the clipboard holds the copied
// text and nothing else; a paste first reduces the clipboard to its plain text, so only
// plain text ever enters the editor.
class QClipboard;
class QPlainTextEdit;

namespace lark::gui {

inline constexpr int kCopyAttempts = 64;

// Up to kCopyAttempts attempts of: the editor's own copy, pending events, the clipboard's
// text read and written back as its only content. Returns the number of attempts made
// when one completed, 0 when all failed (nothing is reported).
int CopyAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard);

// The editor's own cut, then the clipboard reduced to the cut text alone.
void CutAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard);

// The clipboard's text (empty without one) written back as its only content, then pasted
// by the editor. Refused, with the clipboard reduced all the same, when the text would
// not fit in the editor's capacity; returns whether the paste went in.
bool PasteAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard);

}  // namespace lark::gui
