#pragma once
// A notebook in memory with the document's fake view, editor and message boxes.
#include <memory>
#include <string>

#include "document/document.h"
#include "document/memory_view.h"

namespace larktest {

using lark::Section;

struct Notebook {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};

    Section* add(Section* parent, const std::string& name, const std::string& text = {}) {
        auto content = std::make_unique<lark::TNodeContent>();
        if (!text.empty()) content->Text = lark::TextBuffer::copyOf(text);
        return doc.tree().appendChild(parent, name, std::move(content));
    }
    // The whole tree as "name/depth" in absolute order.
    std::string outline() const {
        std::string out;
        doc.tree().forEach([&](Section& s, int depth) {
            if (!out.empty()) out += ' ';
            out += std::string(s.name()) + "/" + std::to_string(depth);
            return true;
        });
        return out;
    }
    Section* byName(const std::string& name) {
        Section* found = nullptr;
        doc.tree().forEach([&](Section& s, int) {
            if (s.name() == name) found = &s;
            return !found;
        });
        return found;
    }
};

}  // namespace larktest
