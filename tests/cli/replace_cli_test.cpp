#include <filesystem>
#include <string>
#include <vector>

#include "cli/notebook_loader.h"
#include "document/cp1251.h"
#include "lkp_test_support.h"

namespace {

using lkptest::block;

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

std::string notebook(const std::vector<std::string>& outline, const std::vector<std::string>& texts) {
    std::string out = std::string("LKP\x01", 4) + block("");
    std::string lines;
    for (const auto& l : outline) lines += l + "\r\n";
    out += block(lines);
    for (const auto& t : texts) out += block(t);
    return out;
}

// "name=text" of every section, in UTF-8, "|" between.
std::string contents(const std::string& path) {
    const auto nb = lark::cli::LoadNotebook(path);
    std::string out;
    nb->doc.tree().forEach([&](lark::Section& s, int) {
        if (!out.empty()) out += "|";
        out += lark::cp1251::toUtf8(s.name()) + "=" + lark::cp1251::toUtf8(s.text());
        return true;
    });
    return out;
}

struct ReplaceCli : lkptest::ScratchTest {};

TEST_F(ReplaceCli, Rows) {
    const std::string in = file("in.lkp", notebook({cp("План"), cp("\tёлка -x"), "Misc"},
                                                   {cp("план ПЛАН\r\nПлан"), cp("Ёлка и ёлка -x"), "no"}));
    const std::string out = path("out.lkp");
    const struct {
        const char* label;
        std::vector<std::string> args;  // between FILE and OUT
        int code;
        const char* printed;
        const char* result;  // nullptr: OUT is not written
    } rows[] = {
        {"texts, case folded", {"план", "дело"}, 0, "3\n", "План=дело дело\r\nдело|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {"--case", {"план", "дело", "--case"}, 0, "1\n", "План=дело ПЛАН\r\nПлан|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {"--names", {"--names", "ПЛАН", "X"}, 0, "4\n", "X=X X\r\nX|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {"Ё folded", {"ЁЛКА", "ель"}, 0, "2\n", "План=план ПЛАН\r\nПлан|ёлка -x=ель и ель -x|Misc=no"},
        {"across CR LF", {"н\r\nп", "-"}, 0, "1\n", "План=план ПЛА-лан|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {"a dash after --",
         {"--names", "--", "-x", "-y"},
         0,
         "2\n",
         "План=план ПЛАН\r\nПлан|ёлка -y=Ёлка и ёлка -y|Misc=no"},
        {"no match", {"zzz", "y"}, 0, "0\n", "План=план ПЛАН\r\nПлан|ёлка -x=Ёлка и ёлка -x|Misc=no"},
        {"replacement outside 1251", {"план", "✓"}, 2, "", nullptr},
        {"find outside 1251", {"日", "x"}, 2, "", nullptr},
        {"unknown option", {"план", "x", "--all"}, 2, "", nullptr},
        {"missing argument", {"план"}, 2, "", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        std::filesystem::remove(out);
        std::vector<std::string> args{"replace", in};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.push_back(out);
        const auto r = lkp(args);
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_EQ(r.out, row.printed);
        if (!row.result) {
            EXPECT_FALSE(std::filesystem::exists(out));
            continue;
        }
        EXPECT_EQ(contents(out), row.result);
    }
    const auto refused = lkp({"replace", in, "план", "a✓", out});
    EXPECT_NE(refused.err.find("✓"), std::string::npos) << refused.err;
}

TEST_F(ReplaceCli, KeepsTheEnvelopeAndRefusesWhatIsNoNotebook) {
    const std::string plain = file("p.lkp", notebook({"A"}, {"Hello hello"}));
    const std::string zipped = path("z.lkp");
    ASSERT_EQ(lkp({"pack", plain, zipped}).code, 0);
    const auto r = lkp({"replace", zipped, "HELLO", "bye", zipped});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "2\n");
    EXPECT_EQ(lkptest::readAll(zipped).substr(0, 7), "ZIPPED!");
    EXPECT_EQ(contents(zipped), "A=bye bye");

    const std::string text = file("t.txt", "just text");
    EXPECT_EQ(lkp({"replace", text, "just", "x", path("o.lkp")}).code, 3);
    EXPECT_FALSE(std::filesystem::exists(path("o.lkp")));
}

}  // namespace
