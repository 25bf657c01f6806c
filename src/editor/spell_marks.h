#pragma once
// Spelling in the editor reNodeContent: a red wavy underline under each word the checker
// does not know, in the lines in view only, drawn over the painted text (the document, its
// layout, its undo history and its modified state are never touched); and on such a word
// the context menu offers up to 7 suggestions (one undoable edit replaces the word),
// "Добавить в словарь" and "Пропустить".
//
// The waves are not extra selections: the editor draws a line again, clipped, for each
// selection in it, and a screen of marks made every keystroke 40% slower.
//
// The word being typed (the caret right after a character typed or erased in it) is judged
// once the caret leaves it: a half-typed word is not underlined.
//
// Each paint checks what is in view within a few milliseconds; words left unchecked then
// are checked in the next slice, a moment later, so typing never waits for a screenful of
// new words. What a line holds is remembered by its text, so a keystroke checks again only
// the line it changed.
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QTextCursor>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

class QMenu;
class QPainter;
class QTextBlock;

namespace lark::spelling {
class SpellChecker;
}

namespace lark::gui {

class NoteEditor;

// A misspelt word in the editor: where it stands (editor positions) and its text.
struct MisspeltWord {
    int position = 0;
    int length = 0;
    QString text;
};

class SpellHighlighter : public QObject {
    Q_OBJECT
public:
    static constexpr int kMostSuggestions = 7;

    explicit SpellHighlighter(NoteEditor* editor);

    // The checker in use; null switches the underline off.
    void setChecker(std::shared_ptr<spelling::SpellChecker> checker);
    spelling::SpellChecker* checker() const { return checker_.get(); }

    // The menu whose items follow the spelling ones on a misspelt word (the window's own
    // text menu); the editor's standard menu when this gives none.
    std::function<QMenu*()> textMenu;
    // Told when "Добавить в словарь" could not write the personal word list (the message).
    std::function<void(const QString&)> onWordListError;

    // The misspelt word at editor position `position` among those underlined, if any.
    std::optional<MisspeltWord> wordAt(int position);
    // The underlined words of the lines in view, as the last paint found them.
    std::vector<MisspeltWord> shownWords() const;
    // The spelling part of the context menu for the misspelt word at `position` (suggestions,
    // a separator, "Добавить в словарь", "Пропустить"), or null when there is no such word.
    // The menu belongs to the caller.
    QMenu* menuFor(int position, QWidget* parent = nullptr);

    // True while words in view wait for the next slice.
    bool pending() const { return pending_; }

    // Works out the underlines of the lines in view and draws those in `dirty` (viewport
    // coordinates) with `painter`.
    void paintMarks(QPainter& painter, const QRect& dirty);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Runs = std::vector<std::pair<int, int>>;
    // The misspelt words of one block's text, but for the word touching `typing` (a
    // position in the block; -1 for none), which is not asked about; nothing when the slice
    // ran out first. Remembered when complete and nothing was left out.
    std::optional<Runs> misspelt(const QString& text, QElapsedTimer* budget, int typing);
    // Works out the marks of the lines in view and where their waves go.
    void updateMarks();
    void addBands(const QTextBlock& block, const QString& text, QPointF origin, std::span<const QTextCursor> marks,
                  std::vector<QRectF>& out);
    void bands(const QTextCursor& mark, std::vector<QRectF>& out);
    // The wave for lines of this descent (wave_, made anew when the size changes).
    const QPixmap& wave(qreal lineDescent);
    void replace(const MisspeltWord& word, const QString& with);
    void forget();

    NoteEditor* editor_;
    std::shared_ptr<spelling::SpellChecker> checker_;
    int typedAt_ = -1;  // where the last edit ended while the caret stays there; -1 for none
    QHash<QString, Runs> lines_;
    qsizetype linesChars_ = 0;   // the characters of their texts
    QList<QTextCursor> shown_;   // the marks as selections, which move with the text
    std::vector<QRectF> waves_;  // where their waves go in the view
    // A stretch of a line of text: its characters [from, to).
    struct Stretch {
        QString line;
        int from = 0;
        int to = 0;
        bool operator==(const Stretch&) const = default;
        friend size_t qHash(const Stretch& s, size_t seed = 0) { return qHashMulti(seed, s.line, s.from, s.to); }
    };
    QHash<Stretch, std::pair<qreal, qreal>> stretches_;  // its left from the line's and its width
    qsizetype stretchChars_ = 0;                         // the characters of their lines
    QString stretchesFont_;                              // the editor's font they were measured in
    QPixmap wave_;  // a stretch of the wave, made for one amplitude and pixel ratio
    int waveAmplitude_ = 0;
    bool pending_ = false;
};

// Attaches the highlighter to the editor once and returns it.
SpellHighlighter* InstallSpellHighlighter(NoteEditor* editor);

}  // namespace lark::gui
