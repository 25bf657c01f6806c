// Names in exported file names, texts between Windows-1251 and UTF-8, folders of plain
// text files read in, and the HTML page.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "document/cp1251.h"
#include "document/errors.h"
#include "document/snapshot.h"
#include "files/exchange_text.h"
#include "files/html_export.h"
#include "files/name_escape.h"
#include "files/notebook_import.h"
#include "fixture.h"

namespace {

using coretest::ScratchDir;
using coretest::writeFile;

// ---- names in file names ----

struct StemRow {
    std::string label;
    int position, width;
    std::string name;  // UTF-8
    std::string stem;  // expected; empty: only the checks common to all rows
    bool cut;
};
CORETEST_PRINTS_LABEL(StemRow)

class SectionStems : public ::testing::TestWithParam<StemRow> {};

TEST_P(SectionStems, AreFileNamesThatGiveTheNameBack) {
    const StemRow& row = GetParam();
    bool cut = !row.cut;
    const std::string stem = lark::files::SectionStem(row.position, row.width, row.name, cut);
    if (!row.stem.empty()) {
        EXPECT_EQ(stem, row.stem);
    }
    EXPECT_EQ(cut, row.cut);
    EXPECT_LE(stem.size() + 4, lark::files::kMaxFileNameBytes) << "with .txt it fits in one file name";
    EXPECT_EQ(stem.find('/'), std::string::npos);
    EXPECT_EQ(stem.find('\0'), std::string::npos);
    const std::string back = lark::files::UnescapeName(lark::files::StemName(stem));
    if (row.cut) {
        EXPECT_TRUE(row.name.starts_with(back)) << "a cut name is a beginning of the name: " << back;
        EXPECT_GT(back.size(), 0u);
        EXPECT_TRUE(lark::cp1251::fromUtf8(back).has_value()) << "never cut inside a character";
    } else {
        EXPECT_EQ(back, row.name);
    }
}

const std::string kLongAscii(300, 'a');
std::string longCyrillic() {
    std::string s;
    for (int i = 0; i < 200; ++i) s += "ж";
    return s;
}
// After "001 " and 246 letters, the three bytes of "%2F" would pass the 251 a stem may have.
const std::string kEscapeAtTheEdge = std::string(246, 'a') + "/b";

INSTANTIATE_TEST_SUITE_P(
    Table, SectionStems,
    ::testing::Values(
        StemRow{"nominal: a plain name", 1, 3, "Notes", "001 Notes", false},
        StemRow{"nominal: more siblings, more digits", 7, 4, "x", "0007 x", false},
        StemRow{"nominal: a slash", 2, 3, "a/b", "002 a%2Fb", false},
        StemRow{"nominal: the escape character itself", 3, 3, "100%", "003 100%25", false},
        StemRow{"nominal: a leading dot, not the ones after it", 4, 3, "..x.y", "004 %2E.x.y", false},
        StemRow{"nominal: an empty name", 5, 3, "", "005 ", false},
        StemRow{"robustness: a NUL", 6, 3, std::string("a\0b", 3), "006 a%00b", false},
        StemRow{"robustness: a name that looks escaped already", 8, 3, "%2F%2E", "008 %252F%252E", false},
        StemRow{"robustness: control bytes", 9, 3, "\x01t\tn\x1F\x7F~", "009 %01t%09n%1F%7F~", false},
        StemRow{"robustness: a name that starts with a number and a blank", 9, 3, "007 Bond", "009 007 Bond", false},
        StemRow{"robustness: as long as one file name allows", 1, 3, std::string(247, 'n'),
                "001 " + std::string(247, 'n'), false},
        StemRow{"robustness: one byte too long", 1, 3, std::string(248, 'n'), "001 " + std::string(247, 'n'), true},
        StemRow{"robustness: a long Latin name is cut", 1, 3, kLongAscii, "", true},
        StemRow{"robustness: a long Cyrillic name is cut between characters", 1, 3, longCyrillic(), "", true},
        StemRow{"robustness: an escape is never cut in two", 1, 3, kEscapeAtTheEdge, "001 " + std::string(246, 'a'),
                true}),
    [](const ::testing::TestParamInfo<StemRow>& rowInfo) { return coretest::rowName(rowInfo.param.label); });

TEST(NameEscapes, APercentSignOfAnotherKindStaysAsItIs) {
    EXPECT_EQ(lark::files::UnescapeName("50%off %41 %2f %zz %20 %80 %"), "50%off %41 / %zz %20 %80 %");
}

// ---- texts ----

struct ImportTextRow {
    std::string label;
    std::string utf8;
    bool breaksKept;
    std::string expected;  // Windows-1251
};
CORETEST_PRINTS_LABEL(ImportTextRow)

class ImportTexts : public ::testing::TestWithParam<ImportTextRow> {};

TEST_P(ImportTexts, BecomeWhatANotebookHolds) {
    const ImportTextRow& row = GetParam();
    lark::files::TextProblem problem;
    const auto text = lark::files::ImportText(row.utf8, row.breaksKept, problem);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImportTexts,
    ::testing::Values(ImportTextRow{"nominal: Cyrillic and the signs of the code page", "Ёж №1 — «€»", false,
                                    "\xA8\xE6 \xB9\x31 \x97 \xAB\x88\xBB"},
                      ImportTextRow{"nominal: a byte-order mark is dropped", "\xEF\xBB\xBFx", false, "x"},
                      ImportTextRow{"robustness: a lone CR stays", "a\rb", false, "a\rb"},
                      ImportTextRow{"robustness: LF CR", "a\n\rb", false, "a\r\n\rb"},
                      ImportTextRow{"robustness: the unassigned byte of the code page", "\xC2\x98", false, "\x98"}),
    [](const ::testing::TestParamInfo<ImportTextRow>& rowInfo) { return coretest::rowName(rowInfo.param.label); });

struct RefusedTextRow {
    std::string label;
    std::string utf8;
    std::string message;  // of DescribeProblem("f.txt", ...)
};
CORETEST_PRINTS_LABEL(RefusedTextRow)

class RefusedTexts : public ::testing::TestWithParam<RefusedTextRow> {};

TEST_P(RefusedTexts, NameTheLineAndTheCharacter) {
    const RefusedTextRow& row = GetParam();
    lark::files::TextProblem problem;
    EXPECT_FALSE(lark::files::ImportText(row.utf8, false, problem).has_value());
    EXPECT_EQ(lark::files::DescribeProblem("f.txt", problem), row.message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedTexts,
    ::testing::Values(
        RefusedTextRow{"robustness: a character the code page lacks, line 3", "one\ntwo\nthree \xF0\x9F\x98\x80\n",
                       "f.txt: line 3: character U+1F600 \"\xF0\x9F\x98\x80\" cannot be held in Windows-1251"},
        RefusedTextRow{"robustness: a Latin letter with umlaut",
                       "Gr\xC3\xBC\xC3\x9F"
                       "e",
                       "f.txt: line 1: character U+00FC \"\xC3\xBC\" cannot be held in Windows-1251"},
        RefusedTextRow{"robustness: a NUL", std::string("a\n\nb\0c", 6),
                       "f.txt: line 3: character U+0000 (NUL) cannot be held in a notebook"},
        RefusedTextRow{"robustness: a byte that starts no character", "ok\n\xFF",
                       "f.txt: line 2: byte 0xFF is not UTF-8"},
        RefusedTextRow{"robustness: a character cut off at the end", "ok \xD0",
                       "f.txt: line 1: byte 0xD0 is not UTF-8"},
        RefusedTextRow{"robustness: an overlong form", "\xC0\xAF", "f.txt: line 1: byte 0xC0 is not UTF-8"},
        RefusedTextRow{"robustness: a surrogate", "\xED\xA0\x80", "f.txt: line 1: byte 0xED is not UTF-8"}),
    [](const ::testing::TestParamInfo<RefusedTextRow>& rowInfo) { return coretest::rowName(rowInfo.param.label); });

// ---- folders that did not come from an export ----

struct FolderRow {
    std::string label;
    std::vector<std::pair<std::string, std::string>> files;  // relative path, bytes
    std::vector<std::string> sections;                       // "depth|name|text", Windows-1251, CR LF as \r\n
    std::vector<std::string> skipped;
};
CORETEST_PRINTS_LABEL(FolderRow)

class ForeignFolders : public ::testing::TestWithParam<FolderRow> {};

TEST_P(ForeignFolders, ImportOrderedByName) {
    const FolderRow& row = GetParam();
    ScratchDir dir;
    for (const auto& [path, bytes] : row.files) {
        for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
            ::mkdir(dir.file(path.substr(0, slash)).c_str(), 0777);
        writeFile(dir.file(path), bytes);
    }
    const lark::files::ImportedNotebook imported = lark::files::ImportFolder(dir.path());
    std::vector<std::string> sections;
    for (const auto& s : imported.notebook.sections)
        sections.push_back(std::to_string(s.depth) + "|" + std::string(s.name()) + "|" + std::string(s.text()));
    EXPECT_EQ(sections, row.sections);
    EXPECT_EQ(imported.skipped, row.skipped);
    EXPECT_FALSE(imported.fromExport);
    EXPECT_TRUE(imported.notebook.info == lark::InfoLines{"Activate=0"});
    EXPECT_EQ(imported.selected, row.sections.empty() ? std::nullopt : std::optional<int>(0));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ForeignFolders,
    ::testing::Values(FolderRow{"nominal: files by name, LF becomes CR LF",
                                {{"b.txt", "x\ny"}, {"a.txt", "1"}},
                                {"0|a|1", "0|b|x\r\ny"},
                                {}},
                      FolderRow{"nominal: a folder and the text of its stem are one section",
                                {{"p.txt", "top"}, {"p/c.md", "child"}, {"o.txt", ""}},
                                {"0|o|", "0|p|top", "1|c|child"},
                                {}},
                      FolderRow{"nominal: a folder without a text is an empty section",
                                {{"q/r.txt", "r"}, {"q/s/t.txt", "t"}, {"a.md", "a"}},
                                {"0|a|a", "0|q|", "1|r|r", "1|s|", "2|t|t"},
                                {}},
                      FolderRow{"nominal: other files are left out and named, hidden ones are not",
                                {{"n.txt", "n"}, {"img.png", "x"}, {".git/config", "x"}, {".hidden.txt", "h"}},
                                {"0|n|n"},
                                {"img.png"}},
                      FolderRow{"nominal: Cyrillic names and texts",
                                {{"Ёлка.txt", "зелёная\n"}},
                                {"0|\xA8\xEB\xEA\xE0|\xE7\xE5\xEB\xB8\xED\xE0\xFF\r\n"},
                                {}},
                      FolderRow{"nominal: extensions in any letter case",
                                {{"Up.TXT", "u"}, {"Down.Md", "d"}},
                                {"0|Down|d", "0|Up|u"},
                                {}},
                      FolderRow{"robustness: numbers and escapes stay in the names of such a folder",
                                {{"001 a%2Fb.txt", "x"}},
                                {"0|001 a%2Fb|x"},
                                {}},
                      FolderRow{"robustness: an empty folder", {}, {}, {}}),
    [](const ::testing::TestParamInfo<FolderRow>& rowInfo) { return coretest::rowName(rowInfo.param.label); });

TEST(ForeignFolders, EveryRefusedFileIsNamedAndNothingIsReturned) {
    ScratchDir dir;
    ::mkdir(dir.file("sub").c_str(), 0777);
    writeFile(dir.file("good.txt"), "fine");
    writeFile(dir.file("sub/bad.txt"), "ok\n\xE2\x9C\x93");
    writeFile(dir.file("\xE5\x90\x8D.txt"), "text");
    try {
        lark::files::ImportFolder(dir.path());
        FAIL() << "the folder was imported";
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(e.kind(), lark::ErrorKind::Encoding);
        EXPECT_EQ(std::string(e.what()),
                  "sub/bad.txt: line 2: character U+2713 \"\xE2\x9C\x93\" cannot be held in Windows-1251\n"
                  "\xE5\x90\x8D.txt: the name: character U+540D \"\xE5\x90\x8D\" cannot be held in Windows-1251");
    }
}

// ---- what a folder may hold besides texts ----

// Entries, one a string: "a/b=text" a file, "d/" a folder, "l->t" a link ("@" in t: the
// folder beside, holding secret.txt), "p|" a FIFO, "f#N" a sparse file of N bytes, "f*N" and
// "f~N" N letters and N line feeds. Expected: the sections as depth|name, then the links, the
// entries left out and a selection other than the first; or "refused: " and part of the message.
struct EntryRow {
    std::string label;
    std::vector<std::string> entries;
    std::string expect;
};
CORETEST_PRINTS_LABEL(EntryRow)

void makeEntry(const std::string& in, const std::string& outside, const std::string& e) {
    const std::size_t arrow = e.find("->"), equals = e.find('='), size = e.find_last_of("#*~");
    if (arrow != std::string::npos) {
        const std::string target = e.substr(arrow + 2);
        ::symlink((target[0] == '@' ? outside + target.substr(1) : target).c_str(),
                  (in + "/" + e.substr(0, arrow)).c_str());
    } else if (equals != std::string::npos) {
        writeFile(in + "/" + e.substr(0, equals), e.substr(equals + 1));
    } else if (e.back() == '/' || e.back() == '|') {
        const std::string path = in + "/" + e.substr(0, e.size() - 1);
        e.back() == '/' ? ::mkdir(path.c_str(), 0777) : ::mkfifo(path.c_str(), 0666);
    } else {
        const std::string path = in + "/" + e.substr(0, size);
        const auto n = std::stoull(e.substr(size + 1));
        writeFile(path, e[size] == '#' ? std::string() : std::string(n, e[size] == '*' ? 'f' : '\n'));
        if (e[size] == '#') {
            EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(n)), 0);  // sparse: no disk taken
        }
    }
}

