#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/cp1251.h"
#include "document/document.h"
#include "document/memory_view.h"
#include "search/text_search.h"

namespace {

using lark::SearchHit;
using lark::Section;

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

// Answers the input box from a queue; records what it was asked.
struct ScriptedPrompt : lark::ISearchPrompt {
    std::deque<std::optional<std::string>> answers;
    struct Asked {
        std::string caption, prompt, initial;
    };
    std::vector<Asked> asked;
    std::optional<std::string> ask(const std::string& caption, const std::string& prompt,
                                   const std::string& initial) override {
        asked.push_back({caption, prompt, initial});
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

struct Search : ::testing::Test {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};
    lark::SearchState state;
    ScriptedPrompt prompt;

    Section* add(Section* parent, const std::string& name, const std::string& text, bool content = true) {
        auto c = content ? std::make_unique<lark::TNodeContent>() : nullptr;
        if (c && !text.empty()) c->Text = lark::TextBuffer::copyOf(text);
        return doc.tree().appendChild(parent, name, std::move(c));
    }
    // Where the last step left things: "index:start+length".
    std::string where() {
        return std::to_string(doc.tree().indexOf(doc.selected())) + ":" + std::to_string(editor.selectionStart()) +
               "+" + std::to_string(editor.selectionLength());
    }
    void global(const std::string& text) {
        prompt.answers.emplace_back(text);
        lark::miEntireSearchClick(doc, state, prompt);
    }
    void again() { lark::miSearchAgainClick(doc, state, prompt); }
};

TEST_F(Search, GlobalStepsNameFirstThenEachTextHitThenNextSectionNoWrap) {
    // 0 "Plan" (collapsed) > 1 "plan details"; 2 "Other"
    Section* plan = add(nullptr, "Plan", "a plan, a PLAN");
    add(plan, "plan details", "nothing");
    add(nullptr, "Other", "planet");
    ASSERT_FALSE(plan->expanded);
    const std::vector<std::string> expected = {"0:0+0", "0:2+4", "0:10+4", "1:0+0", "2:0+4"};
    global("PLAN");
    EXPECT_EQ(where(), expected[0]);
    EXPECT_EQ(view.focusCount, 1) << "a name match focuses the tree";
    EXPECT_EQ(editor.focusCount, 0);
    for (std::size_t k = 1; k < expected.size(); ++k) {
        again();
        EXPECT_EQ(where(), expected[k]) << "step " << k;
    }
    EXPECT_EQ(state.FSearchNode, 2);
    const int focusBefore = editor.focusCount;
    for (int k = 0; k < 3; ++k) again();
    EXPECT_EQ(where(), "2:0+4") << "no wrap-around: nothing changes after the last match";
    EXPECT_EQ(state.FSearchNode, 2);
    EXPECT_EQ(editor.focusCount, focusBefore);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.errors.empty());
    // A new global search starts at the first section again.
    global("plan");
    EXPECT_EQ(where(), "0:0+0");
}

TEST_F(Search, NewGlobalSearchTestsTheLastNameMatchAgain) {
    add(nullptr, "Plan", "plan");
    global("plan");
    EXPECT_EQ(where(), "0:0+0");
    global("PLAN");
    EXPECT_EQ(where(), "0:0+0") << "the name comes first again, not the text";
    EXPECT_EQ(state.FNameMatchNode, 0);
}

TEST_F(Search, CyrillicAndLatinCapitalsFindSmallLetters) {
    add(nullptr, cp("Раздел"), cp("первая строка\r\nвторая Ёлка и ёлка, ABC abc"));
    struct Row {
        const char* name;
        std::string typed;
        std::vector<std::size_t> hits;
    };
    const Row rows[] = {
        {"nominal: Cyrillic capitals", cp("СТРОКА"), {7}},
        {"nominal: Ё matches Ё and ё", cp("ЁЛКА"), {22, 29}},
        {"nominal: Latin capitals", "ABC", {35, 39}},
        {"nominal: mixed case across a line break", cp("КА\r\nВТО"), {11}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        editor.select(0, 0);  // else the search goes on after the previous row's match
        global(row.typed);
        std::vector<std::size_t> hits;
        for (int guard = 0; guard < 10 && doc.selected() && editor.selectionLength(); ++guard) {
            if (!hits.empty() && hits.back() == editor.selectionStart()) break;
            hits.push_back(editor.selectionStart());
            EXPECT_EQ(editor.selectionLength(), row.typed.size());
            again();
        }
        EXPECT_EQ(hits, row.hits);
    }
}

TEST_F(Search, EmptyOrMissingStringChangesNothing) {
    Section* a = add(nullptr, "A", "text");
    add(nullptr, "B", "more text");
    doc.SelectSection(a);
    editor.select(1, 2);
    for (const char* s : {"", "absent"}) {
        SCOPED_TRACE(s);
        EXPECT_EQ(lark::GlobalSearch(doc, state, s), SearchHit::None);
        EXPECT_EQ(where(), "0:1+2");
        EXPECT_EQ(state.FSearchNode, 0);
        EXPECT_EQ(state.FNameMatchNode, -1);
        EXPECT_FALSE(lark::FindInSection(doc, s));
        EXPECT_EQ(where(), "0:1+2");
    }
    EXPECT_EQ(view.focusCount, 0);
    EXPECT_EQ(editor.focusCount, 0);
}

TEST_F(Search, ClearedSelectionOrOtherSectionRestartsInsideTheCurrentSection) {
    add(nullptr, "A", "x x x");
    Section* b = add(nullptr, "B", "none");
    global("x");
    again();
    EXPECT_EQ(where(), "0:2+1");
    editor.select(3, 0);  // the user clicks: an empty selection
    again();
    EXPECT_EQ(where(), "0:0+1") << "restarts from the beginning of the section's text";
    again();
    doc.SelectSection(b);  // the user selects another section
    again();
    EXPECT_EQ(where(), "0:0+1") << "the section is selected again and searched from its start";
}

TEST_F(Search, TextTestReadsStoredTextWhileFindReadsTheEditor) {
    Section* a = add(nullptr, "A", "stored word");
    add(nullptr, "B", "word here");
    doc.SelectSection(a);
    editor.type("edited text");  // not stored yet
    global("word");
    // A's stored text matches; selecting A again changes nothing, and the editor's text
    // has no match, so the walk goes on to B (storing A's edits on the way).
    EXPECT_EQ(where(), "1:0+4");
    EXPECT_EQ(a->text(), "edited text");

    // Unstored edits are found by the in-section find but not by the text test.
    doc.SelectSection(a);
    editor.type("new word");
    global("new");
    EXPECT_EQ(doc.selected(), a);
    EXPECT_EQ(editor.selectionLength(), 0u);
}

TEST_F(Search, SectionsWithoutContentAreNameTestedOnly) {
    add(nullptr, "bare", "", false);
    add(nullptr, "full", "bare words");
    global("bare");
    EXPECT_EQ(where(), "0:0+0");
    again();
    EXPECT_EQ(where(), "1:0+4");
}

TEST_F(Search, WalkStopsAtTheCurrentLastSectionWhenSectionsVanish) {
    add(nullptr, "A", "hit");
    add(nullptr, "B", "x");
    add(nullptr, "C", "x");
    Section* d = add(nullptr, "D", "x");
    global("hit");
    EXPECT_EQ(where(), "0:0+3");
    // While the step pumps events, the last sections are deleted.
    ui.onProcessEvents = [&] {
        if (doc.tree().count() == 4) {
            doc.RemoveSection(d);
            doc.RemoveSection(doc.tree().at(2));
        }
    };
    state.FSearchText = "x";
    again();
    EXPECT_EQ(where(), "1:0+1");
    ui.onProcessEvents = nullptr;
    again();
    EXPECT_EQ(where(), "1:0+1") << "no step beyond the last remaining section";
    // Search again in a notebook with fewer sections than FSearchNode does nothing.
    state.FSearchNode = 40;
    again();
    EXPECT_EQ(where(), "1:0+1");
}

TEST_F(Search, FindInSectionStartsAfterTheSelectionOrAtTheBeginning) {
    Section* a = add(nullptr, "A", "one two one two");
    doc.SelectSection(a);
    editor.select(5, 0);  // a caret further down, nothing selected
    prompt.answers.emplace_back(std::string("ONE"));
    lark::miFindClick(doc, state, prompt);
    EXPECT_EQ(where(), "0:0+3") << "the caret position is not used";
    EXPECT_FALSE(state.FGlobalSearch);
    EXPECT_EQ(editor.focusCount, 1);
    again();
    EXPECT_EQ(where(), "0:8+3");
    again();
    EXPECT_EQ(where(), "0:8+3") << "after the last occurrence nothing changes";
    editor.canFocus = false;  // a hidden window: the selection is still made
    editor.select(0, 0);
    EXPECT_TRUE(lark::FindInSection(doc, "two"));
    EXPECT_EQ(where(), "0:4+3");
}

TEST_F(Search, PromptsAndTheirState) {
    add(nullptr, "A", "abc");
    // Search again with no search text yet opens the find prompt.
    prompt.answers.emplace_back(std::nullopt);
    again();
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_EQ(prompt.asked[0].caption, "Поиск в текущем разделе");
    EXPECT_EQ(prompt.asked[0].prompt, "Введите подстроку:");
    EXPECT_EQ(prompt.asked[0].initial, "");

    global("b");
    ASSERT_EQ(prompt.asked.size(), 2u);
    EXPECT_EQ(prompt.asked[1].caption, "Глобальный поиск");
    EXPECT_TRUE(state.FGlobalSearch);
    EXPECT_EQ(state.FSearchText, "b");

    // Cancel keeps the text and the kind of search.
    state.FSearchNode = 7;
    state.FNameMatchNode = 3;
    prompt.answers.emplace_back(std::nullopt);
    lark::miFindClick(doc, state, prompt);
    EXPECT_EQ(prompt.asked[2].initial, "b") << "the prompt starts with the last search string";
    prompt.answers.emplace_back(std::nullopt);
    lark::miEntireSearchClick(doc, state, prompt);
    EXPECT_EQ(state.FSearchText, "b");
    EXPECT_TRUE(state.FGlobalSearch);
    EXPECT_EQ(state.FSearchNode, 7);
    EXPECT_EQ(state.FNameMatchNode, 3);

    // The edit line holds at most 255 characters.
    prompt.answers.emplace_back(std::string(300, 'z'));
    lark::miFindClick(doc, state, prompt);
    EXPECT_EQ(state.FSearchText.size(), 255u);
    EXPECT_FALSE(state.FGlobalSearch);
}

TEST_F(Search, NameMatchOfTheSelectedSectionKeepsTheEditorSelection) {
    Section* a = add(nullptr, "Alpha", "alpha alpha");
    doc.SelectSection(a);
    editor.select(6, 5);
    global("alpha");
    EXPECT_EQ(where(), "0:6+5") << "selecting the selected section changes nothing";
    again();
    EXPECT_EQ(where(), "0:6+5") << "the text search continues after the editor's selection";
    EXPECT_EQ(state.FSearchNode, 0);
}

}  // namespace
