// Links that follow a rename: which links lead to the renamed section (the last section of
// its name in absolute order, as a click resolves them), and their rewrite.
#include <gtest/gtest.h>

#include "fixture.h"
#include "search/link_rename.h"

namespace {

using coretest::Desk;

struct RenameRow {
    std::string label;
    std::string renamed;  // name of the section renamed (the last of that name)
    bool first = false;   // rename the first section of that name instead
    std::string newName;
    std::vector<std::string> expected;  // texts of A, B, C, D afterwards
};
CORETEST_PRINTS_LABEL(RenameRow)

class LinksFollowingRenameRows : public ::testing::TestWithParam<RenameRow> {};

TEST_P(LinksFollowingRenameRows, RewritesExactlyTheLinksThatLeadThere) {
    const RenameRow& row = GetParam();
    Desk d;
    // A links to Old twice and to Older; B has a look-alike and a link that ends with a dot;
    // C is a second section named Old (links lead to the last one: D's sibling below);
    // D is the last Old.
    d.add(nullptr, "A", "see file://@Old and file://@Old, not file://@Older\r\nfile://@Old");
    d.add(nullptr, "B", "FILE://@Old xfile://@Old file://@Old.");
    lark::Section* c = d.add(nullptr, "Old", "self file://@Old");
    lark::Section* last = d.add(nullptr, "Old", "");
    d.add(nullptr, "New", "");
    lark::Section* target = row.first ? c : last;
    if (row.renamed != "Old") target = d.doc.tree().at(4);
    const auto places = lark::LinksFollowingRename(d.doc.tree(), target, row.newName);
    lark::RewriteSectionLinks(places, row.newName);
    std::vector<std::string> texts;
    for (int i = 0; i < 3; ++i) texts.emplace_back(d.doc.tree().at(i)->text());
    EXPECT_EQ(texts, row.expected);
}

const std::vector<std::string> kUnchanged = {"see file://@Old and file://@Old, not file://@Older\r\nfile://@Old",
                                             "FILE://@Old xfile://@Old file://@Old.", "self file://@Old"};

INSTANTIATE_TEST_SUITE_P(
    Rows, LinksFollowingRenameRows,
    ::testing::Values(
        RenameRow{"nominal: every link to the last Old follows, whole links only",
                  "Old",
                  false,
                  "Fresh",
                  {"see file://@Fresh and file://@Fresh, not file://@Older\r\nfile://@Fresh",
                   "FILE://@Old xfile://@Old file://@Fresh.", "self file://@Fresh"}},
        RenameRow{"robustness: links do not lead to the first of two equal names", "Old", true, "Fresh", kUnchanged},
        RenameRow{"robustness: a name another section has changes no link", "Old", false, "New", kUnchanged},
        RenameRow{"robustness: a name with a blank cannot be a link", "Old", false, "Two words", kUnchanged},
        RenameRow{"robustness: the same name again changes nothing", "Old", false, "Old", kUnchanged},
        RenameRow{"robustness: a section nothing links to", "New", false, "Newer", kUnchanged}),
    [](const auto& rowInfo) { return coretest::rowName(rowInfo.param.label); });

}  // namespace
