// The load and save pipelines: the remembered selection and the info lines, status texts,
// what a failed load or save leaves behind, compression, and notebooks written and read
// back byte for byte.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <functional>

#include "document/envelope.h"
#include "document/file_ops.h"
#include "document/format.h"
#include "fixture.h"
#include "round_trip_rows.h"

namespace {

using coretest::describe;
using coretest::Desk;
using coretest::notebook;
using coretest::readFile;
using coretest::ScratchDir;
using coretest::writeFile;

const std::vector<std::string> kThree = {"one", "two", "three"};
const char* const kThreeOutline = "A\r\nB\r\nC\r\n";

struct ActivateRow {
    std::string label;
    std::string info;
    int selected;
    std::vector<std::string> errors;
};
CORETEST_PRINTS_LABEL(ActivateRow)

class LoadActivate : public ::testing::TestWithParam<ActivateRow> {};

TEST_P(LoadActivate, SelectsAndShowsTheRememberedSection) {
    const ActivateRow& row = GetParam();
    SCOPED_TRACE(row.label);
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, notebook(row.info, kThreeOutline, kThree));
    Desk d;
    d.editor.setText("left over");
    EXPECT_TRUE(d.doc.LoadDocument(path, false));
    EXPECT_EQ(d.ui.errors, row.errors);
    EXPECT_EQ(d.doc.tree().indexOf(d.doc.selected()), row.selected);
    EXPECT_EQ(d.view.shown, d.doc.selected()) << "the view mirrors the selection";
    EXPECT_EQ(d.editor.text(), row.selected >= 0 ? kThree[static_cast<std::size_t>(row.selected)] : "");
    EXPECT_FALSE(d.editor.modified());
    EXPECT_FALSE(d.doc.treeModified());
    EXPECT_EQ(d.ui.status(), "Открыто " + path);
    EXPECT_EQ(d.doc.FFileName, path);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LoadActivate,
    ::testing::Values(
        ActivateRow{"nominal: Activate=2 selects the third section", "Activate=2\r\n", 2, {}},
        ActivateRow{"nominal: Activate=0 selects the first", "Activate=0\r\n", 0, {}},
        ActivateRow{"nominal: Activate=7 with three sections selects nothing", "Activate=7\r\n", -1, {}},
        ActivateRow{"nominal: Activate=3 is one past the end", "Activate=3\r\n", -1, {}},
        ActivateRow{"nominal: Activate=-1 selects nothing", "Activate=-1\r\n", -1, {}},
        ActivateRow{"nominal: no Activate line selects nothing", "Other=1\r\n", -1, {}},
        ActivateRow{"nominal: no info lines at all", "", -1, {}},
        ActivateRow{"nominal: the key ignores case and blanks around the value", "aCtIvAtE =\t 1 \r\n", 1, {}},
        ActivateRow{"nominal: a prefix match counts, the first line wins", "ActivateX=1\r\nActivate=2\r\n", 1, {}},
        ActivateRow{"nominal: a hexadecimal value", "Activate=$2\r\n", 2, {}},
        ActivateRow{"nominal: lone LF line ends", "Z=9\nActivate=1\n", 1, {}},
        ActivateRow{"nominal: lone CR line ends, last line without end", "Z=9\rActivate=2", 2, {}},
        ActivateRow{"robustness: Activate=abc",
                    "Activate=abc\r\n",
                    -1,
                    {"File Info Error: 'abc' is not a valid integer value"}},
        ActivateRow{
            "robustness: an empty value", "Activate=\r\n", -1, {"File Info Error: '' is not a valid integer value"}},
        ActivateRow{"robustness: a value beyond 32 bits",
                    "Activate=4294967296\r\n",
                    -1,
                    {"File Info Error: '4294967296' is not a valid integer value"}},
        ActivateRow{"robustness: Windows-1251 in the value is shown as such",
                    "Activate=\xEE\xE4\xE8\xED\r\n",
                    -1,
                    {"File Info Error: 'один' is not a valid integer value"}}),
    coretest::ByLabel());

