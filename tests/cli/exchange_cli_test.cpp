// lkp export and lkp import: a notebook goes out as a folder and comes back byte for byte;
// text that Windows-1251 cannot hold is refused without writing anything.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "core/round_trip_rows.h"
#include "lkp_test_support.h"

namespace {

using coretest::Desk;

class ExchangeRoundTrip : public lkptest::ScratchTest,
                          public ::testing::WithParamInterface<std::tuple<coretest::RoundTripRow, bool>> {};

void buildEscapedNames(Desk& d) {
    std::string longCyrillic;
    for (int i = 0; i < 180; ++i) longCyrillic += "\xE6";  // ж: two bytes each in UTF-8
    lark::Section* odd = d.add(nullptr, "a/b", "slash");
    d.add(odd, "100%", "percent");
    d.add(odd, "%2F%25", "looks escaped");
    d.add(odd, ".hidden", "dot");
    d.add(odd, "..", "two dots");
    d.add(odd, "tab\there\x01\x7F", "control bytes");
    d.add(nullptr, "", "no name");
    d.add(nullptr, "Twin", "first");
    lark::Section* twin = d.add(nullptr, "Twin", "second");
    d.add(twin, std::string(300, 'L'), "long Latin");
    d.add(twin, longCyrillic, "long Cyrillic");
    lark::Section* cut = d.add(twin, longCyrillic + "x", "same beginning, with children");
    d.add(cut, "child of a cut name", "c");
    d.add(nullptr, "007 Bond", "a number of its own");
    d.add(nullptr, "name.txt", "an extension of its own");
    d.doc.SelectSection(d.doc.tree().at(9));
}

void buildLineBreaks(Desk& d) {
    d.add(nullptr, "crlf", "a\r\nb\r\n");
    d.add(nullptr, "lf", "a\nb");
    d.add(nullptr, "cr", "a\rb\r");
    d.add(nullptr, "lfcr", "\n\r");
    d.add(nullptr, "mixed", "x\r\ny\nz");
    d.add(nullptr, "unassigned byte", "\x98\x01\x7F\t");
}

TEST_P(ExchangeRoundTrip, ExportThenImportGivesTheSameFile) {
    const auto& [row, zip] = GetParam();
    SCOPED_TRACE(row.label);
    const std::string first = path("first.lkp"), second = path("second.lkp"), folder = path("folder");
    {
        Desk d;
        d.doc.UseZip = zip;
        row.build(d);
        ASSERT_TRUE(d.doc.SaveDocument(first)) << d.lastError();
        lark::CloseDocumentFile(d.doc.FFileHandle);
    }
    const auto out = lkp({"export", first, folder});
    ASSERT_EQ(out.code, 0) << out.err;
    std::vector<std::string> args{"import", folder, second};
    if (zip) args.emplace_back("--zip");
    const auto in = lkp(args);
    ASSERT_EQ(in.code, 0) << in.err;
    EXPECT_EQ(in.err, "");
    EXPECT_TRUE(lkptest::readAll(first) == lkptest::readAll(second)) << "byte for byte";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "no hidden entries: " << entry.path();
}

const std::vector<coretest::RoundTripRow> kExchangeRows = [] {
    std::vector<coretest::RoundTripRow> rows = coretest::kRoundTripRows;
    rows.push_back({"nominal: names that need escaping or cutting", buildEscapedNames});
    rows.push_back({"robustness: line breaks of every kind", buildLineBreaks});
    return rows;
}();

INSTANTIATE_TEST_SUITE_P(Matrix, ExchangeRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(kExchangeRows), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<coretest::RoundTripRow, bool>>& rowInfo) {
                             return coretest::rowName(std::get<0>(rowInfo.param).label) +
                                    (std::get<1>(rowInfo.param) ? "_zipped" : "_plain");
                         });

// Files the program itself would not write: info lines in other spellings, a remembered
// section that is not there.
struct RawRow {
    std::string label;
    std::string info, outline;
    std::vector<std::string> texts;
};
CORETEST_PRINTS_LABEL(RawRow)

class ExchangeRawFiles : public lkptest::ScratchTest, public ::testing::WithParamInterface<RawRow> {};

