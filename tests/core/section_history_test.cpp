#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "editing/section_commands.h"
#include "editing/section_history.h"
#include "notebook.h"

namespace {

using lark::DropHit;
using lark::Section;
using lark::SectionHistory;
using lark::SectionStep;

struct History : ::testing::Test, larktest::Notebook {
    SectionHistory history;

    // A: B, C(C1, C2); D — with texts, C expanded, B selected.
    History() {
        Section* a = add(nullptr, "A", "text A");
        add(a, "B", "text B");
        Section* c = add(a, "C", "text C\r\nline 2");
        add(c, "C1", "text C1");
        add(c, "C2");
        c->expanded = true;
        add(nullptr, "D", "text D");
        doc.SelectSection(byName("B"));
    }

    // The notebook as a save would write it, with the selection and what the editor shows.
    std::string state(bool withSelection = true) const {
        std::string out;
        const Section* sel = doc.selected();
        doc.tree().forEach([&](Section& s, int depth) {
            const std::string text = &s == sel && editor.modified() ? editor.text() : std::string(s.text());
            out += std::string(static_cast<std::size_t>(depth), '.') + std::string(s.name()) + "=" + text + "\n";
            return true;
        });
        for (const std::string_view line : doc.FFileInfo) out += "info " + std::string(line) + "\n";
        if (!withSelection) return out;
        out += "selected " + (sel ? std::string(sel->name()) + "@" + std::to_string(doc.tree().indexOf(sel)) : "none");
        out += ", shows " + editor.text();
        return out;
    }