TEST(LoadSave, TheNextSaveReplacesOnlyTheFirstMatchingLineAndKeepsTheOthers) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, notebook("Zoom=2\r\nActivateX=1\r\n\r\nActivate=2\r\nTail=\xCF\r\n", kThreeOutline, kThree));
    Desk d;
    ASSERT_TRUE(d.doc.LoadDocument(path, false));
    ASSERT_EQ(d.doc.tree().indexOf(d.doc.selected()), 1);
    d.doc.SelectSection(d.doc.tree().at(0));
    ASSERT_TRUE(d.doc.SaveDocument(path)) << d.lastError();
    EXPECT_EQ(d.doc.FFileInfo, (std::vector<std::string>{"Zoom=2", "Activate=0", "", "Activate=2", "Tail=\xCF"}));
    EXPECT_EQ(readFile(path),
              notebook("Zoom=2\r\nActivate=0\r\n\r\nActivate=2\r\nTail=\xCF\r\n", kThreeOutline, kThree));
}

TEST(LoadSave, SavingWithNothingSelectedWritesActivate0AndTheNextLoadSelectsTheFirst) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    Desk d;
    d.add(nullptr, "First", "1");
    d.add(nullptr, "Second", "2");
    d.doc.FFileInfo = {"Activate=1"};
    ASSERT_TRUE(d.doc.SaveDocument(path));
    EXPECT_EQ(d.doc.FFileInfo, std::vector<std::string>{"Activate=0"});
    lark::CloseDocumentFile(d.doc.FFileHandle);
    Desk back;
    ASSERT_TRUE(back.doc.LoadDocument(path, false));
    EXPECT_EQ(back.doc.selected(), back.doc.tree().at(0));
    EXPECT_EQ(back.editor.text(), "1");
}

TEST(LoadSave, StoreActiveSectionAppendsWhenThereIsNoActivateLine) {
    Desk d;
    d.buildSample();
    d.doc.FFileInfo = {"A=1", "B=2"};
    d.doc.SelectSection(d.doc.tree().at(2));
    d.doc.StoreActiveSection();
    EXPECT_EQ(d.doc.FFileInfo, (std::vector<std::string>{"A=1", "B=2", "Activate=2"}));
    d.doc.SelectSection(nullptr);
    d.doc.StoreActiveSection();
    EXPECT_EQ(d.doc.FFileInfo, (std::vector<std::string>{"A=1", "B=2", "Activate=0"}));
}

struct SplitRow {
    std::string label;
    std::string text;
    std::vector<std::string> lines;
};
CORETEST_PRINTS_LABEL(SplitRow)

class ApplyFileInfoLines : public ::testing::TestWithParam<SplitRow> {};

