#pragma once
// Which words of a text are spell-checked. The text is Windows-1251, one byte a character,
// so positions are those of the same text in the editor too.
//
// A word is a run of letters and digits; a hyphen or an apostrophe (' or ’) between two of
// them joins the parts into one word ("кто-нибудь", "don't"). Letters are Latin, Russian
// (Ё and ё too), Ukrainian and Belarusian. Not checked: a word with a digit in it (numbers,
// dd.mm.yy dates, "5-й"), a word of Latin capitals only ("NASA", "HTTP"), a word inside a
// link (file://@Section, http://...), and a word glued to another by a full stop
// ("example.com", "т.е.") or touching @ _ / \ (addresses, identifiers, paths).
#include <cstddef>
#include <string_view>
#include <vector>

namespace lark::spelling {

struct WordRun {
    std::size_t start;
    std::size_t length;
    bool operator==(const WordRun&) const = default;
};

// True for the bytes words are made of: letters of the scripts above.
bool IsWordLetter(unsigned char c);

// The words of `text` to be checked, in order.
std::vector<WordRun> CheckedWords(std::string_view text);

}  // namespace lark::spelling
