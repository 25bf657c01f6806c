// Unpacking an envelope straight into the blocks of a notebook (the load pipeline's path
// for compressed files) must be indistinguishable from unpacking into one buffer and
// parsing that: same bytes, same failures, same tree, same messages.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/format.h"
#include "document/memory_view.h"

namespace {

std::string le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return s;
}

std::string block(std::string_view data) { return le32(static_cast<std::uint32_t>(data.size())) + std::string(data); }

std::string deflated(std::string_view inflated) {
    uLongf size = compressBound(static_cast<uLong>(inflated.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(inflated.data()),
                        static_cast<uLong>(inflated.size()), 9),
              Z_OK);
    out.resize(size);
    return out;
}

// An envelope whose stream states `claimed` as the content length and holds `content`.
std::string envelope(std::string_view content, std::int64_t claimed) {
    return "ZIPPED!" + deflated(le32(static_cast<std::uint32_t>(claimed)) + std::string(content));
}
std::string envelope(std::string_view content) { return envelope(content, static_cast<std::int64_t>(content.size())); }

std::string text(std::size_t n, char seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (seed + i * 7 + i / 13) % 26);
    return s;
}

// A notebook with texts of the given sizes, named s0, s1, ... at the top level.
std::string notebook(const std::vector<std::size_t>& sizes) {
    std::string outline;
    for (std::size_t i = 0; i < sizes.size(); ++i) outline += "s" + std::to_string(i) + "\r\n";
    std::string out = "LKP\x01" + block("Activate=1\r\n") + block(outline);
    for (std::size_t i = 0; i < sizes.size(); ++i) out += block(text(sizes[i], static_cast<char>(i)));
    return out;
}

// The outcome of one way of reading: the bytes, or "!" and the message.
std::string viaBuffer(const std::string& env, lark::InflateWith with = lark::InflateWith::Fastest) {
    lark::TextBuffer b = lark::TextBuffer::copyOf(env);
    try {
        lark::UnzipBuffer(b, with);
        return std::string(b.view());
    } catch (const lark::LarkError& e) {
        return std::string("!") + e.what();
    }
}
std::string viaBlocks(const std::string& env, lark::InflateWith with = lark::InflateWith::Fastest) {
    try {
        lark::BlockSource source = lark::UnzipToBlocks(env, with);
        std::string all(static_cast<std::size_t>(source.size()), '\0');
        source.read(all.data(), all.size());
        return all;
    } catch (const lark::LarkError& e) {
        return std::string("!") + e.what();
    }
}

// What a parse leaves: every section as depth/name/text, the errors, the selection.
struct Desk {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};
    Desk() { editor.lockOnLoad = false; }
    std::string dump() {
        std::string out;
        doc.tree().forEach([&](lark::Section& s, int depth) {
            out += std::to_string(depth) + "|" + std::string(s.name()) + "|" + std::string(s.text()) + "\n";
            return true;
        });
        for (const auto& e : ui.errors) out += "error:" + e + "\n";
        out += "selected:" + std::to_string(doc.tree().indexOf(doc.selected()));
        return out;
    }
};

std::string parseWith(lark::ContentSource& source) {
    Desk d;
    try {
        lark::ParseDocument(d.doc, source, true, "/nonexistent/plain-view");
    } catch (const lark::LarkError& e) {
        return d.dump() + "\nfatal:" + e.what();
    }
    return d.dump();
}

struct Row {
    const char* name;
    std::string envelope;
};

