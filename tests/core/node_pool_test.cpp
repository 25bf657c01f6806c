// The pools behind the per-section records: blocks never overlap, freed ones are reused,
// and a size whose every block was freed starts afresh (its slabs released) without
// disturbing the other sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "document/node_pool.h"
#include "document/section_tree.h"

namespace {

struct Block {
    unsigned char* p;
    std::size_t size;
    unsigned char mark;
};

void fill(const Block& b) { std::memset(b.p, b.mark, b.size); }
bool intact(const Block& b) {
    for (std::size_t i = 0; i < b.size; ++i)
        if (b.p[i] != b.mark) return false;
    return true;
}

TEST(NodePool, BlocksNeverOverlapThroughReuseAndRelease) {
    // Sizes of several classes, the general-heap fall-back among them.
    const std::size_t sizes[] = {1, 16, 17, 24, 40, 96, 104, 200, 256, 257, 1000};
    std::vector<Block> live;
    unsigned char mark = 1;
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 3000; ++i) {
            const std::size_t size = sizes[static_cast<std::size_t>(i * 7 + round) % std::size(sizes)];
            Block b{static_cast<unsigned char*>(lark::PoolAllocate(size)), size, mark++};
            if (mark == 0) mark = 1;
            // As aligned as any object of that size can need: an object's size is a
            // multiple of its alignment.
            const std::size_t align = std::min<std::size_t>(16, size & (~size + 1));
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(b.p) % align, 0u) << "size " << size;
            fill(b);
            live.push_back(b);
        }
        // Free every other block (reused by the next round), then check the rest.
        std::vector<Block> kept;
        for (std::size_t i = 0; i < live.size(); ++i) {
            if (i % 2) kept.push_back(live[i]);
            else lark::PoolFree(live[i].p, live[i].size);
        }
        live.swap(kept);
        for (const Block& b : live) ASSERT_TRUE(intact(b)) << "a block of " << b.size << " bytes was overwritten";
    }
    for (const Block& b : live) lark::PoolFree(b.p, b.size);
    // Every size emptied: fresh slabs serve the next blocks.
    Block again{static_cast<unsigned char*>(lark::PoolAllocate(96)), 96, 7};
    fill(again);
    EXPECT_TRUE(intact(again));
    lark::PoolFree(again.p, again.size);
}

TEST(NodePool, SectionsAndTextsMadeAndFreedOnSeveralThreads) {
    // Snapshots let go of texts on worker threads while the window makes new ones.
    auto work = [](int seed) {
        for (int round = 0; round < 50; ++round) {
            lark::SectionTree tree;
            for (int i = 0; i < 200; ++i) {
                auto content = std::make_unique<lark::TNodeContent>();
                content->Text = lark::TextBuffer::copyOf(std::string(static_cast<std::size_t>(i % 9), 'a'));
                tree.appendChild(nullptr, "s" + std::to_string(seed + i), std::move(content));
            }
            ASSERT_EQ(tree.count(), 200);
            EXPECT_EQ(tree.at(199)->name(), "s" + std::to_string(seed + 199));
            EXPECT_EQ(tree.at(8)->text(), std::string(8, 'a'));
        }
    };
    std::thread a(work, 0), b(work, 1000);
    a.join();
    b.join();
}

}  // namespace
