#include "editor/note_editor.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
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
    // The layout's notices while the text goes in count nothing: the groups are counted
    // once it is in.
    const QScopedValueRollback quiet(recounting_, true);
    QString shown = TextToEditor(text);
    forgetShownText();
    forgetLinks();
    const std::vector<qsizetype> breaks = DisplayBreaks(shown, longLine_);
    splitLines_ = !breaks.empty();
    const ScrollBarsAhead ahead(*this, shown, static_cast<qsizetype>(breaks.size()));
    // A line too long to show whole never joins a group, so the pieces of long lines and
    // the groups never share a block.
    LineGrouping grouping = grouping_;
    grouping.characters = std::min(grouping.characters, longLine_);
    const std::vector<int> groups = GroupLines(shown, grouping);
    grouped_ = !groups.empty();
    if (!splitLines_) {
        setPlainText(shown);
        rememberShownText(shown);
    } else {
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
    if (grouped_) {
        // The counts are those of the blocks made, unless the document made others.
        const bool aligned = static_cast<std::size_t>(document()->blockCount()) == groups.size() + breaks.size();
        CountGroupedLines(*document(), aligned ? groups : std::vector<int>{});
    }
}

// What was worked out for a block (its links, its separator count) is worked out again
// once its text changed. A block's revision cannot tell: it stays the same when the line
// after it is joined to it.
void NoteEditor::blocksChanged(int position, int /*removed*/, int added) {
    const QTextBlock last = document()->findBlock(position + std::max(added, 0));
    for (QTextBlock b = document()->findBlock(position); b.isValid(); b = b.next()) {
        b.setUserState(-1);
        if (grouped_) ForgetSeparatorCount(b);
        if (b == last) break;
    }
}

void NoteEditor::recountGroupedLines() {
    if (!grouped_ || recounting_) return;
    const QScopedValueRollback busy(recounting_, true);
    CountGroupedLines(*document());
}

QString NoteEditor::printedText() const {
    return splitLines_ ? PlainFromRaw(RawTextWithoutContinuations(*document())) : toPlainText();
}

int NoteEditor::hiddenBoundaries() const { return splitLines_ ? ContinuationCount(*document()) : 0; }

