// Hostile files stay cheap: the info lines kept in one block, unpacked bytes past the
// framing dropped, and the memory a load of a hostile file takes.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "document/envelope.h"
#include "document/format.h"
#include "document/info_lines.h"
#include "fixture.h"

namespace {

using coretest::block;
using coretest::Desk;
using coretest::le32;
using coretest::notebook;

// ---- info lines ----

// Random edits applied to the lines and to a vector of strings side by side; the lines
// must read back as the vector at every step, across many index strides.
TEST(InfoLines, BehavesLikeAVectorOfStringsUnderRandomEdits) {
    std::mt19937 rng(20261208);
    lark::InfoLines lines;
    std::vector<std::string> model;
    auto word = [&] {
        const int n = static_cast<int>(rng() % 4) * static_cast<int>(rng() % 5);  // often empty
        std::string w;
        for (int i = 0; i < n; ++i) w.push_back(static_cast<char>('a' + rng() % 26));
        return w;
    };
    for (int step = 0; step < 3000; ++step) {
        const unsigned op = rng() % 10;
        if (op < 6 || model.empty()) {
            const std::string w = word();
            lines.push_back(w);
            model.push_back(w);
        } else {
            const std::size_t i = rng() % model.size();
            const std::string w = word();
            lines.set(i, w);
            model[i] = w;
        }
        if (step % 97 == 0 || step > 2990) {
            ASSERT_EQ(lines, model) << "after step " << step;
            ASSERT_EQ(lines.size(), model.size());
            for (std::size_t i = 0; i < model.size(); i += 1 + rng() % 7) ASSERT_EQ(lines[i], model[i]) << "line " << i;
            ASSERT_EQ(lines.writtenSize(), [&] {
                std::size_t n = 0;
                for (const auto& m : model) n += m.size() + 2;
                return n;
            }());
        }
    }
    EXPECT_GT(model.size(), 1000u) << "the edits cross several strides of the index";
}

struct SplitRow {
    std::string label;
    std::vector<std::string> given;  // through the vector constructor
    std::vector<std::string> lines;  // what the lines read back as
};
CORETEST_PRINTS_LABEL(SplitRow)

class InfoLinesGiven : public ::testing::TestWithParam<SplitRow> {};

TEST_P(InfoLinesGiven, ReadBackAsAfterASaveAndALoad) {
    const SplitRow& row = GetParam();
    const lark::InfoLines lines(row.given);
    EXPECT_EQ(lines, row.lines);
    lark::InfoLines pushed;
    for (const auto& g : row.given) pushed.push_back(g);
    EXPECT_EQ(pushed, row.lines);
    std::string written;
    for (const auto line : lines) written.append(line).append("\r\n");
    EXPECT_EQ(lark::InfoLines::split(written), row.lines) << "what the writer writes reads back the same";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InfoLinesGiven,
    ::testing::Values(SplitRow{"nominal: plain lines", {"A=1", "", "B=2"}, {"A=1", "", "B=2"}},
                      SplitRow{"nominal: no lines", {}, {}},
                      SplitRow{"robustness: a line with CR LF inside counts as two", {"a\r\nb", "c"}, {"a", "b", "c"}},
                      SplitRow{"robustness: a lone LF at the end of a line only ends it", {"a\n", "b"}, {"a", "b"}}),
    coretest::ByLabel());

TEST(InfoLines, ReplacingALineWithOneHoldingABreakShiftsTheLaterLines) {
    std::vector<std::string> model;
    for (int i = 0; i < 600; ++i) model.push_back("L" + std::to_string(i));
    lark::InfoLines lines(model);
    lines.set(10, "x\ry");
    model[10] = "x";
    model.insert(model.begin() + 11, "y");
    EXPECT_EQ(lines, model);
    EXPECT_EQ(lines[599], "L598");
    EXPECT_EQ(lines[600], "L599");
}

// ---- unpacked bytes past the framing ----

std::string envelope(const std::string& content) { return std::string(lark::ZipBuffer(content).view()); }

std::string parseDump(lark::ContentSource& source) {
    Desk d;
    d.editor.lockOnLoad = false;
    std::string out;
    try {
        lark::ParseDocument(d.doc, source, true, "/nonexistent/plain-view");
    } catch (const lark::LarkError& e) {
        out = std::string("fatal:") + e.what() + "|";
    }
    return out + coretest::describe(d.doc.tree()) + "|" + std::to_string(d.ui.errors.size());
}

TEST(UnzipToBlocks, KeepsOnlyAFirstStretchOfTheBytesNoReaderOfANotebookLooksAt) {
    const std::size_t big = 3u << 20;
    struct Row {
        const char* label;
        std::string content;
        std::size_t readable;  // bytes a reader gets before the dropped ones
    };
    const std::string nb = notebook("", "A\r\n", {"a"});
    const Row rows[] = {
        {"robustness: not a notebook", std::string(big, 'q'), (1u << 20) + 8},
        {"robustness: a block reaching past the end", nb + le32(lark::kMaxBlockLength) + std::string(big, 'r'),
         nb.size() + 4 + (1u << 20)},
        {"robustness: a block over the length limit", nb + le32(lark::kMaxBlockLength + 1) + std::string(big, 's'),
         nb.size() + 4 + (1u << 20)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string env = envelope(row.content);
        lark::BlockSource blocks = lark::UnzipToBlocks(env);
        ASSERT_EQ(blocks.size(), static_cast<std::int64_t>(row.content.size())) << "the size is the whole content";
        lark::MemorySource whole(row.content);
        EXPECT_EQ(parseDump(blocks), parseDump(whole)) << "the parse never reads the dropped bytes";

        lark::BlockSource again = lark::UnzipToBlocks(env);
        std::string head(row.readable, '\0');
        again.read(head.data(), head.size());
        EXPECT_TRUE(head == row.content.substr(0, row.readable));
        char one;
        EXPECT_THROW(again.read(&one, 1), lark::LarkError) << "the dropped bytes cannot be read";
    }
}

TEST(UnzipToBlocks, StillChecksTheBytesItDrops) {
    const std::string content(3u << 20, 'q');
    std::string env = envelope(content);
    EXPECT_THROW(lark::UnzipToBlocks(env.substr(0, env.size() - 8)), lark::LarkError) << "cut short";
    env[env.size() - 1] ^= 0x55;  // the checksum
    EXPECT_THROW(lark::UnzipToBlocks(env), lark::LarkError) << "damaged";
}

// ---- memory ----

#if defined(__SANITIZE_ADDRESS__)
#define LARK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LARK_UNDER_ASAN 1
#endif
#endif

long long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key));
    return -1;
}

