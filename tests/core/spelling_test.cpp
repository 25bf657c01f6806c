// Spell checking without the window: which words are checked, dictionaries in their own
// encodings, the personal word list.
#include <iconv.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <set>

#include "document/cp1251.h"
#include "fixture.h"
#include "spelling/near_words.h"
#include "spelling/spell_checker.h"

namespace {

using lark::spelling::WordRun;
namespace sp = lark::spelling;

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }
std::string utf(std::string_view bytes) { return lark::cp1251::toUtf8(bytes); }

using coretest::readFile;
using coretest::writeFile;

// The checked words of a text, as UTF-8.
std::vector<std::string> checked(const char* utf8) {
    const std::string text = cp(utf8);
    std::vector<std::string> words;
    for (const WordRun& r : sp::CheckedWords(text)) words.push_back(utf(text.substr(r.start, r.length)));
    return words;
}

TEST(SpellWords, WhichWordsAreChecked) {
    struct Row {
        const char* text;
        std::vector<std::string> words;
    };
    const Row rows[] = {
        {"Привет, мир!", {"Привет", "мир"}},
        {"Ёлка и ёжик, ЁЖ", {"Ёлка", "и", "ёжик", "ЁЖ"}},
        {"кто-нибудь, rock-n-roll", {"кто-нибудь", "rock-n-roll"}},
        {"don't, l’homme, 'quoted'", {"don't", "l’homme", "quoted"}},
        {"- тире -слово- конец-", {"тире", "слово", "конец"}},
        {"в 2023 году 5-й раз, 3.14 и 1,5", {"в", "году", "раз", "и"}},
        {"встреча 12.05.23 и 01.01.2001", {"встреча", "и"}},
        {"NASA и HTTP, но Nasa и nASA, I и a", {"и", "но", "Nasa", "и", "nASA", "и", "a"}},
        {"МГУ пишем", {"МГУ", "пишем"}},
        {"см. file://@Раздел два и http://example.org/путь тут", {"см", "два", "и", "тут"}},
        {"file://@ пусто www.site.ru/стр ок", {"пусто", "ок"}},
        {"т.е. example.com конец.Начало", {}},
        {"user@mail.ru my_var /usr/bin a\\b слово", {"слово"}},
        {"Україна, Беларусь: ў, ґ", {"Україна", "Беларусь", "ў", "ґ"}},
        {"смесь pривет", {"смесь", "pривет"}},
        {"", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(checked(row.text), row.words);
    }
}

TEST(SpellWords, PositionsAreBytePositions) {
    const std::string text = cp("Ёж\r\n  ok-ay 9x ж");
    EXPECT_EQ(sp::CheckedWords(text), (std::vector<WordRun>{{0, 2}, {6, 5}, {15, 1}}));
}

// A dictionary written for the test in the encoding it names.
class TinyDictionaries : public ::testing::Test {
protected:
    void add(const std::string& name, const std::string& encoding, const std::vector<const char*>& words,
             const char* tryLetters = "оеаитнлкрсмвуяыьчжёзбгдпхцшщэюфъйeaitnlrso") {
        const std::string iconvName = encoding == "microsoft-cp1251" ? "CP1251" : encoding;
        std::string aff = "SET " + encoding + "\n";
        if (*tryLetters) aff += "TRY " + encode(iconvName, tryLetters) + "\n";
        std::string dic = std::to_string(words.size()) + "\n";
        for (const char* w : words) dic += encode(iconvName, w) + "\n";
        writeFile(dir.file(name + ".aff"), aff);
        writeFile(dir.file(name + ".dic"), dic);
    }
    // UTF-8 to `encoding` through the system's converter (the program's own is under test).
    static std::string encode(const std::string& encoding, const std::string& utf8) {
        if (encoding == "UTF-8") return utf8;
        const iconv_t cd = iconv_open((encoding + "//TRANSLIT").c_str(), "UTF-8");
        std::string out(utf8.size() * 4, '\0');
        char* in = const_cast<char*>(utf8.data());
        std::size_t inLeft = utf8.size(), outLeft = out.size();
        char* o = out.data();
        iconv(cd, &in, &inLeft, &o, &outLeft);
        iconv_close(cd);
        out.resize(out.size() - outLeft);
        return out;
    }
    sp::DictionaryFile file(const std::string& name) const {
        return {name, dir.file(name + ".aff"), dir.file(name + ".dic")};
    }
    coretest::ScratchDir dir;
};

TEST_F(TinyDictionaries, WordsGoInAndComeBackInTheDictionarysEncoding) {
    const std::vector<const char*> words{"ёлка", "кот", "cafe", "café", "don't"};
    for (const char* encoding : {"UTF-8", "KOI8-R", "microsoft-cp1251"}) {
        SCOPED_TRACE(encoding);
        add("xx", encoding, words);
        sp::HunspellDictionary d(file("xx"));
        EXPECT_EQ(d.encoding(), encoding);
        const std::pair<const char*, bool> rows[] = {{"ёлка", true}, {"Ёлка", true}, {"ЁЛКА", true}, {"елка", false},
                                                     {"кот", true},  {"кто", false}, {"cafe", true}, {"її", false}};
        for (const auto& [word, known] : rows) EXPECT_EQ(d.knows(cp(word)), known) << word;
        const auto suggested = d.suggest(cp("ёлко"));
        ASSERT_FALSE(suggested.empty());
        EXPECT_EQ(utf(suggested.front()), "ёлка");
    }
}

TEST_F(TinyDictionaries, CheckerTakesDictionariesInTurnSkipsAndAddsWords) {
    add("ru", "KOI8-R", {"кот", "кит", "код"});
    add("en", "UTF-8", {"cat", "cot", "don't", "café", "cafe", "naïve"});
    const auto found = sp::FindDictionaries({dir.path()});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(sp::DefaultLanguages(found), (std::vector<std::string>{"ru", "en"}))
        << "no ru_RU or en_US: the first of each prefix, Russian first";

    sp::SpellChecker checker;
    std::vector<std::string> missing;
    checker.loadDictionaries(found, {"ru", "zz", "en"}, &missing);
    EXPECT_EQ(missing, std::vector<std::string>{"zz"});
    EXPECT_EQ(checker.languages(), (std::vector<std::string>{"ru", "en"}));
    EXPECT_TRUE(checker.known(cp("кот")));
    EXPECT_TRUE(checker.known("cat"));
    EXPECT_TRUE(checker.known("don\x92t")) << "the typographic apostrophe is the dictionary's";
    EXPECT_FALSE(checker.known(cp("кат")));
    EXPECT_EQ(checker.suggestions("cxt", 1).size(), 1u);
    // Suggestions Windows-1251 cannot hold are not offered.
    EXPECT_EQ(checker.suggestions("caffe", 7), std::vector<std::string>{"cafe"});
    EXPECT_EQ(checker.suggestions("naive", 7), std::vector<std::string>{});
    EXPECT_FALSE(checker.known("naive"));

    const std::string text = cp("кот кат cat cxt кат");
    EXPECT_EQ(checker.unknownWords(text), (std::vector<WordRun>{{4, 3}, {12, 3}, {16, 3}}));

    coretest::ScratchDir home;
    checker.usePersonalWords(home.file("words.txt"));
    checker.skip(cp("кат"));
    EXPECT_TRUE(checker.known(cp("кат")));
    checker.addToPersonal("cxt");
    EXPECT_TRUE(checker.known("cxt"));
    EXPECT_TRUE(checker.known("Cxt")) << "the dictionaries take the personal word's other cases";
    EXPECT_TRUE(checker.known(cp("кат"))) << "a skipped word stays skipped after an addition";
    // The verdicts are forgotten past a bound; what was skipped is not.
    for (std::size_t i = 0; i < sp::SpellChecker::kMostVerdicts; ++i) checker.known("w" + std::to_string(i));
    EXPECT_FALSE(checker.decided("cat"));
    EXPECT_TRUE(checker.known(cp("кат")));
    EXPECT_EQ(readFile(home.file("words.txt")), "cxt\n");

    // The next run knows the personal word, not the skipped one.
    sp::SpellChecker next;
    next.loadDictionaries(found, {"en"});
    next.usePersonalWords(home.file("words.txt"));
    EXPECT_TRUE(next.known("cxt"));
    EXPECT_TRUE(next.known("CXT"));
    EXPECT_FALSE(next.known("cxx"));
}

// A dictionary whose suggestions try only letters of one script is not asked about words
// with letters of the other.
TEST_F(TinyDictionaries, WordsOfAnotherScriptAreNotAsked) {
    struct Row {
        const char* tryLetters;
        bool latin, cyrillic, mixed;
    };
    const Row rows[] = {
        {"оеа", false, true, false}, {"eao", true, false, false}, {"оеаeao", true, true, true}, {"", true, true, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tryLetters);
        add("xx", "UTF-8", {"cat", "кот", "catкот"}, row.tryLetters);
        sp::HunspellDictionary d(file("xx"));
        EXPECT_EQ(d.knows("cat"), row.latin);
        EXPECT_EQ(!d.suggest("cxt").empty(), row.latin);
        EXPECT_EQ(d.knows(cp("кот")), row.cyrillic);
        EXPECT_EQ(d.knows(cp("catкот")), row.mixed);
        // The quick search tries the TRY letters of the word's script, or without any its alphabet.
        sp::SpellChecker checker;
        checker.loadDictionaries(sp::FindDictionaries({dir.path()}), {"xx"});
        EXPECT_EQ(checker.suggestions("cxt", 3, sp::SpellChecker::Search::Near) == std::vector<std::string>{"cat"},
                  row.latin);
        EXPECT_EQ(checker.suggestions(cp("кат"), 3, sp::SpellChecker::Search::Near) == std::vector{cp("кот")},
                  row.cyrillic);
    }
}

TEST_F(TinyDictionaries, FindsPairsOfRegularFilesOnly) {
    add("b_B", "UTF-8", {"x"});
    add("a_A", "UTF-8", {"x"});
    writeFile(dir.file("lonely.dic"), "1\nx\n");
    writeFile(dir.file("hyph.aff"), "");
    ASSERT_EQ(::mkfifo(dir.file("fifo.aff").c_str(), 0600), 0);
    writeFile(dir.file("fifo.dic"), "1\nx\n");
    std::filesystem::create_symlink(dir.file("a_A.aff"), dir.file("link.aff"));
    std::filesystem::create_symlink(dir.file("a_A.dic"), dir.file("link.dic"));
    coretest::ScratchDir second;
    writeFile(second.file("a_A.aff"), "SET UTF-8\n");
    writeFile(second.file("a_A.dic"), "1\ny\n");
    writeFile(second.file("c_C.aff"), "SET UTF-8\n");
    writeFile(second.file("c_C.dic"), "1\ny\n");
    const auto found = sp::FindDictionaries({dir.path(), "/nonexistent", second.path()});
    std::vector<std::string> names;
    for (const auto& f : found) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a_A", "b_B", "c_C", "link"}));
    EXPECT_EQ(found.front().dicPath, dir.file("a_A.dic")) << "the earlier folder wins";
    EXPECT_THROW(sp::HunspellDictionary({"fifo", dir.file("fifo.aff"), dir.file("fifo.dic")}), lark::LarkError);
    EXPECT_THROW(sp::HunspellDictionary({"none", dir.file("none.aff"), dir.file("none.dic")}), lark::LarkError);
    EXPECT_EQ(sp::DefaultLanguages({}), std::vector<std::string>{});
    EXPECT_EQ(sp::SplitLanguages(",ru_RU,,en_US,"), (std::vector<std::string>{"ru_RU", "en_US"}));
}

// The personal word list: UTF-8 lines, written as a new file renamed over the old, never
// through a link, never blocked by a FIFO.
TEST(PersonalWords, AddWritesAWholeNewFileAndKeepsOddLines) {
    coretest::ScratchDir dir;
    const std::string path = dir.file("sub/dir/dictionary.txt");
    {
        sp::PersonalWords words(path);
        words.load();
        EXPECT_TRUE(words.words().empty());
        words.add(cp("Ёжик"));
        words.add(cp("Ёжик"));
        EXPECT_EQ(readFile(path), "Ёжик\n");
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
    // Lines the program cannot use stay byte for byte; CR LF and blank lines are read.
    const std::string odd = "слово\r\n日本語\n\n\xff\xfe\nword\n";
    writeFile(path, odd);
    ASSERT_EQ(::link(path.c_str(), dir.file("old").c_str()), 0);
    sp::PersonalWords words(path);
    words.load();
    EXPECT_EQ(words.words(), (std::vector<std::string>{cp("слово"), "word"}));
    EXPECT_TRUE(words.contains("word"));
    EXPECT_FALSE(words.contains("Word"));
    words.add(cp("новое"));
    EXPECT_EQ(readFile(path), "слово\n日本語\n\xff\xfe\nword\nновое\n");
    EXPECT_EQ(readFile(dir.file("old")), odd) << "the old file was replaced, not rewritten in place";
    std::vector<std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("sub/dir")))
        entries.push_back(e.path().filename());
    EXPECT_EQ(entries, std::vector<std::string>{"dictionary.txt"}) << "no temporary file is left";
    sp::PersonalWords again(path);
    again.load();
    EXPECT_EQ(again.words(), (std::vector<std::string>{cp("слово"), "word", cp("новое")}));
}