TEST_P(ApplyFileInfoLines, SplitsIntoLines) {
    SCOPED_TRACE(GetParam().label);
    Desk d;
    d.doc.FFileInfo = {"previous"};
    d.doc.ApplyFileInfo(GetParam().text);
    EXPECT_EQ(d.doc.FFileInfo, GetParam().lines);
    EXPECT_TRUE(d.ui.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, ApplyFileInfoLines,
                         ::testing::Values(SplitRow{"nominal: empty text gives no lines", "", {}},
                                           SplitRow{"nominal: CR LF", "a=1\r\nb=2\r\n", {"a=1", "b=2"}},
                                           SplitRow{"nominal: lone CR", "a=1\rb=2\r", {"a=1", "b=2"}},
                                           SplitRow{"nominal: lone LF", "a=1\nb=2\n", {"a=1", "b=2"}},
                                           SplitRow{"nominal: last line without end", "a=1\r\nb=2", {"a=1", "b=2"}},
                                           SplitRow{"nominal: a single line without end", "solo", {"solo"}},
                                           SplitRow{"nominal: LF CR makes an empty line", "a\n\rb", {"a", "", "b"}},
                                           SplitRow{"nominal: empty lines", "\r\n\r\nx\r\n", {"", "", "x"}},
                                           SplitRow{"nominal: mixed ends", "a\rb\nc\r\nd", {"a", "b", "c", "d"}}),
                         coretest::ByLabel());

struct FindRow {
    std::string label;
    std::vector<std::string> lines;
    std::string name;
    int index;
    std::string value;
};
CORETEST_PRINTS_LABEL(FindRow)

class FindInfoValueRows : public ::testing::TestWithParam<FindRow> {};

TEST_P(FindInfoValueRows, FindsTheFirstPrefixMatch) {
    const FindRow& row = GetParam();
    SCOPED_TRACE(row.label);
    Desk d;
    d.doc.FFileInfo = row.lines;
    const auto [index, value] = d.doc.FindInfoValue(row.name);
    EXPECT_EQ(index, row.index);
    EXPECT_EQ(value, row.value);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FindInfoValueRows,
    ::testing::Values(
        FindRow{"nominal: exact", {"x=1", "Activate=3"}, "Activate", 1, "3"},
        FindRow{"nominal: lower case line", {"activate=3"}, "Activate", 0, "3"},
        FindRow{"nominal: blanks around the equals sign", {"ACTIVATE = 3"}, "Activate", 0, "3"},
        FindRow{"nominal: a longer key matches by prefix", {"Activated=3"}, "Activate", 0, "3"},
        FindRow{"nominal: the value is after the first equals sign", {"Key=a=b"}, "Key", 0, "a=b"},
        FindRow{"nominal: no equals sign gives the whole line", {"  Activate 5 "}, "  Act", 0, "Activate 5"},
        FindRow{"nominal: control characters are trimmed", {"K=\t\x01v w\x1f\r"}, "K", 0, "v w"},
        FindRow{
            "nominal: Cyrillic names ignore case", {"\xCF\xD0\xC8\xC2\xC5\xD2=1"}, "\xEF\xF0\xE8\xE2\xE5\xF2", 0, "1"},
        FindRow{"nominal: the first of duplicates counts", {"K=1", "K=2"}, "K", 0, "1"},
        FindRow{"robustness: no match", {"Other=1", "Activ=2"}, "Activate", -1, ""},
        FindRow{"robustness: no lines", {}, "Activate", -1, ""},
        FindRow{"robustness: a line shorter than the name", {"Act"}, "Activate", -1, ""}),
    coretest::ByLabel());

struct IntRow {
    std::string label;
    std::string text;
    bool ok;
    int value;
};
CORETEST_PRINTS_LABEL(IntRow)

class ParseIntegerRows : public ::testing::TestWithParam<IntRow> {};

TEST_P(ParseIntegerRows, ParsesOrRefuses) {
    const IntRow& row = GetParam();
    SCOPED_TRACE(row.label);
    int value = 12345;
    EXPECT_EQ(lark::ParseInteger(row.text, value), row.ok);
    if (row.ok) {
        EXPECT_EQ(value, row.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseIntegerRows,
    ::testing::Values(
        IntRow{"nominal: decimal", "42", true, 42}, IntRow{"nominal: zero", "0", true, 0},
        IntRow{"nominal: plus sign", "+3", true, 3}, IntRow{"nominal: minus one", "-1", true, -1},
        IntRow{"nominal: leading zeros", "007", true, 7}, IntRow{"nominal: dollar hexadecimal", "$1F", true, 31},
        IntRow{"nominal: 0x hexadecimal", "0x1f", true, 31}, IntRow{"nominal: 0X hexadecimal", "0X1F", true, 31},
        IntRow{"nominal: negative hexadecimal", "-$10", true, -16},
        IntRow{"nominal: largest int", "2147483647", true, INT_MAX},
        IntRow{"nominal: smallest int", "-2147483648", true, INT_MIN},
        IntRow{"nominal: hexadecimal wraps like a 32-bit word", "$FFFFFFFF", true, -1},
        IntRow{"robustness: one past the largest int", "2147483648", false, 0},
        IntRow{"robustness: one below the smallest int", "-2147483649", false, 0},
        IntRow{"robustness: far too long", "99999999999999999999999", false, 0},
        IntRow{"robustness: hexadecimal beyond 32 bits", "$100000000", false, 0},
        IntRow{"robustness: empty", "", false, 0}, IntRow{"robustness: sign only", "-", false, 0},
        IntRow{"robustness: prefix only", "$", false, 0}, IntRow{"robustness: 0x only", "0x", false, 0},
        IntRow{"robustness: letters", "abc", false, 0}, IntRow{"robustness: trailing garbage", "12a", false, 0},
        IntRow{"robustness: inner blank", "1 2", false, 0}, IntRow{"robustness: hex digit in decimal", "1F", false, 0},
        IntRow{"robustness: two signs", "--1", false, 0}),
    coretest::ByLabel());

TEST(LoadSave, ACompressedSaveStartsWithTheMarkerAndLoadsBackIdentical) {
    ScratchDir dir;
    const std::string zipped = dir.file("z.lkp"), plain = dir.file("p.lkp");
    Desk d;
    d.buildSample();
    d.doc.SelectSection(d.doc.tree().at(1));
    d.doc.UseZip = true;
    ASSERT_TRUE(d.doc.SaveDocument(zipped));
    EXPECT_EQ(readFile(zipped).substr(0, 7), "ZIPPED!");
    lark::TextBuffer unpacked = lark::TextBuffer::copyOf(readFile(zipped));
    lark::UnzipBuffer(unpacked);
    EXPECT_EQ(unpacked.view(), coretest::sampleBytes());
    d.doc.UseZip = false;
    ASSERT_TRUE(d.doc.SaveDocument(plain));
    EXPECT_EQ(readFile(plain), coretest::sampleBytes());
    lark::CloseDocumentFile(d.doc.FFileHandle);
    for (bool useZip : {false, true}) {
        for (const std::string& path : {zipped, plain}) {
            Desk back;
            back.doc.UseZip = useZip;  // reading recognises both forms whatever the option says
            ASSERT_TRUE(back.doc.LoadDocument(path, true)) << back.lastError();
            EXPECT_EQ(describe(back.doc.tree()), describe(d.doc.tree()));
            EXPECT_EQ(back.doc.tree().indexOf(back.doc.selected()), 1);
            EXPECT_EQ(back.doc.FFileInfo, std::vector<std::string>{"Activate=1"});
        }
    }
}

TEST(LoadSave, OpeningAMissingFileKeepsTheNotebookAndClearsTheChangedFlag) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, coretest::sampleBytes());
    Desk d;
    ASSERT_TRUE(d.doc.LoadDocument(path, false));
    d.doc.setTreeModified(true);
    const std::string missing = dir.file("missing.lkp");
    EXPECT_FALSE(d.doc.LoadDocument(missing, false));
    EXPECT_EQ(d.ui.errors, std::vector<std::string>{"No such file or directory"});
    EXPECT_EQ(describe(d.doc.tree()), "Notes=Hi|.Todo=|Misc=x\r\ny");
    EXPECT_EQ(d.doc.selected(), d.doc.tree().at(1));
    EXPECT_EQ(d.doc.FFileName, path);
    EXPECT_EQ(d.ui.status(), "Открыто " + path);
    EXPECT_FALSE(d.doc.treeModified());
    EXPECT_FALSE(d.doc.FFileHandle.valid());
    EXPECT_FALSE(coretest::heldBySomeone(path)) << "the previous file was closed first";
    // The notebook's file is no longer held: a change another program makes to it now is
    // still noticed before a save.
    EXPECT_FALSE(d.doc.ChangedOnDisk(path));
    writeFile(path, coretest::sampleBytes() + "changed");
    EXPECT_TRUE(d.doc.ChangedOnDisk(path));
}

TEST(LoadSave, ADamagedEnvelopeKeepsTheNotebookOnScreen) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, coretest::sampleBytes());
    const std::string good = std::string(lark::ZipBuffer(coretest::sampleBytes()).view());
    struct Case {
        std::string bytes;
        std::string message;
    };
    for (const Case& c : {Case{good.substr(0, good.size() / 2), "Stream read error"},
                          Case{"ZIPPED!" + coretest::sampleBytes(), "Error"}}) {
        SCOPED_TRACE(c.message);
        const std::string bad = dir.file("bad.lkp");
        writeFile(bad, c.bytes);
        Desk d;
        ASSERT_TRUE(d.doc.LoadDocument(path, false));
        d.doc.SelectSection(d.doc.tree().at(2));
        d.doc.setTreeModified(true);
        EXPECT_FALSE(d.doc.LoadDocument(bad, false));
        EXPECT_EQ(d.ui.errors, std::vector<std::string>{c.message});
        EXPECT_EQ(describe(d.doc.tree()), "Notes=Hi|.Todo=|Misc=x\r\ny");
        EXPECT_EQ(d.doc.selected(), d.doc.tree().at(2));
        EXPECT_EQ(d.editor.text(), "x\r\ny");
        EXPECT_EQ(d.doc.FFileName, path);
        EXPECT_EQ(d.doc.FFileInfo, std::vector<std::string>{"Activate=1"});
        EXPECT_FALSE(d.doc.treeModified());
        EXPECT_FALSE(coretest::heldBySomeone(path));
        EXPECT_TRUE(coretest::heldBySomeone(bad)) << "the failed file stays held";
    }
}

