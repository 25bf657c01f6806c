// Compressed saves deflate the notebook straight from its sections. The pieces must add
// up to exactly the written content, the envelope must equal packing that content, and
// a notebook the writer refuses must be refused before anything is packed.
#include <gtest/gtest.h>

#include <string>

#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/format.h"
#include "document/memory_view.h"

namespace {

struct Desk {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};
};

std::string text(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = (seed >> 16) % 5 == 0 ? ' ' : static_cast<char>(0xE0 + (seed >> 20) % 32);
    }
    return s;
}

// Sections of the given text sizes, nested by a simple pattern.
void fill(lark::Document& doc, const std::vector<std::size_t>& sizes) {
    std::vector<lark::Section*> parents(8, nullptr);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::size_t depth = i % 4;
        auto content = std::make_unique<lark::TNodeContent>();
        content->Text = lark::TextBuffer::copyOf(text(sizes[i], static_cast<unsigned>(i)));
        parents[depth] = doc.tree().appendChild(depth ? parents[depth - 1] : nullptr, "раздел " + std::to_string(i),
                                                std::move(content));
    }
}

struct Row {
    const char* name;
    std::vector<std::size_t> sizes;
    std::vector<std::string> info;
};

TEST(ZipDocument, StreamsTheWrittenContentAndPacksItToTheSameBytes) {
    const std::vector<Row> rows = {
        {"nominal: empty notebook, no info lines", {}, {}},
        {"nominal: the sample's shape", {2, 0, 4}, {"Activate=1"}},
        {"nominal: many small texts fill several gathered pieces",
         std::vector<std::size_t>(3000, 150),
         {"A=1", "Activate=7"}},
        {"nominal: large texts between small ones", {10, 300000, 0, 262144, 262143, 5, 1 << 20}, {"Activate=0"}},
        {"nominal: a large first text", {700000}, {"Activate=0"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Desk d;
        fill(d.doc, row.sizes);
        const lark::TextBuffer written = lark::WriteDocument(d.doc.tree(), row.info);
        std::string streamed;
        int pieces = 0;
        lark::StreamDocument(d.doc.tree(), row.info, [&](std::string_view piece) {
            streamed.append(piece);
            ++pieces;
        });
        EXPECT_TRUE(streamed == written.view()) << "the pieces add up to the written content";
        EXPECT_EQ(lark::MeasureDocument(d.doc.tree(), row.info), written.size());
        EXPECT_GE(pieces, 1);
        const lark::TextBuffer packed = lark::ZipDocument(d.doc.tree(), row.info);
        EXPECT_TRUE(packed.view() == lark::ZipBuffer(written.view()).view());
        lark::TextBuffer unpacked = lark::TextBuffer::copyOf(packed.view());
        lark::UnzipBuffer(unpacked);
        EXPECT_TRUE(unpacked.view() == written.view());
    }
}

TEST(ZipDocument, RefusesWhatTheWriterRefusesBeforePackingAnything) {
    Desk d;
    fill(d.doc, {3, 4});
    d.doc.tree().rename(d.doc.tree().at(1), "bad\r\nname");
    std::string writerMessage;
    try {
        lark::WriteDocument(d.doc.tree(), {});
    } catch (const lark::LarkError& e) {
        writerMessage = e.what();
    }
    ASSERT_FALSE(writerMessage.empty());
    int pieces = 0;
    try {
        lark::StreamDocument(d.doc.tree(), {}, [&](std::string_view) { ++pieces; });
        ADD_FAILURE() << "StreamDocument accepted a name with a line break";
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(e.what(), writerMessage);
    }
    EXPECT_EQ(pieces, 0);
    try {
        lark::ZipDocument(d.doc.tree(), {});
        ADD_FAILURE() << "ZipDocument accepted a name with a line break";
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(e.what(), writerMessage);
        EXPECT_EQ(e.kind(), lark::ErrorKind::Write);
    }
}

}  // namespace
