#include "editor/spell_marks.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPolygonF>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <span>

#include "document/cp1251.h"
#include "document/errors.h"
#include "editor/note_editor.h"
#include "editor/text_codec.h"
#include "spelling/spell_checker.h"

namespace lark::gui {

namespace {

// How long one paint may spend on words it has not met before.
constexpr qint64 kSliceMs = 4;
// Characters of the lines remembered (their misspelt words, the places of their waves), at
// most for each; beyond, the memory starts afresh. A block holds up to 2,048 characters.
constexpr qsizetype kMostRememberedChars = qsizetype{1} << 20;
// Marks on screen at most, from the top (a screen of text holds some 400 words). A screen
// of text that is mostly unknown words (a log, code, another language), or a long line
// shown unwrapped, would otherwise cost a cursor that every edit moves per word: typing
// into such a text must not slow down for a check.
constexpr qsizetype kMostMarks = 200;

// The editor's characters as Windows-1251 bytes, one a character: a character without a
// byte (a line separator of grouped lines, half a surrogate pair) stands as a blank.
std::string lineBytes(const QString& text) {
    std::string bytes(static_cast<std::size_t>(text.size()), ' ');
    for (qsizetype i = 0; i < text.size(); ++i)
        if (const auto b = cp1251::fromUnicode(text[i].unicode()))
            bytes[static_cast<std::size_t>(i)] = static_cast<char>(*b);
    return bytes;
}

}  // namespace

SpellHighlighter::SpellHighlighter(NoteEditor* editor) : QObject(editor), editor_(editor) {
    setObjectName(QStringLiteral("spellHighlighter"));
    editor->drawOver = [this](QPainter& painter, const QRect& dirty) { paintMarks(painter, dirty); };
    editor->viewport()->installEventFilter(this);
    // One character typed or erased; a paste, an undo or a replacement is no typing.
    connect(editor->document(), &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) { typedAt_ = removed + added == 1 ? position + added : -1; });
    connect(editor, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (typedAt_ < 0 || editor_->textCursor().position() == typedAt_) return;
        typedAt_ = -1;
        editor_->viewport()->update();  // the word left behind is judged now
    });
}

SpellHighlighter* InstallSpellHighlighter(NoteEditor* editor) {
    if (auto* existing = editor->findChild<SpellHighlighter*>(QString(), Qt::FindDirectChildrenOnly)) return existing;
    return new SpellHighlighter(editor);
}

void SpellHighlighter::setChecker(std::shared_ptr<spelling::SpellChecker> checker) {
    checker_ = std::move(checker);
    forget();
}

void SpellHighlighter::forget() {
    lines_.clear();
    linesChars_ = 0;
    editor_->viewport()->update();
}

std::optional<SpellHighlighter::Runs> SpellHighlighter::misspelt(const QString& text, QElapsedTimer* budget,
                                                                 int typing) {
    const std::string bytes = lineBytes(text);
    Runs runs;
    bool complete = true;
    for (const spelling::WordRun& run : spelling::CheckedWords(bytes)) {
        if (typing >= 0 && run.start <= static_cast<std::size_t>(typing) &&
            static_cast<std::size_t>(typing) <= run.start + run.length)
            continue;
        const std::string_view word = std::string_view(bytes).substr(run.start, run.length);
        if (!checker_->decided(word) && budget->hasExpired(kSliceMs)) {
            complete = false;  // the verdicts so far are remembered by the checker
            continue;
        }
        if (!checker_->known(word)) runs.emplace_back(static_cast<int>(run.start), static_cast<int>(run.length));
    }
    if (!complete) return std::nullopt;
    if (typing >= 0) return runs;
    linesChars_ += text.size();
    if (linesChars_ > kMostRememberedChars) {
        lines_.clear();
        linesChars_ = text.size();
    }
    lines_.insert(text, runs);
    return runs;
}

