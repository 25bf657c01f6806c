// Find all against the global search: the same matches in the same order, the lines and
// snippets of the rows, the limit and stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "document/cp1251.h"
#include "document/document.h"
#include "document/memory_view.h"
#include "document/snapshot.h"
#include "search/find_all.h"
#include "search/text_search.h"

namespace {

using lark::FindAllRow;
using lark::Section;

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }
std::string utf8(const std::string& bytes) { return lark::cp1251::toUtf8(bytes); }

// A section of a test notebook: depth, name, text; no text record when `content` is false.
struct SectionRow {
    int depth;
    const char* name;
    const char* text;
    bool content = true;
};

struct Notebook {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};

    explicit Notebook(const std::vector<SectionRow>& layout) {
        std::vector<Section*> last;  // the last section of each depth so far
        for (const SectionRow& s : layout) {
            auto content = s.content ? std::make_unique<lark::TNodeContent>() : nullptr;
            if (content && *s.text) content->Text = lark::TextBuffer::copyOf(cp(s.text));
            const auto depth = static_cast<std::size_t>(s.depth);
            Section* parent = depth == 0 ? nullptr : last.at(depth - 1);
            last.resize(depth);
            last.push_back(doc.tree().appendChild(parent, cp(s.name), std::move(content)));
        }
    }

    // Every step of a global search until it finds nothing more: "2n" for a name match of
    // section 2, "2t5" for a text match at 5.
    std::string globalSteps(const std::string& needle) {
        lark::SearchState state;
        std::string out;
        for (int guard = 0; guard < 1000; ++guard) {
            const lark::SearchHit hit = lark::GlobalSearch(doc, state, needle);
            if (hit == lark::SearchHit::None) break;
            if (!out.empty()) out += ' ';
            out += std::to_string(doc.tree().indexOf(doc.selected()));
            out += hit == lark::SearchHit::Name ? "n" : "t" + std::to_string(editor.selectionStart());
        }
        return out;
    }

    std::vector<FindAllRow> findAll(const std::string& needle, lark::FindAllOutcome* outcome = nullptr,
                                    std::size_t limit = lark::kFindAllLimit) {
        const auto snap = lark::TakeSnapshot(doc);
        std::vector<FindAllRow> rows;
        const auto o = lark::FindAll(
            *snap, needle,
            [&](FindAllRow&& row) {
                rows.push_back(std::move(row));
                return true;
            },
            nullptr, limit);
        if (outcome) *outcome = o;
        return rows;
    }
};

// The rows in the notation of Notebook::globalSteps.
std::string steps(const std::vector<FindAllRow>& rows) {
    std::string out;
    for (const FindAllRow& r : rows) {
        if (!out.empty()) out += ' ';
        out += std::to_string(r.section) + (r.inName ? "n" : "t" + std::to_string(r.offset));
    }
    return out;
}