std::vector<Row> rows() {
    const std::string nb = notebook({5, 0, 300000, 17, 1 << 17, 40});
    std::string nulText =
        "LKP\x01" + block("") + block("a\r\n\tb\r\nc\r\n") + block(std::string("x\0y", 3)) + block("") + block("tail");
    return {
        {"nominal: notebook with small, empty and large texts", envelope(nb)},
        {"nominal: notebook without sections", envelope(std::string("LKP\x01\0\0\0\0", 8))},
        {"nominal: nested outline, a NUL inside a text", envelope(nulText)},
        {"nominal: one to three stray bytes after the last block", envelope(notebook({3, 4}) + "zz")},
        {"nominal: extra blocks beyond the outline", envelope(notebook({1}) + block("") + block("extra"))},
        {"nominal: bytes after the stated length are never read",
         envelope(nb + "junk", static_cast<std::int64_t>(nb.size()))},
        {"robustness: content not a notebook", envelope(text(5000, 3))},
        {"robustness: content shorter than 8 bytes", envelope("LKP\x01")},
        {"robustness: content length 0", envelope("", 0)},
        {"robustness: negative content length", envelope("whatever", -5)},
        {"robustness: version byte 2", envelope("LKP\x02" + block("") + block("a\r\n") + block("t"))},
        {"robustness: block over 16 MB", envelope("LKP\x01" + block("") + le32(16777216) + "abc")},
        {"robustness: block past the end", envelope("LKP\x01" + block("") + block("a\r\nb\r\n") + le32(100) + "short")},
        {"robustness: stream shorter than the stated length", envelope(nb, static_cast<std::int64_t>(nb.size()) + 10)},
        {"robustness: packed data cut short", envelope(nb).substr(0, envelope(nb).size() / 2)},
        {"robustness: packed data cut inside the length", envelope(nb).substr(0, 9)},
        {"robustness: not a zlib stream", std::string("ZIPPED!") + "\x12\x34garbage-garbage"},
        {"robustness: a damaged checksum",
         [&] {
             std::string e = envelope(nb);
             e.back() = static_cast<char>(e.back() ^ 0x21);
             return e;
         }()},
        {"robustness: damaged in the middle",
         [&] {
             std::string e = envelope(nb);
             for (std::size_t i = e.size() / 2; i < e.size() / 2 + 64; ++i) e[i] = static_cast<char>(e[i] ^ 0x5A);
             return e;
         }()},
    };
}

TEST(UnzipToBlocks, ReadsTheSameBytesAndFailsTheSameWayAsUnzipBuffer) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        const std::string byZlib = viaBuffer(row.envelope, lark::InflateWith::Zlib);
        EXPECT_EQ(viaBuffer(row.envelope), byZlib) << "one buffer, inflated whole";
        EXPECT_EQ(viaBlocks(row.envelope), byZlib) << "blocks, inflated whole";
        EXPECT_EQ(viaBlocks(row.envelope, lark::InflateWith::Zlib), byZlib) << "blocks, inflated by zlib";
    }
}

TEST(UnzipToBlocks, ParsingItGivesTheTreeAndMessagesOfParsingTheWholeBuffer) {
    for (const Row& row : rows()) {
        for (const auto with : {lark::InflateWith::Fastest, lark::InflateWith::Zlib}) {
            SCOPED_TRACE(std::string(row.name) + (with == lark::InflateWith::Zlib ? " (zlib)" : " (whole)"));
            lark::TextBuffer whole = lark::TextBuffer::copyOf(row.envelope);
            std::unique_ptr<lark::BlockSource> blocks;
            try {
                lark::UnzipBuffer(whole, lark::InflateWith::Zlib);
                blocks = std::make_unique<lark::BlockSource>(lark::UnzipToBlocks(row.envelope, with));
            } catch (const lark::LarkError&) {
                continue;  // a failed unpack is compared above; nothing is parsed then
            }
            lark::MemorySource memory(whole.view());
            EXPECT_EQ(parseWith(*blocks), parseWith(memory));
        }
    }
}