TEST(LoadSave, AFatalFormatErrorLeavesWhatWasReadAndAnEmptyName) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp"), cut = dir.file("cut.lkp");
    writeFile(path, coretest::sampleBytes());
    writeFile(cut, notebook("Activate=0\r\nNew=1\r\n", "P\r\n\tQ\r\nR\r\n", {"p", "q"}) + coretest::le32(10) + "r");
    Desk d;
    ASSERT_TRUE(d.doc.LoadDocument(path, false));
    EXPECT_FALSE(d.doc.LoadDocument(cut, true));
    EXPECT_EQ(d.ui.errors, std::vector<std::string>{lark::kBlockPastEnd});
    EXPECT_EQ(describe(d.doc.tree()), "P=p|.Q=q");
    EXPECT_EQ(d.doc.FFileName, "");
    EXPECT_EQ(d.ui.status(), "");
    EXPECT_EQ(d.doc.FFileInfo, std::vector<std::string>{"Activate=1"});
    EXPECT_FALSE(d.editor.readOnly()) << "read-only flags keep the previous load's values";
    EXPECT_FALSE(d.view.treeReadOnly());
    EXPECT_FALSE(d.doc.treeModified());
    EXPECT_FALSE(d.doc.FUpdating);
    EXPECT_FALSE(d.doc.loading());
    EXPECT_TRUE(d.doc.FFileHandle.valid());
    EXPECT_TRUE(coretest::heldBySomeone(cut));
}

