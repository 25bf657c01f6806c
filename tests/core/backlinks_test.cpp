#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/snapshot.h"
#include "notebook.h"
#include "search/backlinks.h"

namespace {

using larktest::Section;

struct Backlinks : ::testing::Test, larktest::Notebook {
    // "section:line:column" of every row for links to `name`.
    std::vector<std::string> rows(const std::string& name) {
        const auto snapshot = lark::TakeSnapshot(doc);
        std::vector<std::string> out;
        lark::FindLinksTo(*snapshot, name, [&](lark::FindAllRow&& row) {
            out.push_back(std::to_string(row.section) + ":" + std::to_string(row.line) + ":" +
                          std::to_string(row.column));
            return true;
        });
        return out;
    }
};

TEST_F(Backlinks, OnlyWholeLinksWithTheExactName) {
    const struct {
        const char* text;
        std::vector<std::string> expected;  // rows, with the text in section 2
    } cases[] = {
        {"see file://@Target here", {"2:1:4"}},
        {"file://@Target. and (file://@Target)", {"2:1:0", "2:1:21"}},
        {"a\r\nb\nfile://@Target", {"2:3:0"}},
        {"file://@Targets", {}},
        {"file://@target", {}},
        {"FILE://@Target", {}},   // opened by the desktop, not a section link
        {"xfile://@Target", {}},  // not a link after a letter
        {"file://@Tar get", {}},
        {"file://@Target\r\nfile://@Target", {"2:1:0", "2:2:0"}},
    };
    Section* target = add(nullptr, "Target", "file://@Target in itself");
    add(target, "Target child", "file://@Target_child");  // another name
    Section* other = add(nullptr, "Other");
    for (const auto& c : cases) {
        other->content()->Text = lark::TextBuffer::copyOf(c.text);
        std::vector<std::string> expected{"0:1:0"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(rows("Target"), expected) << c.text;
    }
    // Names never count, and the text being edited does.
    doc.SelectSection(other);
    editor.type("typed file://@Target");
    EXPECT_EQ(rows("Target"), (std::vector<std::string>{"0:1:0", "2:1:6"}));
}

TEST_F(Backlinks, OnlyTheLastSectionOfANameHasLinks) {
    Section* first = add(nullptr, "Same", "file://@Same");
    Section* second = add(first, "Same");
    Section* unique = add(nullptr, "Unique");
    EXPECT_FALSE(lark::LinksLeadTo(doc.tree(), first));
    EXPECT_TRUE(lark::LinksLeadTo(doc.tree(), second));
    EXPECT_TRUE(lark::LinksLeadTo(doc.tree(), unique));
    EXPECT_FALSE(lark::LinksLeadTo(doc.tree(), nullptr));
}

TEST_F(Backlinks, TheLimitCutsTheList) {
    std::string text;
    for (int i = 0; i < 5; ++i) text += "file://@X ";
    add(nullptr, "X", text);
    const auto snapshot = lark::TakeSnapshot(doc);
    int seen = 0;
    const lark::FindAllOutcome outcome = lark::FindLinksTo(
        *snapshot, "X",
        [&](lark::FindAllRow&&) {
            ++seen;
            return true;
        },
        nullptr, 3);
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(outcome.rows, 3u);
    EXPECT_TRUE(outcome.cut);
}

}  // namespace
