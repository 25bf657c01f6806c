#include <string>
#include <vector>

#include "document/cp1251.h"
#include "document/document.h"
#include "document/memory_view.h"
#include "lkp_test_support.h"

namespace {

using lkptest::block;

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

// A notebook file from outline lines and texts (Windows-1251 bytes).
std::string notebook(const std::vector<std::string>& outline, const std::vector<std::string>& texts) {
    std::string out = std::string("LKP\x01", 4) + block("");
    std::string lines;
    for (const auto& l : outline) lines += l + "\r\n";
    out += block(lines);
    for (const auto& t : texts) out += block(t);
    return out;
}

struct SearchCli : lkptest::ScratchTest {};

TEST_F(SearchCli, SearchPrintsEveryStepOfTheGlobalSearch) {
    const std::string file =
        this->file("n.lkp", notebook({cp("Планы"), cp("\tПЛАН Б"), "Misc", cp("Итог")},
                                     {cp("план один, ПЛАН два"), "", "nothing", cp("последний план")}));
    auto r = lkp({"search", file, "план"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "0\tname\n0\ttext\t0\n0\ttext\t11\n1\tname\n3\ttext\t10\n");
    EXPECT_EQ(r.err, "");

    r = lkp({"search", file, "absent"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    r = lkp({"search", file, ""});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "") << "an empty string matches nothing";
    r = lkp({"search", file, "--", "-x"});
    EXPECT_EQ(r.code, 0) << r.err;
}

// Only --help and -h are options of search; any other argument that starts with a dash
// is the search string, and after "--" so is "-h".
TEST_F(SearchCli, StringsThatStartWithADash) {
    const std::string file = this->file("d.lkp", notebook({"A"}, {"see -x and --fast or -h"}));
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string out;
    };
    const Row rows[] = {
        {"nominal: one dash", {"search", file, "-x"}, "0\ttext\t4\n"},
        {"nominal: two dashes", {"search", file, "--fast"}, "0\ttext\t11\n"},
        {"nominal: -h after --", {"search", file, "--", "-h"}, "0\ttext\t21\n"},
        {"nominal: -h before -- asks for help", {"search", file, "-h", "--"}, "usage: lkp search FILE STRING\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = lkp(row.args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, row.out);
    }
}

TEST_F(SearchCli, SearchWorksOnZippedAndHeldFiles) {
    const std::string plain = file("p.lkp", notebook({"A"}, {"Hello hello"}));
    const std::string zipped = path("z.lkp");
    ASSERT_EQ(lkp({"pack", plain, zipped}).code, 0);
    // The window holds the file open with its lock: lkp reads it all the same.
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc(view, editor, ui);
    ASSERT_TRUE(doc.LoadDocument(zipped, false));
    const auto r = lkp({"search", zipped, "HELLO"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "0\ttext\t0\n0\ttext\t6\n");
}

TEST_F(SearchCli, ExitCodes) {
    const std::string good = file("g.lkp", notebook({"A"}, {"x"}));
    const std::string text = file("t.txt", "just some text");
    const std::string broken = file("b.lkp", std::string("LKP\x02", 4) + block("") + block(""));
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int code;
    };
    const Row rows[] = {
        {"robustness: missing string", {"search", good}, 2},
        {"robustness: too many arguments", {"search", good, "a", "b"}, 2},
        {"robustness: string outside Windows-1251", {"search", good, "€ok✓"}, 2},
        {"robustness: invalid UTF-8", {"search", good, "\xff"}, 2},
        {"robustness: an unknown option is one argument too many", {"search", "--fast", good, "a"}, 2},
        {"nominal: not a notebook", {"search", text, "a"}, 3},
        {"nominal: unknown version", {"search", broken, "a"}, 1},
        {"nominal: missing file", {"search", path("none.lkp"), "a"}, 1},
        {"robustness: dates without file", {"dates"}, 2},
        {"robustness: dates with a bad today", {"dates", good, "--today", "1.2.03"}, 2},
        {"robustness: dates with --today and no value", {"dates", good, "--today"}, 2},
        {"nominal: dates with the file after --", {"dates", "--today", "01.01.01", "--", good}, 0},
        {"nominal: dates on a text file", {"dates", text, "--today", "01.01.01"}, 3},
        {"nominal: dates on a broken file", {"dates", broken, "--today", "01.01.01"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = lkp(row.args);
        EXPECT_EQ(r.code, row.code) << r.err;
        if (row.code != 0) {
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err, "");
        }
    }
    // The euro sign is in Windows-1251 and may be searched for.
    EXPECT_EQ(lkp({"search", good, "€"}).code, 0);
}

TEST_F(SearchCli, DatesReport) {
    const std::string file = this->file(
        "d.lkp", notebook({"One", "\tTwo"}, {cp("A 05.12.26\r\nB 07.12.20\r\nC 01.01.27"), cp("D 06.12.26 Ёлка")}));
    auto r = lkp({"dates", file, "--today", "06.12.26"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "\nC 01.01.27\nA 05.12.26\nD 06.12.26 Ёлка\n" + std::string(32, '~') + "\nB 07.12.20\n");
    r = lkp({"dates", "--today=31.12.99", file});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "\n" + std::string(32, '~') + "\nC 01.01.27\nA 05.12.26\nD 06.12.26 Ёлка\nB 07.12.20\n");
    // Without --today the local date is used: the report has its separator all the same.
    r = lkp({"dates", file});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find(std::string(32, '~')), std::string::npos);
}

}  // namespace
