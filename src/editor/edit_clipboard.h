#pragma once
// Copy and paste that carry plain text only: after a copy the clipboard holds the copied
// text and nothing else; a paste first reduces the clipboard to its plain text, so only
// plain text ever enters the editor.
class QClipboard;
class QPlainTextEdit;

namespace lark::gui {

// The selection's plain text (line breaks as '\n', boundaries inside long lines left out)
// set as the clipboard's only content, once, without running other events meanwhile.
// Returns false, leaving the clipboard alone, when nothing is selected.
bool CopyAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard);

// The editor's own cut, then the clipboard reduced to the cut text alone.
void CutAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard);

// The clipboard's text (empty without one) written back as its only content, then pasted
// by the editor. Refused, with the clipboard reduced all the same, when the text would
// not fit in the editor's capacity; returns whether the paste went in.
bool PasteAsPlainText(QPlainTextEdit& editor, QClipboard& clipboard);

}  // namespace lark::gui