void NoteEditor::clear() {
    showsFile_ = false;
    splitLines_ = false;
    grouped_ = false;
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
    if (!grouped_ || event->button() != Qt::LeftButton || (event->modifiers() & Qt::ShiftModifier)) return;
    QTextCursor c = textCursor();
    if (!c.hasSelection()) return;
    const QTextBlock block = document()->findBlock(c.selectionStart());
    const int blockEnd = block.position() + block.length() - 1;
    if (c.selectionStart() != block.position() || (c.selectionEnd() != blockEnd && c.selectionEnd() != blockEnd + 1) ||
        SeparatorsIn(block) == 0)
        return;
    const QString t = block.text();
    const int at = cursorForPosition(event->position().toPoint()).position() - block.position();
    if (at < 0 || at > t.size()) return;
    const auto separator = QChar(QChar::LineSeparator);
    const int from = at == 0 ? 0 : static_cast<int>(t.lastIndexOf(separator, at - 1)) + 1;
    const auto next = static_cast<int>(t.indexOf(separator, at));
    const int to = next < 0 ? c.selectionEnd() - block.position() : next + 1;
    c.setPosition(block.position() + from);
    c.setPosition(block.position() + to, QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void NoteEditor::paintEvent(QPaintEvent* event) {
    showVisibleLinks();
    QPlainTextEdit::paintEvent(event);
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

std::size_t NoteEditor::bytesBefore(const QTextBlock& block, int offset) const {
    // Every line break is two bytes; a boundary inside a long line is none.
    std::size_t bytes = 0;
    for (QTextBlock b = document()->begin(); b.isValid() && b != block;) {
        const QTextBlock next = b.next();
        bytes += static_cast<std::size_t>(b.length() - 1);
        if (grouped_) bytes += static_cast<std::size_t>(SeparatorsIn(b));
        if (next.isValid() && !(splitLines_ && ContinuesLine(next))) bytes += 2;
        b = next;
    }
    bytes += static_cast<std::size_t>(offset);
    if (grouped_ && offset > 0 && SeparatorsIn(block) > 0)
        bytes += static_cast<std::size_t>(QStringView(block.text()).left(offset).count(QChar(QChar::LineSeparator)));
    return bytes;
}

std::size_t NoteEditor::toBytePosition(int editorPosition) const {
    const QTextBlock found = document()->findBlock(editorPosition);
    const QTextBlock block = found.isValid() ? found : document()->lastBlock();
    if (grouped_ || splitLines_) return bytesBefore(block, editorPosition - block.position());
    // One block a line: a line break is two bytes.
    return static_cast<std::size_t>(editorPosition) + static_cast<std::size_t>(std::max(block.blockNumber(), 0));
}

int NoteEditor::toEditorPosition(std::size_t bytePosition) const {
    const QTextDocument* doc = document();
    if (grouped_ || splitLines_) {
        // The block whose bytes (with its line break) hold the byte position, or the last.
        std::size_t start = 0;
        QTextBlock b = doc->begin();
        for (QTextBlock next = b.next(); next.isValid(); next = b.next()) {
            std::size_t after = start + static_cast<std::size_t>(b.length() - 1);
            if (grouped_) after += static_cast<std::size_t>(SeparatorsIn(b));
            if (!(splitLines_ && ContinuesLine(next))) after += 2;
            if (bytePosition < after) break;
            start = after;
            b = next;
        }
        // Within the block a separator is two bytes; a byte inside one stands before it.
        const std::size_t want = bytePosition - start;
        const int length = b.length() - 1;
        if (!grouped_ || SeparatorsIn(b) == 0)
            return b.position() + static_cast<int>(std::min<std::size_t>(want, static_cast<std::size_t>(length)));
        const QString t = b.text();
        std::size_t bytes = 0;
        int offset = 0;
        for (; offset < length; ++offset) {
            const std::size_t width = t[offset] == QChar(QChar::LineSeparator) ? 2 : 1;
            if (bytes + width > want) break;
            bytes += width;
        }
        return b.position() + offset;
    }
    // Line n starts at byte (its editor position + n); find the last line starting at or
    // before the byte position.
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

std::optional<std::pair<std::size_t, std::size_t>> NoteEditor::lineInBytes(int line) const {
    if (line < 0) return std::nullopt;
    if (!grouped_ && !splitLines_) {
        const QTextBlock block = document()->findBlockByNumber(line);
        if (!block.isValid()) return std::nullopt;
        return std::pair{static_cast<std::size_t>(block.position() + line),
                         static_cast<std::size_t>(block.length() - 1)};
    }
    // Lines span blocks or share them: count the line breaks of the text itself.
    const std::string all = text();
    std::size_t start = 0;
    for (int k = 0; k < line; ++k) {
        const std::size_t br = all.find("\r\n", start);
        if (br == std::string::npos) return std::nullopt;
        start = br + 2;
    }
    const std::size_t end = std::min(all.find("\r\n", start), all.size());
    return std::pair{start, end - start};
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

// Where a word move from `from` ends when lines are grouped: as with a block a line, a
// line break is a stop of its own (the end of the line before, the start of the next),
// where the layout of a block would take it for a blank between words.
int NoteEditor::wordMoveTarget(int from, bool forward) const {
    const QTextDocument& doc = *document();
    const auto separator = QChar(QChar::LineSeparator);
    if (forward ? doc.characterAt(from) == separator : from > 0 && doc.characterAt(from - 1) == separator)
        return forward ? from + 1 : from - 1;
    QTextCursor c(document());
    c.setPosition(from);
    c.movePosition(forward ? QTextCursor::NextWord : QTextCursor::PreviousWord);
    const int to = c.position();
    const QTextBlock block = doc.findBlock(from);
    if (doc.findBlock(to) != block) return to;
    const QString t = block.text();
    const int start = block.position();
    if (forward) {
        const qsizetype k = t.indexOf(separator, from - start);
        return k >= 0 && start + k < to ? start + static_cast<int>(k) : to;
    }
    const qsizetype k = from - start > 0 ? t.lastIndexOf(separator, from - start - 1) : -1;
    return k >= 0 && start + k >= to ? start + static_cast<int>(k) + 1 : to;
}

std::optional<int> NoteEditor::boundaryInWord(int at, bool forward) const {
    const QTextDocument& doc = *document();
    const QTextBlock b = doc.findBlock(at);
    // The position on the other side of a boundary reached at `at`, and the characters
    // on both sides of it.
    int beyond = 0, left = 0, right = 0;
    if (forward && at == b.position() + b.length() - 1 && at > b.position() && b.next().isValid() &&
        ContinuesLine(b.next()) && b.next().length() > 1) {
        beyond = b.next().position();
        left = at - 1;
        right = beyond;
    } else if (!forward && at == b.position() && ContinuesLine(b) && b.length() > 1 && b.previous().length() > 1) {
        beyond = at - 1;
        left = at - 2;
        right = at;
    } else {
        return std::nullopt;
    }
    const auto inWord = [](QChar ch) { return ch.isLetterOrNumber() || ch == u'_'; };
    if (!inWord(doc.characterAt(left)) || !inWord(doc.characterAt(right))) return std::nullopt;
    return beyond;
}

// Word moves, word selections and word erases where lines are grouped; true when the key
// was one of them.
bool NoteEditor::wordKeyInGroups(QKeyEvent& event) {
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
    if (!(k->erase && c.hasSelection())) {
        const int from = c.position();
        int to = wordMoveTarget(from, k->forward);
        // Both sides of a boundary inside a long line are the same place of the text: a
        // move that only crossed the boundary goes on from there.
        if (splitLines_ && to != from && toBytePosition(to) == toBytePosition(from))
            to = wordMoveTarget(to, k->forward);
        // A boundary inside a word (the text around it was edited) is no word boundary:
        // the move goes on into the next piece as it would in the whole line.
        for (std::optional<int> beyond; splitLines_ && (beyond = boundaryInWord(to, k->forward));)
            to = wordMoveTarget(*beyond, k->forward);
        c.setPosition(to, k->select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    }
    if (k->erase) c.removeSelectedText();
    setTextCursor(c);
    ensureCursorVisible();
    event.accept();
    return true;
}

void NoteEditor::keyPressEvent(QKeyEvent* event) {
    if (grouped_ && wordKeyInGroups(*event)) return;
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
    }
    // Enter and Shift+Enter both end the line: a section's text knows one line break only,
    // where Qt would put a line separator (U+2028) inside the line for Shift+Enter.
    if (!isReadOnly() &&
        (event->matches(QKeySequence::InsertParagraphSeparator) || event->matches(QKeySequence::InsertLineSeparator))) {
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
