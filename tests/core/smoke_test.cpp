#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "document/document.h"
#include "document/memory_view.h"

namespace {
std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

TEST(Smoke, SampleNotebookSavesToTheDocumentedBytesAndLoadsBack) {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc(view, editor, ui);
    auto& t = doc.tree();
    auto* notes = t.appendChild(nullptr, "Notes", std::make_unique<lark::TNodeContent>());
    notes->content()->Text = lark::TextBuffer::copyOf("Hi");
    t.appendChild(notes, "Todo", std::make_unique<lark::TNodeContent>());
    auto* misc = t.appendChild(nullptr, "Misc", std::make_unique<lark::TNodeContent>());
    misc->content()->Text = lark::TextBuffer::copyOf("x\r\ny");
    doc.SelectSection(t.at(1));
    const std::string path = ::testing::TempDir() + "smoke_sample.lkp";
    ASSERT_TRUE(doc.SaveDocument(path)) << (ui.errors.empty() ? "" : ui.errors.back());
    const std::string expected(
        "LKP\x01\x0c\x00\x00\x00"
        "Activate=1\r\n\x14\x00\x00\x00Notes\r\n\tTodo\r\nMisc\r\n"
        "\x02\x00\x00\x00Hi\x00\x00\x00\x00\x04\x00\x00\x00x\r\ny",
        62);
    EXPECT_EQ(readAll(path), expected);
    EXPECT_EQ(ui.status(), "Сохранено " + path);

    lark::MemoryTreeView view2;
    lark::MemoryEditor editor2;
    lark::MemoryUi ui2;
    lark::Document doc2(view2, editor2, ui2);
    EXPECT_FALSE(doc2.LoadDocument(path, true)) << "the saved file is held with a write lock";
    ASSERT_EQ(ui2.errors.size(), 1u);
    EXPECT_EQ(ui2.errors[0], "Cannot open file \"" + path + "\". " + lark::kInUseText) << "the held file is named";
    lark::CloseDocumentFile(doc.FFileHandle);
    ASSERT_TRUE(doc2.LoadDocument(path, false));
    EXPECT_EQ(doc2.tree().count(), 3);
    EXPECT_EQ(doc2.selected(), doc2.tree().at(1));
    EXPECT_EQ(doc2.tree().at(2)->text(), "x\r\ny");
    EXPECT_EQ(ui2.status(), "Открыто " + path);
    doc2.UseZip = true;
    ASSERT_TRUE(doc2.SaveDocument(path));
    EXPECT_EQ(readAll(path).substr(0, 7), "ZIPPED!");
    lark::MemoryTreeView view3;
    lark::MemoryEditor editor3;
    lark::MemoryUi ui3;
    lark::Document doc3(view3, editor3, ui3);
    lark::CloseDocumentFile(doc2.FFileHandle);
    ASSERT_TRUE(doc3.LoadDocument(path, false));
    EXPECT_EQ(doc3.tree().at(0)->text(), "Hi");
    std::remove(path.c_str());
}
