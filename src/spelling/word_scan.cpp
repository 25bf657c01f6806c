#include "spelling/word_scan.h"

#include <algorithm>
#include <array>

#include "search/section_links.h"

namespace lark::spelling {

namespace {

// Windows-1251 letters beyond А..я: Ё ё, Ukrainian Ґ ґ Є є І і Ї ї, Belarusian Ў ў.
constexpr std::array<unsigned char, 12> kExtraLetters{0xA8, 0xB8, 0xA5, 0xB4, 0xAA, 0xBA,
                                                      0xB2, 0xB3, 0xAF, 0xBF, 0xA1, 0xA2};

constexpr std::array<bool, 256> makeLetterTable() {
    std::array<bool, 256> t{};
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
    for (int c = 0xC0; c <= 0xFF; ++c) t[c] = true;
    for (const unsigned char c : kExtraLetters) t[c] = true;
    return t;
}
constexpr std::array<bool, 256> kLetters = makeLetterTable();

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isWordChar(unsigned char c) { return kLetters[c] || isDigit(c); }
bool isJoiner(unsigned char c) { return c == '-' || c == '\'' || c == 0x92; }
bool isGlue(unsigned char c) { return c == '@' || c == '_' || c == '/' || c == '\\'; }

unsigned char at(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

// Whether the word [start, end) is left unchecked for what it holds or what it touches.
bool skipped(std::string_view text, std::size_t start, std::size_t end) {
    bool latinCapitalsOnly = true;
    for (std::size_t i = start; i < end; ++i) {
        const unsigned char c = at(text, i);
        if (isDigit(c)) return true;
        if (kLetters[c] && !(c >= 'A' && c <= 'Z')) latinCapitalsOnly = false;
    }
    if (latinCapitalsOnly) return true;
    if (start > 0) {
        const unsigned char before = at(text, start - 1);
        if (isGlue(before)) return true;
        if (before == '.' && start >= 2 && isWordChar(at(text, start - 2))) return true;
    }
    if (end < text.size()) {
        const unsigned char after = at(text, end);
        if (isGlue(after)) return true;
        if (after == '.' && end + 1 < text.size() && isWordChar(at(text, end + 1))) return true;
    }
    return false;
}

}  // namespace

bool IsWordLetter(unsigned char c) { return kLetters[c]; }

std::vector<WordRun> CheckedWords(std::string_view text) {
    std::vector<WordRun> words;
    const std::vector<LinkRun> links = FindLinks(text);
    auto link = links.begin();
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (!isWordChar(at(text, i))) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < n &&
               (isWordChar(at(text, i)) || (isJoiner(at(text, i)) && i + 1 < n && isWordChar(at(text, i + 1)))))
            ++i;
        while (link != links.end() && link->start + link->length <= start) ++link;
        const bool inLink = link != links.end() && link->start < i;
        if (!inLink && !skipped(text, start, i)) words.push_back({start, i - start});
    }
    return words;
}

}  // namespace lark::spelling
