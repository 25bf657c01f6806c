// Feeds arbitrary bytes through the unwrap + parse path of a load. Compressed input is
// also unpacked the way the load pipeline does it (straight into blocks), and both
// routes must end in the same tree, texts, messages and failure; inflating a stream whole
// must give what zlib's streaming inflate gives.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

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
    Desk() { editor.lockOnLoad = false; }

    std::string parse(lark::ContentSource& source) {
        std::string out;
        doc.FUpdating = true;
        try {
            lark::ParseDocument(doc, source, true, "/nonexistent/fuzz-input");
        } catch (const lark::LarkError& e) {
            out = std::string("fatal:") + e.what() + "\n";
        }
        doc.tree().forEach([&](lark::Section& s, int depth) {
            out += std::to_string(depth) + "|" + std::string(s.name()) + "|" + std::string(s.text()) + "\n";
            return true;
        });
        for (const auto& e : ui.errors) out += "error:" + e + "\n";
        for (const auto line : doc.FFileInfo) out += "info:" + std::string(line) + "\n";
        out += "selected:" + std::to_string(doc.tree().indexOf(doc.selected()));
        return out;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string viaBuffer;
    {
        Desk d;
        lark::TextBuffer buffer = lark::TextBuffer::copyOf(bytes);
        try {
            lark::UnzipBuffer(buffer);
            lark::MemorySource source(buffer.view());
            viaBuffer = d.parse(source);
        } catch (const lark::LarkError& e) {
            viaBuffer = std::string("unzip:") + e.what();
        }
    }
    if (lark::IsEnveloped(bytes)) {
        // Inflating the whole stream at once must give what zlib gives, bytes and failures.
        std::string whole, byZlib;
        for (auto [with, result] :
             {std::pair{lark::InflateWith::Fastest, &whole}, std::pair{lark::InflateWith::Zlib, &byZlib}}) {
            lark::TextBuffer buffer = lark::TextBuffer::copyOf(bytes);
            try {
                lark::UnzipBuffer(buffer, with);
                *result = std::string(buffer.view());
            } catch (const lark::LarkError& e) {
                *result = std::string("unzip:") + e.what();
            }
        }
        if (whole != byZlib) {
            std::fprintf(stderr, "inflating whole differs from zlib:\n--- zlib\n%s\n--- whole\n%s\n", byZlib.c_str(),
                         whole.c_str());
            std::abort();
        }
    }
    if (lark::IsEnveloped(bytes)) {
        Desk d;
        std::string viaBlocks;
        try {
            lark::BlockSource source = lark::UnzipToBlocks(bytes);
            viaBlocks = d.parse(source);
        } catch (const lark::LarkError& e) {
            viaBlocks = std::string("unzip:") + e.what();
        }
        if (viaBlocks != viaBuffer) {
            std::fprintf(stderr, "unpacking into blocks differs:\n--- buffer\n%s\n--- blocks\n%s\n", viaBuffer.c_str(),
                         viaBlocks.c_str());
            std::abort();
        }
    }
    return 0;
}
