// The three-way merge of notebooks: a table of changes on one side, on both, in conflict;
// the two-way union; and random edits checked against a model.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "document/cp1251.h"
#include "document/document.h"
#include "merge/notebook_merge.h"

namespace {

using lark::NotebookSnapshot;
using lark::TextBuffer;
using lark::merge::MergeResult;

// A notebook as "..Name|line/line;...": dots give the depth, '/' a line break (CR LF).
NotebookSnapshot Nb(const std::string& rows) {
    NotebookSnapshot nb;
    std::istringstream in(rows);
    for (std::string row; std::getline(in, row, ';');) {
        const std::size_t depth = row.find_first_not_of('.');
        const std::size_t bar = row.find('|');
        std::string text = bar == std::string::npos ? "" : row.substr(bar + 1);
        for (std::size_t i; (i = text.find('/')) != std::string::npos;) text.replace(i, 1, "\r\n");
        nb.addSection(static_cast<int>(depth), row.substr(depth, bar - depth)).text_ = TextBuffer::copyOf(text);
    }
    return nb;
}

std::string Rows(const NotebookSnapshot& nb) {
    std::string rows;
    for (const auto& s : nb.sections) {
        std::string text(s.text());
        for (std::size_t i; (i = text.find("\r\n")) != std::string::npos;) text.replace(i, 2, "/");
        if (!rows.empty()) rows += ';';
        rows += std::string(static_cast<std::size_t>(s.depth), '.') + lark::cp1251::toUtf8(s.name());
        if (!text.empty()) rows += "|" + text;
    }
    return rows;
}

struct MergeRow {
    const char* label;
    const char* base;  // nullptr: a merge without a base
    const char* ours;
    const char* theirs;
    const char* merged;
    const char* conflicts;  // "path@section+copy" each, ';' between
    int changed;
};

const MergeRow kRows[] = {
    {"ours edits", "A|1;B|2", "A|1x;B|2", "A|1;B|2", "A|1x;B|2", "", 0},
    {"theirs edits", "A|1;B|2", "A|1;B|2", "A|1;B|2y", "A|1;B|2y", "", 1},
    {"same edit on both", "A|1;B|2", "A|1z;B|2", "A|1z;B|2", "A|1z;B|2", "", 0},
    {"inserts on both sides", "A|1;B|2", "A|1;N|n;B|2", "A|1;B|2;.M|m", "A|1;N|n;B|2;.M|m", "", 1},
    {"same insert on both", "A|1", "A|1;N|n", "A|1;N|n", "A|1;N|n", "", 0},
    {"delete on one side", "A|1;B|2;C|3", "A|1;C|3", "A|1;B|2;C|3", "A|1;C|3", "", 0},
    {"deletes on both", "A|1;B|2;C|3", "A|1;C|3", "B|2;C|3", "C|3", "", 1},
    {"delete vs edit keeps the edit", "A|1;B|2", "A|1", "A|1;B|2e", "A|1;B|2e", "", 1},
    {"untouched vs deleted goes", "A|1;B|2", "A|1;B|2e", "B|2", "B|2e", "", 1},
    {"rename vs edit", "A|a1/a2/a3;B|2", "R|a1/a2/a3;B|2", "A|a1/a2/a3x;B|2", "R|a1/a2/a3x;B|2", "", 1},
    {"rename vs rename keeps ours", "A|1", "R|1", "S|1", "R|1", "R@0+-1", 0},
    {"move across parents vs edit", "P|p;.B|b1/b2;Q|q", "P|p;Q|q;.B|b1/b2", "P|p;.B|b1/b2x;Q|q", "P|p;Q|q;.B|b1/b2x",
     "", 1},
    {"reorder vs edit", "A|a;B|b;C|c", "C|c;A|a;B|b", "A|a;B|bb;C|c", "C|c;A|a;B|bb", "", 1},
    {"lines merge", "A|1/2/3/4/5", "A|1x/2/3/4/5", "A|1/2/3/4/5y", "A|1x/2/3/4/5y", "", 1},
    {"conflicting lines keep both", "P;.A|1/2/3;..K|k;B|b", "P;.A|1/X/3;..K|k;B|b", "P;.A|1/Y/3;..K|k;B|b",
     "P;.A|1/X/3;..K|k;.A (конфликт)|1/Y/3;B|b", "P / A@1+3", 1},
    {"duplicate names pair by text, then occurrence", "N|a;N|b;N|c", "N|a;N|bx;N|c", "N|new;N|a;N|b;N|c",
     "N|new;N|a;N|bx;N|c", "", 1},
    {"renamed parent without text, child edited", "P;.C1|c1;.C2|c2", "Q;.C1|c1;.C2|c2", "P;.C1|c1;.C2|c2x",
     "Q;.C1|c1;.C2|c2x", "", 1},
    {"deleted parent keeps what theirs added under it", "P|p;.C|c;Z|z", "Z|z", "P|p;.C|c;.D|d;Z|z", "P|p;.D|d;Z|z", "",
     2},
    {"moves into each other", "A|a;B|b", "B|b;.A|a", "A|a;.B|b", "B|b;.A|a", "", 0},
    {"empty notebooks", "", "", "", "", "", 0},
    {"empty base", "", "O|o", "T|t", "O|o;T|t", "", 1},
    {"no base: the union", nullptr, "A|1;B|2;C|3", "A|1;B|2x;D|4;.E|5", "A|1;B|2;B (конфликт)|2x;D|4;.E|5;C|3", "B@1+2",
     3},
};

TEST(NotebookMerge, Table) {
    for (const MergeRow& row : kRows) {
        SCOPED_TRACE(row.label);
        const MergeResult r = row.base ? lark::merge::MergeNotebooks(Nb(row.base), Nb(row.ours), Nb(row.theirs))
                                       : lark::merge::MergeTwoWay(Nb(row.ours), Nb(row.theirs));
        EXPECT_EQ(Rows(r.notebook), row.merged);
        std::string conflicts;
        for (const auto& c : r.conflicts)
            conflicts += (conflicts.empty() ? "" : ";") + lark::cp1251::toUtf8(c.path) + "@" +
                         std::to_string(c.section) + "+" + std::to_string(c.copy);
        EXPECT_EQ(conflicts, row.conflicts);
        EXPECT_EQ(r.changed, row.changed);
    }
}

TEST(NotebookMerge, InfoLinesAndSelection) {
    NotebookSnapshot base = Nb("A|1;B|2"), ours = Nb("A|1;B|2"), theirs = Nb("N|n;A|1;B|2");
    base.info = {"Activate=0", "Font=x"};
    ours.info = {"Activate=1", "Font=x"};
    theirs.info = {"Activate=0", "Font=y"};
    MergeResult r = lark::merge::MergeNotebooks(base, ours, theirs);
    EXPECT_EQ(r.notebook.info, (std::vector<std::string>{"Activate=2", "Font=y"}));  // B moved one down
    ours.info = {"Activate=1", "Font=z"};
    r = lark::merge::MergeNotebooks(base, ours, theirs);
    EXPECT_EQ(r.notebook.info, (std::vector<std::string>{"Activate=2", "Font=z"}));
}

TEST(NotebookMerge, UnchangedMergeIsOursByteForByte) {
    NotebookSnapshot nb = Nb("A|\xE0\xE1/;..B|x;C|");  // a skipped level hangs under A
    const MergeResult r = lark::merge::MergeNotebooks(nb, nb, nb);
    EXPECT_EQ(Rows(r.notebook), "A|\xE0\xE1/;.B|x;C");
    EXPECT_EQ(r.notebook.sections[0].text().data(), nb.sections[0].text().data());  // shared, not copied
    EXPECT_EQ(r.changed, 0);
}

// A random notebook model: sections in order with depth and a stable id.
struct Sec {
    int id;
    int depth;
    std::string name;
    std::vector<std::string> lines;
};
using Model = std::vector<Sec>;

std::size_t Find(const Model& m, int id) {
    for (std::size_t i = 0; i < m.size(); ++i)
        if (m[i].id == id) return i;
    return m.size();
}
std::size_t SubtreeEnd(const Model& m, std::size_t i) {
    std::size_t e = i + 1;
    while (e < m.size() && m[e].depth > m[i].depth) ++e;
    return e;
}

struct Edit {
    enum Kind { Text, Rename, Insert, Delete, Move } kind;
    int id;     // the section edited, or the one inserted / moved after
    int other;  // the section moved, or the new section's id
    std::string word;
};

void Apply(Model& m, const Edit& e) {
    const std::size_t i = Find(m, e.id);
    if (i == m.size()) return;
    switch (e.kind) {
    case Edit::Text: m[i].lines.push_back(e.word); break;
    case Edit::Rename: m[i].name = e.word; break;
    case Edit::Insert:
        m.insert(m.begin() + static_cast<std::ptrdiff_t>(SubtreeEnd(m, i)), Sec{e.other, m[i].depth, e.word, {e.word}});
        break;
    case Edit::Delete: m.erase(m.begin() + static_cast<std::ptrdiff_t>(i)); break;
    case Edit::Move: {  // the subtree of e.other goes right after the subtree of e.id
        const std::size_t s = Find(m, e.other), end = SubtreeEnd(m, s), after = SubtreeEnd(m, i);
        for (std::size_t k = s + 1; k < end; ++k) m[k].depth += m[i].depth - m[s].depth;
        m[s].depth = m[i].depth;
        auto at = [&](std::size_t k) { return m.begin() + static_cast<std::ptrdiff_t>(k); };
        if (after <= s) std::rotate(at(after), at(s), at(end));
        else std::rotate(at(s), at(end), at(after));
        break;
    }
    }
}

NotebookSnapshot Snap(const Model& m) {
    NotebookSnapshot nb;
    for (const Sec& s : m) {
        std::string text;
        for (const auto& l : s.lines) text += l + "\r\n";
        nb.addSection(s.depth, s.name).text_ = TextBuffer::copyOf(text);
    }
    return nb;
}

Model RandomModel(std::mt19937& rng, int& nextId) {
    Model m;
    const int n = 3 + static_cast<int>(rng() % 25);
    for (int i = 0; i < n; ++i) {
        const int depth = m.empty() ? 0 : static_cast<int>(rng() % static_cast<unsigned>(m.back().depth + 2));
        const int id = nextId++;
        Sec s{id, depth, "s" + std::to_string(id), {}};
        if (rng() % 4 == 0) s.name = "same";  // equal names among siblings
        for (int l = 0; l < 3; ++l) s.lines.push_back("line " + std::to_string(id) + "." + std::to_string(l));
        m.push_back(s);
    }
    return m;
}

// An edit valid on `m`, touching sections not in `touched` (which it extends), or nothing.
std::optional<Edit> RandomEdit(std::mt19937& rng, const Model& m, std::set<int>& touched, int& nextId,
                               bool topLevelMoves) {
    if (m.empty()) return std::nullopt;
    const std::size_t i = rng() % m.size();
    const int id = m[i].id;
    if (touched.contains(id)) return std::nullopt;
    const std::string word = "w" + std::to_string(nextId);
    Edit e{static_cast<Edit::Kind>(rng() % 5), id, nextId++, word};
    if (e.kind == Edit::Delete && SubtreeEnd(m, i) != i + 1) return std::nullopt;
    if (e.kind == Edit::Move) {
        const std::size_t a = rng() % m.size();
        if (touched.contains(m[a].id) || (topLevelMoves && m[a].depth != 0)) return std::nullopt;
        if (a >= i && a < SubtreeEnd(m, i)) return std::nullopt;  // into itself
        e.id = m[a].id;
        e.other = id;
        touched.insert(m[a].id);
    }
    touched.insert(id);
    return e;
}

TEST(NotebookMerge, EditsOfDifferentSectionsAllApply) {
    std::mt19937 rng(31);
    for (int round = 0; round < 300; ++round) {
        int nextId = 0;
        const Model base = RandomModel(rng, nextId);
        Model ours = base, theirs = base, both = base;
        std::set<int> touched;
        const int edits = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < edits; ++k) {
            // Each edit applies to the base's sections as they stand on its side.
            Model& side = rng() % 2 ? ours : theirs;
            auto e = RandomEdit(rng, base, touched, nextId, true);
            if (e) Apply(side, *e), Apply(both, *e);
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const MergeResult r = lark::merge::MergeNotebooks(Snap(base), Snap(ours), Snap(theirs));
        ASSERT_EQ(Rows(r.notebook), Rows(Snap(both)));
        EXPECT_TRUE(r.conflicts.empty());
    }
}

TEST(NotebookMerge, AnyMergeKeepsEveryNewLine) {
    std::mt19937 rng(1031);
    for (int round = 0; round < 300; ++round) {
        int nextId = 0;
        const Model base = RandomModel(rng, nextId);
        Model sides[2] = {base, base};
        for (Model& side : sides) {
            std::set<int> touched;  // each side its own: the sides may clash freely
            for (int k = 0; k < 6; ++k)
                if (auto e = RandomEdit(rng, side, touched, nextId, false)) Apply(side, *e);
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const MergeResult r = lark::merge::MergeNotebooks(Snap(base), Snap(sides[0]), Snap(sides[1]));
        auto texts = [](const NotebookSnapshot& nb) {  // every line as "\n<line>\r\n"
            std::string all = "\n";
            for (const auto& s : nb.sections) all += std::string(s.text()) + "\n";
            return all;
        };
        const std::string merged = texts(r.notebook), was = texts(Snap(base));
        for (const Model& side : sides)
            for (const Sec& s : side)
                for (const auto& l : s.lines)
                    EXPECT_TRUE(was.find("\n" + l + "\r\n") != std::string::npos ||
                                merged.find("\n" + l + "\r\n") != std::string::npos)
                        << l;
        // The merged notebook's outline is a tree: no section deeper than one below the one before.
        for (std::size_t i = 1; i < r.notebook.sections.size(); ++i)
            EXPECT_LE(r.notebook.sections[i].depth, r.notebook.sections[i - 1].depth + 1);
    }
}

}  // namespace
