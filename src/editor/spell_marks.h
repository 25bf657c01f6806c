#pragma once
// Spelling in the editor reNodeContent: a red wavy underline under each word the checker
// does not know, in the lines in view only, drawn with the links as extra selections (the
// document, its undo history and its modified state are never touched); and on such a word
// the context menu offers up to 7 suggestions (one undoable edit replaces the word),
// "Добавить в словарь" and "Пропустить".
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
#include <QString>
#include <QTextEdit>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QMenu;

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

    // Appends the underlines of the lines in view to `marks`.
    void addVisibleMarks(QList<QTextEdit::ExtraSelection>& marks);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Runs = std::vector<std::pair<int, int>>;
    // The misspelt words of one block's text, but for the word touching `typing` (a
    // position in the block; -1 for none), which is not asked about; nothing when the slice
    // ran out first. Remembered when complete and nothing was left out.
    std::optional<Runs> misspelt(const QString& text, QElapsedTimer* budget, int typing);
    void replace(const MisspeltWord& word, const QString& with);
    void forget();

    NoteEditor* editor_;
    std::shared_ptr<spelling::SpellChecker> checker_;
    int typedAt_ = -1;  // where the last edit ended while the caret stays there; -1 for none
    QHash<QString, Runs> lines_;
    QList<QTextEdit::ExtraSelection> shown_;
    bool pending_ = false;
};

// Attaches the highlighter to the editor once and returns it.
SpellHighlighter* InstallSpellHighlighter(NoteEditor* editor);

}  // namespace lark::gui
