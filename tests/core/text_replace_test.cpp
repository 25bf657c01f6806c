#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "document/cp1251.h"
#include "editing/section_commands.h"
#include "editing/text_replace.h"
#include "notebook.h"

namespace {

using lark::Section;

std::string W(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

TEST(TextReplace, Rows) {
    const struct {
        const char *text, *find, *replacement;  // UTF-8 here, Windows-1251 in the test
        bool matchCase;
        const char* expected;
        std::size_t count;
    } rows[] = {
        {"Привет ПРИВЕТ пРиВеТ", "привет", "ок", false, "ок ок ок", 3},
        {"Привет ПРИВЕТ привет", "ПРИВЕТ", "ок", true, "Привет ок привет", 1},
        {"Ёлка ёлка Елка", "ЁЛКА", "ель", false, "ель ель Елка", 2},  // Ё folds to ё, never to Е
        {"Ёлка ёлка", "Ёлка", "ель", true, "ель ёлка", 1},
        {"aaaaa", "aa", "b", false, "bba", 2},             // overlapping and adjacent: left to right
        {"aaa", "a", "aa", false, "aaaaaa", 3},            // the replacement is not searched again
        {"one\r\ntwo", "e\r\nt", " ", false, "on wo", 1},  // across CR LF
        {"abc", "", "z", false, "abc", 0},
    };
    for (const auto& r : rows) {
        std::size_t count = 0;
        EXPECT_EQ(lark::ReplaceMatches(W(r.text), W(r.find), W(r.replacement), r.matchCase, count), W(r.expected))
            << r.text << " / " << r.find;
        EXPECT_EQ(count, r.count) << r.text << " / " << r.find;
    }
    // nullptr: every character fits
    const std::pair<const char*, const char*> chars[] = {
        {"Ёлка №5 €", nullptr}, {"a✓b", "✓"}, {"ok😀", "😀"}, {"\xff-", "\xff"}, {"a\xc3-", "\xc3"}};
    for (const auto& [utf8, outside] : chars)
        EXPECT_EQ(lark::CharOutsideCp1251(utf8).value_or("none"), outside ? outside : "none") << utf8;
    EXPECT_NE(lark::OutsideCp1251Text("✓").find("«✓»"), std::string::npos);
}

// Against a model: a walk that compares the lower-cased bytes at every position.
TEST(TextReplace, AgreesWithAModelOnRandomTexts) {
    const std::string alphabet = W("aAбБёЁе") + "\r\n";
    std::mt19937 rng(28);
    auto pick = [&](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += alphabet[rng() % alphabet.size()];
        return s;
    };
    for (int i = 0; i < 3000; ++i) {
        const std::string text = pick(rng() % 40), find = pick(1 + rng() % 3), repl = pick(rng() % 3);
        const bool matchCase = rng() % 2;
        auto fold = [&](const std::string& s) { return matchCase ? s : lark::cp1251::toLower(s); };
        std::string want;
        std::size_t wanted = 0, got = 0;
        for (std::size_t p = 0; p < text.size();) {
            const bool match = fold(text).compare(p, find.size(), fold(find)) == 0;
            want += match ? repl : text.substr(p, 1);
            p += match ? find.size() : 1;
            wanted += match;
        }
        ASSERT_EQ(lark::ReplaceMatches(text, find, repl, matchCase, got), want) << i;
        ASSERT_EQ(got, wanted) << i;
        ASSERT_EQ(lark::FindMatch(text, find, matchCase) == lark::kNotFound, wanted == 0) << i;
    }
}

struct ReplaceBook : larktest::Notebook {
    lark::SectionHistory history;
    std::vector<std::string> renamed;
    // Plan: Notes, plan B; Other.
    ReplaceBook() {
        Section* a = add(nullptr, "Plan", "the plan\r\nPLAN b");
        add(a, "Notes", "no match");
        add(a, "plan B", "plan");
        add(nullptr, "Other", "Planet");
        doc.SelectSection(byName("Notes"));
    }
    // Every name and text (the editor's for the selected section), the selection, the editor.
    std::string dump() const {
        std::string out;
        doc.tree().forEach([&](Section& s, int depth) {
            const bool shown = &s == doc.selected() && editor.modified();
            out +=
                std::to_string(depth) + std::string(s.name()) + "=" + (shown ? editor.text() : std::string(s.text()));
            out += "\n";
            return true;
        });
        return out + "selected " + (doc.selected() ? std::string(doc.selected()->name()) : "-") + ", " + editor.text();
    }
    std::optional<std::size_t> replace(const char* find, const char* repl, lark::TextReplaceOptions options,
                                       const lark::ReplaceProgress& progress = {}) {
        return lark::ReplaceInNotebook(doc, history, find, repl, options, progress, [&](Section* s, std::string n) {
            renamed.push_back(n);
            lark::CommitRename(doc, s, std::move(n));
            return std::vector<lark::TextChange>{};
        });
    }
};

struct NotebookReplace : ::testing::Test, ReplaceBook {};

TEST_F(NotebookReplace, NamesAndTextsByOption) {
    const struct {
        const char* find;
        bool names, matchCase;
        std::size_t count;
        const char* outline;  // nullptr: nothing changed, no step
    } rows[] = {
        {"plan", true, false, 6, "0Step=the Step\r\nStep b\n1Notes=no match\n1Step B=Step\n0Other=Stepet\n"},
        {"plan", false, false, 4, "0Plan=the Step\r\nStep b\n1Notes=no match\n1plan B=Step\n0Other=Stepet\n"},
        {"plan", true, true, 3, "0Plan=the Step\r\nPLAN b\n1Notes=no match\n1Step B=Step\n0Other=Planet\n"},
        {"absent", true, false, 0, nullptr},
        {"", true, false, 0, nullptr},
    };
    for (const auto& row : rows) {
        ReplaceBook book;
        const std::string before = book.dump();
        EXPECT_EQ(book.replace(row.find, "Step", {row.matchCase, row.names}), row.count);
        const std::string after = book.dump();
        EXPECT_EQ(after.substr(0, after.find("selected")),
                  row.outline ? row.outline : before.substr(0, before.find("selected")));
        EXPECT_EQ(book.doc.treeModified(), row.outline != nullptr);
        EXPECT_EQ(book.history.undoCount(), row.outline ? 1u : 0u);
    }
}

// The text being edited is replaced with the stored ones; one undo gives back every text,
// name and the selection, one redo the replaced state, both as full dumps.
TEST_F(NotebookReplace, OneStepUndoAndRedoAgainstFullDumps) {
    doc.SelectSection(byName("plan B"));
    history.run(doc, lark::SectionStep::Create, nullptr, [&] { lark::pmNewNodeClick(doc); });
    doc.SelectSection(byName("plan B"));
    editor.type("typed plan, not saved");
    const std::string before = dump();
    ASSERT_EQ(replace("PLAN", "Step", {}), 6u);
    const std::string after = dump();
    EXPECT_NE(after.find("selected Step B, typed Step, not saved"), std::string::npos) << after;
    ASSERT_TRUE(history.undo(doc));
    EXPECT_EQ(dump(), before);
    ASSERT_TRUE(history.redo(doc));
    EXPECT_EQ(dump(), after);
    ASSERT_TRUE(history.undo(doc));
    ASSERT_TRUE(history.undo(doc));  // the step before it still replays
    EXPECT_EQ(outline(), "Plan/0 Notes/1 plan B/1 Other/0");
    EXPECT_EQ(byName("plan B")->text(), "typed plan, not saved");
}

TEST_F(NotebookReplace, GivenUpOrOutdatedChangesNothing) {
    // Texts over the progress step, so that the plan is asked to go on more than once.
    const std::string big(std::size_t{3} << 20, 'x');
    add(nullptr, "big plan", big + "plan" + big);
    add(nullptr, "more", big + "plan");
    const std::string before = dump();
    int calls = 0;
    for (int stopAt = 1;; ++stopAt) {
        int call = 0;
        const auto count = replace("plan", "step", {}, [&](std::size_t done, std::size_t total) {
            EXPECT_LE(done, total);
            return ++call < stopAt;
        });
        if (count) {
            EXPECT_EQ(*count, 9u);
            break;
        }
        ASSERT_EQ(dump(), before) << stopAt;
        ASSERT_TRUE(renamed.empty() && history.undoCount() == 0);
        calls = call;
    }
    EXPECT_GE(calls, 3);  // given up in the middle as well as at the end
    // A plan made before the tree or a planned text changed is refused.
    for (const bool renaming : {true, false}) {
        byName("more")->content()->Text = lark::TextBuffer::copyOf("plan again");
        auto plan = lark::PlanReplace(doc.tree(), "plan", "x", {});
        ASSERT_EQ(plan->texts.size(), 1u);
        if (renaming) lark::CommitRename(doc, byName("Other"), "Renamed");
        else byName("more")->content()->Text = lark::TextBuffer::copyOf("plan, edited");
        const std::string changed = dump();
        EXPECT_FALSE(lark::ApplyReplacePlan(doc, history, *plan, {})) << renaming;
        EXPECT_EQ(dump(), changed);
    }
}

}  // namespace