TEST(FindAll, VisitsAsTheGlobalSearchDoes) {
    struct Row {
        const char* label;
        std::vector<SectionRow> sections;
        const char* needle;
        const char* expected;
    };
    const Row rows[] = {
        {"nominal: each section's name, then its text matches, then the next section",
         {{0, "Plan", "a plan, a PLAN"}, {1, "plan details", "nothing"}, {0, "Other", "planet"}},
         "PLAN",
         "0n 0t2 0t10 1n 2t0"},
        {"nominal: Cyrillic capitals and small letters fold together",
         {{0, "Проекты", "ПРОЕКТ, проект и Проект"}, {0, "Дом", "без него"}},
         "пРОЕкт",
         "0n 0t0 0t8 0t17"},
        {"nominal: Ё folds with ё but not with е", {{0, "Ёлки", "ёлка ЕЛКА Ёлка"}}, "ЁЛ", "0n 0t0 0t10"},
        {"nominal: a match starts where the previous one ended", {{0, "x", "aaaaa"}}, "aa", "0t0 0t2"},
        {"nominal: nested sections in absolute order, collapsed ones too",
         {{0, "A", "key"}, {1, "B", "no"}, {2, "C", "KEY key"}, {0, "D", "kEy"}},
         "key",
         "0t0 2t0 2t4 3t0"},
        {"nominal: matches across line breaks of every kind",
         {{0, "Lines", "one\r\ntwo word\rthree word\nword"}},
         "WORD",
         "0t9 0t20 0t25"},
        {"robustness: Latin a is not Cyrillic А", {{0, "А a", "Аа aA"}}, "a", "0n 0t3 0t4"},
        {"robustness: punctuation and signs have no case", {{0, "№1", "№ 1, №1"}}, "№1", "0n 0t5"},
        {"robustness: a section without a text record is tested by name only",
         {{0, "word", "", false}, {0, "other", "word"}},
         "word",
         "0n 1t0"},
        {"robustness: an empty string is found nowhere", {{0, "a", "a"}}, "", ""},
        {"robustness: found nowhere", {{0, "a", "b"}}, "zz", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Notebook nb(row.sections);
        const std::string needle = cp(row.needle);
        EXPECT_EQ(nb.globalSteps(needle), row.expected) << "the global search itself";
        Notebook fresh(row.sections);
        EXPECT_EQ(steps(fresh.findAll(needle)), row.expected);
    }
}

// "line:column+length path | snippet" with the match in brackets.
std::string describe(const FindAllRow& r) {
    std::string s = r.snippet;
    s.insert(r.snippetMatch + r.length, "]");
    s.insert(r.snippetMatch, "[");
    return std::to_string(r.line) + ":" + std::to_string(r.column) + "+" + std::to_string(r.length) + " " +
           utf8(*r.path) + " | " + utf8(s);
}

TEST(FindAll, RowsGiveLineColumnPathAndSnippet) {
    const std::string longLine = std::string(100, 'x') + "MATCH" + std::string(200, 'y');
    struct Row {
        const char* label;
        std::vector<SectionRow> sections;
        const char* needle;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"nominal: lines end with CR LF, lone CR and lone LF; the path joins the names from the top",
         {{0, "Проекты", ""}, {1, "Дом", ""}, {2, "Ремонт", "крыша\r\nокна и двери\rпол\nкрыша, пол"}},
         "Пол",
         {"3:0+3 Проекты / Дом / Ремонт | [пол]", "4:7+3 Проекты / Дом / Ремонт | крыша, [пол]"}},
        {"nominal: a name match is on line 0 with its column in the name",
         {{0, "Проекты", ""}, {1, "Старый дом", "дом"}},
         "ДОМ",
         {"0:7+3 Проекты / Старый дом | Старый [дом]", "1:0+3 Проекты / Старый дом | [дом]"}},
        {"nominal: an empty line before the match counts", {{0, "a", "\r\n\r\n\n\rend"}}, "end", {"5:0+3 a | [end]"}},
        {"nominal: the snippet shows the line in its own letter case",
         {{0, "a", "Мама МЫЛА раму"}},
         "мыла",
         {"1:5+4 a | Мама [МЫЛА] раму"}},
        {"robustness: tabs and other control bytes show as blanks",
         {{0, "a", "\tone\x01two"}},
         "two",
         {"1:5+3 a |  one [two]"}},
        {"robustness: a long line is cut around the match, with … where it is cut",
         {{0, "a", longLine.c_str()}},
         "match",
         {"1:100+5 a | …" + std::string(40, 'x') + "[MATCH]" + std::string(115, 'y') + "…"}},
        {"robustness: a match spanning a line break is emphasised up to the line's end",
         {{0, "a", "ab\ncd"}},
         "b\nc",
         {"1:1+1 a | a[b]"}},
        {"robustness: a match at the very end of the text", {{0, "a", "x\r\nyz"}}, "z", {"2:1+1 a | y[z]"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Notebook nb(row.sections);
        std::vector<std::string> got;
        for (const FindAllRow& r : nb.findAll(cp(row.needle))) got.push_back(describe(r));
        EXPECT_EQ(got, row.expected);
    }
}

TEST(FindAll, StopsAtTheLimitAndSaysWhetherMoreWereThere) {
    // Ten matches: the name, three in the first text, six in the second.
    const std::vector<SectionRow> layout = {{0, "ab", "ab ab ab"}, {0, "x", "ab\r\nab\r\nab\r\nab\r\nab\r\nab"}};
    struct Row {
        const char* label;
        std::size_t limit, rows;
        bool cut;
        const char* last;
    };
    const Row rows[] = {
        {"nominal: more room than matches", 20, 10, false, "1t20"},
        {"nominal: exactly as many as the limit is not cut", 10, 10, false, "1t20"},
        {"nominal: one more than the limit is cut", 9, 9, true, "1t16"},
        {"robustness: the limit reached at the name", 1, 1, true, "0n"},
        {"robustness: no room at all", 0, 0, true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Notebook nb(layout);
        lark::FindAllOutcome outcome;
        const auto found = nb.findAll("AB", &outcome, row.limit);
        EXPECT_EQ(found.size(), row.rows);
        EXPECT_EQ(outcome.rows, row.rows);
        EXPECT_EQ(outcome.cut, row.cut);
        EXPECT_FALSE(outcome.stopped);
        EXPECT_EQ(found.empty() ? "" : steps({found.back()}), row.last);
    }
}

TEST(FindAll, StopsWhenAskedTo) {
    const std::vector<SectionRow> layout = {{0, "a", "k k k"}, {0, "b", "k k"}, {0, "c", "k"}};
    struct Row {
        const char* label;
        int sinkRefusesAt;  // the sink returns false at this row (1-based), 0: never
        int flagAt;         // the flag is set while this row is taken, 0: never, -1: before the start
        std::size_t rows;
        bool stopped;
    };
    const Row rows[] = {
        {"nominal: runs to the end", 0, 0, 6, false},
        {"nominal: the sink refuses the second row", 2, 0, 2, true},
        {"nominal: the flag set while the fourth row is taken", 0, 4, 4, true},
        {"robustness: the flag set before the start", 0, -1, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Notebook nb(layout);
        const auto snap = lark::TakeSnapshot(nb.doc);
        std::atomic<bool> stop{row.flagAt < 0};
        int taken = 0;
        const auto outcome = lark::FindAll(
            *snap, "k",
            [&](FindAllRow&&) {
                ++taken;
                if (taken == row.flagAt) stop = true;
                return taken != row.sinkRefusesAt;
            },
            &stop);
        EXPECT_EQ(static_cast<std::size_t>(taken), row.rows);
        EXPECT_EQ(outcome.rows, row.rows);
        EXPECT_EQ(outcome.stopped, row.stopped);
    }
}

}  // namespace
