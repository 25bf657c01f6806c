// lkp spell with the system's dictionaries (hunspell-ru, hunspell-en-us).
#include <cstdlib>
#include <string>
#include <vector>

#include "core/fixture.h"
#include "document/cp1251.h"
#include "lkp_test_support.h"

namespace {

using coretest::notebook;

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

// Sets an environment variable for one scope, then puts back what was there.
struct ScopedEnv {
    ScopedEnv(const char* variable, const std::string& value) : name(variable) {
        if (const char* was = std::getenv(name)) old = was;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
    const char* name;
    std::optional<std::string> old;
};

struct SpellCli : lkptest::ScratchTest {
    void SetUp() override {
        ScratchTest::SetUp();
        data_.emplace("XDG_DATA_HOME", path("data"));
    }
    void TearDown() override {
        data_.reset();
        ScratchTest::TearDown();
    }
    std::optional<ScopedEnv> data_;
};

// Every unknown word, in notebook order, with its section, byte offset and suggestions.
TEST_F(SpellCli, PrintsUnknownWordsWithSuggestions) {
    const std::string file = this->file(
        "n.lkp", notebook("", cp("Первый\r\n\tВторой\r\nThird\r\n"),
                          {cp("Привет, пачему!\r\nМама мыла раму 12.05.23 file://@Ошибко NASA кто-нибудь ёлка"), "",
                           "Helo world, don't"}));
    // Two lines: the Russian word with up to 3 suggestions, one of them the right word, then
    // the English one; the quick search's first suggestions are the likeliest slips.
    for (const bool thorough : {false, true}) {
        auto r = thorough ? lkp({"spell", "--thorough", file}) : lkp({"spell", file});
        ASSERT_EQ(r.code, 0) << r.err;
        const std::string first = r.out.substr(0, r.out.find('\n') + 1);
        EXPECT_TRUE(first.starts_with("0\t8\tпачему\t")) << r.out;
        EXPECT_LE(std::ranges::count(first, '\t'), 5);
        EXPECT_NE(first.find("\tпочему\t") + first.find("\tпочему\n"), 2 * std::string::npos) << first;
        EXPECT_TRUE(r.out.substr(first.size()).starts_with(thorough ? "2\t0\tHelo\t" : "2\t0\tHelo\tHello\t")) << r.out;
        EXPECT_EQ(std::ranges::count(r.out, '\n'), 2) << r.out;
    }

    auto r = lkp({"spell", "--lang", "en_US", file});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("0\t0\tПривет\n0\t8\tпачему\n0\t17\tМама\n")) << "Russian unknown to English only";
    r = lkp({"spell", file, "--lang=ru_RU"});
    EXPECT_NE(r.out.find("2\t0\tHelo\n"), std::string::npos) << "English unknown to Russian only: " << r.out;
}

TEST_F(SpellCli, PersonalWordsAreKnown) {
    const std::string file = this->file("n.lkp", notebook("", "A\r\n", {cp("Ларкпад и larkpad")}));
    auto r = lkp({"spell", file, "--lang", "ru_RU,en_US"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("0\t0\tЛаркпад")) << r.out;
    std::filesystem::create_directories(path("data/larkpad"));
    lkptest::writeAll(path("data/larkpad/dictionary.txt"), "ларкпад\nlarkpad\n");
    r = lkp({"spell", file});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(SpellCli, MissingDictionariesAndUsage) {
    const std::string good = file("g.lkp", notebook("", "A\r\n", {"x"}));
    const std::string text = file("t.txt", "just some text");
    std::filesystem::create_directories(path("empty"));
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string dicpath;  // empty: the system's folders
        int code;
        const char* err;
    };
    const Row rows[] = {
        {"no dictionary installed", {"spell", good}, path("empty"), 1, "hunspell-ru, hunspell-en-us"},
        {"no dictionary of that name", {"spell", good, "--lang", "en_US,xx_XX"}, "", 1, "no dictionary xx_XX"},
        {"missing file argument", {"spell"}, "", 2, "usage"},
        {"two files", {"spell", good, good}, "", 2, "usage"},
        {"--lang without names", {"spell", good, "--lang"}, "", 2, "usage"},
        {"--lang with empty names", {"spell", good, "--lang", ","}, "", 2, "usage"},
        {"unknown option", {"spell", good, "--fast"}, "", 2, "unknown option"},
        {"not a notebook", {"spell", text}, "", 3, "not a notebook"},
        {"missing file", {"spell", path("none.lkp")}, "", 1, "none.lkp"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<ScopedEnv> dicpath;
        if (!row.dicpath.empty()) dicpath.emplace("DICPATH", row.dicpath);
        const auto r = lkp(row.args);
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
    }
    EXPECT_EQ(lkp({"spell", "--", good}).code, 0);
    EXPECT_EQ(lkp({"spell", "-h"}).out, "usage: lkp spell FILE [--lang ru_RU,en_US] [--thorough]\n");
}

}  // namespace
