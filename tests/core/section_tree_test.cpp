// The section tree's absolute order: the cached pre-order index must agree with a fresh
// walk after any mix of appends (the loader's pattern), inserts and removals. The children
// lists and the compact names against plain standard containers.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "fixture.h"

namespace {

using coretest::addSection;

void expectOrderAgrees(const lark::SectionTree& tree) {
    // The cached order with its cached depths first, as the appends left it.
    std::vector<std::pair<lark::Section*, int>> cached;
    tree.forEachInOrder([&](lark::Section& s, int depth) {
        cached.emplace_back(&s, depth);
        return true;
    });
    std::vector<lark::Section*> walked;
    tree.forEach([&](lark::Section& s, int depth) {
        EXPECT_EQ(s.depth(), depth);
        if (walked.size() < cached.size()) {
            EXPECT_EQ(cached[walked.size()].first, &s) << "index " << walked.size();
            EXPECT_EQ(cached[walked.size()].second, depth) << "index " << walked.size();
        }
        walked.push_back(&s);
        return true;
    });
    EXPECT_EQ(cached.size(), walked.size());
    ASSERT_EQ(static_cast<int>(walked.size()), tree.count());
    for (int i = 0; i < tree.count(); ++i) {
        EXPECT_EQ(tree.at(i), walked[static_cast<std::size_t>(i)]) << "index " << i;
        EXPECT_EQ(tree.indexOf(walked[static_cast<std::size_t>(i)]), i);
    }
    EXPECT_EQ(tree.at(-1), nullptr);
    EXPECT_EQ(tree.at(tree.count()), nullptr);
}

TEST(SectionTree, OrderAgreesAfterAppendsLikeAFileLoad) {
    // Each new section goes under the most recent one a level up, as the reader does,
    // including parents that do not end the order so far.
    lark::SectionTree tree;
    std::vector<lark::Section*> lastAtLevel(12, nullptr);
    std::uint32_t seed = 99;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int level = 1 + static_cast<int>((seed >> 16) % 10);
        lark::Section* s = addSection(tree, lastAtLevel[static_cast<std::size_t>(level - 1)], "s" + std::to_string(i));
        lastAtLevel[static_cast<std::size_t>(level)] = s;
        if (i % 500 == 0) expectOrderAgrees(tree);
    }
    expectOrderAgrees(tree);
}

TEST(SectionTree, OrderAgreesAfterInsertsMovesAndRemovals) {
    lark::SectionTree tree;
    auto* a = addSection(tree, nullptr, "a");
    auto* b = addSection(tree, nullptr, "b");
    auto* a1 = addSection(tree, a, "a1");
    expectOrderAgrees(tree);
    auto* a2 = addSection(tree, a, "a2");  // appended under a section that does not end the order
    EXPECT_EQ(tree.indexOf(a2), 2);
    expectOrderAgrees(tree);
    tree.insertChild(nullptr, 0, "first", std::make_unique<lark::TNodeContent>());
    expectOrderAgrees(tree);
    auto* b1 = addSection(tree, b, "b1");
    auto* b11 = addSection(tree, b1, "b11");
    expectOrderAgrees(tree);
    tree.move(b1, a1, 0);
    expectOrderAgrees(tree);
    addSection(tree, b11, "b111");  // under a moved section, now in the middle
    expectOrderAgrees(tree);
    tree.remove(a2);
    expectOrderAgrees(tree);
    addSection(tree, b, "b2");
    expectOrderAgrees(tree);
    tree.clear();
    EXPECT_EQ(tree.count(), 0);
    addSection(tree, nullptr, "again");
    expectOrderAgrees(tree);
}

// Random inserts, moves and removals, mirrored in a map of vectors: every parent's children,
// their rows and their parent agree after each step.
TEST(SectionTree, ChildrenAgreeWithAPlainModelThroughRandomEdits) {
    lark::SectionTree tree;
    std::map<lark::Section*, std::vector<lark::Section*>> ref{{nullptr, {}}};
    std::vector<lark::Section*> all;
    std::uint32_t seed = 7;
    auto next = [&](std::size_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::size_t>(seed >> 8) % n;
    };
    for (int step = 0; step < 3000; ++step) {
        lark::Section* to = all.empty() || next(4) == 0 ? nullptr : all[next(all.size())];
        lark::Section* s = all.empty() ? nullptr : all[next(all.size())];
        const std::size_t row = next(ref[to].size() + 1);  // a move counts it with s in place
        const std::size_t op = all.size() < 5 ? 0 : next(3);
        if (op == 0) {
            s = tree.insertChild(to, static_cast<int>(row), "s", std::make_unique<lark::TNodeContent>());
            ref[to].insert(ref[to].begin() + static_cast<std::ptrdiff_t>(row), s);
            ref[s];
            all.push_back(s);
            continue;
        }
        if (op == 1 ? !ref[s].empty() : to && s->contains(to)) continue;
        auto& from = ref[s->parent()];
        const auto at = std::find(from.begin(), from.end(), s);
        const bool later = s->parent() == to && static_cast<std::ptrdiff_t>(row) > at - from.begin();
        from.erase(at);
        if (op == 1) {
            ref.erase(s);
            all.erase(std::find(all.begin(), all.end(), s));
            tree.remove(s);
        } else {
            tree.move(s, to, static_cast<int>(row));
            ref[to].insert(ref[to].begin() + static_cast<std::ptrdiff_t>(row) - (later ? 1 : 0), s);
        }
        for (const auto& [parent, kids] : ref) {
            ASSERT_EQ(tree.childCount(parent), static_cast<int>(kids.size())) << "step " << step;
            for (std::size_t i = 0; i < kids.size(); ++i) {
                ASSERT_EQ(tree.childAt(parent, static_cast<int>(i)), kids[i]) << "step " << step << " row " << i;
                ASSERT_EQ(kids[i]->row(), static_cast<int>(i));
                ASSERT_EQ(kids[i]->parent(), parent);
            }
        }
    }
    expectOrderAgrees(tree);
}

// Names either side of the 15 bytes held in place, renamed across that limit both ways and
// to a part of themselves.
TEST(SectionTree, NamesOfEveryLengthSurviveRenames) {
    const std::string names[] = {"", "a", std::string(15, 'b'), std::string(16, 'c'), std::string(300, 'd') + "\xFF"};
    lark::SectionTree tree;
    for (const std::string& first : names) {
        for (const std::string& second : names) {
            lark::Section* s = addSection(tree, nullptr, first);
            EXPECT_EQ(s->name(), first);
            tree.rename(s, second);
            EXPECT_EQ(s->name(), second);
            const std::size_t cut = second.empty() ? 0 : 1;
            tree.rename(s, s->name().substr(cut));  // a view of the name being replaced
            EXPECT_EQ(s->name(), std::string_view(second).substr(cut));
        }
    }
}

}  // namespace
