#include <filesystem>
#include <string>
#include <vector>

#include "cli/notebook_loader.h"
#include "core/fixture.h"
#include "document/cp1251.h"
#include "lkp_test_support.h"

namespace {

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

// "name=text" of every section, in UTF-8, "|" between.
std::string contents(const std::string& path) {
    std::string out;
    lark::cli::LoadNotebook(path)->doc.tree().forEach([&](lark::Section& s, int) {
        out += (out.empty() ? "" : "|") + lark::cp1251::toUtf8(s.name()) + "=" + lark::cp1251::toUtf8(s.text());
        return true;
    });
    return out;
}

struct ReplaceCli : lkptest::ScratchTest {};

TEST_F(ReplaceCli, Rows) {
    const std::string in = file("in.lkp", coretest::notebook("", cp("План\r\n\tёлка -x\r\nMisc\r\n"),
                                                             {cp("план ПЛАН\r\nПлан"), cp("Ёлка и ёлка -x"), "no"}));
    const std::string out = path("out.lkp");
    const std::string same = "План=план ПЛАН\r\nПлан|ёлка -x=Ёлка и ёлка -x|Misc=no";
    const struct {
        std::vector<std::string> args;  // between FILE and OUT
        int code;
        std::string printed;  // stdout, or for a refusal a part of stderr
        std::string result;   // empty: OUT is not written
    } rows[] = {
        {{"план", "дело"}, 0, "3\n", "План=дело дело\r\nдело|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {{"план", "дело", "--case"}, 0, "1\n", "План=дело ПЛАН\r\nПлан|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {{"--names", "ПЛАН", "X"}, 0, "4\n", "X=X X\r\nX|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {{"ЁЛКА", "ель"}, 0, "2\n", "План=план ПЛАН\r\nПлан|ёлка -x=ель и ель -x|Misc=no"},
        {{"н\r\nп", "-"}, 0, "1\n", "План=план ПЛА-лан|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {{"--names", "--", "-x", "-y"}, 0, "2\n", "План=план ПЛАН\r\nПлан|ёлка -y=Ёлка и ёлка -y|Misc=no"},
        {{"zzz", "y"}, 0, "0\n", same},
        {{"план", "a✓"}, 2, "cannot hold: ✓", ""},
        {{"日", "x"}, 2, "cannot hold: 日", ""},
        {{"план", "x", "--all"}, 2, "unknown option '--all'", ""},
        {{"план"}, 2, "missing arguments", ""},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(out);
        std::vector<std::string> args{"replace", in};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.push_back(out);
        const auto r = lkp(args);
        EXPECT_EQ(r.code, row.code) << row.printed << r.err;
        if (row.result.empty()) {
            EXPECT_NE(r.err.find(row.printed), std::string::npos) << r.err;
            EXPECT_FALSE(std::filesystem::exists(out)) << row.printed;
        } else {
            EXPECT_EQ(r.out, row.printed);
            EXPECT_EQ(contents(out), row.result) << row.printed;
        }
    }
    // The envelope stays; OUT may be FILE; what is no notebook is refused.
    ASSERT_EQ(lkp({"pack", in, path("z.lkp")}).code, 0);
    EXPECT_EQ(lkp({"replace", path("z.lkp"), "ПЛАН", "x", path("z.lkp")}).out, "3\n");
    EXPECT_EQ(lkptest::readAll(path("z.lkp")).substr(0, 7), "ZIPPED!");
    EXPECT_EQ(contents(path("z.lkp")), "План=x x\r\nx|ёлка -x=Ёлка и ёлка -x|Misc=no");
    EXPECT_EQ(lkp({"replace", file("t.txt", "just text"), "just", "x", out}).code, 3);
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