TEST(LoadSave, AVersion2FileLeavesAnEmptyNotebook) {
    ScratchDir dir;
    const std::string path = dir.file("v2.lkp");
    writeFile(path, std::string("LKP\x02", 4) + coretest::sampleBytes().substr(4));
    Desk d;
    d.buildSample();
    EXPECT_FALSE(d.doc.LoadDocument(path, false));
    EXPECT_EQ(d.ui.errors, std::vector<std::string>{lark::kVersionError});
    EXPECT_EQ(d.doc.tree().count(), 0);
}

TEST(LoadSave, ATextFileIsShownReadOnlyOnlyWhenOpenedReadOnly) {
    ScratchDir dir;
    const std::string text = "Dear diary,\r\ntoday nothing.";
    for (const std::string& bytes : {text, std::string("tiny")}) {
        SCOPED_TRACE(bytes);
        const std::string path = dir.file("diary.txt");
        writeFile(path, bytes);
        Desk d;
        d.buildSample();
        d.doc.FFileInfo = {"Activate=0", "Keep=me"};
        ASSERT_TRUE(d.doc.LoadDocument(path, true)) << d.lastError();
        EXPECT_EQ(d.editor.text(), bytes);
        EXPECT_TRUE(d.editor.readOnly());
        EXPECT_TRUE(d.view.treeReadOnly());
        EXPECT_EQ(d.doc.tree().count(), 0);
        EXPECT_EQ(d.view.treeVisible(), bytes.size() >= 8);
        EXPECT_EQ(d.doc.FFileInfo, (std::vector<std::string>{"Activate=0", "Keep=me"}));
        EXPECT_EQ(d.ui.status(), "Открыто " + path);
        EXPECT_EQ(d.doc.FFileName, path);
        lark::CloseDocumentFile(d.doc.FFileHandle);

        Desk w;
        w.buildSample();
        w.doc.FFileName = "/earlier.lkp";
        EXPECT_FALSE(w.doc.LoadDocument(path, false));
        EXPECT_EQ(w.ui.errors, std::vector<std::string>{coretest::cannotOpen(path, lark::kInUseText)});
        EXPECT_EQ(w.doc.tree().count(), 0);
        EXPECT_EQ(w.editor.text(), "");
        EXPECT_EQ(w.doc.FFileName, "");
        EXPECT_FALSE(w.editor.readOnly());
    }
}

TEST(LoadSave, ShortEnvelopesAndContentsLeadToThePlainTextViewOfTheFile) {
    ScratchDir dir;
    for (const std::string& bytes : {std::string("ZIPPED!"), std::string(lark::ZipBuffer("").view()),
                                     std::string(lark::ZipBuffer(std::string("LKP\x01\0\0\0", 7)).view())}) {
        const std::string path = dir.file("short.lkp");
        writeFile(path, bytes);
        Desk d;
        ASSERT_TRUE(d.doc.LoadDocument(path, true)) << d.lastError();
        EXPECT_EQ(d.editor.text(), bytes) << "the view shows the raw bytes from disk";
        EXPECT_FALSE(d.view.treeVisible());
        EXPECT_EQ(d.doc.tree().count(), 0);
    }
}

