#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "document/cp1251.h"
#include "editing/section_commands.h"
#include "editing/text_replace.h"
#include "notebook.h"

namespace {

using lark::ReplaceMatches;
using lark::Section;

std::string W(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

struct ReplaceRow {
    const char* label;
    const char* text;  // UTF-8 here, Windows-1251 in the test
    const char* find;
    const char* replacement;
    bool matchCase;
    const char* expected;
    std::size_t count;
};

TEST(TextReplace, Rows) {
    const ReplaceRow rows[] = {
        {"folded Latin", "Hello hello HELLO", "hello", "bye", false, "bye bye bye", 3},
        {"case kept", "Hello hello HELLO", "hello", "bye", true, "Hello bye HELLO", 1},
        {"folded Cyrillic", "Привет ПРИВЕТ пРиВеТ", "привет", "ок", false, "ок ок ок", 3},
        {"Cyrillic case kept", "Привет ПРИВЕТ привет", "ПРИВЕТ", "ок", true, "Привет ок привет", 1},
        {"Ё folds to ё", "Ёлка ёлка ЁЛКА", "ёлка", "ель", false, "ель ель ель", 3},
        {"Ё is not Е", "Елка ёлка", "ёлка", "ель", false, "Елка ель", 1},
        {"Ё kept with case", "Ёлка ёлка", "Ёлка", "ель", true, "ель ёлка", 1},
        {"overlap: left match wins", "aaa", "aa", "b", false, "ba", 1},
        {"overlap: pairs", "aaaaa", "aa", "b", false, "bba", 2},
        {"adjacent", "ababab", "ab", "x", false, "xxx", 3},
        {"replacement holds the match", "aaa", "a", "aa", false, "aaaaaa", 3},
        {"across CR LF", "one\r\ntwo", "e\r\nt", " ", false, "on wo", 1},
        {"CR LF itself", "a\r\nb\r\n", "\r\n", ";", false, "a;b;", 2},
        {"at both ends", "xmidx", "x", "", false, "mid", 2},
        {"empty find", "abc", "", "z", false, "abc", 0},
        {"longer than the text", "ab", "abc", "z", false, "ab", 0},
        {"no match", "abc", "d", "z", true, "abc", 0},
    };
    for (const ReplaceRow& row : rows) {
        std::size_t count = 0;
        EXPECT_EQ(ReplaceMatches(W(row.text), W(row.find), W(row.replacement), row.matchCase, count), W(row.expected))
            << row.label;
        EXPECT_EQ(count, row.count) << row.label;
    }
}

// The model: a left-to-right walk that compares lower-cased bytes at every position.
std::string Model(const std::string& text, const std::string& find, const std::string& repl, bool matchCase,
                  std::size_t& count) {
    auto fold = [&](const std::string& s) { return matchCase ? s : lark::cp1251::toLower(s); };
    const std::string t = fold(text), f = fold(find);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (!f.empty() && t.compare(i, f.size(), f) == 0) {
            out += repl;
            i += f.size();
            ++count;
        } else {
            out += text[i++];
        }
    }
    return out;
}

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
        std::size_t got = 0, want = 0;
        ASSERT_EQ(ReplaceMatches(text, find, repl, matchCase, got), Model(text, find, repl, matchCase, want))
            << i << ": " << text << " / " << find;
        ASSERT_EQ(got, want) << i;
        const std::size_t first = lark::FindMatch(text, find, matchCase);
        ASSERT_EQ(first == lark::kNotFound, want == 0) << i;
    }
}

TEST(TextReplace, CharactersOutsideCp1251AreNamed) {
    const struct {
        const char* utf8;
        const char* outside;  // nullptr: every character fits
    } rows[] = {
        {"plain", nullptr},
        {"Ёлка №5 €", nullptr},
        {"a✓b", "✓"},
        {"日本", "日"},
        {"ok😀", "😀"},
        {"\xff"
         "a",
         "\xff"},
        {"a\xc3"
         "b",
         "\xc3"},
    };
    for (const auto& row : rows) {
        const std::optional<std::string> got = lark::CharOutsideCp1251(row.utf8);
        if (!row.outside) EXPECT_FALSE(got) << row.utf8;
        else EXPECT_EQ(got.value_or("none"), row.outside) << row.utf8;
    }
    EXPECT_NE(lark::OutsideCp1251Text("✓").find("«✓»"), std::string::npos);
}

struct ReplaceBook : larktest::Notebook {
    lark::SectionHistory history;
    std::vector<std::string> renamed;
    lark::SectionRenamer rename = [&](Section* s, std::string name) {
        renamed.push_back(name);
        lark::CommitRename(doc, s, std::move(name));
        return std::vector<lark::TextChange>{};
    };

