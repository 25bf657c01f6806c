// The section model and its synchronisation with the editor: storing the text of the
// section being left, showing the selected one, change tracking, clearing the document,
// the plain-text view, and section names that could not be read back.
#include <gtest/gtest.h>

#include "document/format.h"
#include "fixture.h"

namespace {

using coretest::describe;
using coretest::Desk;

TEST(DocumentState, TypingWithNothingSelectedGoesIntoANewLastTopLevelSectionOnSelect) {
    Desk d;
    d.buildSample();
    ASSERT_EQ(d.doc.selected(), nullptr);
    d.editor.type("typed with no section");
    d.doc.SelectSection(d.doc.tree().at(1));
    EXPECT_EQ(describe(d.doc.tree()), "Notes=Hi|.Todo=|Misc=x\r\ny|New Node=typed with no section");
    EXPECT_TRUE(d.doc.treeModified());
    EXPECT_EQ(d.doc.selected(), d.doc.tree().at(1)) << "the new section is not selected";
    EXPECT_EQ(d.editor.text(), "");
    EXPECT_FALSE(d.editor.modified());
}

TEST(DocumentState, TypingWithNothingSelectedGoesIntoANewSectionOnSave) {
    coretest::ScratchDir dir;
    Desk d;
    d.add(nullptr, "Only", "o");
    d.editor.type("loose text");
    ASSERT_TRUE(d.doc.SaveDocument(dir.file("n.lkp"))) << d.lastError();
    EXPECT_EQ(describe(d.doc.tree()), "Only=o|New Node=loose text");
    EXPECT_EQ(coretest::readFile(dir.file("n.lkp")),
              coretest::notebook("Activate=0\r\n", "Only\r\nNew Node\r\n", {"o", "loose text"}));
}

TEST(DocumentState, MovingTheSelectionWithoutTypingRewritesNothing) {
    Desk d;
    d.buildSample();
    std::vector<const char*> buffers;
    d.doc.tree().forEach([&](lark::Section& s, int) {
        buffers.push_back(s.content()->Text.data());
        return true;
    });
    for (int i : {0, 1, 2, 0, 2, 1}) {
        d.doc.SelectSection(d.doc.tree().at(i));
        EXPECT_EQ(d.editor.text(), d.doc.tree().at(i)->text());
        EXPECT_FALSE(d.editor.modified());
        EXPECT_EQ(d.editor.charset, lark::kRussianCharset);
    }
    std::size_t k = 0;
    d.doc.tree().forEach([&](lark::Section& s, int) {
        EXPECT_EQ(s.content()->Text.data(), buffers[k++]) << "a buffer was replaced";
        return true;
    });
    EXPECT_TRUE(d.doc.tree().at(1)->content()->Text.isNull());
    EXPECT_FALSE(d.doc.treeModified());
}

TEST(DocumentState, ANullTextShowsEmptySavesLengthZeroAndHoldsABufferAfterTyping) {
    coretest::ScratchDir dir;
    Desk d;
    auto* a = d.add(nullptr, "A", "aaa");
    auto* b = d.add(nullptr, "B");
    ASSERT_TRUE(b->content()->Text.isNull());
    d.doc.SelectSection(a);
    d.doc.SelectSection(b);
    EXPECT_EQ(d.editor.text(), "");
    ASSERT_TRUE(d.doc.SaveDocument(dir.file("n.lkp")));
    EXPECT_EQ(coretest::readFile(dir.file("n.lkp")).substr(coretest::readFile(dir.file("n.lkp")).size() - 4),
              std::string(4, '\0'));
    d.editor.type("now typed");
    d.doc.SelectSection(a);
    EXPECT_FALSE(b->content()->Text.isNull());
    EXPECT_EQ(b->text(), "now typed");
    d.doc.SelectSection(b);
    d.editor.type("");
    d.doc.SelectSection(a);
    EXPECT_FALSE(b->content()->Text.isNull()) << "an emptied text is an empty buffer";
    EXPECT_EQ(b->text(), "");
}

TEST(DocumentState, SelectingNothingLeavesTheEditorAsItWas) {
    Desk d;
    d.buildSample();
    d.doc.SelectSection(d.doc.tree().at(0));
    d.doc.SelectSection(nullptr);
    EXPECT_EQ(d.doc.selected(), nullptr);
    EXPECT_EQ(d.editor.text(), "Hi");
    d.doc.tvNodesChange(false);
    EXPECT_EQ(d.editor.text(), "Hi");
}

TEST(DocumentState, RemovingTheSelectedSectionShowsANeighbourOrLeavesTheEditor) {
    Desk d;
    auto* only = d.add(nullptr, "Only", "only text");
    d.doc.SelectSection(only);
    d.doc.RemoveSection(only);
    EXPECT_EQ(d.doc.selected(), nullptr);
    EXPECT_EQ(d.editor.text(), "only text") << "nothing selected: the editor keeps its content";
    EXPECT_TRUE(d.doc.treeModified());
}

TEST(DocumentState, StoringTextCutsItAtANulByte) {
    Desk d;
    auto* a = d.add(nullptr, "A");
    d.doc.SelectSection(a);
    d.editor.type(std::string("before\0after", 12));
    d.doc.tvNodesChanging(false);
    EXPECT_EQ(a->text(), "before");
}

TEST(DocumentState, ClearDocumentKeepsInfoLinesTheHeldFileAndTheFlags) {
    coretest::ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    coretest::writeFile(path, coretest::sampleBytes());
    Desk d;
    ASSERT_TRUE(d.doc.LoadDocument(path, true));
    d.view.setTreeVisible(false);
    d.editor.type("edited");
    d.doc.setTreeModified(true);
    d.doc.ClearDocument();
    EXPECT_EQ(d.doc.tree().count(), 0);
    EXPECT_EQ(d.doc.selected(), nullptr);
    EXPECT_EQ(d.editor.text(), "");
    EXPECT_FALSE(d.editor.modified());
    EXPECT_FALSE(d.doc.treeModified());
    EXPECT_EQ(d.doc.FFileName, "");
    EXPECT_EQ(d.ui.status(), "");
    EXPECT_EQ(d.doc.FFileInfo, std::vector<std::string>{"Activate=1"});
    EXPECT_TRUE(d.doc.FFileHandle.valid());
    EXPECT_TRUE(coretest::heldBySomeone(path));
    EXPECT_TRUE(d.editor.readOnly());
    EXPECT_TRUE(d.view.treeReadOnly());
    EXPECT_FALSE(d.view.treeVisible());
    EXPECT_FALSE(d.doc.FUpdating);
    d.doc.FUpdating = true;
    d.doc.ClearDocument();
    EXPECT_TRUE(d.doc.FUpdating) << "clearing puts FUpdating back as it was";
}

TEST(DocumentState, TreeEventsWhileUpdatingChangeNothingButADirectStoreStillStores) {
    Desk d;
    auto* a = d.add(nullptr, "A", "old");
    auto* b = d.add(nullptr, "B", "bee");
    d.doc.SelectSection(a);
    d.doc.setTreeModified(false);
    d.doc.FUpdating = true;
    d.doc.tvNodesEdited();
    d.doc.tvNodesAddition();
    d.doc.tvNodesDeletion();
    EXPECT_FALSE(d.doc.treeModified());
    d.editor.type("new");
    d.doc.tvNodesChanging(true);
    EXPECT_EQ(a->text(), "old") << "the tree's own event is ignored while updating";
    EXPECT_TRUE(d.editor.modified());
    d.doc.SelectSection(b);
    EXPECT_EQ(a->text(), "old");
    EXPECT_EQ(d.editor.text(), "new") << "showing is skipped while updating";
    d.doc.setSelectedQuietly(a);
    d.doc.tvNodesChanging(false);
    EXPECT_EQ(a->text(), "new") << "a direct call stores even while updating";
    EXPECT_TRUE(d.doc.treeModified());
    EXPECT_FALSE(d.editor.modified());
    d.doc.FUpdating = false;
    d.doc.setTreeModified(false);
    for (auto event :
         {&lark::Document::tvNodesEdited, &lark::Document::tvNodesAddition, &lark::Document::tvNodesDeletion}) {
        d.doc.setTreeModified(false);
        (d.doc.*event)();
        EXPECT_TRUE(d.doc.treeModified());
    }
}

TEST(DocumentState, ASectionWithoutContentIsReportedWhenShownAndWhenStored) {
    Desk d;
    auto* good = d.add(nullptr, "Good", "good text");
    auto* broken = d.doc.tree().appendChild(nullptr, "Broken", nullptr);
    d.doc.SelectSection(good);
    d.doc.SelectSection(broken);
    ASSERT_EQ(d.ui.errors, std::vector<std::string>{"Unexpected internal Error: node contents is \"nil\""});
    EXPECT_EQ(d.editor.text(), "good text") << "showing stops, the editor keeps its text";
    d.editor.type("typed into the broken one");
    d.doc.setTreeModified(false);
    d.doc.SelectSection(good);
    ASSERT_EQ(d.ui.errors.size(), 2u);
    EXPECT_EQ(d.ui.errors[1], "Unexpected internal Error: previous node contents is \"nil\"");
    EXPECT_EQ(good->text(), "good text");
    EXPECT_FALSE(d.doc.treeModified()) << "nothing was stored";
    EXPECT_EQ(d.editor.text(), "good text");
}

TEST(DocumentState, StoringIntoASectionWithoutContentKeepsTheModifiedFlag) {
    Desk d;
    auto* broken = d.doc.tree().appendChild(nullptr, "Broken", nullptr);
    d.doc.setSelectedQuietly(broken);
    d.editor.type("text");
    d.doc.tvNodesChanging(false);
    EXPECT_EQ(d.ui.errors, std::vector<std::string>{"Unexpected internal Error: previous node contents is \"nil\""});
    EXPECT_TRUE(d.editor.modified());
    EXPECT_FALSE(d.doc.treeModified());
}

TEST(DocumentState, ShowPlainTextShowsTheBytesReadOnlyAndUnchanged) {
    coretest::ScratchDir dir;
    const std::string path = dir.file("t.txt");
    coretest::writeFile(path, std::string("raw\r\n\xCF\xF0\x00z", 8));
    Desk d;
    d.doc.setTreeModified(true);
    d.editor.setModified(true);
    d.doc.ShowPlainText(path);
    EXPECT_EQ(d.editor.text(), std::string("raw\r\n\xCF\xF0\x00z", 8));
    EXPECT_TRUE(d.editor.readOnly());
    EXPECT_FALSE(d.editor.modified());
    EXPECT_FALSE(d.doc.treeModified());
}

TEST(DocumentState, CreateNodeAddsNewNodeWithEmptyContent) {
    Desk d;
    auto* a = d.add(nullptr, "A");
    d.add(a, "A1");
    d.add(nullptr, "B");
    auto* top = d.doc.CreateNode(true, false);
    EXPECT_EQ(d.doc.selected(), nullptr);
    d.doc.SelectSection(a);
    auto* child = d.doc.CreateNode(true, false);
    auto* sibling = d.doc.CreateNode(false, false);
    EXPECT_EQ(describe(d.doc.tree()), "A=|.A1=|.New Node=|B=|New Node=|New Node=");
    EXPECT_EQ(d.doc.tree().indexOf(top), 4);
    EXPECT_EQ(child->parent(), a);
    EXPECT_EQ(sibling->parent(), nullptr);
    for (auto* s : {top, child, sibling}) {
        EXPECT_EQ(s->content()->Level, 0);
        EXPECT_FALSE(s->content()->Name);
        EXPECT_TRUE(s->content()->Text.isNull());
    }
    EXPECT_TRUE(d.doc.treeModified());
    EXPECT_EQ(d.doc.selected(), a);
}

struct RenameRow {
    std::string label;
    std::string typed;
    std::string stored;
};
CORETEST_PRINTS_LABEL(RenameRow)

class DocumentRename : public ::testing::TestWithParam<RenameRow> {};

// Names that would split or change depth when read back are mended as they come in, and
// the stored name then reads back as it is.
TEST_P(DocumentRename, StoresANameThatReadsBackUnchanged) {
    const RenameRow& row = GetParam();
    SCOPED_TRACE(row.label);
    Desk d;
    auto* parent = d.add(nullptr, "Parent");
    auto* s = d.add(parent, "old");
    d.add(s, "Child");
    d.doc.setTreeModified(false);
    d.doc.RenameSection(s, row.typed);
    EXPECT_EQ(s->name(), row.stored);
    EXPECT_TRUE(d.doc.treeModified());
    coretest::ScratchDir dir;
    ASSERT_TRUE(d.doc.SaveDocument(dir.file("n.lkp"))) << d.lastError();
    lark::CloseDocumentFile(d.doc.FFileHandle);
    Desk back;
    ASSERT_TRUE(back.doc.LoadDocument(dir.file("n.lkp"), true));
    EXPECT_EQ(describe(back.doc.tree()), describe(d.doc.tree()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DocumentRename,
    ::testing::Values(RenameRow{"nominal: a plain name", "Plain name", "Plain name"},
                      RenameRow{"nominal: an empty name", "", ""},
                      RenameRow{"nominal: inner and trailing TABs stay", "a\tb\t", "a\tb\t"},
                      RenameRow{"nominal: Windows-1251 bytes stay", "\xC8\xEC\xFF", "\xC8\xEC\xFF"},
                      RenameRow{"robustness: CR LF becomes two blanks", "one\r\ntwo", "one  two"},
                      RenameRow{"robustness: lone CR and lone LF", "a\rb\nc", "a b c"},
                      RenameRow{"robustness: each leading TAB becomes a blank", "\t\tdeep\tname", "  deep\tname"},
                      RenameRow{"robustness: only TABs", "\t\t\t", "   "},
                      RenameRow{"robustness: a NUL byte becomes a blank", std::string("a\0b", 3), "a b"},
                      RenameRow{"robustness: a TAB after a line break is not leading", "\t\r\n\tx", "   \tx"}),
    coretest::ByLabel());

// A name that got into the tree some other way is refused by the save, which then writes
// nothing and leaves the notebook changed.
TEST(DocumentState, SavingRefusesANameThatCouldNotBeReadBack) {
    coretest::ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    coretest::writeFile(path, "previous file");
    Desk d;
    auto* s = d.add(nullptr, "fine");
    d.doc.tree().rename(s, "bad\r\nname");
    d.ui.setStatus("before");
    d.doc.setTreeModified(false);
    EXPECT_FALSE(d.doc.SaveDocument(path));
    ASSERT_EQ(d.ui.errors.size(), 1u);
    EXPECT_NE(d.ui.errors[0].find("bad"), std::string::npos) << d.ui.errors[0];
    EXPECT_EQ(coretest::readFile(path), "previous file");
    EXPECT_TRUE(d.doc.treeModified());
    EXPECT_EQ(d.ui.status(), "before");
}

}  // namespace
