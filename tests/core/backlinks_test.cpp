#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/snapshot.h"
#include "notebook.h"
#include "search/backlinks.h"

namespace {

using larktest::Section;

struct Backlinks : ::testing::Test, larktest::Notebook {
    // "section:line:column" of every row for links to `name`, at most `limit`.
    std::string rows(const std::string& name, std::size_t limit = lark::kFindAllLimit) {
        std::string out;
        const auto outcome = lark::FindLinksTo(
            *lark::TakeSnapshot(doc), name,
            [&](lark::FindAllRow&& r) {
                out += std::to_string(r.section) + ":" + std::to_string(r.line) + ":" + std::to_string(r.column) + " ";
                return true;
            },
            nullptr, limit);
        return out + (outcome.cut ? "cut" : "");
    }
};

TEST_F(Backlinks, OnlyWholeLinksWithTheExactName) {
    const struct {
        const char *text, *expected;  // the text of section 2, rows after section 0's own
    } cases[] = {
        {"see file://@Target here", "2:1:4 "},
        {"file://@Target. and (file://@Target)", "2:1:0 2:1:21 "},
        {"a\r\nb\nfile://@Target", "2:3:0 "},
        {"file://@Target\r\nfile://@Target", "2:1:0 2:2:0 "},
        {"file://@Targets file://@target FILE://@Target xfile://@Target file://@Tar get", ""},
    };
    Section* target = add(nullptr, "Target", "file://@Target in itself");
    add(target, "Target child", "file://@Target_child");
    Section* other = add(nullptr, "Other");
    for (const auto& c : cases) {
        other->content()->Text = lark::TextBuffer::copyOf(c.text);
        EXPECT_EQ(rows("Target"), std::string("0:1:0 ") + c.expected) << c.text;
    }
    // Names never count; the text being edited does; the limit cuts the list.
    doc.SelectSection(other);
    editor.type("typed file://@Target file://@Target");
    EXPECT_EQ(rows("Target"), "0:1:0 2:1:6 2:1:21 ");
    EXPECT_EQ(rows("Target", 2), "0:1:0 2:1:6 cut");
    // Links lead to the last section of a name only.
    Section* second = add(other, "Target");
    EXPECT_FALSE(lark::LinksLeadTo(doc.tree(), target));
    EXPECT_TRUE(lark::LinksLeadTo(doc.tree(), second) && lark::LinksLeadTo(doc.tree(), other));
    EXPECT_FALSE(lark::LinksLeadTo(doc.tree(), nullptr));
}

}  // namespace
