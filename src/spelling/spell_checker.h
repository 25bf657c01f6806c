#pragma once
// The spell checker: the chosen dictionaries, the personal word list and the words skipped
// for this run, with every word's verdict remembered. A word is known when any dictionary
// knows it. Words and suggestions are Windows-1251. Not for use by two threads at once.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "spelling/dictionary_files.h"
#include "spelling/hunspell_dictionary.h"
#include "spelling/personal_words.h"
#include "spelling/word_scan.h"

namespace lark::spelling {

class SpellChecker {
public:
    // Verdicts remembered at most; beyond, the memory starts afresh.
    static constexpr std::size_t kMostVerdicts = std::size_t{1} << 18;

    SpellChecker() = default;

    // Loads the dictionaries of `found` named in `languages`, in that order; names not
    // found are returned in `missing`. A dictionary that fails to load throws LarkError.
    void loadDictionaries(const std::vector<DictionaryFile>& found, const std::vector<std::string>& languages,
                          std::vector<std::string>* missing = nullptr);
    void addDictionary(std::unique_ptr<HunspellDictionary> dictionary);
    bool hasDictionaries() const { return !dictionaries_.empty(); }
    std::vector<std::string> languages() const;

    // Reads the personal word list at `path` (personal_words.h); its words are known from
    // now on. Throws LarkError as PersonalWords::load does (the checker works on without).
    void usePersonalWords(const std::string& path);
    const PersonalWords* personalWords() const { return personal_.get(); }

    // Whether `word` is spelt right.
    bool known(std::string_view word);
    // Whether the verdict on `word` is remembered, so known() is quick.
    bool decided(std::string_view word) const { return verdicts_.contains(normal(word)); }
    // How far suggestions are looked for: Hunspell's whole search, or only the words one
    // edit away (near_words.h), a thousand times quicker on a word far from any.
    enum class Search { Full, Near };
    // Up to `most` suggestions for `word`, best first, each once.
    std::vector<std::string> suggestions(std::string_view word, std::size_t most, Search search = Search::Full);

    // "Пропустить": the word counts as known until the checker ends.
    void skip(std::string_view word);
    // "Добавить в словарь": the word goes to the personal list (written at once) and is
    // known from now on. Throws LarkError when the list cannot be written; the word is
    // then skipped for this run all the same.
    void addToPersonal(std::string_view word);

    // The words of `text` (word_scan.h) that are not known.
    std::vector<WordRun> unknownWords(std::string_view text);

private:
    // The right single quotation mark as the apostrophe dictionaries spell.
    static std::string normal(std::string_view word);
    std::vector<std::string> nearWords(const std::string& word, std::size_t most);

    std::vector<std::unique_ptr<HunspellDictionary>> dictionaries_;
    std::unique_ptr<PersonalWords> personal_;
    std::unordered_set<std::string> skipped_;
    std::unordered_map<std::string, bool> verdicts_;
};

}  // namespace lark::spelling