std::string describe(const lark::files::ImportedNotebook& imported) {
    std::string out;
    for (const auto& s : imported.notebook.sections) {
        out += (out.empty() ? "" : " ") + std::to_string(s.depth) + "|" + std::string(s.name());
        EXPECT_EQ(s.text().find("secret"), std::string::npos);
    }
    for (const auto& [title, list] : {std::pair{" links:", &imported.links}, {" skipped:", &imported.skipped}}) {
        if (!list->empty()) out += title;
        for (const std::string& entry : *list) out += " " + entry;
    }
    if (imported.selected != 0)
        out += " selected: " + (imported.selected ? std::to_string(*imported.selected) : "none");
    return out;
}

class FolderEntries : public ::testing::TestWithParam<EntryRow> {};

TEST_P(FolderEntries, NeverReachOutsideTheFolderNorPastTheLimits) {
    const EntryRow& row = GetParam();
    ScratchDir scratch;
    const std::string in = scratch.file("in"), outside = scratch.file("outside");
    ::mkdir(in.c_str(), 0777);
    ::mkdir(outside.c_str(), 0777);
    writeFile(outside + "/secret.txt", "secret");
    for (const std::string& e : row.entries) makeEntry(in, outside, e);
    std::string got;
    try {
        got = describe(lark::files::ImportFolder(in));
    } catch (const lark::LarkError& e) {
        got = std::string("refused: ") + e.what();
    }
    if (row.expect.starts_with("refused: "))
        EXPECT_TRUE(got.starts_with("refused: ") && got.find(row.expect.substr(9)) != std::string::npos) << got;
    else EXPECT_EQ(got, row.expect);
}