    // Plan: Plan, Notes(plan B); Other — "plan" in names and texts.
    ReplaceBook() {
        Section* a = add(nullptr, "Plan", "the plan\r\nPLAN b");
        add(a, "Notes", "no match");
        add(a, "plan B", "plan");
        add(nullptr, "Other", "Planet");
        doc.SelectSection(byName("Notes"));
    }

    std::string dump() const {
        std::string out;
        const Section* sel = doc.selected();
        doc.tree().forEach([&](Section& s, int depth) {
            const std::string text = &s == sel && editor.modified() ? editor.text() : std::string(s.text());
            out += std::to_string(depth) + std::string(s.name()) + "=" + text + "\n";
            return true;
        });
        return out + "selected " + (sel ? std::string(sel->name()) : "none") + ", shows " + editor.text();
    }

    std::optional<std::size_t> replace(const char* find, const char* repl, lark::ReplaceOptions options,
                                       const lark::ReplaceProgress& progress = {}) {
        return lark::ReplaceInNotebook(doc, history, find, repl, options, progress, rename);
    }
};

struct NotebookReplace : ::testing::Test, ReplaceBook {};

TEST_F(NotebookReplace, NamesAndTextsByOption) {
    const struct {
        bool names, matchCase;
        std::size_t count;
        const char* outline;
    } rows[] = {
        {true, false, 6, "0Step=the Step\r\nStep b\n1Notes=no match\n1Step B=Step\n0Other=Stepet\n"},
        {false, false, 4, "0Plan=the Step\r\nStep b\n1Notes=no match\n1plan B=Step\n0Other=Stepet\n"},
        {true, true, 3, "0Plan=the Step\r\nPLAN b\n1Notes=no match\n1Step B=Step\n0Other=Planet\n"},
    };
    for (const auto& row : rows) {
        ReplaceBook fresh;
        const auto count = fresh.replace("plan", "Step", {row.matchCase, row.names});
        ASSERT_TRUE(count);
        EXPECT_EQ(*count, row.count);
        const std::string d = fresh.dump();
        EXPECT_EQ(d.substr(0, d.find("selected")), row.outline) << row.names << row.matchCase;
        EXPECT_TRUE(fresh.doc.treeModified());
        EXPECT_EQ(fresh.history.undoCount(), 1u);
    }
}

// The text being edited is replaced with the stored ones; one undo gives back every
// text, name and the selection, one redo the replaced state, both as full dumps.
TEST_F(NotebookReplace, OneStepUndoAndRedoAgainstFullDumps) {
    doc.SelectSection(byName("plan B"));
    history.run(doc, lark::SectionStep::Create, nullptr, [&] { lark::pmNewNodeClick(doc); });
    doc.SelectSection(byName("plan B"));
    editor.type("typed plan, not saved");
    const std::string before = dump();
    const std::size_t stepsBefore = history.undoCount();
    ASSERT_EQ(replace("PLAN", "Step", {}), 6u);
    const std::string after = dump();
    EXPECT_NE(after.find("typed Step, not saved"), std::string::npos) << after;
    EXPECT_NE(after.find("shows typed Step, not saved"), std::string::npos) << after;
    EXPECT_EQ(history.undoCount(), stepsBefore + 1);
    ASSERT_TRUE(history.undo(doc));
    EXPECT_EQ(dump(), before);
    ASSERT_TRUE(history.redo(doc));
    EXPECT_EQ(dump(), after);
    ASSERT_TRUE(history.undo(doc));
    ASSERT_TRUE(history.undo(doc));  // the step before it still replays
    EXPECT_EQ(outline(), "Plan/0 Notes/1 plan B/1 Other/0");
    EXPECT_EQ(byName("plan B")->text(), "typed plan, not saved");
}

TEST_F(NotebookReplace, CancelledAtAnyPointChangesNothing) {
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
        EXPECT_EQ(dump(), before) << stopAt;
        EXPECT_TRUE(renamed.empty());
        EXPECT_EQ(history.undoCount(), 0u);
        calls = call;
    }
    EXPECT_GE(calls, 3);  // given up in the middle as well as at the end
}

TEST_F(NotebookReplace, NothingToReplaceIsNoStep) {
    EXPECT_EQ(replace("absent", "x", {}), 0u);
    EXPECT_EQ(replace("", "x", {}), 0u);
    EXPECT_EQ(history.undoCount(), 0u);
    EXPECT_FALSE(doc.treeModified());
}

TEST_F(NotebookReplace, APlanForAnotherTreeIsRefused) {
    auto plan = lark::PlanReplace(doc.tree(), "plan", "x", {});
    ASSERT_TRUE(plan);
    lark::CommitRename(doc, byName("Other"), "Renamed");
    const std::string before = dump();
    EXPECT_FALSE(lark::ApplyReplacePlan(doc, history, *plan, rename));
    EXPECT_EQ(dump(), before);
}

}  // namespace