TEST(PersonalWords, LinksFifosAndFoldersAreNeitherReadNorReplaced) {
    coretest::ScratchDir dir;
    writeFile(dir.file("target"), "secret\n");
    std::filesystem::create_symlink(dir.file("target"), dir.file("link"));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder"));
    for (const char* name : {"link", "fifo", "folder"}) {
        SCOPED_TRACE(name);
        sp::PersonalWords words(dir.file(name));
        EXPECT_THROW(words.load(), lark::LarkError);
        EXPECT_FALSE(words.contains("secret"));
        EXPECT_THROW(words.add("word"), lark::LarkError);
        EXPECT_FALSE(words.contains("word"));
    }
    EXPECT_EQ(readFile(dir.file("target")), "secret\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo")));
}

TEST(PersonalWords, PathFollowsXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(sp::PersonalWordsPath(), "/data/home/larkpad/dictionary.txt");
    ::setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(sp::PersonalWordsPath(), std::string(std::getenv("HOME")) + "/.local/share/larkpad/dictionary.txt");
    if (saved) ::setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
}

// Words one edit away, with a word list for the dictionary.
TEST(NearWords, OneEditAwayLikeliestFirst) {
    std::set<std::string> words;
    for (const char* w : {"кот", "кит", "код", "Москва", "не", "так", "hello", "help", "halo"}) words.insert(cp(w));
    // As Hunspell, a word listed in lower case is known capitalised and in capitals too.
    const auto knows = [&](const std::string& w) {
        return words.contains(w) || words.contains(lark::cp1251::toLower(w));
    };
    struct Row {
        const char* word;
        const char* letters;
        std::size_t most;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"кто", "оитд", 3, {"кот"}},         // swapped
        {"кат", "оитд", 3, {"кот", "кит"}},  // wrong letter, in the order of the letters
        {"кат", "итод", 3, {"кит", "кот"}},
        {"кат", "оитд", 1, {"кот"}},
        {"Кат", "оитд", 3, {"Кот", "Кит"}},  // in the word's own case
        {"КАТ", "оитд", 3, {"КОТ", "КИТ"}},
        {"москва", "оа", 3, {"Москва"}},                 // a name in lower case
        {"нетак", "оа", 3, {"не так"}},                  // two words run together
        {"helo", "aelp", 3, {"hello", "halo", "help"}},  // a doubled letter, a vowel for a vowel, then the rest
        {"xyz", "aelp", 3, {}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> found;
        for (const std::string& w : sp::NearWords(cp(row.word), cp(row.letters), knows, row.most))
            found.push_back(utf(w));
        EXPECT_EQ(found, row.expected) << row.word;
    }
    // A word longer than any a dictionary holds is not taken apart.
    const auto never = [](const std::string&) { return ADD_FAILURE() << "asked", false; };
    EXPECT_TRUE(sp::NearWords(std::string(sp::kLongestNearWord + 1, 'a'), "ab", never, 3).empty());
}