// Folders n10..n33, each with two links to the next: 2^24 ways down if links were followed.
EntryRow linkChain() {
    EntryRow row{"robustness: a chain of folders each linking twice to the next", {}, ""};
    std::string links;
    for (int i = 10; i < 34; ++i) {
        const std::string n = "n" + std::to_string(i), next = "../n" + std::to_string(i + 1);
        row.entries.insert(row.entries.end(), {n + "/", n + "/a->" + next, n + "/b->" + next});
        row.expect += (i == 10 ? "0|" : " 0|") + n;
        links += " " + n + "/a " + n + "/b";
    }
    row.expect += " links:" + links;
    return row;
}

const std::string kExported = R"(notebook.json={"larkpad_folder": 1, )";
const std::string kTooLong = "the text is longer than 16,777,215 bytes";

INSTANTIATE_TEST_SUITE_P(
    Table, FolderEntries,
    ::testing::Values(
        EntryRow{
            "robustness: a link to a file outside", {"own.txt=own", "leak.txt->@/secret.txt"}, "0|own links: leak.txt"},
        EntryRow{"robustness: links to the parent folder and to the root",
                 {"sub/", "sub/s.txt=s", "sub/up->..", "x->/"},
                 "0|sub 1|s links: x sub/up"},
        EntryRow{"robustness: links inside are not followed either",
                 {"real/", "real/r.txt=r", "alias->real", "alias.txt->real/r.txt"},
                 "0|real 1|r links: alias alias.txt"},
        linkChain(),
        EntryRow{"robustness: a notebook.json that is a link is not read",
                 {"t.txt=t", "notebook.json->@/secret.txt"},
                 "0|t links: notebook.json"},
        EntryRow{"robustness: a FIFO named like a text is left out without waiting",
                 {"p.txt|", "t.md=t"},
                 "0|t skipped: p.txt"},
        EntryRow{"boundary: a text of the most bytes a section holds", {"full.txt*16777215"}, "0|full"},
        EntryRow{"boundary: one byte more is refused", {"over.txt*16777216"}, "refused: over.txt: " + kTooLong},
        EntryRow{"boundary: line breaks that become CR LF count", {"lf.txt~8388608"}, "refused: lf.txt: " + kTooLong},
        EntryRow{"robustness: a file too long for any text is refused from its size, unread",
                 {"huge.txt#50331649", "sparse.md#1099511627776"},
                 "refused: huge.txt: the file is 50331649 bytes, more than 50331648 bytes can be\n"
                 "sparse.md: the file is 1099511627776 bytes"},
        EntryRow{"robustness: info lines holding CR or LF",
                 {kExported + R"("info": ["ok", "a\rb", "c\nd"]})", "a.txt=a"},
                 "refused: notebook.json: info line 2 holds a line break\n"
                 "notebook.json: info line 3 holds a line break"},
        EntryRow{"boundary: the last section may be selected",
                 {kExported + R"("selected": 1})", "001 a.txt=a", "002 b.txt=b"},
                 "0|a 0|b selected: 1"},
        EntryRow{"boundary: a selection one past the last section is dropped",
                 {kExported + R"("selected": 2})", "001 a.txt=a", "002 b.txt=b"},
                 "0|a 0|b selected: none"}),
    [](const ::testing::TestParamInfo<EntryRow>& rowInfo) { return coretest::rowName(rowInfo.param.label); });

