// The section tree's absolute order: the cached pre-order index must agree with a fresh
// walk after any mix of appends (the loader's pattern), inserts and removals.
#include <gtest/gtest.h>

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

}  // namespace