TEST_P(ExchangeRawFiles, ComeBackByteForByte) {
    const RawRow& row = GetParam();
    std::string bytes = std::string("LKP\x01", 4) + lkptest::block(row.info) + lkptest::block(row.outline);
    for (const auto& t : row.texts) bytes += lkptest::block(t);
    const std::string first = file("first.lkp", bytes), second = path("second.lkp");
    ASSERT_EQ(lkp({"export", first, path("folder")}).code, 0);
    const auto in = lkp({"import", path("folder"), second});
    ASSERT_EQ(in.code, 0) << in.err;
    EXPECT_TRUE(lkptest::readAll(second) == bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExchangeRawFiles,
    ::testing::Values(
        RawRow{"nominal: the sample", "Activate=1\r\n", "Notes\r\n\tTodo\r\nMisc\r\n", {"Hi", "", "x\r\ny"}},
        RawRow{
            "robustness: another spelling of Activate", "x=1\r\nactivate = 2\r\n", "A\r\nB\r\nC\r\n", {"a", "b", "c"}},
        RawRow{"robustness: a remembered section that is not there", "Activate=7\r\n", "A\r\n", {"a"}},
        RawRow{"robustness: no info lines at all", "", "A\r\n", {"a"}},
        RawRow{"robustness: an Activate line that is not a number", "Activate=abc\r\n", "A\r\n", {""}}),
    [](const ::testing::TestParamInfo<RawRow>& rowInfo) { return coretest::rowName(rowInfo.param.label); });

class ExchangeCommands : public lkptest::ScratchTest {};

TEST_F(ExchangeCommands, TheFolderHoldsPlainTextFilesAndNotebookJson) {
    const std::string nb = file("n.lkp", lkptest::kSample);
    const auto r = lkp({"export", nb, path("out")});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(path("out")))
        names.push_back(std::filesystem::relative(e.path(), path("out")).string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"001 Notes", "001 Notes.txt", "001 Notes/001 Todo.txt", "002 Misc.txt",
                                               "notebook.json"}));
    EXPECT_EQ(lkptest::readAll(path("out/002 Misc.txt")), "x\ny");
    const auto j = nlohmann::json::parse(lkptest::readAll(path("out/notebook.json")));
    EXPECT_EQ(j.at("info"), nlohmann::json::array({"Activate=1"}));
    EXPECT_EQ(j.at("selected"), 1);
}

TEST_F(ExchangeCommands, TheSelectionNamedInNotebookJsonWins) {
    const std::string nb = file("n.lkp", lkptest::kSample);
    ASSERT_EQ(lkp({"export", nb, path("out")}).code, 0);
    auto j = nlohmann::json::parse(lkptest::readAll(path("out/notebook.json")));
    j["selected"] = 2;
    lkptest::writeAll(path("out/notebook.json"), j.dump());
    ASSERT_EQ(lkp({"import", path("out"), path("back.lkp")}).code, 0);
    std::string expected = lkptest::kSample;
    expected.replace(8, 12, "Activate=2\r\n");
    EXPECT_TRUE(lkptest::readAll(path("back.lkp")) == expected);
}

struct RefusalRow {
    std::string label;
    std::vector<std::pair<std::string, std::string>> files;
    std::string message;  // what the error output holds
};
CORETEST_PRINTS_LABEL(RefusalRow)

class ImportRefusals : public lkptest::ScratchTest, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(ImportRefusals, ExitOneNameTheFileAndWriteNothing) {
    const RefusalRow& row = GetParam();
    std::filesystem::create_directories(path("in/sub"));
    for (const auto& [name, bytes] : row.files) file("in/" + name, bytes);
    const std::string target = file("old.lkp", lkptest::kSample);
    const auto r = lkp({"import", path("in"), target, "--zip"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    EXPECT_TRUE(lkptest::readAll(target) == lkptest::kSample) << "the old file stays";
    EXPECT_FALSE(std::filesystem::exists(path("new.lkp")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImportRefusals,
    ::testing::Values(RefusalRow{"robustness: a character the code page lacks",
                                 {{"a.txt", "ok"}, {"sub/b.txt", "1\n2\n\xE2\x88\x9E"}},
                                 "sub/b.txt: line 3: character U+221E \"\xE2\x88\x9E\" cannot be held in Windows-1251"},
                      RefusalRow{"robustness: an info line of notebook.json",
                                 {{"notebook.json", "{\"larkpad_folder\": 1, \"info\": [\"a=1\", \"b=\\u2713\"]}"}},
                                 "notebook.json: info line 2: character U+2713"},
                      RefusalRow{"robustness: a damaged notebook.json",
                                 {{"notebook.json", "{\"larkpad_folder\": 1, \"info\": [1]}"}},
                                 "notebook.json: "}),
    [](const ::testing::TestParamInfo<RefusalRow>& rowInfo) { return coretest::rowName(rowInfo.param.label); });

TEST_F(ExchangeCommands, ExportRefusesAFolderThatHoldsSomethingAndLeavesItAsItWas) {
    const std::string nb = file("n.lkp", lkptest::kSample);
    std::filesystem::create_directories(path("full"));
    file("full/mine.txt", "mine");
    const auto r = lkp({"export", nb, path("full")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("already exists and is not empty"), std::string::npos) << r.err;
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(path(""))) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"full", "n.lkp"})) << "no half-written folder beside it";
    std::filesystem::create_directories(path("empty"));
    EXPECT_EQ(lkp({"export", nb, path("empty")}).code, 0) << "an empty folder is taken";
    EXPECT_TRUE(std::filesystem::exists(path("empty/001 Notes.txt")));
}

TEST_F(ExchangeCommands, AFailureHalfWayLeavesNothingAndNamesTheTargetsFiles) {
    // Folders nested deeper than a path may reach (4096 bytes).
    const std::string nb = path("deep.lkp");
    {
        Desk d;
        lark::Section* parent = nullptr;
        for (int i = 0; i < 300; ++i) parent = d.add(parent, "level " + std::to_string(i), "t");
        ASSERT_TRUE(d.doc.SaveDocument(nb)) << d.lastError();
        lark::CloseDocumentFile(d.doc.FFileHandle);
    }
    const auto r = lkp({"export", nb, path("out")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Cannot create file \"" + path("out") + "/001 level 0/001 level 1/"), std::string::npos)
        << r.err.substr(0, 300);
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(path(""))) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"deep.lkp"});
}