    void run(SectionStep kind, const std::function<void()>& command) {
        history.run(doc, kind, kind == SectionStep::Create ? nullptr : doc.selected(), command);
    }
    void rename(const std::string& from, const std::string& to) { rename(byName(from), to); }
    void rename(Section* s, const std::string& to) {
        history.runRename(doc, s, [&] {
            lark::CommitRename(doc, s, to);
            return std::vector<lark::TextChange>{};
        });
    }
};

struct OpRow {
    const char* name;
    const char* select;  // before the command
    const char* typed;   // into the editor before the command, unsaved
    std::function<void(History&)> command;
    std::function<void(History&)> setup = nullptr;  // shapes the tree before anything is selected
};

void PrintTo(const OpRow& row, std::ostream* os) { *os << row.name; }

struct EveryOperation : History, ::testing::WithParamInterface<OpRow> {};

// Each command undone puts back the tree, texts and selection exactly; redone, it gives
// exactly what the command gave.
TEST_P(EveryOperation, UndoAndRedoGiveBackBothStates) {
    const OpRow& row = GetParam();
    if (row.setup) row.setup(*this);
    doc.SelectSection(byName(row.select));
    if (row.typed) editor.type(row.typed);
    const std::string before = state();
    row.command(*this);
    const std::string after = state();
    ASSERT_NE(before, after) << "the command changed nothing";
    ASSERT_TRUE(history.canUndo(doc));
    doc.setTreeModified(false);
    ASSERT_TRUE(history.undo(doc));
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(doc.treeModified()) << "an undone step is a change to save";
    EXPECT_FALSE(history.canUndo(doc));
    ASSERT_TRUE(history.redo(doc));
    EXPECT_EQ(state(), after);
    EXPECT_FALSE(history.canRedo(doc));
    ASSERT_TRUE(history.undo(doc));
    EXPECT_EQ(state(), before);
}

const OpRow kOperations[] = {
    {"nominal: new section", "C1", nullptr,
     [](History& h) { h.run(SectionStep::Create, [&] { lark::pmNewNodeClick(h.doc); }); }},
    {"nominal: new sub-section", "D", nullptr,
     [](History& h) { h.run(SectionStep::Create, [&] { lark::miNewSubClick(h.doc); }); }},
    {"nominal: new section named at once is one step", "B", nullptr,
     [](History& h) {
         h.run(SectionStep::Create, [&] { lark::pmNewNodeClick(h.doc); });
         h.editor.type("typed into the new one");
         h.rename(lark::kNewNodeName, "Named");
     }},
    {"nominal: delete keeps the unsaved text", "C1", "typed, not stored",
     [](History& h) { h.run(SectionStep::Delete, [&] { lark::pmDelNodeClick(h.doc); }); }},
    {"nominal: delete a top-level section", "D", nullptr,
     [](History& h) { h.run(SectionStep::Delete, [&] { lark::pmDelNodeClick(h.doc); }); }},
    // The tree's one change that takes a section with its children: A is all there is.
    {"robustness: a section deleted with its subtree comes back in order", "A", nullptr,
     [](History& h) {
         h.run(SectionStep::Delete, [&] {
             h.doc.editor().clear();
             h.doc.setSelectedQuietly(nullptr);
             h.doc.tree().clear();
         });
     },
     [](History& h) { h.doc.tree().remove(h.byName("D")); }},
    {"nominal: move up", "D", nullptr,
     [](History& h) { h.run(SectionStep::Move, [&] { lark::pmMoveNodeUpClick(h.doc); }); }},
    {"nominal: move down", "B", nullptr,
     [](History& h) { h.run(SectionStep::Move, [&] { lark::pmMoveNodeDownClick(h.doc); }); }},
    {"nominal: move to top", "C2", nullptr,
     [](History& h) { h.run(SectionStep::Move, [&] { lark::pmMoveNodeTopClick(h.doc); }); }},
    {"nominal: move to bottom", "B", nullptr,
     [](History& h) { h.run(SectionStep::Move, [&] { lark::pmMoveNodeBottomClick(h.doc); }); }},
    {"nominal: level up past its parent", "C1", nullptr,
     [](History& h) { h.run(SectionStep::Move, [&] { lark::pmMoveNodeLevUpClick(h.doc); }); }},
    {"nominal: level up of a subtree", "C", nullptr,
     [](History& h) { h.run(SectionStep::Move, [&] { lark::pmMoveNodeLevUpClick(h.doc); }); }},
    {"nominal: drop onto a section", "C", nullptr,
     [](History& h) {
         h.run(SectionStep::Move, [&] { lark::tvNodesDragDrop(h.doc, DropHit::OnItem, h.byName("D")); });
     }},
    {"nominal: drop into the indent", "D", nullptr,
     [](History& h) {
         h.run(SectionStep::Move, [&] { lark::tvNodesDragDrop(h.doc, DropHit::Indent, h.byName("C1")); });
     }},
    {"nominal: drop below the last", "B", nullptr,
     [](History& h) { h.run(SectionStep::Move, [&] { lark::tvNodesDragDrop(h.doc, DropHit::BelowLast, nullptr); }); }},
    {"nominal: the whole tree replaced (a merge), info lines with it", "C1", nullptr,
     [](History& h) {
         h.history.runWholeTree(h.doc, [&] {
             h.doc.editor().clear();
             h.doc.setSelectedQuietly(nullptr);
             h.doc.tree().clear();
             h.add(nullptr, "Merged", "merged text");
             h.doc.FFileInfo = {"Theirs=1", "Activate=0"};
         });
     }},
    {"nominal: rename", "B", nullptr, [](History& h) { h.rename("C", "Renamed C"); }},
    {"nominal: rename with texts rewritten", "A", nullptr,
     [](History& h) {
         Section* c = h.byName("C");
         h.history.runRename(h.doc, c, [&] {
             lark::CommitRename(h.doc, c, "C new");
             std::vector<lark::TextChange> changed;
             for (const char* name : {"B", "D"}) {
                 Section* s = h.byName(name);
                 changed.push_back({s, s->content()->Text.share()});
                 s->content()->Text = lark::TextBuffer::copyOf("file://@C new");
             }
             return changed;
         });
     }},
};

INSTANTIATE_TEST_SUITE_P(Steps, EveryOperation, ::testing::ValuesIn(kOperations),
                         [](const ::testing::TestParamInfo<OpRow>& rowInfo) {
                             std::string n;
                             for (const char* c = rowInfo.param.name; *c; ++c)
                                 n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return n;
                         });

TEST_F(History, CommandsThatChangeNothingRecordNothing) {
    ui.confirmAnswer = false;
    run(SectionStep::Delete, [&] { lark::pmDelNodeClick(doc); });  // answered No
    doc.SelectSection(byName("A"));
    run(SectionStep::Move, [&] { lark::pmMoveNodeUpClick(doc); });  // already first
    rename("A", "A");
    EXPECT_FALSE(history.canUndo(doc));
    EXPECT_EQ(byName("B")->text(), "text B");
}

TEST_F(History, AChangeOutsideTheHistoryDropsIt) {
    run(SectionStep::Move, [&] { lark::pmMoveNodeDownClick(doc); });
    ASSERT_TRUE(history.canUndo(doc));
    doc.tree().rename(byName("D"), "D elsewhere");
    EXPECT_FALSE(history.canUndo(doc)) << "replaying would name sections by rows that moved";
    EXPECT_FALSE(history.undo(doc));
    EXPECT_EQ(byName("B")->row(), 1);
    history.dropIfStale(doc);
    EXPECT_EQ(history.undoCount(), 0U);
}

TEST_F(History, ACommandThatChangesMoreThanItsStepDropsTheHistory) {
    rename("D", "D1");
    run(SectionStep::Move, [&] {
        lark::pmMoveNodeDownClick(doc);
        doc.tree().rename(byName("A"), "A1");
    });
    EXPECT_FALSE(history.canUndo(doc));
}

TEST_F(History, ANewStepForgetsWhatCouldBeRedone) {
    rename("D", "D1");
    rename("D1", "D2");
    history.undo(doc);
    ASSERT_TRUE(history.canRedo(doc));
    rename("A", "A1");
    EXPECT_FALSE(history.canRedo(doc));
    EXPECT_EQ(history.undoCount(), 2U);
}

TEST_F(History, TheOldestStepsGoFirstPastTheLimits) {
    for (int i = 0; i < 205; ++i) rename(i ? "D" + std::to_string(i - 1) : "D", "D" + std::to_string(i));
    EXPECT_EQ(history.undoCount(), SectionHistory::kMaxSteps);
    while (history.undo(doc)) {}
    EXPECT_EQ(byName("D4")->name(), "D4") << "the five oldest renames are gone, the rest undone";

    // Texts: each deleted section keeps 20 MB alive; past 64 MB the oldest is let go, the
    // newest always stays.
    for (int i = 0; i < 5; ++i) add(nullptr, "big" + std::to_string(i), std::string(std::size_t{20} << 20, 'x'));
    for (int i = 0; i < 5; ++i) {
        doc.SelectSection(byName("big" + std::to_string(i)));
        run(SectionStep::Delete, [&] { lark::pmDelNodeClick(doc); });
    }
    EXPECT_EQ(history.undoCount(), 3U);
    EXPECT_LE(history.retainedBytes(), SectionHistory::kMaxRetainedBytes);
    while (history.undo(doc)) {}
    EXPECT_EQ(byName("big1"), nullptr);
    ASSERT_NE(byName("big2"), nullptr);
    EXPECT_EQ(byName("big2")->text().size(), std::size_t{20} << 20);
}

// Many random commands, then all undone one by one and redone: every state on the way is
// the one recorded when it was current.
TEST_F(History, AThousandRandomStepsUndoneAndRedone) {
    std::mt19937 random(20261208);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<std::string> states{state(false)};
    int made = 0;
    while (states.size() <= 1000) {
        const int count = doc.tree().count();
        Section* s = count ? doc.tree().at(pick(count)) : nullptr;
        if (s) doc.SelectSection(s);
        const std::uint64_t revision = doc.tree().revision();
        switch (s ? pick(count > 30 ? 9 : 7) : 0) {
        case 0: run(SectionStep::Create, [&] { lark::pmNewNodeClick(doc); }); break;
        case 1: run(SectionStep::Create, [&] { lark::miNewSubClick(doc); }); break;
        case 2:
            // A new section named next would join its creation's step.
            if (s->name() != lark::kNewNodeName) rename(s, "n" + std::to_string(++made));
            break;
        case 3: run(SectionStep::Move, [&] { lark::pmMoveNodeUpClick(doc); }); break;
        case 4: run(SectionStep::Move, [&] { lark::pmMoveNodeBottomClick(doc); }); break;
        case 5: run(SectionStep::Move, [&] { lark::pmMoveNodeLevUpClick(doc); }); break;
        case 6: {
            Section* target = doc.tree().at(pick(count));
            run(SectionStep::Move, [&] { lark::tvNodesDragDrop(doc, DropHit::OnItem, target); });
            break;
        }
        default: run(SectionStep::Delete, [&] { lark::pmDelNodeClick(doc); }); break;
        }
        if (doc.tree().revision() == revision) continue;  // refused: nothing to record
        ASSERT_EQ(history.undoCount(), std::min(states.size(), SectionHistory::kMaxSteps));
        states.push_back(state(false));
    }
    const std::size_t kept = history.undoCount();
    for (std::size_t i = 0; i < kept; ++i) {
        ASSERT_TRUE(history.undo(doc));
        ASSERT_EQ(state(false), states[states.size() - 2 - i]) << "undo " << i + 1;
    }
    EXPECT_FALSE(history.undo(doc));
    for (std::size_t i = kept; i > 0; --i) {
        ASSERT_TRUE(history.redo(doc));
        ASSERT_EQ(state(false), states[states.size() - i]) << "redo " << kept - i + 1;
    }
}

}  // namespace
