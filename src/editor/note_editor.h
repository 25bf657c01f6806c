#pragma once
// The section text editor reNodeContent: a plain-text editor that holds the notebook's
// Windows-1251 bytes as Unicode. Line breaks come back as CR LF, and selection positions
// are counted in those bytes. A character the code page cannot hold never gets in: it is
// replaced by '?' as it is typed or pasted, and the window is told.
#include <QHash>
#include <QPlainTextEdit>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "document/interfaces.h"
#include "editor/kept_documents.h"
#include "editor/shown_text.h"

class QPainter;

namespace lark::gui {

class NoteEditor : public QPlainTextEdit, public IEditor {
    Q_OBJECT
public:
    explicit NoteEditor(QWidget* parent = nullptr);

    // Keys that belong to the window's commands even while the editor has the focus
    // (the editor would otherwise take Ctrl+U, Ctrl+D and others as its own line edits).
    QList<QKeySequence> windowKeys;

    // Told how many characters of an input were replaced.
    std::function<void(qsizetype)> onReplaced;

    // Drawn over the text at the end of each paint (the spelling underlines), with the
    // painter on the viewport and the region being painted: nothing of the document or its
    // layout changes for it.
    std::function<void(QPainter&, const QRect&)> drawOver;
    // Where a block is drawn, in viewport coordinates (a walk from the first block in view).
    QRectF blockBox(const QTextBlock& block) const { return blockBoundingGeometry(block).translated(contentOffset()); }
    QTextBlock firstShownBlock() const { return firstVisibleBlock(); }

    std::string text() const override;
    void setText(std::string_view text) override;
    void clear() override;
    bool modified() const override;
    void setModified(bool modified) override;
    bool readOnly() const override;
    void setReadOnly(bool readOnly) override;
    void loadFile(const std::string& path) override;
    void setCharset(int charset) override { charset_ = charset; }
    int charset() const { return charset_; }
    std::size_t selectionStart() const override;
    std::size_t selectionLength() const override;
    void select(std::size_t start, std::size_t length) override;
    bool focusEditor() override;
    // Searches the editor's own text in place (note_editor_find.cpp).
    std::optional<std::size_t> findText(std::string_view needleLowered, std::size_t from) override;

    // Replaces the selection with `text` as typing would, one step of the editor's undo;
    // between beginJoinedEdit and endJoinedEdit every change makes one step together.
    void replaceSelection(const QString& text) { insertTyped(text); }
    void beginJoinedEdit();
    void endJoinedEdit();

    // True while the editor shows a file loaded by loadFile (the plain-text view), until
    // the next setText or clear.
    bool showsFile() const { return showsFile_; }

    // Link detection and link click events; switched on by the window's editor set-up.
    void setLinksEnabled(bool on);
    bool linksEnabled() const { return linksEnabled_; }

    // Position conversions between the editor (one character per line break) and the
    // bytes of text() (CR LF per line break).
    std::size_t toBytePosition(int editorPosition) const { return shown_.toByte(editorPosition); }
    int toEditorPosition(std::size_t bytePosition) const { return shown_.toPosition(bytePosition); }

    // The text as printed: line breaks '\n', no-break spaces as blanks.
    QString printedText() const { return shown_.plainText(); }

    // How the text shown last is shown (shown_text.h), and its conversions.
    const ShownText& shownText() const { return shown_; }
    // The width of the mark in the left margin at the start of each piece of a long line
    // after its first.
    static constexpr int kPieceMarkWidth = 2;
    // Block boundaries shown inside lines too long to lay out whole (long_lines.h); none
    // unless the text shown last had such lines.
    int hiddenBoundaries() const { return shown_.hiddenBoundaries(); }
    bool splitsLongLines() const { return shown_.hasPieces(); }
    // The longest line shown whole, from the next setText on.
    void setLongLineLength(qsizetype length);

    // Texts of this many bytes or more have their documents kept to be shown again
    // (kept_documents.h).
    void setKeptDocumentsFrom(qsizetype bytes) { kept_.setKeptFrom(bytes); }

    // Lines shown several to a block (line_groups.h) from the next setText on; true while
    // the text shown last has them.
    void setLineGrouping(const LineGrouping& grouping);
    bool groupsLines() const { return shown_.grouped(); }

    // Line `line` (from 0, as the editor shows lines) in the bytes of text(): its first
    // byte and its length without the line break; nothing when there is no such line.
    std::optional<std::pair<std::size_t, std::size_t>> lineInBytes(int line) const { return shown_.lineInBytes(line); }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    class ScrollBarsAhead;
    void showVisibleLinks();
    void forgetLinks();
    void reportReplaced(qsizetype count);
    // Keeps the characters just shown for the find (note_editor_find.cpp).
    void rememberShownText(const QString& shown);
    void forgetShownText();
    // The find's copy while it follows the document shown (null otherwise).
    QString keptShownText();
    // Shows `doc`, filled before in the way `shape` tells, in place of the document shown
    // (kept_documents.h): nothing to undo, nothing modified, the caret at the start.
    void showDocument(QTextDocument* doc, ShownText::Shape shape);
    // Inserts typed or pasted text, keeping the line breaks it brings apart from the
    // boundaries inside long lines.
    void insertTyped(const QString& text);
    // Backspace and Delete next to a boundary inside a long line erase the character
    // beyond it; true when the key was taken.
    bool eraseAcrossBoundary(bool forward);
    bool wordKey(QKeyEvent& event);
    bool lineEndKey(QKeyEvent& event);
    void markPieceStarts();
    void blocksChanged(int position, int removed, int added);
    // Gives the layout the line counts of grouped blocks again after it dropped them.
    void recountGroupedLines();
    ShownText shown_;
    mutable KeptDocuments kept_;  // text() tells it the bytes read
    int charset_ = 0;
    bool showsFile_ = false;
    bool linksEnabled_ = false;
    bool recounting_ = false;
    // The links of the lines looked at, by block (QTextBlock::fragmentIndex).
    QHash<int, std::vector<std::pair<int, int>>> linksSeen_;
};

}  // namespace lark::gui
