#pragma once
// Spell checking in the window: "Проверка орфографии" (a check mark, on by default when a
// Hunspell dictionary is found) and "Словари..." in the "Настройка" menu, the choice kept
// in larkpad.ini after the other settings (SpellCheck, SpellLanguages), and the checker
// handed to the editor's underline once its dictionaries are loaded on a worker thread.
// Without any dictionary the option is greyed, and its hint names the packages that bring
// them.
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/ini_file.h"
#include "spelling/dictionary_files.h"

class QAction;
class QMenu;
class QWidget;

namespace lark::spelling {
class SpellChecker;
}

namespace lark::gui {

class NoteEditor;
class SpellHighlighter;

class SpellingControl : public QObject {
    Q_OBJECT
public:
    // Adds the two items to `options` and finds the system's dictionaries.
    SpellingControl(NoteEditor& editor, QMenu& options, QWidget* window);
    ~SpellingControl() override;

    // The hint of the greyed option.
    static QString missingHint();

    // Told of a failure to read or write the personal word list (a status-bar line).
    std::function<void(const QString&)> onNotice;
    // The "Словари..." dialog: the names chosen among `found`, nothing for Cancel. Tests
    // put their own answer here.
    std::function<std::optional<std::vector<std::string>>(const std::vector<spelling::DictionaryFile>& found,
                                                          const std::vector<std::string>& chosen)>
        chooseDictionaries;

    void readSettings(const IniFile& ini);
    void writeSettings(IniFile& ini) const;

    bool checking() const;
    const std::vector<std::string>& languages() const { return languages_; }
    // True while dictionaries are being loaded.
    bool loading() const { return loading_; }

signals:
    // The editor has its checker (or none, with the option off).
    void checkerChanged();

private:
    void apply();
    // Puts `checker` to the editor; the one it replaces is freed on a worker (freeing a
    // Russian dictionary takes a good part of a second).
    void useChecker(std::shared_ptr<spelling::SpellChecker> checker);
    void optionClicked();
    void dictionariesClicked();

    NoteEditor& editor_;
    QWidget* window_;
    SpellHighlighter* highlighter_;
    QAction* miSpellCheck_;
    QAction* miDictionaries_;
    std::vector<spelling::DictionaryFile> found_;
    std::vector<std::string> languages_;  // empty: the default ones
    bool wanted_ = true;                  // the option as the user set it
    struct Loaded {
        std::shared_ptr<spelling::SpellChecker> checker;
        QString notice;
    };
    QFutureWatcher<Loaded> watcher_;
    std::shared_ptr<spelling::SpellChecker> current_;
    int generation_ = 0;
    bool loading_ = false;  // until the latest load has reached the editor
};

// The "Словари..." dialog itself: a list of the found dictionaries to tick.
std::optional<std::vector<std::string>> ChooseDictionariesDialog(QWidget* parent,
                                                                 const std::vector<spelling::DictionaryFile>& found,
                                                                 const std::vector<std::string>& chosen);

}  // namespace lark::gui
