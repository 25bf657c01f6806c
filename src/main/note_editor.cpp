#include "main/note_editor.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <array>

#include "document/file_access.h"
#include "main/editor_capacity.h"
#include "main/editor_links.h"
#include "main/long_lines.h"
#include "main/text_codec.h"

namespace lark::gui {

NoteEditor::NoteEditor(QWidget* parent) : QPlainTextEdit(parent), longLine_(kLongLine) {
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
}

std::string NoteEditor::text() const {
    qsizetype replaced = 0;
    // toRawText keeps no-break spaces and paragraph separators as they are.
    std::string bytes =
        EditorToText(splitLines_ ? RawTextWithoutContinuations(*document()) : document()->toRawText(), &replaced);
    if (replaced > 0) const_cast<NoteEditor*>(this)->reportReplaced(replaced);
    return bytes;
}

// A text that will surely need a scroll bar the editor does not show yet gets it before
// the text goes in: once the text is in, a viewport narrowed by a new scroll bar has
// every line laid out again, which for a hundred thousand lines takes longer than
// showing them. Where the guess is wrong, the scroll bar goes again afterwards.
class NoteEditor::ScrollBarsAhead {
public:
    ScrollBarsAhead(NoteEditor& editor, const QString& shown, qsizetype pieces) : editor_(editor) {
        const QFontMetricsF fm(editor.font());
        const QSize room = editor.viewport()->size();
        qsizetype lines = pieces + 1;
        qsizetype longest = 0;
        for (qsizetype from = 0; from <= shown.size();) {
            qsizetype end = shown.indexOf(u'\n', from);
            if (end < 0) end = shown.size();
            longest = std::max(longest, end - from);
            ++lines;
            from = end + 1;
        }
        if (pieces > 0) longest = std::min(longest, editor.longLine_);
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
    const QString shown = TextToEditor(text);
    forgetShownText();
    const std::vector<qsizetype> breaks = DisplayBreaks(shown, longLine_);
    splitLines_ = !breaks.empty();
    const ScrollBarsAhead ahead(*this, shown, static_cast<qsizetype>(breaks.size()));
    if (!splitLines_) {
        setPlainText(shown);
        rememberShownText(shown);
        return;
    }
    // Long lines are shown in pieces; the find reads the text itself then.
    QString pieces;
    pieces.reserve(shown.size() + static_cast<qsizetype>(breaks.size()));
    qsizetype from = 0;
    for (const qsizetype b : breaks) {
        pieces += QStringView(shown).mid(from, b - from);
        pieces += u'\n';
        from = b;
    }
    pieces += QStringView(shown).mid(from);
    setPlainText(pieces);
    MarkContinuations(*document(), breaks);
}

QString NoteEditor::printedText() const {
    return splitLines_ ? PlainFromRaw(RawTextWithoutContinuations(*document())) : toPlainText();
}

int NoteEditor::hiddenBoundaries() const { return splitLines_ ? ContinuationCount(*document()) : 0; }

void NoteEditor::clear() {
    showsFile_ = false;
    splitLines_ = false;
    QPlainTextEdit::clear();
}

void NoteEditor::setLinksEnabled(bool on) {
    if (on == linksEnabled_) return;
    linksEnabled_ = on;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) b.setUserState(-1);
    viewport()->update();
}

void NoteEditor::paintEvent(QPaintEvent* event) {
    formatVisibleLinks();
    QPlainTextEdit::paintEvent(event);
}

// Links are underlined as their lines come into view, not whenever a text is shown or
// changed: a section of a hundred thousand lines is not scanned whole at every selection.
// A line is looked at again once its text has changed (its revision, kept in the line's
// user state when it was looked at).
void NoteEditor::formatVisibleLinks() {
    const qreal bottom = viewport()->rect().bottom();
    const QPointF offset = contentOffset();
    for (QTextBlock b = firstVisibleBlock(); b.isValid(); b = b.next()) {
        if (blockBoundingGeometry(b).translated(offset).top() > bottom) break;
        if (!b.isVisible() || b.userState() == b.revision()) continue;
        QList<QTextLayout::FormatRange> wanted;
        if (linksEnabled_) wanted = LinkFormats(b.text(), palette());
        if (wanted != b.layout()->formats()) b.layout()->setFormats(wanted);
        b.setUserState(b.revision());
    }
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

std::size_t NoteEditor::toBytePosition(int editorPosition) const {
    const QTextBlock block = document()->findBlock(editorPosition);
    const int line = block.isValid() ? block.blockNumber() : document()->blockCount() - 1;
    // A boundary inside a long line is no character of the text; a line break is two bytes.
    int hidden = 0;
    if (splitLines_) {
        const QTextBlock last = block.isValid() ? block : document()->lastBlock();
        for (QTextBlock b = document()->begin(); b.isValid() && b.blockNumber() <= last.blockNumber(); b = b.next())
            if (ContinuesLine(b)) ++hidden;
    }
    return static_cast<std::size_t>(editorPosition) + static_cast<std::size_t>(std::max(line, 0)) -
           2 * static_cast<std::size_t>(hidden);
}

int NoteEditor::toEditorPosition(std::size_t bytePosition) const {
    if (splitLines_) {
        // The last block starting at or before the byte position; block n starts at byte
        // (its editor position + n - 2 * the hidden boundaries up to it).
        QTextBlock found = document()->begin();
        int hidden = 0;
        for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
            if (ContinuesLine(b)) ++hidden;
            const auto start = static_cast<std::size_t>(b.position() + b.blockNumber() - 2 * hidden);
            if (start > bytePosition) break;
            found = b;
        }
        int before = 0;
        for (QTextBlock b = document()->begin(); b.isValid() && b.blockNumber() <= found.blockNumber(); b = b.next())
            if (ContinuesLine(b)) ++before;
        const auto start = static_cast<std::size_t>(found.position() + found.blockNumber() - 2 * before);
        const int offset =
            static_cast<int>(std::min<std::size_t>(bytePosition - start, static_cast<std::size_t>(found.length() - 1)));
        return found.position() + offset;
    }
    // Line n starts at byte (its editor position + n); find the last line starting at or
    // before the byte position.
    const QTextDocument* doc = document();
    int lo = 0, hi = doc->blockCount() - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        const std::size_t start =
            static_cast<std::size_t>(doc->findBlockByNumber(mid).position()) + static_cast<std::size_t>(mid);
        if (start <= bytePosition) lo = mid;
        else hi = mid - 1;
    }
    const QTextBlock block = doc->findBlockByNumber(lo);
    const std::size_t start = static_cast<std::size_t>(block.position()) + static_cast<std::size_t>(lo);
    const int offset =
        static_cast<int>(std::min<std::size_t>(bytePosition - start, static_cast<std::size_t>(block.length() - 1)));
    return block.position() + offset;
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
    if (!splitLines_) return QPlainTextEdit::createMimeDataFromSelection();
    auto* mime = new QMimeData;
    mime->setText(SelectedPlainText(textCursor()));
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

void NoteEditor::insertTyped(const QString& text) {
    if (!splitLines_) {
        insertPlainText(text);
        return;
    }
    QTextCursor c = textCursor();
    InsertKeepingLines(c, text);
    setTextCursor(c);
    ensureCursorVisible();
}

bool NoteEditor::eraseAcrossBoundary(bool forward) {
    QTextCursor c = textCursor();
    if (c.hasSelection()) return false;
    const QTextBlock block = c.block();
    const bool atBoundary = forward ? c.atBlockEnd() && block.next().isValid() && ContinuesLine(block.next())
                                    : c.atBlockStart() && ContinuesLine(block);
    if (!atBoundary) return false;
    const int erased = ErasedCharacter(*document(), c.position(), forward);
    if (erased >= 0) {
        c.setPosition(erased + 1);
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

void NoteEditor::keyPressEvent(QKeyEvent* event) {
    if (splitLines_ && movesOverBoundaries(*event)) {
        // Both sides of a boundary inside a line are the same place of the text: a
        // move that only crossed the boundary goes on by one more.
        const int from = textCursor().position();
        const std::size_t byte = toBytePosition(from);
        QPlainTextEdit::keyPressEvent(event);
        const int to = textCursor().position();
        if (to != from && toBytePosition(to) == byte) QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (splitLines_ && !isReadOnly()) {
        const auto mods = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
        const bool plain = mods == Qt::NoModifier;
        if (plain && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) &&
            eraseAcrossBoundary(event->key() == Qt::Key_Delete)) {
            event->accept();
            return;
        }
        if (event->matches(QKeySequence::InsertParagraphSeparator)) {
            QTextCursor c = textCursor();
            c.beginEditBlock();
            c.removeSelectedText();
            InsertLineBreak(c);
            c.endEditBlock();
            setTextCursor(c);
            ensureCursorVisible();
            event->accept();
            return;
        }
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