// The marks of the last paint that still stand where a block's words are are kept as they
// are: after an edit the marks move with the text by themselves. The blocks are walked
// down from the first in view, their places added up as the editor's paint does (asking the
// editor where each block is would walk down from the top again for each).
void SpellHighlighter::updateMarks() {
    QList<QTextCursor> previous = std::move(shown_);
    shown_.clear();
    waves_.clear();
    pending_ = false;
    if (!checker_ || !checker_->hasDictionaries()) return;
    QElapsedTimer budget;
    budget.start();
    const QTextBlock first = editor_->firstShownBlock();
    if (!first.isValid()) return;
    const QRectF firstBox = editor_->blockBox(first);
    QPointF origin = firstBox.topLeft();
    const qreal bottom = editor_->viewport()->height();
    const QAbstractTextDocumentLayout* layout = editor_->document()->documentLayout();
    const ShownText& shown = editor_->shownText();
    const QTextCursor caret = editor_->textCursor();
    if (caret.hasSelection() || caret.position() != typedAt_) typedAt_ = -1;
    qsizetype kept = 0;  // the first mark of `previous` not yet passed
    std::vector<std::pair<int, int>> wanted;
    for (QTextBlock b = first; b.isValid() && origin.y() <= bottom && shown_.size() < kMostMarks; b = b.next()) {
        const qreal height = layout->blockBoundingRect(b).height();
        if (b.isVisible()) {
            const QString text = b.text();
            const int from = b.position();
            const int typing = typedAt_ >= from && typedAt_ <= from + text.size() ? typedAt_ - from : -1;
            std::optional<Runs> runs;
            if (const auto it = lines_.constFind(text); it != lines_.constEnd()) runs = *it;
            else runs = misspelt(text, &budget, typing);
            while (kept < previous.size() && previous[kept].selectionStart() < from) ++kept;
            qsizetype end = kept;
            while (end < previous.size() && previous[end].selectionEnd() <= from + text.size()) ++end;
            const qsizetype firstMark = shown_.size();
            if (!runs) {
                pending_ = true;
            } else {
                // A word cut by a boundary inside a long line is not judged by its halves.
                const bool cutBefore = shown.startsPiece(b);
                const bool cutAfter = b.next().isValid() && shown.startsPiece(b.next());
                wanted.clear();
                for (const auto& [start, length] : *runs) {
                    if ((cutBefore && start == 0) || (cutAfter && start + length == text.size())) continue;
                    const int at = from + start;
                    if (at <= typedAt_ && typedAt_ <= at + length) continue;  // still being typed
                    wanted.emplace_back(at, at + length);
                }
                // Both in order: a mark already there is kept, only the others are made (a
                // cursor costs its making, and every edit moves each one).
                qsizetype old = kept;
                for (const auto& [at, to] : wanted) {
                    if (shown_.size() >= kMostMarks) break;
                    while (old < end && previous[old].selectionStart() < at) ++old;
                    if (old < end && previous[old].selectionStart() == at && previous[old].selectionEnd() == to) {
                        shown_.append(previous[old++]);
                        continue;
                    }
                    QTextCursor mark(b);
                    mark.setPosition(at);
                    mark.setPosition(to, QTextCursor::KeepAnchor);
                    shown_.append(mark);
                }
            }
            kept = end;
            addBands(b, text, origin, std::span(shown_).subspan(firstMark), waves_);
        }
        origin.ry() += height;
    }
    if (shown_.size() >= kMostMarks) pending_ = false;  // what lies below is not looked at
}

