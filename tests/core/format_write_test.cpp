// The notebook writer: exact bytes, and what it refuses because it could not be read back.
#include <gtest/gtest.h>

#include <functional>

#include "document/cp1251.h"
#include "document/format.h"
#include "fixture.h"

namespace {

using coretest::block;
using coretest::Desk;
using coretest::le32;

std::string written(const lark::SectionTree& tree, const std::vector<std::string>& info) {
    return std::string(lark::WriteDocument(tree, info).view());
}

TEST(FormatWrite, SampleNotebookIsTheDocumented62Bytes) {
    Desk d;
    d.buildSample();
    const std::string bytes = written(d.doc.tree(), {"Activate=1"});
    ASSERT_EQ(bytes.size(), 62u);
    EXPECT_EQ(bytes, coretest::sampleBytes());
}

TEST(FormatWrite, EmptyNotebookWithOnlyTheActivateLineIs24Bytes) {
    Desk d;
    const std::string bytes = written(d.doc.tree(), {"Activate=0"});
    EXPECT_EQ(bytes, std::string("LKP\x01\x0c\x00\x00\x00"
                                 "Activate=0\r\n"
                                 "\x00\x00\x00\x00",
                                 24));
}

TEST(FormatWrite, NoInfoLinesAndNoSectionsGiveTwelveBytes) {
    Desk d;
    EXPECT_EQ(written(d.doc.tree(), {}), std::string("LKP\x01\0\0\0\0\0\0\0\0", 12));
}

TEST(FormatWrite, InfoLinesKeepOrderDuplicatesAndEmptyLines) {
    Desk d;
    const std::string bytes = written(d.doc.tree(), {"Zeta=1", "", "Activate=3", "activate=4"});
    EXPECT_EQ(bytes.substr(4), block("Zeta=1\r\n\r\nActivate=3\r\nactivate=4\r\n") + le32(0));
}

TEST(FormatWrite, DepthsBecomeLeadingTabsAndTextsFollowInPreOrder) {
    Desk d;
    auto* a = d.add(nullptr, "A", "a");
    auto* b = d.add(a, "B");
    d.add(b, "C", "c\r\nc");
    d.add(a, "D", "d");
    d.add(nullptr, "E", "");
    d.add(nullptr, "", "nameless");
    const std::string expected = std::string("LKP\x01", 4) + block("") +
                                 block("A\r\n\tB\r\n\t\tC\r\n\tD\r\nE\r\n\r\n") + block("a") + block("") +
                                 block("c\r\nc") + block("d") + block("") + block("nameless");
    EXPECT_EQ(written(d.doc.tree(), {}), expected);
}

TEST(FormatWrite, BytesAreWrittenUnconverted) {
    Desk d;
    const std::string name = "\xCF\xF0\xE8\xEC\xE5\xF0 \x98\xFF";         // Windows-1251 bytes, 0x98 included
    const std::string text = "\xD2\xE5\xEA\xF1\xF2\r\n\x01\x7F\x80\xFF";  // control and high bytes
    d.add(nullptr, name, text);
    const std::string bytes = written(d.doc.tree(), {"K=\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5"});
    EXPECT_EQ(bytes, std::string("LKP\x01", 4) + block("K=\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\r\n") +
                         block(name + "\r\n") + block(text));
}

TEST(FormatWrite, InnerTabsInANameAreKept) {
    Desk d;
    d.add(nullptr, "a\tb\t");
    EXPECT_EQ(written(d.doc.tree(), {}).substr(8), block("a\tb\t\r\n") + block(""));
}

TEST(FormatWrite, TextOfExactlyTheLimitIsWritten) {
    Desk d;
    const std::string big(lark::kMaxBlockLength, 'q');
    d.add(nullptr, "Big", big);
    const lark::TextBuffer out = lark::WriteDocument(d.doc.tree(), {});
    ASSERT_EQ(out.size(), 4u + 4 + 4 + 5 + 4 + big.size());
    EXPECT_EQ(out.view().substr(17, 4), le32(lark::kMaxBlockLength));
}

// Everything the writer refuses: the message names what is wrong, nothing is produced.
struct RefusalRow {
    const char* label;
    std::function<void(Desk&)> build;
    // Made when the case runs: every start of the suite's process copies the rows.
    std::vector<std::string> (*info)();
    std::vector<std::string> mustMention;  // UTF-8 fragments of the message
};
CORETEST_PRINTS_LABEL(RefusalRow)

class FormatWriteRefuses : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(FormatWriteRefuses, WithAMessageThatNamesTheCause) {
    const RefusalRow& row = GetParam();
    SCOPED_TRACE(row.label);
    Desk d;
    row.build(d);
    try {
        (void)lark::WriteDocument(d.doc.tree(), row.info ? row.info() : std::vector<std::string>{});
        FAIL() << "the writer accepted it";
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(e.kind(), lark::ErrorKind::Write);
        const std::string message = e.what();
        for (const auto& fragment : row.mustMention) EXPECT_NE(message.find(fragment), std::string::npos) << message;
    }
}

std::string overLimit() { return std::string(lark::kMaxBlockLength + 1, 'z'); }

INSTANTIATE_TEST_SUITE_P(
    Rows, FormatWriteRefuses,
    ::testing::Values(RefusalRow{"robustness: a text one byte over the block limit",
                                 [](Desk& d) {
                                     d.add(nullptr, "Small", "ok");
                                     d.add(nullptr, "\xC1\xEE\xEB\xFC\xF8\xEE\xE9", overLimit());  // "Большой"
                                 },
                                 {},
                                 {"\"Большой\"", "16 777 215"}},
                      RefusalRow{"robustness: a name with a line feed",
                                 [](Desk& d) { d.doc.tree().rename(d.add(nullptr, "x"), "two\nlines"); },
                                 {},
                                 {"\"two"}},
                      RefusalRow{"robustness: a name with a carriage return",
                                 [](Desk& d) { d.doc.tree().rename(d.add(nullptr, "x"), "cr\rhere"); },
                                 {},
                                 {"\"cr"}},
                      RefusalRow{"robustness: a name that begins with a tab",
                                 [](Desk& d) { d.add(d.add(nullptr, "Parent"), "\tdeeper"); },
                                 {},
                                 {"deeper\""}},
                      RefusalRow{"robustness: a name with a NUL byte",
                                 [](Desk& d) { d.add(nullptr, std::string("nul\0inside", 10)); },
                                 {},
                                 {"\"nul"}},
                      RefusalRow{"robustness: info lines longer than the block limit",
                                 [](Desk&) {},
                                 [] { return std::vector<std::string>{std::string(lark::kMaxBlockLength - 1, 'i')}; },
                                 {"16 777 215"}},
                      RefusalRow{"robustness: an outline longer than the block limit",
                                 [](Desk& d) {
                                     const std::string name(1 << 20, 'n');
                                     for (int i = 0; i < 16; ++i) d.add(nullptr, name);
                                 },
                                 {},
                                 {"16 777 215"}}),
    coretest::ByLabel());

}  // namespace
