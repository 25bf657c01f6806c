#include "editor/spell_marks.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

#include "document/cp1251.h"
#include "document/errors.h"
#include "editor/note_editor.h"
#include "editor/text_codec.h"
#include "spelling/spell_checker.h"

namespace lark::gui {

namespace {

// How long one paint may spend on words it has not met before.
constexpr qint64 kSliceMs = 4;
// Lines remembered at most; beyond, the memory starts afresh.
constexpr qsizetype kMostLines = 20000;
// Marks on screen at most, from the top. A screen of text that is mostly unknown words (a
// log, code, another language) would otherwise cost a wave, and a cursor that every edit
// moves, per word: typing into such a text must not slow down for a check.
constexpr qsizetype kMostMarks = 50;

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
    editor->extraMarks = [this](QList<QTextEdit::ExtraSelection>& marks) { addVisibleMarks(marks); };
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
    if (lines_.size() >= kMostLines) lines_.clear();
    lines_.insert(text, runs);
    return runs;
}

// The marks of the last paint that still stand where a block's words are are kept as they
// are: a new mark costs the layout of its line (QTextCursor works out its place on screen),
// and after an edit the marks move with the text by themselves.
void SpellHighlighter::addVisibleMarks(QList<QTextEdit::ExtraSelection>& marks) {
    QList<QTextEdit::ExtraSelection> previous = std::move(shown_);
    shown_.clear();
    pending_ = false;
    if (!checker_ || !checker_->hasDictionaries()) return;
    QElapsedTimer budget;
    budget.start();
    QTextCharFormat look;
    look.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    look.setUnderlineColor(Qt::red);
    const QTextBlock first = editor_->cursorForPosition(QPoint(0, 0)).block();
    const QTextBlock last = editor_->cursorForPosition(QPoint(0, editor_->viewport()->height())).block();
    const ShownText& shown = editor_->shownText();
    const QTextCursor caret = editor_->textCursor();
    if (caret.hasSelection() || caret.position() != typedAt_) typedAt_ = -1;
    qsizetype kept = 0;  // the first mark of `previous` not yet passed
    std::vector<std::pair<int, int>> wanted;
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        if (b.isVisible()) {
            const QString text = b.text();
            const int from = b.position();
            const int typing = typedAt_ >= from && typedAt_ <= from + text.size() ? typedAt_ - from : -1;
            std::optional<Runs> runs;
            if (const auto it = lines_.constFind(text); it != lines_.constEnd()) runs = *it;
            else runs = misspelt(text, &budget, typing);
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
                while (kept < previous.size() && previous[kept].cursor.selectionStart() < from) ++kept;
                qsizetype end = kept;
                while (end < previous.size() && previous[end].cursor.selectionEnd() <= from + text.size()) ++end;
                const bool same =
                    end - kept == static_cast<qsizetype>(wanted.size()) &&
                    std::equal(wanted.begin(), wanted.end(), previous.begin() + kept,
                               [](const std::pair<int, int>& w, const QTextEdit::ExtraSelection& m) {
                                   return m.cursor.selectionStart() == w.first && m.cursor.selectionEnd() == w.second;
                               });
                if (same) {
                    shown_.append(previous.mid(kept, end - kept));
                } else {
                    for (const auto& [at, to] : wanted) {
                        QTextEdit::ExtraSelection mark{QTextCursor(b), look};
                        mark.cursor.setPosition(at);
                        mark.cursor.setPosition(to, QTextCursor::KeepAnchor);
                        shown_.append(mark);
                    }
                }
                kept = end;
            }
        }
        if (b == last) break;
        if (shown_.size() >= kMostMarks) {
            shown_.resize(kMostMarks);
            pending_ = false;  // what lies below is not looked at
            break;
        }
    }
    marks.append(shown_);
    if (pending_) QTimer::singleShot(1, this, [this] { editor_->viewport()->update(); });
}

std::vector<MisspeltWord> SpellHighlighter::shownWords() const {
    std::vector<MisspeltWord> words;
    for (const QTextEdit::ExtraSelection& s : shown_)
        words.push_back(
            {s.cursor.selectionStart(), s.cursor.selectionEnd() - s.cursor.selectionStart(), s.cursor.selectedText()});
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