void SpellHighlighter::paintMarks(QPainter& painter, const QRect& dirty) {
    if (const QString font = editor_->font().key(); font != stretchesFont_) {
        stretches_.clear();
        stretchChars_ = 0;
        stretchesFont_ = font;
    }
    const QList<QTextCursor> before = shown_;
    updateMarks();
    const QPixmap& w = wave(editor_->fontMetrics().descent());
    for (const QRectF& band : waves_)
        if (band.intersects(dirty)) {
            painter.setBrushOrigin(band.topLeft());
            painter.fillRect(band, QBrush(w));
        }
    // A mark come or gone outside what is painted now (a line judged in a later slice, the
    // word left behind by the caret) is drawn, or wiped, by a paint of its own.
    const auto span = [](const QTextCursor& c) { return std::pair(c.selectionStart(), c.selectionEnd()); };
    const auto missing = [&](const QList<QTextCursor>& marks, const QTextCursor& m) {
        return std::ranges::none_of(marks, [&](const QTextCursor& o) { return span(o) == span(m); });
    };
    std::vector<QRectF> changed;
    for (const QTextCursor& m : before)
        if (missing(shown_, m)) bands(m, changed);
    for (const QTextCursor& m : shown_)
        if (missing(before, m)) bands(m, changed);
    QRectF stale;
    for (const QRectF& band : changed) stale |= band;
    if (!stale.isEmpty() && !dirty.contains(stale.toAlignedRect())) editor_->viewport()->update(stale.toAlignedRect());
    if (pending_) QTimer::singleShot(1, this, [this] { editor_->viewport()->update(); });
}

// Where the waves under `marks` of `block` go, the block drawn at `origin` (viewport
// coordinates) and holding `text`: the top of the descent under their characters, on each
// line they take, as far as the view shows (a line of a long line shown unwrapped runs far
// past its right edge). Where a stretch of a line starts and ends is remembered with the
// line's text: the layout works it out from the items of the whole block each time it is
// asked.
void SpellHighlighter::addBands(const QTextBlock& block, const QString& text, QPointF origin,
                                std::span<const QTextCursor> marks, std::vector<QRectF>& out) {
    const QTextLayout* layout = block.layout();
    if (!layout || layout->lineCount() == 0) return;
    origin += layout->position();
    const qreal viewWidth = editor_->viewport()->width();
    int shownLine = -1;  // the line the following are worked out for
    QString lineText;
    int shownFrom = 0, shownTo = 0;  // its characters in view
    for (const QTextCursor& mark : marks) {
        const int from = mark.selectionStart() - block.position();
        const int to = mark.selectionEnd() - block.position();
        for (int i = std::max(0, layout->lineForTextPosition(from).lineNumber()); i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const int start = line.textStart();
            if (start >= to) break;
            if (i != shownLine) {
                shownLine = i;
                lineText = text.mid(start, line.textLength());
                const qreal left = origin.x() + line.x();
                const bool whole = left >= 0 && left + line.naturalTextWidth() <= viewWidth;
                shownFrom = whole ? start : line.xToCursor(-left + line.x());
                shownTo = whole ? start + line.textLength() : line.xToCursor(viewWidth - left + line.x());
            }
            const int end = std::min(to, start + line.textLength());
            if (end < shownFrom || std::max(from, start) > shownTo) continue;
            Stretch key{lineText, std::max(from, start) - start, end - start};
            auto it = stretches_.constFind(key);
            if (it == stretches_.constEnd()) {
                stretchChars_ += key.line.size();
                if (stretchChars_ > kMostRememberedChars) {
                    stretches_.clear();
                    stretchChars_ = key.line.size();
                }
                const qreal x1 = line.cursorToX(key.from + start) - line.x();
                const qreal x2 = line.cursorToX(key.to + start) - line.x();
                it = stretches_.insert(std::move(key), {std::min(x1, x2), std::abs(x2 - x1)});
            }
            out.emplace_back(origin.x() + line.x() + it->first, origin.y() + line.y() + line.ascent() + 1, it->second,
                             wave(line.descent()).deviceIndependentSize().height());
        }
    }
}

// The same for a mark found anywhere (a slower walk to its block).
void SpellHighlighter::bands(const QTextCursor& mark, std::vector<QRectF>& out) {
    const QTextBlock block = editor_->document()->findBlock(mark.selectionStart());
    if (block.isValid() && block.isVisible())
        addBands(block, block.text(), editor_->blockBox(block).topLeft(), std::span(&mark, 1), out);
}