TEST(LoadSave, AReadOnlyDocumentIsHeldForWritingAfterASave) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, coretest::sampleBytes());
    Desk d;
    ASSERT_TRUE(d.doc.LoadDocument(path, true));
    EXPECT_TRUE(d.doc.FFileHandle.readOnly());
    lark::DocumentFile reader;
    EXPECT_NO_THROW(lark::OpenDocumentFile(reader, path, true)) << "a read-only holder lets readers in";
    lark::CloseDocumentFile(reader);
    ASSERT_TRUE(d.doc.SaveDocument(path)) << d.lastError();
    EXPECT_TRUE(d.doc.FFileHandle.valid());
    EXPECT_FALSE(d.doc.FFileHandle.readOnly());
    EXPECT_THROW(lark::OpenDocumentFile(reader, path, true), lark::LarkError);
    EXPECT_EQ(d.ui.status(), "Сохранено " + path);
    EXPECT_FALSE(d.doc.treeModified());
    EXPECT_FALSE(d.editor.modified());
}

TEST(LoadSave, TheUiSeesALoadInProgressWhenItProcessesEvents) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, coretest::sampleBytes());
    Desk d;
    bool seenLoading = false, seenUpdating = false;
    d.ui.onProcessEvents = [&] {
        seenLoading = d.doc.loading();
        seenUpdating = d.doc.FUpdating;
    };
    ASSERT_TRUE(d.doc.LoadDocument(path, false));
    EXPECT_EQ(d.ui.eventPumps, 1);
    EXPECT_TRUE(seenLoading);
    EXPECT_TRUE(seenUpdating);
    EXPECT_FALSE(d.doc.loading());
    EXPECT_FALSE(d.doc.FUpdating);
}

// Failed saves: a message, the notebook still marked changed, the status bar as it was,
// and never a half-written file under the document's name.
class FailedSave : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("n.lkp");
        writeFile(path, coretest::sampleBytes());
        ASSERT_TRUE(d.doc.LoadDocument(path, false));
        d.ui.setStatus("status before");
        d.doc.SelectSection(d.doc.tree().at(2));
        d.editor.type("edited text");
    }
    void expectFailed(bool saved, const std::string& message) {
        EXPECT_FALSE(saved);
        EXPECT_EQ(d.ui.errors, std::vector<std::string>{message});
        EXPECT_TRUE(d.doc.treeModified()) << "a failed save leaves the notebook changed";
        EXPECT_EQ(d.ui.status(), "status before");
        EXPECT_EQ(readFile(path), coretest::sampleBytes()) << "the old file is untouched";
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"n.lkp"}) << "no temporary file is left";
        EXPECT_EQ(d.doc.tree().at(2)->text(), "edited text") << "the text went into its section all the same";
    }
    ScratchDir dir;
    std::string path;
    Desk d;
};

TEST_F(FailedSave, ATextOverTheLimitIsRefusedBeforeAnythingIsWritten) {
    d.editor.type(std::string(lark::kMaxBlockLength + 1, 'x'));
    EXPECT_FALSE(d.doc.SaveDocument(path));
    ASSERT_EQ(d.ui.errors.size(), 1u);
    EXPECT_NE(d.ui.errors[0].find("\"Misc\""), std::string::npos) << d.ui.errors[0];
    EXPECT_TRUE(d.doc.treeModified());
    EXPECT_EQ(d.ui.status(), "status before");
    EXPECT_EQ(readFile(path), coretest::sampleBytes());
    EXPECT_TRUE(d.doc.FFileHandle.valid()) << "refused before the file was closed: still held";
    EXPECT_TRUE(coretest::heldBySomeone(path));
}

TEST_F(FailedSave, ATargetHeldByAnotherOpenerIsRefused) {
    Desk other;
    lark::CloseDocumentFile(d.doc.FFileHandle);
    ASSERT_TRUE(other.doc.LoadDocument(path, true));
    expectFailed(d.doc.SaveDocument(path), coretest::cannotCreate(path, lark::kInUseText));
    EXPECT_FALSE(d.doc.FFileHandle.valid());
}

