#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/memory_view.h"
#include "editing/section_commands.h"
#include "notebook.h"

namespace {

using lark::DropHit;
using lark::Placement;
using lark::Section;
using larktest::Notebook;

// A: B, C(C1, C2(C2a)), D; E
struct MoveNotebook : Notebook {
    Section *a, *b, *c, *c1, *c2, *c2a, *d, *e;
    MoveNotebook() {
        a = add(nullptr, "A");
        b = add(a, "B", "text of B");
        c = add(a, "C");
        c1 = add(c, "C1");
        c2 = add(c, "C2");
        c2a = add(c2, "C2a");
        d = add(a, "D");
        e = add(nullptr, "E");
    }
    // Selects without touching FTreeModified, then types unsaved text into the editor.
    void selectWithUnsavedText(Section* s) {
        doc.SelectSection(s);
        editor.type("unsaved");
        doc.setTreeModified(false);
    }
};

struct Fixture : ::testing::Test, Notebook {};
struct MoveFixture : ::testing::Test, MoveNotebook {};

TEST_F(MoveFixture, MoveNodeRefusesTargetsInsideItsOwnSubtree) {
    EXPECT_FALSE(lark::MoveNode(doc, c, c, Placement::LastChild));
    EXPECT_FALSE(lark::MoveNode(doc, c, c2a, Placement::LastChild));
    EXPECT_FALSE(lark::MoveNode(doc, c, c1, Placement::Before));
    EXPECT_FALSE(lark::MoveNode(doc, c, c2, Placement::LastSibling));
    EXPECT_FALSE(lark::MoveNode(doc, c, d, Placement::Before)) << "C is already directly before D";
    EXPECT_EQ(outline(), "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1 E/0");
    EXPECT_TRUE(view.expanded.empty());
}

TEST_F(MoveFixture, MoveNodePlacementsCarryTheSubtree) {
    struct Row {
        const char* name;
        Section* MoveNotebook::*target;
        Placement placement;
        const char* expected;
        const char* expandedParent;
    };
    const Row rows[] = {
        {"nominal: last child of E", &MoveNotebook::e, Placement::LastChild, "A/0 B/1 D/1 E/0 C/1 C1/2 C2/2 C2a/3",
         "E"},
        {"nominal: first child of A", &MoveNotebook::a, Placement::FirstChild, "A/0 C/1 C1/2 C2/2 C2a/3 B/1 D/1 E/0",
         "A"},
        {"nominal: before B", &MoveNotebook::b, Placement::Before, "A/0 C/1 C1/2 C2/2 C2a/3 B/1 D/1 E/0", "A"},
        {"nominal: before E, to top level", &MoveNotebook::e, Placement::Before, "A/0 B/1 D/1 C/0 C1/1 C2/1 C2a/2 E/0",
         ""},
        {"nominal: last sibling of A", &MoveNotebook::a, Placement::LastSibling, "A/0 B/1 D/1 E/0 C/0 C1/1 C2/1 C2a/2",
         ""},
        {"nominal: last child of nobody", nullptr, Placement::LastChild, "A/0 B/1 D/1 E/0 C/0 C1/1 C2/1 C2a/2", ""},
        {"nominal: first child of nobody", nullptr, Placement::FirstChild, "C/0 C1/1 C2/1 C2a/2 A/0 B/1 D/1 E/0", ""},
        {"nominal: last child of its own parent", &MoveNotebook::a, Placement::LastChild,
         "A/0 B/1 D/1 C/1 C1/2 C2/2 C2a/3 E/0", "A"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MoveNotebook f;
        f.selectWithUnsavedText(f.c);
        Section* target = row.target ? f.*(row.target) : nullptr;
        EXPECT_TRUE(lark::MoveNode(f.doc, f.c, target, row.placement));
        EXPECT_EQ(f.outline(), row.expected);
        EXPECT_EQ(f.doc.selected(), f.c);
        EXPECT_EQ(f.editor.text(), "unsaved");
        EXPECT_TRUE(f.editor.modified());
        EXPECT_FALSE(f.doc.treeModified()) << "MoveNode itself does not store the editor's text";
        if (*row.expandedParent) {
            ASSERT_EQ(f.view.expanded.size(), 1u);
            EXPECT_EQ(f.view.expanded[0]->name(), row.expandedParent);
            EXPECT_TRUE(f.view.expanded[0]->expanded);
        } else {
            EXPECT_TRUE(f.view.expanded.empty());
        }
    }
}

TEST_F(MoveFixture, OneStepMovesAndTheirGuards) {
    struct Row {
        const char* name;
        void (*command)(lark::Document&);
        const char* select;
        const char* expected;
        bool modified;
    };
    const char* untouched = "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1 E/0";
    const Row rows[] = {
        {"nominal: up swaps with the previous sibling", lark::pmMoveNodeUpClick, "D",
         "A/0 B/1 D/1 C/1 C1/2 C2/2 C2a/3 E/0", true},
        {"robustness: up on the first sibling", lark::pmMoveNodeUpClick, "B", untouched, false},
        {"robustness: up on the first top-level section", lark::pmMoveNodeUpClick, "A", untouched, false},
        {"nominal: down swaps with the next sibling", lark::pmMoveNodeDownClick, "B",
         "A/0 C/1 C1/2 C2/2 C2a/3 B/1 D/1 E/0", true},
        {"nominal: down on the second-to-last becomes last", lark::pmMoveNodeDownClick, "C",
         "A/0 B/1 D/1 C/1 C1/2 C2/2 C2a/3 E/0", true},
        {"nominal: down at top level second-to-last", lark::pmMoveNodeDownClick, "A",
         "E/0 A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1", true},
        {"robustness: down on the last sibling", lark::pmMoveNodeDownClick, "D", untouched, false},
        {"robustness: down on the last top-level section", lark::pmMoveNodeDownClick, "E", untouched, false},
        {"nominal: top", lark::pmMoveNodeTopClick, "D", "A/0 D/1 B/1 C/1 C1/2 C2/2 C2a/3 E/0", true},
        {"nominal: top when already first still marks changed", lark::pmMoveNodeTopClick, "B", untouched, true},
        {"nominal: top at top level", lark::pmMoveNodeTopClick, "E", "E/0 A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1", true},
        {"nominal: bottom", lark::pmMoveNodeBottomClick, "B", "A/0 C/1 C1/2 C2/2 C2a/3 D/1 B/1 E/0", true},
        {"nominal: bottom when already last still marks changed", lark::pmMoveNodeBottomClick, "D", untouched, true},
        {"nominal: level up goes before its former parent", lark::pmMoveNodeLevUpClick, "C",
         "C/0 C1/1 C2/1 C2a/2 A/0 B/1 D/1 E/0", true},
        {"nominal: level up from depth 2", lark::pmMoveNodeLevUpClick, "C2", "A/0 B/1 C2/1 C2a/2 C/1 C1/2 D/1 E/0",
         true},
        {"robustness: level up on a top-level section", lark::pmMoveNodeLevUpClick, "E", untouched, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MoveNotebook f;
        Section* s = f.byName(row.select);
        f.selectWithUnsavedText(s);
        row.command(f.doc);
        EXPECT_EQ(f.outline(), row.expected);
        EXPECT_EQ(f.doc.treeModified(), row.modified);
        EXPECT_EQ(f.doc.selected(), s);
        EXPECT_EQ(f.editor.text(), "unsaved");
        EXPECT_TRUE(f.editor.modified());
    }
}

TEST_F(MoveFixture, CommandsWithoutSelectionDoNothing) {
    for (auto command : {lark::pmMoveNodeUpClick, lark::pmMoveNodeDownClick, lark::pmMoveNodeTopClick,
                         lark::pmMoveNodeBottomClick, lark::pmMoveNodeLevUpClick, lark::pmRenNodeClick}) {
        command(doc);
    }
    lark::tvNodesDragDrop(doc, DropHit::BelowLast, nullptr);
    EXPECT_EQ(outline(), "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1 E/0");
    EXPECT_FALSE(doc.treeModified());
    EXPECT_EQ(view.editing, nullptr);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(MoveFixture, DropsByHitClass) {
    struct Row {
        const char* name;
        const char* select;
        DropHit hit;
        const char* drop;  // nullptr: no section at the drop point
        const char* expected;
        bool modified;
    };
    const char* untouched = "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1 E/0";
    const Row rows[] = {
        {"nominal: on a childless label gives it a first child", "B", DropHit::OnItem, "E",
         "A/0 C/1 C1/2 C2/2 C2a/3 D/1 E/0 B/1", true},
        {"nominal: on a label becomes its last child", "D", DropHit::OnItem, "C", "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/2 E/0",
         true},
        {"nominal: indentation of a top-level section", "C2a", DropHit::Indent, "E",
         "A/0 B/1 C/1 C1/2 C2/2 D/1 C2a/0 E/0", true},
        {"nominal: below the last item", "C", DropHit::BelowLast, nullptr, "A/0 B/1 D/1 E/0 C/0 C1/1 C2/1 C2a/2", true},
        {"robustness: on its own label marks changed, moves nothing", "C", DropHit::OnItem, "C", untouched, true},
        {"robustness: on a descendant marks changed, moves nothing", "C", DropHit::OnItem, "C2a", untouched, true},
        {"robustness: indentation of its next sibling", "C", DropHit::Indent, "D", untouched, true},
        {"robustness: on an expand button", "B", DropHit::Nothing, "C", untouched, false},
        {"robustness: label class without a section", "B", DropHit::OnItem, nullptr, untouched, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MoveNotebook f;
        Section* s = f.byName(row.select);
        f.selectWithUnsavedText(s);
        lark::tvNodesDragDrop(f.doc, row.hit, row.drop ? f.byName(row.drop) : nullptr);
        EXPECT_EQ(f.outline(), row.expected);
        EXPECT_EQ(f.doc.treeModified(), row.modified);
        EXPECT_EQ(f.doc.selected(), s);
        EXPECT_EQ(f.editor.text(), "unsaved");
        EXPECT_TRUE(f.editor.modified());
    }
    // Dropping on a childless label expands the new parent.
    MoveNotebook f;
    f.doc.SelectSection(f.b);
    lark::tvNodesDragDrop(f.doc, DropHit::OnItem, f.e);
    ASSERT_EQ(f.view.expanded.size(), 1u);
    EXPECT_EQ(f.view.expanded[0], f.e);
}

TEST_F(Fixture, NewSectionCommandsInAnEmptyNotebook) {
    for (auto command : {lark::pmNewNodeClick, lark::miNewSubClick}) {
        Notebook f;
        command(f.doc);
        EXPECT_EQ(f.outline(), "New Node/0");
        EXPECT_EQ(f.doc.selected(), f.doc.tree().at(0));
        EXPECT_EQ(f.view.editing, f.doc.tree().at(0));
        EXPECT_TRUE(f.doc.treeModified());
    }
}

TEST_F(Fixture, NewSectionWithTypedTextAndNoSelectionMakesTwoSections) {
    for (auto command : {lark::pmNewNodeClick, lark::miNewSubClick}) {
        Notebook f;
        f.editor.type("typed");
        command(f.doc);
        ASSERT_EQ(f.outline(), "New Node/0 New Node/0");
        Section* created = f.doc.tree().at(0);
        Section* holder = f.doc.tree().at(1);
        EXPECT_EQ(f.doc.selected(), created);
        EXPECT_EQ(f.view.editing, created);
        EXPECT_EQ(created->text(), "");
        EXPECT_EQ(holder->text(), "typed");
        EXPECT_EQ(f.editor.text(), "");
        EXPECT_FALSE(f.editor.modified());
    }
}

TEST_F(MoveFixture, NewSectionPlacementAndStoringTheLeftText) {
    // New section on a nested section: at the end of its sibling list.
    doc.SelectSection(b);
    editor.type("B edited");
    lark::pmNewNodeClick(doc);
    EXPECT_EQ(outline(), "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1 New Node/1 E/0");
    EXPECT_EQ(b->text(), "B edited") << "the unsaved text goes into the section being left";
    EXPECT_EQ(doc.selected()->name(), "New Node");
    EXPECT_EQ(editor.text(), "");

    // New subsection on a collapsed section: its last child, selected and being named.
    ASSERT_FALSE(c2->expanded);
    doc.SelectSection(c2);
    lark::miNewSubClick(doc);
    EXPECT_EQ(outline(), "A/0 B/1 C/1 C1/2 C2/2 C2a/3 New Node/3 D/1 New Node/1 E/0");
    EXPECT_EQ(doc.selected(), doc.tree().at(6));
    EXPECT_EQ(view.editing, doc.tree().at(6));
}

TEST_F(MoveFixture, RenameStartsEditingAndCommitsSanitisedNames) {
    doc.SelectSection(c);
    lark::pmRenNodeClick(doc);
    EXPECT_EQ(view.editing, c);
    EXPECT_FALSE(doc.treeModified()) << "starting the edit changes nothing yet";
    lark::CommitRename(doc, c, "");
    EXPECT_EQ(c->name(), "");
    EXPECT_TRUE(doc.treeModified());
    lark::CommitRename(doc, c, "\t\tTwo\r\nlines");
    EXPECT_EQ(c->name(), "  Two  lines");
    lark::CommitRename(doc, c, "B");
    EXPECT_EQ(c->name(), "B") << "a duplicate name is accepted";
}

TEST_F(MoveFixture, DeleteGuards) {
    lark::pmDelNodeClick(doc);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Сначала выберите узел для удаления (кликните по нему)");
    EXPECT_TRUE(ui.questions.empty());

    doc.SelectSection(c);
    lark::pmDelNodeClick(doc);
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(ui.errors[0], "Нельзя удалить узел, содержащий другие узлы");
    EXPECT_TRUE(ui.questions.empty());

    doc.SelectSection(b);
    editor.type("B edited");
    ui.confirmAnswer = false;
    lark::pmDelNodeClick(doc);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0], "Вы действительно хотите удалить раздел?");
    EXPECT_EQ(outline(), "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1 E/0");
    EXPECT_EQ(editor.text(), "B edited");
    EXPECT_TRUE(editor.modified());
    EXPECT_FALSE(doc.treeModified());
}

TEST_F(MoveFixture, DeleteDropsTheUnsavedTextAndShowsTheNextSection) {
    d->content()->Text = lark::TextBuffer::copyOf("text of D");
    doc.SelectSection(d);
    editor.type("D edited");
    lark::pmDelNodeClick(doc);
    EXPECT_EQ(outline(), "A/0 B/1 C/1 C1/2 C2/2 C2a/3 E/0");
    EXPECT_TRUE(doc.treeModified());
    ASSERT_NE(doc.selected(), nullptr);
    EXPECT_EQ(doc.selected(), c) << "the last child's previous sibling";
    EXPECT_EQ(editor.text(), doc.selected()->text()) << "the new selection's text is shown";
    EXPECT_FALSE(editor.modified());
    // Nothing received D's unsaved text.
    doc.tree().forEach([](Section& s, int) {
        EXPECT_NE(s.text(), "D edited") << s.name();
        return true;
    });
    EXPECT_TRUE(ui.messages.empty());
}

// After a delete the selection goes to the next sibling, else the previous one, else
// the parent.
TEST(SectionCommands, DeleteSelectsNextThenPreviousThenParent) {
    struct Row {
        const char* name;
        const char* deleted;
        const char* selected;
    };
    const Row rows[] = {
        {"nominal: between two siblings", "D", "F"},   {"nominal: first of its siblings", "B", "C"},
        {"nominal: last of its siblings", "F", "D"},   {"nominal: only child", "C2a", "C2"},
        {"nominal: last top-level section", "E", "A"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MoveNotebook nb;  // A: B, C(C1, C2(C2a)), D, F; E
        nb.add(nb.a, "F");
        nb.doc.SelectSection(nb.byName(row.deleted));
        lark::pmDelNodeClick(nb.doc);
        ASSERT_EQ(nb.byName(row.deleted), nullptr);
        ASSERT_NE(nb.doc.selected(), nullptr);
        EXPECT_EQ(nb.doc.selected()->name(), row.selected);
    }
}

TEST_F(Fixture, DeletingTheLastSectionLeavesAnEmptyEditor) {
    Section* only = add(nullptr, "Only", "text");
    doc.SelectSection(only);
    editor.type("edited");
    lark::pmDelNodeClick(doc);
    EXPECT_EQ(doc.tree().count(), 0);
    EXPECT_EQ(doc.selected(), nullptr);
    EXPECT_EQ(editor.text(), "");
    EXPECT_FALSE(editor.modified());
    EXPECT_TRUE(doc.treeModified());
}

TEST_F(MoveFixture, SelectionChangedWhileTheQuestionWasOpen) {
    doc.SelectSection(b);
    ui.onConfirm = [&] {
        doc.SelectSection(e);
        editor.type("E edited");
    };
    lark::pmDelNodeClick(doc);
    EXPECT_EQ(outline(), "A/0 C/1 C1/2 C2/2 C2a/3 D/1 E/0") << "B is deleted all the same";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Действуйте медленнее, когда удаляете данные!");
    EXPECT_EQ(doc.selected(), e);
    EXPECT_EQ(editor.text(), "E edited") << "the editor is left alone";
    EXPECT_TRUE(editor.modified());
}

TEST_F(MoveFixture, SectionThatVanishedOrGrewChildrenWhileAskingIsKept) {
    doc.SelectSection(d);
    ui.onConfirm = [&] { add(d, "late child"); };
    lark::pmDelNodeClick(doc);
    EXPECT_EQ(outline(), "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1 late child/2 E/0");
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(ui.errors[0], "Нельзя удалить узел, содержащий другие узлы");

    Section* lone = e;
    doc.SelectSection(lone);
    ui.errors.clear();
    ui.onConfirm = [&] { doc.RemoveSection(lone); };
    lark::pmDelNodeClick(doc);
    EXPECT_EQ(outline(), "A/0 B/1 C/1 C1/2 C2/2 C2a/3 D/1 late child/2");
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(MoveFixture, ReadOnlyTreeDoesNotBlockCommands) {
    view.setTreeReadOnly(true);
    editor.setReadOnly(true);
    doc.SelectSection(b);
    lark::pmMoveNodeDownClick(doc);
    lark::pmNewNodeClick(doc);
    EXPECT_EQ(outline(), "A/0 C/1 C1/2 C2/2 C2a/3 B/1 D/1 New Node/1 E/0");
}

}  // namespace
