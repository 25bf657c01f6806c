#pragma once
// One Hunspell dictionary spoken to in Windows-1251. A dictionary keeps its words in its
// own encoding (the SET line of its .aff: UTF-8, KOI8-R, ISO8859-1...): every word goes in
// converted to it, and every suggestion comes back converted; a suggestion Windows-1251
// cannot hold is dropped, and a word the dictionary's encoding cannot hold is not in it.
// A dictionary whose TRY line (the letters its suggestions try) holds only Latin letters,
// or only Cyrillic ones, is not asked about words with letters of the other script: it
// knows none of them, and its suggestions for them cost much and bring nothing.
// Not for use by two threads at once.
#include <iconv.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spelling/dictionary_files.h"

class Hunspell;

namespace lark::spelling {

class HunspellDictionary {
public:
    // Loads the dictionary; throws LarkError when its files cannot be read or its encoding
    // is one the system cannot convert.
    explicit HunspellDictionary(const DictionaryFile& file);
    ~HunspellDictionary();
    HunspellDictionary(const HunspellDictionary&) = delete;
    HunspellDictionary& operator=(const HunspellDictionary&) = delete;

    const std::string& name() const { return name_; }
    const std::string& encoding() const { return encoding_; }
    // The lower-case letters of the TRY line, in its order (the likeliest first), in
    // Windows-1251; empty when it has none.
    const std::string& letters() const { return letters_; }

    // Whether the dictionary knows `word` (Windows-1251).
    bool knows(std::string_view word);
    // Its suggestions for `word`, best first, in Windows-1251.
    std::vector<std::string> suggest(std::string_view word);
    // Takes `word` as known for as long as the dictionary lives (a personal word).
    void add(std::string_view word);

private:
    // Whether the word's letters are of the scripts the dictionary is for.
    bool fits(std::string_view word) const;
    std::optional<std::string> toDictionary(std::string_view word);
    std::optional<std::string> fromDictionary(const std::string& word);

    std::string name_;
    std::string encoding_;
    std::string letters_;
    std::unique_ptr<Hunspell> hunspell_;
    enum class Kind { Utf8, Cp1251, Other } kind_ = Kind::Utf8;
    unsigned scripts_ = 0;  // kLatin | kCyrillic of the TRY line; 0: any word
    iconv_t toDict_{};      // both open while kind_ is Other
    iconv_t fromDict_{};
};

}  // namespace lark::spelling
