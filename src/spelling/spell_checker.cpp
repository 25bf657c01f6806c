#include "spelling/spell_checker.h"

#include <algorithm>

#include "document/cp1251.h"
#include "document/errors.h"
#include "spelling/near_words.h"

namespace lark::spelling {

void SpellChecker::loadDictionaries(const std::vector<DictionaryFile>& found, const std::vector<std::string>& languages,
                                    std::vector<std::string>* missing) {
    for (const std::string& language : languages) {
        const auto it = std::ranges::find(found, language, &DictionaryFile::name);
        if (it == found.end()) {
            if (missing) missing->push_back(language);
            continue;
        }
        addDictionary(std::make_unique<HunspellDictionary>(*it));
    }
}

void SpellChecker::addDictionary(std::unique_ptr<HunspellDictionary> dictionary) {
    if (personal_)
        for (const std::string& w : personal_->words()) dictionary->add(w);
    dictionaries_.push_back(std::move(dictionary));
    verdicts_.clear();
}

std::vector<std::string> SpellChecker::languages() const {
    std::vector<std::string> names;
    for (const auto& d : dictionaries_) names.push_back(d->name());
    return names;
}

void SpellChecker::usePersonalWords(const std::string& path) {
    personal_ = std::make_unique<PersonalWords>(path);
    verdicts_.clear();
    personal_->load();
    for (const std::string& w : personal_->words())
        for (const auto& d : dictionaries_) d->add(w);
}

std::string SpellChecker::normal(std::string_view word) {
    std::string w(word);
    std::ranges::replace(w, '\x92', '\'');
    return w;
}

bool SpellChecker::known(std::string_view word) {
    std::string w = normal(word);
    if (const auto it = verdicts_.find(w); it != verdicts_.end()) return it->second;
    bool ok = skipped_.contains(w) || (personal_ && personal_->contains(w));
    for (auto d = dictionaries_.begin(); !ok && d != dictionaries_.end(); ++d) ok = (*d)->knows(w);
    // A text of endless distinct tokens (a log, hashes) would otherwise grow the memory
    // without end; the skipped words stay skipped apart from it.
    if (verdicts_.size() >= kMostVerdicts) verdicts_.clear();
    verdicts_.emplace(std::move(w), ok);
    return ok;
}

std::vector<std::string> SpellChecker::suggestions(std::string_view word, std::size_t most, Search search) {
    std::vector<std::string> out;
    const std::string w = normal(word);
    if (search == Search::Near) return nearWords(w, most);
    // The dictionaries take turns, so the first suggestions of each come first.
    std::vector<std::vector<std::string>> lists;
    for (const auto& d : dictionaries_) lists.push_back(d->suggest(w));
    for (std::size_t rank = 0; out.size() < most; ++rank) {
        bool any = false;
        for (const auto& list : lists) {
            if (rank >= list.size()) continue;
            any = true;
            if (out.size() < most && std::ranges::find(out, list[rank]) == out.end()) out.push_back(list[rank]);
        }
        if (!any) break;
    }
    return out;
}

std::vector<std::string> SpellChecker::nearWords(const std::string& word, std::size_t most) {
    // The letters the dictionaries try, of the scripts of the word only (a Latin letter in a
    // Russian word makes a word no dictionary knows).
    bool latin = false, cyrillic = false;
    for (const char c : word)
        if (IsWordLetter(static_cast<unsigned char>(c)))
            (static_cast<unsigned char>(c) < 0x80 ? latin : cyrillic) = true;
    const auto wanted = [&](char c) { return static_cast<unsigned char>(c) < 0x80 ? latin : cyrillic; };
    std::string letters;
    for (const auto& d : dictionaries_)
        for (const char c : d->letters())
            if (wanted(c) && letters.find(c) == std::string::npos) letters += c;
    if (letters.empty()) {
        // No TRY line: the alphabets, vowels first.
        if (latin) letters += "eaoiuyntsrlhdcmfpgwbvkxjqz";
        if (cyrillic) letters += cp1251::fromUtf8Lossy("оеаиуяыюэёнтсрвлкмдпзгбчйхжшщцфъь", '?');
    }
    const std::function<bool(const std::string&)> known = [this](const std::string& candidate) {
        if (personal_ && personal_->contains(candidate)) return true;
        return std::ranges::any_of(dictionaries_, [&](const auto& d) { return d->knows(candidate); });
    };
    return NearWords(word, letters, known, most);
}

void SpellChecker::skip(std::string_view word) {
    std::string w = normal(word);
    verdicts_[w] = true;
    skipped_.insert(std::move(w));
}

void SpellChecker::addToPersonal(std::string_view word) {
    const std::string w = normal(word);
    skip(w);
    if (!personal_) personal_ = std::make_unique<PersonalWords>(PersonalWordsPath());
    personal_->add(w);
    for (const auto& d : dictionaries_) d->add(w);
    // Hunspell takes the word's other letter cases too: those verdicts are asked again.
    verdicts_.clear();
}

std::vector<WordRun> SpellChecker::unknownWords(std::string_view text) {
    std::vector<WordRun> unknown;
    for (const WordRun& run : CheckedWords(text))
        if (!known(text.substr(run.start, run.length))) unknown.push_back(run);
    return unknown;
}

}  // namespace lark::spelling