// Growth of the peak RSS while a forked child loads `path`, in KiB; -1 when it cannot be
// measured here.
[[maybe_unused]] long long loadGrowthKb(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        long long growth = -1;
        // Freed heap the parent left resident would serve the load without counting.
        malloc_trim(0);
        // Resets the peak to the present size, so that only the load counts.
        if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            const bool reset = std::fputs("5", f) >= 0;
            if (std::fclose(f) == 0 && reset) {
                const long long before = statusKb("VmHWM:");
                auto* d = new Desk;  // left to the process's end
                d->editor.lockOnLoad = false;
                d->doc.LoadDocument(path, true);
                growth = statusKb("VmHWM:") - before;
            }
        }
        (void)!write(fds[1], &growth, sizeof growth);
        _exit(0);
    }
    close(fds[1]);
    long long growth = -1;
    if (read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return growth;
}

// A notebook of `size` bytes or so, in sections of 1000 bytes of text.
[[maybe_unused]] std::string manySmallSections(std::size_t size) {
    const std::size_t count = size / 1010;
    std::string outline;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
        outline += "S\r\n";
        texts.emplace_back(1000, static_cast<char>('a' + i % 26));
    }
    return notebook("", outline, texts);
}

TEST(HostileFiles, LoadingOneCostsNoMoreThanTwiceItsSizeAndASmallAllowance) {
#ifdef LARK_UNDER_ASAN
    GTEST_SKIP() << "the sanitizer's own bookkeeping dwarfs the figures";
#else
    const std::size_t n = 3u << 20;  // a few MB: enough for the old costs to show
    struct Row {
        const char* label;
        std::string bytes;
        std::size_t unpacked = 0;  // the content inflated out of an envelope
        std::size_t sections = 0;  // each may take 128 bytes: no bound in file bytes pays for them
    };
    const std::size_t most = n / 5;  // sections of an empty name and text: 5 bytes of file each
    const Row rows[] = {
        {"robustness: an outline of empty lines", notebook("", std::string(n, '\n'), {})},
        {"robustness: info lines that are all empty", notebook(std::string(n, '\n'), "A\r\n", {"a"})},
        {"robustness: empty text blocks beyond the outline", notebook("", "", std::vector<std::string>(n / 4, ""))},
        {"robustness: a line of TABs", notebook("", std::string(4 * n, '\t') + "x", {"deep"})},
        {"robustness: a compressed notebook of empty blocks",
         envelope(std::string("LKP\x01", 4) + std::string(4 * n, '\0')), 4 * n + 4},
        {"robustness: compressed zeros", envelope(std::string(16 * n, '\0')), 16 * n},
        {"nominal: a compressed notebook of many small sections", envelope(manySmallSections(4 * n)), 4 * n},
        {"robustness: the most sections a file can hold",
         notebook("", std::string(most, '\n'), {}) + std::string(4 * most, '\0'), 0, most},
    };
    coretest::ScratchDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string path = dir.file("hostile.lkp");
        coretest::writeFile(path, row.bytes);
        const long long growth = loadGrowthKb(path);
        if (growth < 0) GTEST_SKIP() << "the peak RSS cannot be reset here";
        const long long allowedKb =
            static_cast<long long>((row.unpacked + 2 * row.bytes.size() + 128 * row.sections) / 1024) + 8LL * 1024;
        EXPECT_LE(growth, allowedKb) << "file of " << row.bytes.size() << " bytes";
    }
#endif
}

}  // namespace