TEST_F(FailedSave, AWriteThatStopsShortKeepsTheOldFile) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 40;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = d.doc.SaveDocument(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    expectFailed(saved, "Stream write error \"" + path + "\". File too large");
}

TEST_F(FailedSave, AMissingDirectoryCannotBeCreated) {
    const std::string elsewhere = dir.file("gone/n.lkp");
    EXPECT_FALSE(d.doc.SaveDocument(elsewhere));
    EXPECT_EQ(d.ui.errors, std::vector<std::string>{coretest::cannotCreate(elsewhere, "No such file or directory")});
    EXPECT_TRUE(d.doc.treeModified());
    EXPECT_EQ(d.ui.status(), "status before");
    EXPECT_EQ(readFile(path), coretest::sampleBytes());
}

TEST(LoadSave, ASaveWithoutChangesStillWritesAndClearsTheFlags) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp"), copy = dir.file("copy.lkp");
    writeFile(path, coretest::sampleBytes());
    Desk d;
    ASSERT_TRUE(d.doc.LoadDocument(path, false));
    ASSERT_TRUE(d.doc.SaveDocument(copy));
    EXPECT_EQ(readFile(copy), coretest::sampleBytes());
    EXPECT_EQ(d.doc.FFileName, path) << "saving does not change the document's name";
    EXPECT_EQ(d.ui.status(), "Сохранено " + copy);
    EXPECT_TRUE(coretest::heldBySomeone(copy));
    EXPECT_FALSE(coretest::heldBySomeone(path)) << "the saved file is the one held now";
}

// The directory cannot be flushed once the new file has its name: the notebook is saved
// (unchanged, its file known as the one on disk) and the user is warned.
TEST(LoadSave, ADirectoryFlushFailureAfterTheRenameStillCountsAsSaved) {
    struct DirectoryFlushFails : lark::FileOps {
        int fsync(int fd) override {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
                errno = EIO;
                return -1;
            }
            return lark::FileOps::fsync(fd);
        }
    } ops;
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, coretest::sampleBytes());
    Desk d;
    ASSERT_TRUE(d.doc.LoadDocument(path, false));
    d.editor.type("typed");
    {
        lark::ScopedFileOps scoped(ops);
        EXPECT_TRUE(d.doc.SaveDocument(path, dir.file("n.bak")));
    }
    EXPECT_TRUE(d.ui.errors.empty()) << d.lastError();
    EXPECT_EQ(d.ui.messages, std::vector<std::string>{"Stream write error \"" + dir.path() + "\". Input/output error"});
    EXPECT_EQ(d.ui.status(), "Сохранено " + path);
    EXPECT_FALSE(d.doc.isModified());
    EXPECT_FALSE(d.doc.ChangedOnDisk(path)) << "the next save would ask about a change that is its own";
    EXPECT_NE(readFile(path).find("typed"), std::string::npos);
    EXPECT_EQ(readFile(dir.file("n.bak")), coretest::sampleBytes());
}

// Notebooks written and read back: same tree, and a second save gives the same bytes.
using coretest::RoundTripRow;

class RoundTrip : public ::testing::TestWithParam<std::tuple<RoundTripRow, bool>> {};

TEST_P(RoundTrip, ReadsBackTheSameTreeAndWritesTheSameBytes) {
    const auto& [row, zip] = GetParam();
    SCOPED_TRACE(row.label);
    ScratchDir dir;
    const std::string first = dir.file("first.lkp"), second = dir.file("second.lkp");
    Desk d;
    d.doc.UseZip = zip;
    row.build(d);
    ASSERT_TRUE(d.doc.SaveDocument(first)) << d.lastError();
    EXPECT_EQ(readFile(first).substr(0, 7) == "ZIPPED!", zip);
    lark::CloseDocumentFile(d.doc.FFileHandle);

    Desk back;
    back.doc.UseZip = zip;
    ASSERT_TRUE(back.doc.LoadDocument(first, false)) << back.lastError();
    EXPECT_TRUE(back.ui.errors.empty());
    EXPECT_TRUE(describe(back.doc.tree()) == describe(d.doc.tree()));
    EXPECT_EQ(back.doc.tree().count(), d.doc.tree().count());
    EXPECT_EQ(back.doc.tree().indexOf(back.doc.selected()), d.doc.tree().indexOf(d.doc.selected()));
    bool sameShape = true;
    for (int i = 0; i < d.doc.tree().count(); ++i) {
        const lark::Section* a = d.doc.tree().at(i);
        const lark::Section* b = back.doc.tree().at(i);
        sameShape = sameShape && a->row() == b->row() && a->childCount() == b->childCount() &&
                    d.doc.tree().indexOf(a->parent()) == back.doc.tree().indexOf(b->parent());
    }
    EXPECT_TRUE(sameShape);
    ASSERT_TRUE(back.doc.SaveDocument(second)) << back.lastError();
    EXPECT_TRUE(readFile(first) == readFile(second)) << "written again byte for byte";
}

