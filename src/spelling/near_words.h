#pragma once
// Quick suggestions: the words one edit away from a misspelt one that the dictionaries know
// (two neighbouring letters swapped, one letter wrong, one extra, one missing, or two words
// run together), found by asking about each such word. Hunspell's own search goes on, when
// these give little, to compare the word with the whole dictionary: tens of milliseconds a
// word, right for a menu, too slow for every unknown word of a notebook.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lark::spelling {

// Words longer than this get no suggestions (Hunspell's own limit is 100 bytes of UTF-8).
inline constexpr std::size_t kLongestNearWord = 100;

// Up to `most` words near `word`, the likeliest slips first: the word with a capital (a
// name typed in lower case); two letters swapped or a letter doubled or not; a vowel for a
// vowel or a consonant for a consonant, a letter extra or missing; any other letter, two
// words (with a blank between). Among equals, the letters of `letters` (lower case, the
// likeliest first) come in their order. A capitalised word or one in capitals gets
// suggestions in its own case. Each is offered once, never `word` itself. Words are
// Windows-1251; `known` judges a candidate.
std::vector<std::string> NearWords(std::string_view word, std::string_view letters,
                                   const std::function<bool(const std::string&)>& known, std::size_t most);

}  // namespace lark::spelling
