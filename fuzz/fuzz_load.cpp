// Feeds arbitrary bytes through the unwrap + parse path of a load.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/format.h"
#include "document/memory_view.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    editor.lockOnLoad = false;
    lark::MemoryUi ui;
    lark::Document doc(view, editor, ui);
    lark::TextBuffer buffer = lark::TextBuffer::copyOf(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        lark::UnzipBuffer(buffer);
        lark::MemorySource source(buffer.view());
        doc.FUpdating = true;
        lark::ParseDocument(doc, source, true, "/nonexistent/fuzz-input");
    } catch (const lark::LarkError&) {
    }
    return 0;
}