// A stretch of red zigzag as tall as a line's descent allows, whole periods long so that
// it tiles.
const QPixmap& SpellHighlighter::wave(qreal lineDescent) {
    const int amplitude = std::clamp(static_cast<int>(lineDescent / 3), 1, 3);
    const qreal ratio = editor_->viewport()->devicePixelRatioF();
    if (amplitude == waveAmplitude_ && wave_.devicePixelRatio() == ratio) return wave_;
    const int period = amplitude * 4;
    const QSizeF size(period * 8, amplitude * 2 + 1);
    wave_ = QPixmap((size * ratio).toSize());
    wave_.setDevicePixelRatio(ratio);
    wave_.fill(Qt::transparent);
    QPainter p(&wave_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::red, 1));
    QPolygonF zigzag;
    for (int x = 0; x <= size.width(); x += period / 2)
        zigzag << QPointF(x, (x / (period / 2)) % 2 == 0 ? size.height() - 0.5 : 0.5);
    p.drawPolyline(zigzag);
    waveAmplitude_ = amplitude;
    return wave_;
}

std::vector<MisspeltWord> SpellHighlighter::shownWords() const {
    std::vector<MisspeltWord> words;
    for (const QTextCursor& c : shown_)
        words.push_back({c.selectionStart(), c.selectionEnd() - c.selectionStart(), c.selectedText()});
    return words;
}

std::optional<MisspeltWord> SpellHighlighter::wordAt(int position) {
    for (const MisspeltWord& w : shownWords())
        if (w.position <= position && position <= w.position + w.length) return w;
    return std::nullopt;
}

QMenu* SpellHighlighter::menuFor(int position, QWidget* parent) {
    if (!checker_) return nullptr;
    const std::optional<MisspeltWord> word = wordAt(position);
    if (!word) return nullptr;
    const std::string bytes = QStringToBytes(word->text);
    auto* menu = new QMenu(parent);
    if (!editor_->isReadOnly()) {
        for (const std::string& s : checker_->suggestions(bytes, kMostSuggestions)) {
            const QString with = BytesToQString(s);
            connect(menu->addAction(with), &QAction::triggered, this, [this, w = *word, with] { replace(w, with); });
        }
        if (!menu->isEmpty()) menu->addSeparator();
    }
    connect(menu->addAction(QStringLiteral("Добавить в словарь")), &QAction::triggered, this, [this, bytes] {
        try {
            checker_->addToPersonal(bytes);
        } catch (const LarkError& e) {
            if (onWordListError) onWordListError(QString::fromStdString(e.what()));
        }
        forget();
    });
    connect(menu->addAction(QStringLiteral("Пропустить")), &QAction::triggered, this, [this, bytes] {
        checker_->skip(bytes);
        forget();
    });
    return menu;
}

void SpellHighlighter::replace(const MisspeltWord& word, const QString& with) {
    QTextCursor c(editor_->document());
    c.setPosition(word.position);
    c.setPosition(word.position + word.length, QTextCursor::KeepAnchor);
    if (c.selectedText() != word.text) return;  // the text changed meanwhile
    c.beginEditBlock();
    c.insertText(with);
    c.endEditBlock();
}

bool SpellHighlighter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ContextMenu || !checker_) return QObject::eventFilter(watched, event);
    auto* e = static_cast<QContextMenuEvent*>(event);
    const int position = e->reason() == QContextMenuEvent::Mouse ? editor_->cursorForPosition(e->pos()).position()
                                                                 : editor_->textCursor().position();
    const std::unique_ptr<QMenu> menu(menuFor(position, editor_));
    if (!menu) return QObject::eventFilter(watched, event);
    QMenu* text = textMenu ? textMenu() : nullptr;
    std::unique_ptr<QMenu> standard;
    if (!text) {
        standard.reset(editor_->createStandardContextMenu(e->pos()));
        text = standard.get();
    }
    emit text->aboutToShow();  // the text menu brings its items up to date
    menu->addSeparator();
    menu->addActions(text->actions());
    menu->exec(e->globalPos());
    return true;
}

}  // namespace lark::gui