// Against a model: every word of a random list one edit (a neighbour swap, a letter
// changed, added or dropped) from a random word, or two listed words run together.
TEST(NearWords, FindsExactlyTheWordsOneEditAway) {
    std::mt19937 rng(20261209);
    const auto randomWord = [&](std::size_t most) {
        std::string w(1 + rng() % most, 'a');
        for (char& c : w) c = static_cast<char>('a' + rng() % 3);
        return w;
    };
    // The optimal string alignment distance: edits and swaps of neighbours.
    const auto distance = [](const std::string& a, const std::string& b) {
        std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
        for (std::size_t i = 0; i <= a.size(); ++i)
            for (std::size_t j = 0; j <= b.size(); ++j) {
                d[i][j] = i == 0 || j == 0
                              ? i + j
                              : std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        return d[a.size()][b.size()];
    };
    for (int round = 0; round < 300; ++round) {
        std::set<std::string> words;
        for (int i = 0; i < 25; ++i) words.insert(randomWord(4));
        const std::string word = randomWord(5);
        std::set<std::string> expected;
        for (const std::string& w : words)
            if (distance(word, w) == 1) expected.insert(w);
        for (std::size_t i = 1; i < word.size(); ++i)
            if (words.contains(word.substr(0, i)) && words.contains(word.substr(i)))
                expected.insert(word.substr(0, i) + " " + word.substr(i));
        const std::vector<std::string> found = sp::NearWords(
            word, "abc", [&](const std::string& w) { return words.contains(w); }, 1000);
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()), expected) << word;
        EXPECT_EQ(found.size(), expected.size()) << word << ": each once";
    }
}

}  // namespace