using RowAndZipInfo = ::testing::TestParamInfo<std::tuple<RoundTripRow, bool>>;
struct RowAndZip {
    std::string operator()(const RowAndZipInfo& info) const {
        return coretest::rowName(std::get<0>(info.param).label) + (std::get<1>(info.param) ? "_zipped" : "_plain");
    }
};

INSTANTIATE_TEST_SUITE_P(Matrix, RoundTrip,
                         ::testing::Combine(::testing::ValuesIn(coretest::kRoundTripRows), ::testing::Bool()),
                         RowAndZip());

// As deep as one outline block allows (the TABs of a chain grow with the square of its
// depth): loads, shows the deepest section, and goes away without exhausting the stack.
TEST(DeepTrees, TheDeepestNotebookAnOutlineCanHoldLoadsAndIsDestroyed) {
    ScratchDir dir;
    const std::string path = dir.file("deep.lkp");
    int depth = 0;
    std::string outline;
    while (outline.size() + static_cast<std::size_t>(depth) + 3 <= lark::kMaxBlockLength) {
        outline.append(static_cast<std::size_t>(depth), '\t');
        outline += "d\r\n";
        ++depth;
    }
    ASSERT_GT(depth, 5000);
    std::string content = std::string("LKP\x01", 4) +
                          coretest::block("Activate=" + std::to_string(depth - 1) + "\r\n") + coretest::block(outline);
    for (int i = 0; i < depth; ++i) content += coretest::block(i + 1 == depth ? "bottom" : "");
    writeFile(path, content);
    {
        Desk d;
        ASSERT_TRUE(d.doc.LoadDocument(path, false)) << d.lastError();
        EXPECT_EQ(d.doc.tree().count(), depth);
        ASSERT_NE(d.doc.selected(), nullptr);
        EXPECT_EQ(d.doc.selected()->depth(), depth - 1);
        EXPECT_EQ(d.editor.text(), "bottom");
        ASSERT_TRUE(d.doc.SaveDocument(dir.file("again.lkp")));
        EXPECT_TRUE(readFile(dir.file("again.lkp")) == content);
        d.doc.ClearDocument();
        EXPECT_EQ(d.doc.tree().count(), 0);
        ASSERT_TRUE(d.doc.LoadDocument(path, false));
    }
}

TEST(DeepTrees, ATwoHundredThousandLevelTreeIsBuiltWalkedRefusedByTheWriterAndDestroyed) {
    const int depth = 200000;
    {
        Desk d;
        lark::Section* s = nullptr;
        for (int i = 0; i < depth; ++i) s = d.add(s, "n");
        EXPECT_EQ(d.doc.tree().count(), depth);
        EXPECT_EQ(d.doc.tree().at(depth - 1), s);
        EXPECT_EQ(d.doc.tree().indexOf(s), depth - 1);
        int deepest = 0;
        d.doc.tree().forEach([&](lark::Section&, int dd) {
            deepest = std::max(deepest, dd);
            return true;
        });
        EXPECT_EQ(deepest, depth - 1);
        d.doc.SelectSection(s);
        ScratchDir dir;
        EXPECT_FALSE(d.doc.SaveDocument(dir.file("deep.lkp"))) << "its outline is far over the block limit";
        ASSERT_EQ(d.ui.errors.size(), 1u);
        EXPECT_NE(d.ui.errors[0].find("16 777 215"), std::string::npos);
        EXPECT_TRUE(dir.entries().empty());
        Desk cleared;
        lark::Section* t = nullptr;
        for (int i = 0; i < depth; ++i) t = cleared.add(t, "m");
        cleared.doc.ClearDocument();
        EXPECT_EQ(cleared.doc.tree().count(), 0);
    }
}

}  // namespace
