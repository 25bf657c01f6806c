// The notebook reader: blocks, outline, parent rule, checks, messages, and what is left
// behind when reading stops. Every row runs over the content in memory and straight from
// the held file (with the normal staging buffer and with a tiny one).
#include <gtest/gtest.h>

#include "document/envelope.h"
#include "document/format.h"
#include "fixture.h"

namespace {

using coretest::block;
using coretest::Desk;
using coretest::le32;
using coretest::notebook;
using coretest::sampleBytes;

enum class Via { Memory, File, FileTinyChunks, Envelope, EnvelopeBlocks };

const std::vector<std::string> kOldInfo = {"Old=1", "Activate=0"};

// Writes the content, packed into an envelope for Via::Envelope.
void writeContent(const std::string& path, const std::string& content, Via via) {
    const bool packed = via == Via::Envelope || via == Via::EnvelopeBlocks;
    coretest::writeFile(path, packed ? std::string(lark::ZipBuffer(content).view()) : content);
}

// Holds the file the way a load does, then parses it with the tree being rebuilt.
// Returns the fatal error's message, or "" when reading finished.
std::string parseFile(Desk& d, const std::string& path, Via via, bool readOnly) {
    lark::OpenDocumentFile(d.doc.FFileHandle, path, readOnly);
    d.doc.FUpdating = true;
    std::string fatal;
    try {
        if (via == Via::EnvelopeBlocks) {  // the compressed load: blocks inflated into their buffers
            lark::BlockSource source =
                lark::UnzipFileToBlocks(d.doc.FFileHandle.fd(), lark::DocumentFileSize(d.doc.FFileHandle));
            lark::ParseDocument(d.doc, source, readOnly, path);
        } else if (via == Via::Memory || via == Via::Envelope) {
            lark::TextBuffer content = lark::ReadDocumentFile(d.doc.FFileHandle);
            lark::UnzipBuffer(content);
            lark::MemorySource source(content.view());
            lark::ParseDocument(d.doc, source, readOnly, path);
        } else {
            lark::FileSource source(d.doc.FFileHandle.fd(), lark::DocumentFileSize(d.doc.FFileHandle),
                                    via == Via::File ? 256 * 1024 : 5);
            lark::ParseDocument(d.doc, source, readOnly, path);
        }
    } catch (const lark::LarkError& e) {
        fatal = e.what();
    }
    d.doc.FUpdating = false;
    return fatal;
}

// Puts a previous notebook on the desk, with read-only flags opposite to `readOnly`.
void previousNotebook(Desk& d, bool readOnly) {
    d.add(nullptr, "Previous", "old text");
    d.doc.FFileInfo = kOldInfo;
    d.doc.FFileName = "/old/path.lkp";
    d.editor.setText("old text");
    d.editor.setReadOnly(!readOnly);
    d.view.setTreeReadOnly(!readOnly);
    d.ui.setStatus("Открыто /old/path.lkp");
}

struct ParseRow {
    std::string label;
    std::string bytes;
    std::string tree{};                 // describe() of the result
    std::string fatal{};                // message of the fatal error, "" for none
    std::vector<std::string> errors{};  // non-fatal boxes, in order
    std::vector<std::string> info{};    // FFileInfo afterwards (when reading finished)
    int selected = -1;                  // absolute index of the selection
    bool plain = false;                 // shown as plain text
    bool treeVisible = true;
};

CORETEST_PRINTS_LABEL(ParseRow)

class FormatParse : public ::testing::TestWithParam<std::tuple<ParseRow, Via>> {};

TEST_P(FormatParse, GivesTheTreeMessagesAndStateOfTheRow) {
    const auto& [row, via] = GetParam();
    SCOPED_TRACE(row.label);
    coretest::ScratchDir dir;
    const std::string path = dir.file("input.lkp");
    writeContent(path, row.bytes, via);
    Desk d;
    const bool readOnly = true;
    previousNotebook(d, readOnly);

    const std::string fatal = parseFile(d, path, via, readOnly);

    EXPECT_EQ(fatal, row.fatal);
    EXPECT_EQ(coretest::describe(d.doc.tree()), row.tree);
    EXPECT_EQ(d.ui.errors, row.errors);
    EXPECT_EQ(d.doc.tree().indexOf(d.doc.selected()), row.selected);
    EXPECT_EQ(d.view.treeVisible(), row.treeVisible);
    EXPECT_EQ(d.doc.FFileName, "") << "the previous notebook is cleared whatever happens";
    EXPECT_EQ(d.ui.status(), "");
    EXPECT_FALSE(d.doc.treeModified());
    EXPECT_FALSE(d.editor.modified());
    if (!row.fatal.empty()) {
        EXPECT_EQ(d.doc.FFileInfo, kOldInfo) << "info text is not applied after a fatal error";
        EXPECT_EQ(d.editor.readOnly(), !readOnly) << "read-only flags keep their previous values";
        EXPECT_EQ(d.view.treeReadOnly(), !readOnly);
    } else {
        EXPECT_EQ(d.doc.FFileInfo, row.plain ? kOldInfo : row.info);
        EXPECT_EQ(d.editor.readOnly(), readOnly);
        EXPECT_EQ(d.view.treeReadOnly(), readOnly);
    }
    // The plain-text view shows the file's bytes from disk, an envelope as it is.
    EXPECT_EQ(d.editor.text(), row.plain ? coretest::readFile(path) : std::string())
        << "the tree's rebuilding does not fill the editor";
}

std::string sampleWith(std::string_view tail) { return sampleBytes() + std::string(tail); }

const std::string kSampleTree = "Notes=Hi|.Todo=|Misc=x\r\ny";

std::vector<ParseRow> parseRows() {
    using V = std::vector<std::string>;
    const std::string withTexts = "LKP\x01";
    std::vector<ParseRow> rows = {
        {"nominal: the 62-byte sample", sampleBytes(), kSampleTree, "", {}, {"Activate=1"}, 1},
        {"nominal: the 24-byte empty notebook", notebook("Activate=0\r\n", "", {}), "", "", {}, {"Activate=0"}, -1},
        {"nominal: the 8 bytes LKP 01 00 00 00 00 give an empty notebook without info lines",
         std::string("LKP\x01\0\0\0\0", 8),
         "",
         "",
         {},
         {},
         -1},
        {"nominal: one stray byte at the end is ignored", sampleWith("\x01"), kSampleTree, "", {}, {"Activate=1"}, 1},
        {"nominal: two stray bytes at the end are ignored",
         sampleWith("\xFF\xFF"),
         kSampleTree,
         "",
         {},
         {"Activate=1"},
         1},
        {"nominal: three stray bytes at the end are ignored",
         sampleWith("\x10\x00\x00"),
         kSampleTree,
         "",
         {},
         {"Activate=1"},
         1},
        {"nominal: a file cut exactly after a whole text block loads the sections before it",
         sampleBytes().substr(0, 54),
         "Notes=Hi|.Todo=",
         "",
         {},
         {"Activate=1"},
         1},
        {"nominal: a file cut after the outline has no sections",
         sampleBytes().substr(0, 44),
         "",
         "",
         {},
         {"Activate=1"},
         -1},
        {"nominal: a file cut after the info block has no outline",
         sampleBytes().substr(0, 20),
         "",
         "",
         {},
         {"Activate=1"},
         -1},
        {"robustness: a file cut inside a text block keeps the sections before it", sampleBytes().substr(0, 60),
         "Notes=Hi|.Todo=", lark::kBlockPastEnd},
        {"robustness: a file cut inside the info block", sampleBytes().substr(0, 15), "", lark::kBlockPastEnd},
        {"robustness: a file cut inside the outline block", sampleBytes().substr(0, 30), "", lark::kBlockPastEnd},
        {"robustness: version byte 02", std::string("LKP\x02", 4) + sampleBytes().substr(4), "", lark::kVersionError},
        {"robustness: version byte 00", std::string("LKP\x00\x0c\0\0\0", 8), "", lark::kVersionError},
        {"robustness: a length of 16,777,216 (00 00 00 01) is over the limit",
         notebook("", "A\r\nB\r\n", {"a"}) + std::string("\x00\x00\x00\x01", 4) + "bbb", "A=a", lark::kBlockTooLarge},
        {"robustness: a length of FF FF FF FF is over the limit", notebook("", "A\r\n", {}) + "\xFF\xFF\xFF\xFF", "",
         lark::kBlockTooLarge},
        {"robustness: the limit is checked on the info block too", std::string("LKP\x01\x00\x00\x00\x02", 8) + "xyz",
         "", lark::kBlockTooLarge},
        {"robustness: a length of 16,777,215 (FF FF FF 00) passes the limit and meets the end check",
         notebook("", "A\r\n", {"a"}) + std::string("\xFF\xFF\xFF\x00", 4) + "abc", "A=a", lark::kBlockPastEnd},
        {"nominal: outline A, TAB TAB C gives two top-level sections", notebook("", "A\r\n\t\tC\r\n", {"a", "c"}),
         "A=a|C=c"},
        {"nominal: outline A, TAB B, TAB TAB C, D, TAB TAB E puts E under B after C",
         notebook("", "A\r\n\tB\r\n\t\tC\r\nD\r\n\t\tE\r\n", {"a", "b", "c", "d", "e"}), "A=a|.B=b|..C=c|..E=e|D=d"},
        {"nominal: a first line at level 3 is top-level and a level-4 line becomes its child",
         notebook("", "\t\tA\r\n\t\t\tB\r\n", {"a", "b"}), "A=a|.B=b"},
        {"nominal: children go to the most recent section one level up",
         notebook("", "A\r\n\tB\r\nC\r\n\tD\r\n\t\tE\r\n\tF\r\n", {"a", "b", "c", "d", "e", "f"}),
         "A=a|.B=b|C=c|.D=d|..E=e|.F=f"},
        {"nominal: lone LF line ends read like CR LF", notebook("", "Notes\n\tTodo\nMisc\n", {"Hi", "", "x\r\ny"}),
         kSampleTree},
        {"nominal: lone CR line ends read like CR LF", notebook("", "Notes\r\tTodo\rMisc\r", {"Hi", "", "x\r\ny"}),
         kSampleTree},
        {"nominal: LF CR inserts an empty-named top-level section that takes the next text",
         notebook("", "A\r\n\tB\n\rC\r\n", {"a", "b", "x", "c"}), "A=a|.B=b|=x|C=c"},
        {"nominal: after LF CR the later texts shift by one and the last line is dropped",
         notebook("", "A\n\rB\r\n", {"a", "b"}), "A=a|=b"},
        {"nominal: the last outline line needs no line end", notebook("", "A\r\n\tB", {"a", "b"}), "A=a|.B=b"},
        {"nominal: a line of TABs only is an empty name at that level", notebook("", "A\r\n\t\r\n", {"a", "t"}),
         "A=a|.=t"},
        {"nominal: an empty line is an empty-named top-level section", notebook("", "\r\n\r\n", {"1", "2"}), "=1|=2"},
        {"nominal: a NUL in a text cuts it and the next blocks are still found",
         notebook("", "A\r\nB\r\n", {std::string("ab\0cd", 5), "next"}), "A=ab|B=next"},
        {"nominal: a NUL in the outline ends it, the text without a line is reported",
         notebook("", std::string("A\r\nB\0C\r\nD\r\n", 10), {"a", "b", "c"}),
         "A=a|B=b",
         "",
         {std::string(lark::kStructureError) + "\r\nc\r\n" + lark::kMoreErrors}},
        {"nominal: a NUL in the info block ends the info text",
         notebook(std::string("Activate=1\r\n\0Other=2\r\n", 22), "A\r\nB\r\n", {"a", "b"}),
         "A=a|B=b",
         "",
         {},
         {"Activate=1"},
         1},
        {"nominal: fewer text blocks than outline lines drop the lines without text",
         notebook("", "A\r\n\tB\r\nC\r\n", {"a"}), "A=a"},
        {"robustness: an empty text block beyond the outline gives the short message",
         notebook("", "A\r\n", {"a", ""}),
         "A=a",
         "",
         {lark::kStructureError}},
        {"robustness: a text block beyond the outline is quoted in the message",
         notebook("", "A\r\n", {"a", "extra text"}),
         "A=a",
         "",
         {std::string(lark::kStructureError) + "\r\nextra text\r\n" + lark::kMoreErrors}},
        {"robustness: after the first extra block's box the others are summed up in one box with their count",
         notebook("Activate=0\r\n", "", {"", "\xCF\xF0\xE8\xE2\xE5\xF2", ""}),
         "",
         "",
         V{lark::kStructureError, std::string(lark::kExtraBlocksSummary) + "2"},
         {"Activate=0"}},
        {"robustness: the first extra block is quoted in Windows-1251 and the one after it counted",
         notebook("", "A\r\n", {"a", "\xCF\xF0\xE8\xE2\xE5\xF2", ""}), "A=a", "",
         V{std::string(lark::kStructureError) + "\r\nПривет\r\n" + lark::kMoreErrors,
           std::string(lark::kExtraBlocksSummary) + "1"}},
        {"robustness: extra blocks before a fatal error are summed up before it is raised",
         notebook("", "A\r\n", {"a", "x", "", "y"}) + le32(9) + "cut", "A=a", lark::kBlockPastEnd,
         V{std::string(lark::kStructureError) + "\r\nx\r\n" + lark::kMoreErrors,
           std::string(lark::kExtraBlocksSummary) + "2"}},
        {"robustness: thousands of extra blocks give two boxes", notebook("", "", std::vector<std::string>(5000, "z")),
         "", "",
         V{std::string(lark::kStructureError) + "\r\nz\r\n" + lark::kMoreErrors,
           std::string(lark::kExtraBlocksSummary) + "4999"}},
        {"robustness: the summary box comes before the info error",
         notebook("Activate=q\r\n", "", {"", ""}),
         "",
         "",
         V{lark::kStructureError, std::string(lark::kExtraBlocksSummary) + "1",
           "File Info Error: 'q' is not a valid integer value"},
         {"Activate=q"}},
        {"robustness: a line of 100000 TABs with its text is a top-level section",
         notebook("", std::string(100000, '\t') + "Deep\r\n", {"d"}), "Deep=d"},
        {"robustness: sections far deeper than the table of shallow levels find their parents",
         notebook("",
                  std::string(70000, '\t') + "B\r\n" + std::string(70001, '\t') + "C\r\n" + std::string(70001, '\t') +
                      "D\r\n" + std::string(69999, '\t') + "E\r\n" + std::string(70000, '\t') + "F\r\n",
                  {"b", "c", "d", "e", "f"}),
         "B=b|.C=c|.D=d|E=e|.F=f"},
        {"robustness: parents across the border of the table of shallow levels",
         notebook("",
                  std::string(65534, '\t') + "X\r\n" + std::string(65535, '\t') + "Y\r\n" + std::string(65536, '\t') +
                      "Z\r\n" + std::string(65535, '\t') + "W\r\n",
                  {"x", "y", "z", "w"}),
         "X=x|.Y=y|..Z=z|.W=w"},
        {"robustness: an outline of 100000 empty lines without texts gives no sections",
         notebook("", std::string(100000, '\n'), {}), ""},
        {"robustness: the 16 MB check comes before the end check on the outline block",
         std::string("LKP\x01", 4) + block("") + std::string("\x00\x00\x00\x01", 4), "", lark::kBlockTooLarge},
    };
    // The plain-text view: tree hidden for short content, left as it was otherwise.
    ParseRow p;
    p = {"nominal: 7 bytes of LKP 01 and more are not a notebook",
         std::string("LKP\x01\0\0\0", 7),
         "",
         "",
         {},
         {},
         -1,
         true,
         false};
    rows.push_back(p);
    p = {"nominal: an empty file is not a notebook", "", "", "", {}, {}, -1, true, false};
    rows.push_back(p);
    p = {"nominal: the magic in lower case is not a notebook",
         std::string("lkp\x01\x0c\0\0\0Activate=1\r\n", 20),
         "",
         "",
         {},
         {},
         -1,
         true,
         true};
    rows.push_back(p);
    p = {"nominal: a NUL among the magic bytes is not a notebook",
         std::string("LK\0\x01\0\0\0\0", 8),
         "",
         "",
         {},
         {},
         -1,
         true,
         true};
    rows.push_back(p);
    p = {"nominal: a text file is not a notebook",
         "Just some text,\r\nnot a notebook.\r\n",
         "",
         "",
         {},
         {},
         -1,
         true,
         true};
    rows.push_back(p);
    return rows;
}

using RowAndViaInfo = ::testing::TestParamInfo<std::tuple<ParseRow, Via>>;
struct RowAndVia {
    std::string operator()(const RowAndViaInfo& info) const {
        static const char* const vias[] = {"memory", "file", "tinychunks", "envelope", "envelopeblocks"};
        return coretest::rowName(std::get<0>(info.param).label) + "_" + vias[static_cast<int>(std::get<1>(info.param))];
    }
};

INSTANTIATE_TEST_SUITE_P(Rows, FormatParse,
                         ::testing::Combine(::testing::ValuesIn(parseRows()),
                                            ::testing::Values(Via::Memory, Via::File, Via::FileTinyChunks,
                                                              Via::Envelope, Via::EnvelopeBlocks)),
                         RowAndVia());

class FormatParseVia : public ::testing::TestWithParam<Via> {};

TEST_P(FormatParseVia, ABlockOfExactlyTheLimitLoads) {
    coretest::ScratchDir dir;
    const std::string path = dir.file("big.lkp");
    const std::string big(lark::kMaxBlockLength, '\xE0');
    writeContent(path, notebook("", "A\r\nB\r\n", {"a", big, "after"}), GetParam());
    Desk d;
    EXPECT_EQ(parseFile(d, path, GetParam(), true), "");
    ASSERT_EQ(d.doc.tree().count(), 2);
    EXPECT_EQ(d.doc.tree().at(1)->text().size(), big.size());
    EXPECT_TRUE(d.doc.tree().at(1)->text() == big);
    EXPECT_TRUE(d.ui.errors.size() == 1 && d.ui.errors[0].find("after") != std::string::npos);
}

TEST_P(FormatParseVia, ALengthOverTheLimitFailsEvenWhenTheFileIsLongEnough) {
    coretest::ScratchDir dir;
    const std::string path = dir.file("big.lkp");
    writeContent(path,
                 notebook("", "A\r\nB\r\n", {"a"}) + le32(lark::kMaxBlockLength + 1) +
                     std::string(lark::kMaxBlockLength + 1, 'b'),
                 GetParam());
    Desk d;
    EXPECT_EQ(parseFile(d, path, GetParam(), true), lark::kBlockTooLarge);
    EXPECT_EQ(coretest::describe(d.doc.tree()), "A=a");
}

// The reader lets the UI breathe at text blocks 0, 256, 512, ... with the tree half built.
TEST_P(FormatParseVia, ProcessesEventsEvery256TextBlocks) {
    coretest::ScratchDir dir;
    const std::string path = dir.file("many.lkp");
    std::string outline;
    std::vector<std::string> texts;
    for (int i = 0; i < 600; ++i) {
        outline += "S" + std::to_string(i) + "\r\n";
        texts.push_back(std::to_string(i));
    }
    texts.emplace_back();  // one block beyond the outline counts as well
    for (int i = 0; i < 112; ++i) texts.emplace_back();
    writeContent(path, notebook("", outline, texts), GetParam());
    Desk d;
    std::vector<int> countsSeen;
    std::vector<bool> updatingSeen;
    d.ui.onProcessEvents = [&] {
        countsSeen.push_back(d.doc.tree().count());
        updatingSeen.push_back(d.doc.FUpdating);
    };
    EXPECT_EQ(parseFile(d, path, GetParam(), false), "");
    EXPECT_EQ(d.doc.tree().count(), 600);
    EXPECT_EQ(d.ui.eventPumps, 3);
    EXPECT_EQ(countsSeen, (std::vector<int>{1, 257, 513}));
    EXPECT_EQ(updatingSeen, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(d.ui.errors,
              (std::vector<std::string>{lark::kStructureError, std::string(lark::kExtraBlocksSummary) + "112"}))
        << "the extra blocks after the first are summed up in one box";
    EXPECT_EQ(d.doc.tree().at(599)->text(), "599");
}

INSTANTIATE_TEST_SUITE_P(Vias, FormatParseVia,
                         ::testing::Values(Via::Memory, Via::File, Via::FileTinyChunks, Via::Envelope,
                                           Via::EnvelopeBlocks));

// Content under 8 bytes hides the tree; it stays hidden until a notebook is parsed.
TEST(FormatParse, AHiddenTreeStaysHiddenUntilANotebookIsParsed) {
    coretest::ScratchDir dir;
    const std::string shortFile = dir.file("short.txt"), textFile = dir.file("text.txt"), v2 = dir.file("v2.lkp"),
                      good = dir.file("good.lkp");
    coretest::writeFile(shortFile, "LKP\x01\x00\x00");
    coretest::writeFile(textFile, "plain text that is long enough");
    coretest::writeFile(v2, std::string("LKP\x02\0\0\0\0", 8));
    coretest::writeFile(good, sampleBytes());
    Desk d;
    EXPECT_EQ(parseFile(d, shortFile, Via::Memory, true), "");
    EXPECT_FALSE(d.view.treeVisible());
    d.doc.ClearDocument();
    EXPECT_FALSE(d.view.treeVisible()) << "clearing does not show the tree again";
    EXPECT_EQ(parseFile(d, textFile, Via::Memory, true), "");
    EXPECT_FALSE(d.view.treeVisible());
    EXPECT_EQ(parseFile(d, textFile, Via::Memory, false), coretest::cannotOpen(textFile, lark::kInUseText))
        << "the refused plain-text view leaves the tree as it was";
    EXPECT_FALSE(d.view.treeVisible());
    EXPECT_EQ(parseFile(d, v2, Via::Memory, true), lark::kVersionError);
    EXPECT_FALSE(d.view.treeVisible());
    EXPECT_EQ(parseFile(d, good, Via::Memory, true), "");
    EXPECT_TRUE(d.view.treeVisible());
}

// The plain-text view opens the file a second time; that works only beside a read-only holder.
TEST(FormatParse, PlainTextViewIsRefusedWhileTheFileIsHeldForWriting) {
    coretest::ScratchDir dir;
    for (const std::string& content : {std::string("short"), std::string("a longer text, not a notebook")}) {
        SCOPED_TRACE(content);
        const std::string path = dir.file("plain.txt");
        coretest::writeFile(path, content);
        Desk d;
        previousNotebook(d, false);
        EXPECT_EQ(parseFile(d, path, Via::File, false), coretest::cannotOpen(path, lark::kInUseText));
        EXPECT_EQ(d.doc.tree().count(), 0);
        EXPECT_EQ(d.editor.text(), "");
        EXPECT_EQ(d.doc.FFileInfo, kOldInfo);
        EXPECT_TRUE(d.editor.readOnly()) << "read-only flags are left as they were";
        EXPECT_TRUE(d.view.treeReadOnly());
        lark::CloseDocumentFile(d.doc.FFileHandle);
        Desk r;
        EXPECT_EQ(parseFile(r, path, Via::File, true), "");
        EXPECT_EQ(r.editor.text(), content);
        EXPECT_TRUE(r.editor.readOnly());
        EXPECT_TRUE(r.view.treeReadOnly());
    }
}

TEST(FormatParse, ParseDocumentMarksNothingChangedAndClearsTheOldSelection) {
    coretest::ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    coretest::writeFile(path, notebook("", "A\r\n", {"a"}));
    Desk d;
    d.add(nullptr, "Old");
    d.doc.SelectSection(d.doc.tree().at(0));
    d.doc.setTreeModified(true);
    d.editor.type("typed");
    EXPECT_EQ(parseFile(d, path, Via::Memory, false), "");
    EXPECT_EQ(d.doc.selected(), nullptr);
    EXPECT_FALSE(d.doc.treeModified());
    EXPECT_FALSE(d.editor.modified());
    EXPECT_EQ(coretest::describe(d.doc.tree()), "A=a") << "the typed text went nowhere";
}

// Block texts of sizes around the short-text limit, enough of them to fill several of the
// blocks short texts share: each reads back whole, NUL-terminated, after its source is gone.
TEST(ContentSourceBlocks, EveryTextReadsBackWholeAndOutlivesItsSource) {
    std::vector<std::string> texts;
    std::string bytes;
    for (int i = 0; i < 2800; ++i) {
        const std::size_t sizes[] = {0, 1, 2, 255, 256, 257, 700};
        std::string t(sizes[i % 7], static_cast<char>('a' + i % 26));
        if (!t.empty()) t.back() = '#';  // a text running into its neighbour shows here
        bytes += t;
        texts.push_back(std::move(t));
    }
    std::vector<lark::TextBuffer> got;
    {
        lark::MemorySource source(bytes);
        for (const std::string& t : texts) got.push_back(source.readBlock(t.size()));
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(got[i].view(), texts[i]) << i;
        EXPECT_EQ(got[i].isNull() ? '\0' : got[i].data()[got[i].size()], '\0') << i;
    }
}

struct OutlineRow {
    std::string label;
    std::string text;
    std::vector<std::pair<int, std::string>> records;  // level, name
    int maxLevel;
};
CORETEST_PRINTS_LABEL(OutlineRow)

class ParseOutlineRows : public ::testing::TestWithParam<OutlineRow> {};

TEST_P(ParseOutlineRows, GivesRecordsAndGreatestLevel) {
    const OutlineRow& row = GetParam();
    SCOPED_TRACE(row.label);
    const lark::Outline out = lark::ParseOutline(row.text);
    std::vector<std::pair<int, std::string>> got;
    for (const auto& r : out.records) {
        ASSERT_TRUE(r->Name);
        got.emplace_back(r->Level, r->Name.get());
        EXPECT_TRUE(r->Text.isNull());
    }
    EXPECT_EQ(got, row.records);
    EXPECT_EQ(out.maxLevel, row.maxLevel);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseOutlineRows,
    ::testing::Values(OutlineRow{"nominal: no text gives no records", "", {}, 0},
                      OutlineRow{"nominal: CR LF lines", "A\r\n\tB\r\n\t\tC\r\n", {{1, "A"}, {2, "B"}, {3, "C"}}, 3},
                      OutlineRow{"nominal: lone CR and lone LF", "A\r\tB\nC", {{1, "A"}, {2, "B"}, {1, "C"}}, 2},
                      OutlineRow{"nominal: LF CR starts an empty line", "A\n\rB", {{1, "A"}, {1, ""}, {1, "B"}}, 1},
                      OutlineRow{"nominal: TABs only", "\t\t\t", {{4, ""}}, 4},
                      OutlineRow{"nominal: inner TABs belong to the name", "\tA\tB\t\r\n", {{2, "A\tB\t"}}, 2},
                      OutlineRow{
                          "robustness: text stops at a NUL", std::string("A\r\nB\0C\r\n", 8), {{1, "A"}, {1, "B"}}, 1},
                      OutlineRow{"robustness: a NUL first gives nothing", std::string("\0A", 2), {}, 0},
                      OutlineRow{"nominal: high bytes kept", "\xCF\xF0\xE8\r\n", {{1, "\xCF\xF0\xE8"}}, 1}),
    coretest::ByLabel());

}  // namespace
