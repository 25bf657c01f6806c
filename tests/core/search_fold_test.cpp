#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "document/cp1251.h"
#include "document/fold_find.h"
#include "document/memory_view.h"
#include "document/scan_either.h"

namespace {

using lark::FindFolded;
using lark::kNotFound;

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

// The obvious reference: lower-case both and compare.
std::size_t naiveFind(const std::string& hay, const std::string& needle, std::size_t from) {
    if (needle.empty()) return kNotFound;
    const std::string h = lark::cp1251::toLower(hay), n = lark::cp1251::toLower(needle);
    const std::size_t p = from > h.size() ? std::string::npos : h.find(n, from);
    return p == std::string::npos ? kNotFound : p;
}

TEST(FoldFind, LetterCaseRows) {
    struct Row {
        const char* name;
        std::string hay, needle;
        std::size_t from, expected;
    };
    const Row rows[] = {
        {"nominal: Cyrillic capitals find small letters", cp("мама мыла раму"), cp("РАМУ"), 0, 10},
        {"nominal: small letters find capitals", cp("ПРИВЕТ"), cp("вет"), 0, 3},
        {"nominal: Ё and ё fold together", cp("ещё"), cp("ЕЩЁ"), 0, 0},
        {"nominal: ё is not е", cp("еще"), cp("ещё"), 0, kNotFound},
        {"nominal: Latin letters", "Hello World", "WORLD", 0, 6},
        {"nominal: mixed needle", cp("Заметка ABC"), cp("кА aBc"), 0, 5},
        {"nominal: search from a position skips earlier hits", "abcabc", "ABC", 1, 3},
        {"nominal: hit at the very end", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxab", "AB", 0, 40},
        {"robustness: empty needle is found nowhere", "abc", "", 0, kNotFound},
        {"robustness: empty haystack", "", "a", 0, kNotFound},
        {"robustness: needle longer than the rest", "abc", "bcd", 0, kNotFound},
        {"robustness: from beyond the end", "abc", "a", 7, kNotFound},
        {"robustness: partial match at the end", "abcab", "abc", 1, kNotFound},
        {"robustness: punctuation has no case", "a.b,c", ",C", 0, 3},
        {"robustness: NUL-free bytes above 0x7F that are not letters", "\x96\x97\xAB", "\x97\xAB", 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FindFolded(row.hay, row.needle, row.from), row.expected);
    }
}

// The code page's letters, written out here rather than taken from the program's table:
// each capital folds to the small letter below it, and no other byte changes.
TEST(FoldFind, EveryCapitalOfTheCodePageFoldsToItsSmallLetter) {
    const std::string capitals = cp("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЁЂЃЉЊЌЋЏЎЈҐЄЇІЅ") + "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string smalls = cp("абвгдежзийклмнопрстуфхцчшщъыьэюяёђѓљњќћџўјґєїіѕ") + "abcdefghijklmnopqrstuvwxyz";
    ASSERT_EQ(capitals.size(), smalls.size());
    for (std::size_t i = 0; i < capitals.size(); ++i) {
        SCOPED_TRACE(lark::cp1251::toUtf8(capitals.substr(i, 1)));
        EXPECT_EQ(lark::cp1251::toLower(static_cast<unsigned char>(capitals[i])),
                  static_cast<unsigned char>(smalls[i]));
        EXPECT_EQ(FindFolded(smalls, capitals.substr(i, 1)), i);
        EXPECT_EQ(FindFolded(capitals, smalls.substr(i, 1)), i);
    }
    for (int b = 0; b < 256; ++b) {
        if (capitals.find(static_cast<char>(b)) == std::string::npos) {
            EXPECT_EQ(lark::cp1251::toLower(static_cast<unsigned char>(b)), b) << "byte " << b;
        }
    }
}

TEST(FoldFind, AgreesWithLowerCasingOnRandomTexts) {
    // Small alphabets give many partial matches around the 32-byte blocks of the scan.
    std::mt19937 rng(20261207);
    const std::string alphabet = cp("аАбБёЁ") + "aAbB.";
    for (int round = 0; round < 2000; ++round) {
        std::string hay(rng() % 150, ' ');
        for (char& c : hay) c = alphabet[rng() % alphabet.size()];
        std::string needle(1 + rng() % 4, ' ');
        for (char& c : needle) c = alphabet[rng() % alphabet.size()];
        const std::size_t from = rng() % (hay.size() + 2);
        ASSERT_EQ(FindFolded(hay, needle, from), naiveFind(hay, needle, from))
            << "hay=" << hay << " needle=" << needle << " from=" << from;
    }
}

TEST(FoldFind, FindEitherByte) {
    std::string s(100, 'x');
    EXPECT_EQ(lark::FindEitherByte(s.data(), s.size(), '\r', '\n'), kNotFound);
    s[70] = '\n';
    s[90] = '\r';
    EXPECT_EQ(lark::FindEitherByte(s.data(), s.size(), '\r', '\n'), 70u);
    s[33] = '\r';
    EXPECT_EQ(lark::FindEitherByte(s.data(), s.size(), '\r', '\n'), 33u);
    EXPECT_EQ(lark::FindEitherByte(s.data(), 33, '\r', '\n'), kNotFound);
}

// The scan shared by the core's find and the editor's: the same answers for bytes and
// UTF-16 characters, on both sides of the 32-byte rounds and in the tail after them.
TEST(FoldFind, ScanEitherRows) {
    struct Row {
        const char* name;
        std::size_t size, from;
        std::vector<std::size_t> hits;  // positions holding a or b (alternately)
        std::size_t skip;               // hits the check turns down first
        std::size_t expected;
    };
    const Row rows[] = {
        {"nominal: first element", 64, 0, {0}, 0, 0},
        {"nominal: last element of the first round of characters", 64, 0, {15}, 0, 15},
        {"nominal: first element of the second round of characters", 64, 0, {16}, 0, 16},
        {"nominal: last element of the first round of bytes", 64, 0, {31}, 0, 31},
        {"nominal: first element after it", 64, 0, {32}, 0, 32},
        {"nominal: in the tail after the last full round", 70, 0, {69}, 0, 69},
        {"nominal: b as well as a", 64, 0, {40, 41}, 0, 40},
        {"nominal: the check turns down the first hits", 64, 0, {3, 17, 33, 50}, 2, 33},
        {"nominal: turned down across rounds into the tail", 40, 0, {1, 20, 39}, 2, 39},
        {"robustness: hits before `from` are not seen", 64, 18, {2, 17, 18}, 0, 18},
        {"robustness: `from` inside a round", 64, 5, {4, 30}, 0, 30},
        {"robustness: nothing there", 64, 0, {}, 0, kNotFound},
        {"robustness: every hit turned down", 64, 0, {5, 25, 45}, 3, kNotFound},
        {"robustness: empty", 0, 0, {}, 0, kNotFound},
        {"robustness: `from` at the end", 48, 48, {47}, 0, kNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<unsigned char> bytes(row.size, 'x');
        std::u16string chars(row.size, u'x');
        for (std::size_t i = 0; i < row.hits.size(); ++i) {
            bytes[row.hits[i]] = i % 2 ? 'B' : 'A';
            chars[row.hits[i]] = i % 2 ? u'Б' : u'А';
        }
        std::size_t seen = 0;
        std::vector<std::size_t> checked;
        auto check = [&](std::size_t p) {
            checked.push_back(p);
            return ++seen > row.skip;
        };
        EXPECT_EQ(lark::ScanEither(bytes.data(), bytes.size(), row.from, static_cast<unsigned char>('A'),
                                   static_cast<unsigned char>('B'), check),
                  row.expected);
        const std::vector<std::size_t> checkedBytes = checked;
        seen = 0;
        checked.clear();
        EXPECT_EQ(lark::ScanEither(chars.data(), chars.size(), row.from, u'А', u'Б', check), row.expected);
        // Every hit from `from` on is offered in order, none twice, until one is taken.
        std::vector<std::size_t> offered;
        for (std::size_t h : row.hits)
            if (h >= row.from && offered.size() <= row.skip) offered.push_back(h);
        EXPECT_EQ(checkedBytes, offered);
        EXPECT_EQ(checked, offered);
    }
}

// An editor that only offers text(): the interface's own findText must do the work.
class PlainEditor : public lark::MemoryEditor {
public:
    std::optional<std::size_t> findText(std::string_view needle, std::size_t from) override {
        // NOLINTNEXTLINE(bugprone-parent-virtual-call): the interface's own default is under test
        return IEditor::findText(needle, from);
    }
};

TEST(FoldFind, EditorFindTextDefaultAndInPlace) {
    PlainEditor plain;
    lark::MemoryEditor memory;
    for (lark::IEditor* editor : {static_cast<lark::IEditor*>(&plain), static_cast<lark::IEditor*>(&memory)}) {
        editor->setText(cp("Строка\r\nстрока"));
        EXPECT_EQ(editor->findText(cp("строка"), 0), 0u);
        EXPECT_EQ(editor->findText(cp("строка"), 1), 8u);
        EXPECT_EQ(editor->findText(cp("строка"), 9), std::nullopt);
        EXPECT_EQ(editor->findText("", 0), std::nullopt);
    }
}

}  // namespace
