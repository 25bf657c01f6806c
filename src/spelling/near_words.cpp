#include "spelling/near_words.h"

#include <algorithm>
#include <array>

#include "document/cp1251.h"

namespace lark::spelling {

namespace {

const std::array<unsigned char, 256>& upperTable() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int c = 0; c < 256; ++c) t[c] = static_cast<unsigned char>(c);
        for (int c = 0; c < 256; ++c) {
            const unsigned char lower = cp1251::toLower(static_cast<unsigned char>(c));
            if (lower != c) t[lower] = static_cast<unsigned char>(c);
        }
        return t;
    }();
    return table;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(upperTable()[static_cast<unsigned char>(c)]);
    return s;
}

std::string capitalised(std::string s) {
    if (!s.empty()) s[0] = static_cast<char>(upperTable()[static_cast<unsigned char>(s[0])]);
    return s;
}

enum class Shape { AsItIs, Capital, Capitals };

Shape shapeOf(std::string_view word, const std::string& lower) {
    if (word == lower) return Shape::AsItIs;
    if (word.size() > 1 && word.substr(1) == std::string_view(lower).substr(1)) return Shape::Capital;
    if (word == upper(lower)) return Shape::Capitals;
    return Shape::AsItIs;
}

bool isVowel(unsigned char c) {
    static const std::string vowels = "aeiouy" + cp1251::fromUtf8Lossy("аеёиоуыэюяі", '?');
    return vowels.find(static_cast<char>(cp1251::toLower(c))) != std::string::npos;
}

// What a kind of edit costs: the likelier the slip, the less.
enum Cost : int {
    kCapital = 0,     // a name typed in lower case
    kSwap = 1,        // two neighbours swapped
    kDoubling = 1,    // a letter doubled, or not doubled
    kLikeLetter = 2,  // a vowel for a vowel, a consonant for a consonant
    kOneLetter = 2,   // a letter extra or missing
    kOtherLetter = 3,
    kTwoWords = 3,
};

class Collector {
public:
    Collector(std::string_view word, Shape shape, const std::function<bool(const std::string&)>& known)
        : word_(word), shape_(shape), known_(known) {}

    // Offers `candidate` (in the case of the letters worked on) at `cost`.
    void offer(const std::string& candidate, int cost) {
        std::string shown = shape_ == Shape::Capital    ? capitalised(candidate)
                            : shape_ == Shape::Capitals ? upper(candidate)
                                                        : candidate;
        if (shown == word_) return;
        if (const auto it = std::ranges::find(found_, shown, &Found::word); it != found_.end()) {
            it->cost = std::min(it->cost, cost);
            return;
        }
        const std::size_t blank = shown.find(' ');
        const bool ok = blank == std::string::npos ? known_(shown)
                                                   : known_(shown.substr(0, blank)) && known_(shown.substr(blank + 1));
        if (ok) found_.push_back({std::move(shown), cost});
    }

    // The `most` cheapest, in the order found among equals.
    std::vector<std::string> best(std::size_t most) {
        std::ranges::stable_sort(found_, {}, &Found::cost);
        std::vector<std::string> out;
        for (std::size_t i = 0; i < found_.size() && i < most; ++i) out.push_back(std::move(found_[i].word));
        return out;
    }

private:
    struct Found {
        std::string word;
        int cost;
    };
    std::string_view word_;
    Shape shape_;
    const std::function<bool(const std::string&)>& known_;
    std::vector<Found> found_;
};

}  // namespace

std::vector<std::string> NearWords(std::string_view word, std::string_view letters,
                                   const std::function<bool(const std::string&)>& known, std::size_t most) {
    // Hunspell knows no word this long: a run of letters a megabyte long would otherwise
    // cost millions of candidates as long as itself.
    if (word.size() > kLongestNearWord) return {};
    const std::string lower = cp1251::toLower(word);
    const Shape shape = shapeOf(word, lower);
    const std::string base = shape == Shape::AsItIs ? std::string(word) : lower;
    Collector c(word, shape, known);
    const std::size_t n = base.size();
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(base[i]); };
    if (shape == Shape::AsItIs && word == lower) c.offer(capitalised(base), kCapital);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        std::string s = base;
        std::swap(s[i], s[i + 1]);
        c.offer(s, kSwap);
    }
    for (const char letter : letters)
        for (std::size_t i = 0; i < n; ++i) {
            if (base[i] == letter) continue;
            std::string s = base;
            s[i] = letter;
            c.offer(s, isVowel(at(i)) == isVowel(static_cast<unsigned char>(letter)) ? kLikeLetter : kOtherLetter);
        }
    for (std::size_t i = 0; i < n && n > 1; ++i) {
        const bool doubled = (i > 0 && base[i - 1] == base[i]) || (i + 1 < n && base[i + 1] == base[i]);
        c.offer(base.substr(0, i) + base.substr(i + 1), doubled ? kDoubling : kOneLetter);
    }
    for (const char letter : letters)
        for (std::size_t i = 0; i <= n; ++i) {
            const bool doubling = (i > 0 && base[i - 1] == letter) || (i < n && base[i] == letter);
            c.offer(base.substr(0, i) + letter + base.substr(i), doubling ? kDoubling : kOneLetter);
        }
    for (std::size_t i = 1; i < n; ++i) c.offer(base.substr(0, i) + ' ' + base.substr(i), kTwoWords);
    return c.best(most);
}

}  // namespace lark::spelling