TEST(UnzipToBlocks, HandsStoredBlocksOverWholeAndCopiesEverythingElse) {
    const std::string nb = notebook({10, 200000});
    lark::BlockSource source = lark::UnzipToBlocks(envelope(nb));
    ASSERT_EQ(source.size(), static_cast<std::int64_t>(nb.size()));
    char head[8];
    source.read(head, 8);
    EXPECT_EQ(std::string(head, 8), nb.substr(0, 8));
    // A slice that does not match a stored block is copied out of it.
    lark::TextBuffer info = source.readBlock(5);
    EXPECT_EQ(info.view(), "Activ");
    char rest[7];
    source.read(rest, 7);
    EXPECT_EQ(std::string(rest, 7), "ate=1\r\n");
    char len[4];
    source.read(len, 4);
    lark::TextBuffer outline = source.readBlock(8);
    EXPECT_EQ(outline.view(), "s0\r\ns1\r\n");
    source.read(len, 4);
    EXPECT_EQ(source.readBlock(10).view(), text(10, 0));
    source.read(len, 4);
    EXPECT_EQ(std::string(len, 4), le32(200000)) << "the byte after a text kept in place reads as it was";
    lark::TextBuffer big = source.readBlock(200000);
    EXPECT_EQ(big.view(), text(200000, 1));
    EXPECT_EQ(big.data()[200000], '\0') << "a handed-over block is NUL-terminated like any text buffer";
    EXPECT_THROW(source.read(len, 1), lark::LarkError) << "reading past the content fails like a short read";
}

// The load pipeline reads a compressed file in pieces: a file larger than one piece,
// and damaged files, which must leave the notebook on screen untouched.
TEST(UnzipToBlocks, LoadingCompressedFilesFromDisk) {
    const std::string dir = ::testing::TempDir();
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::string path = dir + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    // Incompressible texts make the packed file span several read pieces; the last text
    // compresses well, so that damage near the end of the file is caught by zlib.
    std::string noisy = "LKP\x01" + block("Activate=1\r\n") + block("a\r\n\tb\r\nc\r\nd\r\n");
    std::uint32_t x = 12345;
    for (int s = 0; s < 3; ++s) {
        std::string t(400000, '\0');
        for (char& c : t) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        for (char& c : t)
            if (c == 0) c = 1;
        noisy += block(t);
    }
    noisy += block(text(300000, 9));
    const std::string good = write("unzip_blocks_good.lkp", envelope(noisy));
    Desk d;
    ASSERT_TRUE(d.doc.LoadDocument(good, true)) << (d.ui.errors.empty() ? "" : d.ui.errors[0]);
    Desk ref;
    lark::MemorySource memory(noisy);
    lark::ParseDocument(ref.doc, memory, true, good);
    EXPECT_EQ(d.dump(), ref.dump());
    EXPECT_EQ(d.doc.tree().count(), 4);
    EXPECT_EQ(d.doc.tree().at(3)->text(), text(300000, 9));

    const std::string before = d.dump();
    const std::string packed = envelope(noisy);
    ASSERT_GT(packed.size(), 1u << 20) << "more than one read piece";
    const std::string cut = write("unzip_blocks_cut.lkp", packed.substr(0, packed.size() - 200));
    EXPECT_FALSE(d.doc.LoadDocument(cut, true));
    ASSERT_FALSE(d.ui.errors.empty());
    EXPECT_EQ(d.ui.errors.back(), "Stream read error");
    d.ui.errors.clear();
    EXPECT_EQ(d.dump(), before) << "the parser never ran";

    std::string damaged = packed;
    for (std::size_t i = packed.size() - 400; i < packed.size() - 300; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x33);
    EXPECT_FALSE(d.doc.LoadDocument(write("unzip_blocks_damaged.lkp", damaged), true));
    ASSERT_FALSE(d.ui.errors.empty());
    EXPECT_EQ(d.ui.errors.back(), "Error");
    d.ui.errors.clear();
    EXPECT_EQ(d.dump(), before);
    for (const char* name : {"unzip_blocks_good.lkp", "unzip_blocks_cut.lkp", "unzip_blocks_damaged.lkp"})
        std::remove((dir + name).c_str());
}

}  // namespace
