// lkp merge: exit codes, the file it writes, and a real git merge through it as a merge driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/lkp_test_support.h"
#include "document/format.h"
#include "document/snapshot.h"

namespace {

using lkptest::readAll;

// A notebook's bytes from rows "Name|text" (a leading dot per level).
std::string NotebookBytes(const std::vector<std::string>& rows) {
    lark::NotebookSnapshot nb;
    for (const std::string& row : rows) {
        const std::size_t depth = row.find_first_not_of('.');
        const std::size_t bar = row.find('|');
        nb.addSection(static_cast<int>(depth), row.substr(depth, bar - depth)).text_ =
            lark::TextBuffer::copyOf(row.substr(bar + 1));
    }
    nb.info = {"Activate=0"};
    return std::string(lark::WriteDocument(nb).view());
}

const std::string kBase = NotebookBytes({"A|a1\r\na2\r\na3\r\n", "B|b"});
const std::string kOurs = NotebookBytes({"A|a1\r\na2 ours\r\na3\r\n", "B|b"});
const std::string kTheirs = NotebookBytes({"A|a1\r\na2\r\na3\r\n", "B|b theirs", "C|\xF2\xE5\xEA\xF1\xF2"});
const std::string kClean = NotebookBytes({"A|a1\r\na2 ours\r\na3\r\n", "B|b theirs", "C|\xF2\xE5\xEA\xF1\xF2"});
const std::string kClash = NotebookBytes({"A|a1\r\na2 clash\r\na3\r\n", "B|b"});
const std::string kClashed = NotebookBytes(
    {"A|a1\r\na2 ours\r\na3\r\n", "A (\xEA\xEE\xED\xF4\xEB\xE8\xEA\xF2)|a1\r\na2 clash\r\na3\r\n", "B|b"});

const std::string kUnion =
    NotebookBytes({"A|a1\r\na2 ours\r\na3\r\n", "A (\xEA\xEE\xED\xF4\xEB\xE8\xEA\xF2)|a1\r\na2\r\na3\r\n", "B|b",
                   "B (\xEA\xEE\xED\xF4\xEB\xE8\xEA\xF2)|b theirs", "C|\xF2\xE5\xEA\xF1\xF2"});
const char* const kUnionOut =
    "conflict: A: their text is in \"A (конфликт)\"\nconflict: B: their text is in \"B (конфликт)\"\n";

class LkpMerge : public lkptest::ScratchTest {};

TEST_F(LkpMerge, ExitCodesAndOutput) {
    const std::string base = file("base.lkp", kBase), theirs = file("theirs.lkp", kTheirs);
    const std::string clash = file("clash.lkp", kClash);
    struct Row {
        std::vector<std::string> args;  // "OURS" and "OUT" stand for the files
        int code;
        std::string written;  // OUT's bytes afterwards (OURS's when no -o)
        std::string out;
    } rows[] = {
        {{base, "OURS", theirs}, 0, kClean, ""},
        {{base, "OURS", theirs, "-o", "OUT"}, 0, kClean, ""},
        {{base, "OURS", clash}, 1, kClashed, "conflict: A: their text is in \"A (конфликт)\"\n"},
        {{base, "OURS"}, 2, kOurs, ""},
        {{base, "OURS", theirs, "-o"}, 2, kOurs, ""},
        {{file("plain.txt", "just text"), "OURS", theirs}, 3, kOurs, ""},
        {{path("missing.lkp"), "OURS", theirs}, 1, kOurs, ""},
        // A base without content is no base: the rest is a union, the differing A and B conflicts.
        {{file("empty", ""), "OURS", theirs}, 1, kUnion, kUnionOut},
        {{"/dev/null", "OURS", theirs}, 1, kUnion, kUnionOut},
    };
    for (auto& row : rows) {
        const std::string ours = file("ours.lkp", kOurs);
        bool toOut = false;
        std::vector<std::string> args{"merge"};
        for (const auto& a : row.args) {
            toOut = toOut || a == "OUT";
            args.push_back(a == "OURS" ? ours : a == "OUT" ? path("out.lkp") : a);
        }
        SCOPED_TRACE(testing::PrintToString(args));
        const auto r = lkp(args);
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(readAll(toOut ? path("out.lkp") : ours), row.written);
        EXPECT_EQ(readAll(ours), toOut ? kOurs : row.written);
    }
}

TEST_F(LkpMerge, GitMergesBranchesThroughTheDriver) {
    if (std::system("git --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "git is not installed";
    for (const auto& [name, bytes] :
         {std::pair{"base", kBase}, {"ours", kOurs}, {"theirs", kTheirs}, {"clash", kClash}})
        file(std::string(name) + ".lkp", bytes);
    const std::string repo = path("repo");
    const std::string git = "cd '" + repo + "' && HOME='" + repo + "' GIT_CONFIG_NOSYSTEM=1 git ";
    auto run = [&](const std::string& cmd) {
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const std::string setup =
        "mkdir '" + repo + "' && " + git + "init -q -b main && " + git + "config user.email t@example.org && " + git +
        "config user.name T && " + git + "config merge.larkpad.driver \"'" + LKP_BINARY +
        "' merge %O %A %B\" && echo '*.lkp merge=larkpad' > '" + repo + "/.gitattributes' && cp '" + path("base.lkp") +
        "' '" + repo + "/notes.lkp' && " + git + "add . && " + git + "commit -qm base && " + git +
        "checkout -qb other && cp '" + path("theirs.lkp") + "' notes.lkp && " + git + "commit -qam theirs && " + git +
        "checkout -qb clash main && cp '" + path("clash.lkp") + "' notes.lkp && " + git + "commit -qam clash && " +
        git + "checkout -q main && cp '" + path("ours.lkp") + "' notes.lkp && " + git + "commit -qam ours";
    ASSERT_EQ(run(setup + " > /dev/null 2>&1"), 0);

    EXPECT_EQ(run(git + "merge -q --no-edit other > /dev/null 2>&1"), 0);
    EXPECT_EQ(readAll(repo + "/notes.lkp"), kClean);

    // A clash leaves the merge unfinished, the file holding both texts.
    EXPECT_NE(run(git + "merge -q --no-edit clash > /dev/null 2>&1"), 0);
    const std::string merged = readAll(repo + "/notes.lkp");
    for (const char* text : {"a2 ours", "a2 clash", "b theirs"}) EXPECT_NE(merged.find(text), std::string::npos);
    EXPECT_EQ(run(git + "diff --name-only --diff-filter=U | grep -qx notes.lkp"), 0);
}

}  // namespace