// ---- the HTML page ----

lark::NotebookSnapshot snapshotOf(const std::vector<std::tuple<int, std::string, std::string>>& sections) {
    lark::NotebookSnapshot s;
    for (const auto& [depth, name, text] : sections) {
        auto& section = s.addSection(depth, name);
        section.text_ = lark::TextBuffer::copyOf(text);
    }
    return s;
}

struct HtmlRow {
    std::string label;
    std::vector<std::tuple<int, std::string, std::string>> sections;
    std::vector<std::string> present, absent;
};
CORETEST_PRINTS_LABEL(HtmlRow)

class HtmlPages : public ::testing::TestWithParam<HtmlRow> {};

TEST_P(HtmlPages, HoldWhatTheNotebookSays) {
    const HtmlRow& row = GetParam();
    const std::string html = lark::files::NotebookHtml(snapshotOf(row.sections), "T");
    for (const auto& p : row.present) EXPECT_NE(html.find(p), std::string::npos) << "missing: " << p;
    for (const auto& a : row.absent) EXPECT_EQ(html.find(a), std::string::npos) << "unexpected: " << a;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HtmlPages,
    ::testing::Values(
        HtmlRow{"nominal: a section link goes where a click would select",
                {{0, "A", "see file://@Twin."}, {0, "Twin", ""}, {1, "Twin", ""}},
                {"see <a href=\"#s2\">file://@Twin</a>.", "<section id=\"s2\""},
                {"href=\"#s1\">file"}},
        HtmlRow{"nominal: a link to a missing section is marked, not linked",
                {{0, "A", "file://@twin"}, {0, "Twin", ""}},
                {"<span class=\"missing\" title=\"Раздел &quot;twin&quot; не найден", ">file://@twin</span>"},
                {"<a href=\"#s1\">file"}},
        HtmlRow{"nominal: other links are clickable",
                {{0, "A", "www.example.org/a?b=1&c=2, mailto:x@y.z"}},
                {"<a href=\"http://www.example.org/a?b=1&amp;c=2\">", "<a href=\"mailto:x@y.z\">"},
                {}},
        HtmlRow{"nominal: file and ftp addresses stay text",
                {{0, "A", "file:///etc/passwd ftp://h/f HTTPS://e.org"}},
                {"file:///etc/passwd ftp://h/f <a href=\"HTTPS://e.org\">"},
                {"href=\"file", "href=\"ftp"}},
        HtmlRow{"robustness: Windows-1251 becomes UTF-8", {{0, "\xC6", "\xB8\xE6"}}, {"<h2>Ж</h2>", "ёж"}, {}}),
    [](const ::testing::TestParamInfo<HtmlRow>& rowInfo) { return coretest::rowName(rowInfo.param.label); });

}  // namespace
