#include "editor/note_editor.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <array>

#include "document/file_access.h"
#include "editor/editor_capacity.h"
#include "editor/editor_links.h"
#include "editor/long_lines.h"
#include "editor/text_codec.h"

namespace lark::gui {

namespace {

// A document for the editor, the editor's child: the editor deletes the document it shows
// when another takes its place unless the editor itself is its parent, and keeps it then.
QTextDocument* newDocument(QObject* parent) {
    auto* doc = new QTextDocument(parent);
    doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
    return doc;
}

}  // namespace

NoteEditor::NoteEditor(QWidget* parent) : QPlainTextEdit(parent), shown_(*document()) {
    setDocument(newDocument(this));
    shown_.adopt(*document(), {});
    setObjectName(QStringLiteral("reNodeContent"));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabChangesFocus(false);
    QFont f(QStringLiteral("Monospace"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSize(10);
    setFont(f);
    document()->setUndoRedoEnabled(true);
    // The layout gives every block not laid out one line whenever it starts over (another
    // wrap mode, width or font).
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &NoteEditor::recountGroupedLines);
    // Told before the layout hears of the change.
    connect(document(), &QTextDocument::contentsChange, this, &NoteEditor::blocksChanged);
}

std::string NoteEditor::text() const {
    qsizetype replaced = 0;
    // toRawText keeps no-break spaces and paragraph separators as they are.
    std::string bytes = shown_.bytes(&replaced);
    if (replaced > 0) const_cast<NoteEditor*>(this)->reportReplaced(replaced);
    // What the document holds is known again (unless a character stood for none of these
    // bytes): it may be kept under them.
    else kept_.read(bytes);
    return bytes;
}

// A text that will surely need a scroll bar the editor does not show yet gets it before
// the text goes in: once the text is in, a viewport narrowed by a new scroll bar has
// every line laid out again, which for a hundred thousand lines takes longer than
// showing them. Where the guess is wrong, the scroll bar goes again afterwards.
class NoteEditor::ScrollBarsAhead {
public:
    ScrollBarsAhead(NoteEditor& editor, qsizetype lines, qsizetype longest) : editor_(editor) {
        const QFontMetricsF fm(editor.font());
        const QSize room = editor.viewport()->size();
        const bool tall = static_cast<qreal>(lines) * fm.lineSpacing() > 2.0 * room.height();
        const bool wide = editor.lineWrapMode() == QPlainTextEdit::NoWrap &&
                          static_cast<qreal>(longest) * fm.averageCharWidth() > 2.0 * room.width();
        vertical_ = tall && showAhead(editor.verticalScrollBarPolicy(), editor.verticalScrollBar());
        horizontal_ = wide && showAhead(editor.horizontalScrollBarPolicy(), editor.horizontalScrollBar());
        if (vertical_) editor.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        if (horizontal_) editor.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    ~ScrollBarsAhead() {
        if (vertical_) editor_.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        if (horizontal_) editor_.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    ScrollBarsAhead(const ScrollBarsAhead&) = delete;
    ScrollBarsAhead& operator=(const ScrollBarsAhead&) = delete;

private:
    static bool showAhead(Qt::ScrollBarPolicy policy, const QScrollBar* bar) {
        return policy == Qt::ScrollBarAsNeeded && bar && !bar->isVisible();
    }
    NoteEditor& editor_;
    bool vertical_ = false;
    bool horizontal_ = false;
};

void NoteEditor::setText(std::string_view text) {
    showsFile_ = false;
    // The layout's notices while the text goes in count nothing: the groups are counted
    // once it is in.
    const QScopedValueRollback quiet(recounting_, true);
    QString findCopy = keptShownText();
    forgetShownText();
    forgetLinks();
    // A large text shown a moment ago is not converted again: its document was kept under
    // its exact bytes, and the one shown now is kept in turn while its bytes are known.
    if (kept_.holds(text)) {
        showDocument(document(), shown_.shape());
        rememberShownText(findCopy);
        emit textChanged();  // as when the text is put in
        return;
    }
    std::optional<KeptDocuments::Kept> found = kept_.take(text);
    QTextDocument* const old = document();
    const bool keepOld = kept_.known();
    if (keepOld) kept_.keep({std::unique_ptr<QTextDocument>(old), shown_.shape(), findCopy, {}});
    if (found) {
        kept_.showsKept(*found);
        showDocument(found->doc.release(), found->shape);
        if (!keepOld) delete old;
        rememberShownText(found->findCopy);
        emit textChanged();
        return;
    }
    if (keepOld) showDocument(newDocument(this), {});
    std::optional<ScrollBarsAhead> ahead;
    const QString oneToOne = shown_.show(text, [&](qsizetype lines, qsizetype longest, const QString& chars) {
        ahead.emplace(*this, lines, longest);
        setPlainText(chars);
    });
    kept_.shown(text);
    // Where long lines are shown in pieces, the find reads the text itself.
    if (!oneToOne.isNull()) rememberShownText(oneToOne);
}

void NoteEditor::showDocument(QTextDocument* doc, ShownText::Shape shape) {
    QTextDocument* const old = document();
    std::optional<ScrollBarsAhead> ahead;
    if (doc != old) {
        // The scroll bars a kept document needs come before it, as before a text put in.
        qsizetype blocks = 0;
        qsizetype longest = 0;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next(), ++blocks)
            longest = std::max<qsizetype>(longest, b.length() - 1);
        ahead.emplace(*this, blocks, longest);
        // The new document looks as the old did.
        if (doc->defaultFont() != old->defaultFont()) doc->setDefaultFont(old->defaultFont());
        // (Setting an option lays every block out again, the same option too.)
        const QTextOption a = doc->defaultTextOption(), b = old->defaultTextOption();
        if (a.tabStopDistance() != b.tabStopDistance() || a.tabs() != b.tabs() || a.wrapMode() != b.wrapMode() ||
            a.flags() != b.flags() || a.alignment() != b.alignment() || a.textDirection() != b.textDirection())
            doc->setDefaultTextOption(b);
        doc->setDocumentMargin(old->documentMargin());
        doc->setUndoRedoEnabled(old->isUndoRedoEnabled());
        disconnect(old->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
                   &NoteEditor::recountGroupedLines);
        disconnect(old, &QTextDocument::contentsChange, this, &NoteEditor::blocksChanged);
        shown_.adopt(*doc, shape);
        connect(doc->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
                &NoteEditor::recountGroupedLines);
        connect(doc, &QTextDocument::contentsChange, this, &NoteEditor::blocksChanged);
        setDocument(doc);
    }
    // As a text shown afresh: no history of another section's edits, nothing modified.
    doc->clearUndoRedoStacks();
    doc->setModified(false);
    setTextCursor(QTextCursor(doc));
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    shown_.recountLines();
}

// What was worked out for a block (its links, its separator count) is worked out again
// once its text changed. A block's revision cannot tell: it stays the same when the line
// after it is joined to it.
void NoteEditor::blocksChanged(int position, int /*removed*/, int added) {
    const QTextBlock last = document()->findBlock(position + std::max(added, 0));
    for (QTextBlock b = document()->findBlock(position); b.isValid(); b = b.next()) {
        b.setUserState(-1);
        if (b == last) break;
    }
    shown_.changed(position, added);
    kept_.changed();
}

void NoteEditor::recountGroupedLines() {
    if (recounting_) return;
    const QScopedValueRollback busy(recounting_, true);
    shown_.recountLines();
}

void NoteEditor::setLongLineLength(qsizetype length) {
    // Documents shown another way are not shown again.
    kept_.clear();
    shown_.setLongLineLength(length);
}

void NoteEditor::setLineGrouping(const LineGrouping& grouping) {
    kept_.clear();
    shown_.setLineGrouping(grouping);
}

void NoteEditor::clear() {
    showsFile_ = false;
    // Nothing of a notebook closed stays in memory.
    kept_.clear();
    shown_.clear();
    forgetLinks();
    QPlainTextEdit::clear();
}

void NoteEditor::forgetLinks() {
    linksSeen_.clear();
    if (!extraSelections().isEmpty()) setExtraSelections({});
}

void NoteEditor::setLinksEnabled(bool on) {
    if (on == linksEnabled_) return;
    linksEnabled_ = on;
    linksSeen_.clear();
    viewport()->update();
}

// A triple click selects the block under the mouse; where lines are grouped, that is the
// line under it instead, its line break with it as with a line of its own.
void NoteEditor::mousePressEvent(QMouseEvent* event) {
    QPlainTextEdit::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || (event->modifiers() & Qt::ShiftModifier)) return;
    QTextCursor c = textCursor();
    if (!c.hasSelection()) return;
    const QTextBlock block = document()->findBlock(c.selectionStart());
    const int blockEnd = block.position() + block.length() - 1;
    if (c.selectionStart() != block.position() || (c.selectionEnd() != blockEnd && c.selectionEnd() != blockEnd + 1))
        return;
    const auto line = shown_.groupedLineAround(cursorForPosition(event->position().toPoint()).position());
    if (!line || line->first < block.position() || line->second > blockEnd) return;
    const int end = line->second == blockEnd ? c.selectionEnd() : line->second;
    c.setPosition(line->first);
    c.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void NoteEditor::paintEvent(QPaintEvent* event) {
    showVisibleLinks();
    QPlainTextEdit::paintEvent(event);
    markPieceStarts();
    if (drawOver) {
        QPainter painter(viewport());
        drawOver(painter, event->rect());
    }
}

// A piece of a long line after its first starts with a mark in the left margin, as editors
// mark lines wrapped by themselves: the boundary is shown, never part of the text.
void NoteEditor::markPieceStarts() {
    if (!shown_.hasPieces()) return;
    QPainter painter(viewport());
    const qreal bottom = viewport()->rect().bottom();
    const QPointF offset = contentOffset();
    const qreal height = fontMetrics().height();
    for (QTextBlock b = firstVisibleBlock(); b.isValid(); b = b.next()) {
        const QRectF box = blockBoundingGeometry(b).translated(offset);
        if (box.top() > bottom) break;
        if (b.isVisible() && shown_.startsPiece(b))
            painter.fillRect(QRectF(0, box.top(), kPieceMarkWidth, height), palette().brush(QPalette::Link));
    }
}

// Links are underlined as their lines come into view, not whenever a text is shown or
// changed: a section of a hundred thousand lines is not scanned whole at every selection.
// They are drawn as extra selections, which leave the document alone (formats given to a
// block's layout count as a change of the block, and the next edit's change notice would
// reach back to it). A line's links are looked for again once its text has changed (its
// revision, kept in the line's user state when it was looked at, which blocksChanged drops).
void NoteEditor::showVisibleLinks() {
    QList<QTextEdit::ExtraSelection> wanted;
    if (linksEnabled_) {
        QTextCharFormat look;
        look.setFontUnderline(true);
        look.setForeground(palette().brush(QPalette::Link));
        const qreal bottom = viewport()->rect().bottom();
        const QPointF offset = contentOffset();
        for (QTextBlock b = firstVisibleBlock(); b.isValid(); b = b.next()) {
            if (blockBoundingGeometry(b).translated(offset).top() > bottom) break;
            if (!b.isVisible()) continue;
            if (b.userState() != b.revision() || !linksSeen_.contains(b.fragmentIndex())) {
                linksSeen_.insert(b.fragmentIndex(), LinksInLine(b.text()));
                b.setUserState(b.revision());
            }
            for (const auto& [start, length] : linksSeen_.value(b.fragmentIndex())) {
                QTextEdit::ExtraSelection link{QTextCursor(b), look};
                link.cursor.setPosition(b.position() + start);
                link.cursor.setPosition(b.position() + start + length, QTextCursor::KeepAnchor);
                wanted.append(link);
            }
        }
    }
    const QList<QTextEdit::ExtraSelection> shown = extraSelections();
    const bool same = std::ranges::equal(wanted, shown, [](const auto& a, const auto& b) {
        return a.cursor.anchor() == b.cursor.anchor() && a.cursor.position() == b.cursor.position() &&
               a.format == b.format;
    });
    if (!same) setExtraSelections(wanted);
}

bool NoteEditor::modified() const { return document()->isModified(); }
void NoteEditor::setModified(bool m) { document()->setModified(m); }
bool NoteEditor::readOnly() const { return isReadOnly(); }
void NoteEditor::setReadOnly(bool readOnly) { QPlainTextEdit::setReadOnly(readOnly); }

void NoteEditor::loadFile(const std::string& path) {
    const ByteBuffer bytes = ReadFileShared(path);
    setText(bytes.view());
    showsFile_ = true;
}

std::size_t NoteEditor::selectionStart() const { return toBytePosition(textCursor().selectionStart()); }

std::size_t NoteEditor::selectionLength() const {
    const QTextCursor c = textCursor();
    return toBytePosition(c.selectionEnd()) - toBytePosition(c.selectionStart());
}

void NoteEditor::select(std::size_t start, std::size_t length) {
    QTextCursor c(document());
    c.setPosition(toEditorPosition(start));
    c.setPosition(toEditorPosition(start + length), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

QMimeData* NoteEditor::createMimeDataFromSelection() const {
    auto* mime = new QMimeData;
    const QTextCursor c = textCursor();
    mime->setText(shown_.plainText(c.selectionStart(), c.selectionEnd()));
    return mime;
}

bool NoteEditor::focusEditor() {
    setFocus(Qt::OtherFocusReason);
    return isEnabled() && isVisible();
}

void NoteEditor::reportReplaced(qsizetype count) {
    if (count > 0 && onReplaced) onReplaced(count);
}

bool NoteEditor::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        const QKeySequence pressed(key->keyCombination());
        for (const QKeySequence& k : std::as_const(windowKeys))
            if (k.matches(pressed) == QKeySequence::ExactMatch) {
                e->ignore();  // let the window's short-cut have it
                return true;
            }
    }
    return QPlainTextEdit::event(e);
}

void NoteEditor::beginJoinedEdit() { QTextCursor(document()).beginEditBlock(); }
void NoteEditor::endJoinedEdit() { QTextCursor(document()).endEditBlock(); }

void NoteEditor::insertTyped(const QString& text) {
    QTextCursor c = textCursor();
    shown_.insert(c, text);
    setTextCursor(c);
    ensureCursorVisible();
}

bool NoteEditor::eraseAcrossBoundary(bool forward) {
    QTextCursor c = textCursor();
    if (c.hasSelection()) return false;
    const std::optional<int> erased = shown_.erasedAcrossBoundary(c.position(), forward);
    if (!erased) return false;
    if (*erased >= 0) {
        c.setPosition(*erased + 1);
        c.deletePreviousChar();
        setTextCursor(c);
        ensureCursorVisible();
    }
    return true;
}

namespace {

bool movesOverBoundaries(const QKeyEvent& key) {
    static constexpr std::array kMoves{QKeySequence::MoveToNextChar, QKeySequence::MoveToPreviousChar,
                                       QKeySequence::SelectNextChar, QKeySequence::SelectPreviousChar,
                                       QKeySequence::MoveToNextWord, QKeySequence::MoveToPreviousWord,
                                       QKeySequence::SelectNextWord, QKeySequence::SelectPreviousWord};
    return std::ranges::any_of(kMoves, [&](QKeySequence::StandardKey k) { return key.matches(k); });
}

}  // namespace

// Word moves, word selections and word erases, which stop at line ends and go over the
// boundaries inside long lines; true when the key was one of them.
bool NoteEditor::wordKey(QKeyEvent& event) {
    struct WordKey {
        QKeySequence::StandardKey key;
        bool forward;
        bool select;
        bool erase;
    };
    static constexpr std::array kKeys{WordKey{QKeySequence::MoveToNextWord, true, false, false},
                                      WordKey{QKeySequence::MoveToPreviousWord, false, false, false},
                                      WordKey{QKeySequence::SelectNextWord, true, true, false},
                                      WordKey{QKeySequence::SelectPreviousWord, false, true, false},
                                      WordKey{QKeySequence::DeleteEndOfWord, true, true, true},
                                      WordKey{QKeySequence::DeleteStartOfWord, false, true, true}};
    const auto* k = std::ranges::find_if(kKeys, [&](const WordKey& w) { return event.matches(w.key); });
    if (k == kKeys.end() || (k->erase && isReadOnly())) return false;
    QTextCursor c = textCursor();
    if (!(k->erase && c.hasSelection()))
        c.setPosition(shown_.wordMoveTarget(c.position(), k->forward),
                      k->select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    if (k->erase) c.removeSelectedText();
    setTextCursor(c);
    ensureCursorVisible();
    event.accept();
    return true;
}

// Home and End (with Shift too) go to the start and the end of the line of the text, not
// of a piece of a long line; true when the key was one of them.
bool NoteEditor::lineEndKey(QKeyEvent& event) {
    const bool forward = event.matches(QKeySequence::MoveToEndOfLine) || event.matches(QKeySequence::SelectEndOfLine);
    const bool select = event.matches(QKeySequence::SelectStartOfLine) || event.matches(QKeySequence::SelectEndOfLine);
    if (!forward && !select && !event.matches(QKeySequence::MoveToStartOfLine)) return false;
    QPlainTextEdit::keyPressEvent(&event);
    QTextCursor c = textCursor();
    const int to = shown_.lineEndBeyondPieces(c.position(), forward);
    if (to != c.position()) {
        c.setPosition(to, select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
        setTextCursor(c);
        ensureCursorVisible();
    }
    return true;
}

void NoteEditor::keyPressEvent(QKeyEvent* event) {
    if (wordKey(*event)) return;
    if (lineEndKey(*event)) return;
    if (movesOverBoundaries(*event)) {
        // Both sides of a boundary inside a line are the same place of the text: a
        // move that only crossed boundaries (of empty pieces too) goes on.
        const int from = textCursor().position();
        QPlainTextEdit::keyPressEvent(event);
        for (int to = textCursor().position(); to != from && shown_.samePlace(from, to);) {
            QPlainTextEdit::keyPressEvent(event);
            if (textCursor().position() == to) break;
            to = textCursor().position();
        }
        return;
    }
    if (!isReadOnly() && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) &&
        (event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) == Qt::NoModifier &&
        eraseAcrossBoundary(event->key() == Qt::Key_Delete)) {
        event->accept();
        return;
    }
    // Enter and Shift+Enter both end the line: a section's text knows one line break only,
    // where Qt would put a line separator (U+2028) inside the line for Shift+Enter.
    if (!isReadOnly() &&
        (event->matches(QKeySequence::InsertParagraphSeparator) || event->matches(QKeySequence::InsertLineSeparator))) {
        QTextCursor c = textCursor();
        c.beginEditBlock();
        c.removeSelectedText();
        shown_.insertLineBreak(c);
        c.endEditBlock();
        setTextCursor(c);
        ensureCursorVisible();
        event->accept();
        return;
    }
    QString typed = event->text();
    const qsizetype n = isReadOnly() ? 0 : ReplaceUnrepresentable(typed);
    if (n > 0) {
        insertTyped(typed);
        reportReplaced(n);
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void NoteEditor::inputMethodEvent(QInputMethodEvent* event) {
    QString commit = event->commitString();
    const qsizetype n = ReplaceUnrepresentable(commit);
    if (n > 0 && !isReadOnly()) {
        QInputMethodEvent clean(event->preeditString(), event->attributes());
        clean.setCommitString(commit, event->replacementStart(), event->replacementLength());
        QPlainTextEdit::inputMethodEvent(&clean);
        reportReplaced(n);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void NoteEditor::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText() || isReadOnly()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QString pasted = source->text();
    // A paste or drop that would take the text beyond the capacity is refused whole.
    if (!FitsEditorCapacity(*this, InsertedLength(pasted))) {
        QApplication::beep();
        return;
    }
    const qsizetype n = ReplaceUnrepresentable(pasted);
    // Only plain text ever enters the editor.
    insertTyped(pasted);
    reportReplaced(n);
}

}  // namespace lark::gui