TEST_F(ExchangeCommands, ImportNamesEachLinkItLeavesOut) {
    std::filesystem::create_directories(path("in"));
    file("in/a.txt", "a");
    std::filesystem::create_symlink(file("secret.txt", "secret"), path("in/leak.txt"));
    const auto r = lkp({"import", path("in"), path("n.lkp")});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("left out leak.txt (a symbolic link, not followed)"), std::string::npos) << r.err;
}

// The number of a process that has just ended.
pid_t deadProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST_F(ExchangeCommands, ExportSweepsTheFoldersOfKilledExportsOfTheSameTarget) {
    namespace fs = std::filesystem;
    const std::string dead = std::to_string(deadProcess());
    fs::create_directories(path("outside"));
    file("outside/keep.txt", "keep");
    struct Row {
        std::string name;  // beside the target "out"
        char kind;         // d: a folder with a file, l: a folder holding a link out, s: a link itself
        bool kept;
    };
    const std::vector<Row> rows = {
        {".out.export-" + dead + "-0", 'd', false},
        {".out.export-" + dead + "-7", 'l', false},
        {".out.export-1-0", 'd', true},  // its writer runs
        {".out.export-" + std::to_string(::getpid()) + "-99", 'd', true},
        {".out.export-" + dead + "-1", 'd', true},  // locked below: a writer in another PID namespace
        {".other.export-" + dead + "-0", 'd', true},
        {".out.export-" + dead + "-x", 'd', true},
        {".out.export-" + dead + "-2", 's', true},
        {"out.export-" + dead + "-0", 'd', true},
    };
    for (const Row& row : rows) {
        if (row.kind == 's') {
            fs::create_directory_symlink(path("outside"), path(row.name));
            continue;
        }
        fs::create_directories(path(row.name + "/sub"));
        file(row.name + "/sub/001 a.txt", "a");
        if (row.kind == 'l') fs::create_symlink(path("outside/keep.txt"), path(row.name + "/sub/link.txt"));
    }
    const int locked = ::open(path(rows[4].name).c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(locked, LOCK_EX), 0);

    ASSERT_EQ(lkp({"export", file("n.lkp", lkptest::kSample), path("out")}).code, 0);
    ::close(locked);
    for (const Row& row : rows) EXPECT_EQ(fs::exists(fs::symlink_status(path(row.name))), row.kept) << row.name;
    EXPECT_EQ(lkptest::readAll(path("outside/keep.txt")), "keep");
    EXPECT_TRUE(fs::exists(path("out/notebook.json")));
}

TEST_F(ExchangeCommands, NotANotebookAndUsageErrorsHaveTheirExitCodes) {
    const std::string text = file("plain.txt", "just some text, long enough");
    EXPECT_EQ(lkp({"export", text, path("out")}).code, 3);
    EXPECT_FALSE(std::filesystem::exists(path("out")));
    EXPECT_EQ(lkp({"export", text}).code, 2);
    EXPECT_EQ(lkp({"import", path("a"), path("b"), "--fast"}).code, 2);
    EXPECT_EQ(lkp({"import", path("missing"), path("b")}).code, 1);
}

}  // namespace
