#pragma once
// The notebook as a save would write it at one moment: the outline, the info lines with the
// selected section, and every text, the editor's unsaved one included. The texts share the
// sections' blocks, so taking a snapshot copies names and pointers, not text, and a worker
// thread may write it out while the window goes on editing.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/info_lines.h"
#include "document/text_buffer.h"

namespace lark {

class Document;

struct SnapshotSection {
    int depth = 0;
    std::string name_;
    TextBuffer text_;
    const std::string& name() const { return name_; }
    std::string_view text() const { return text_.view(); }
};

struct NotebookSnapshot {
    std::vector<SnapshotSection> sections;  // in absolute order
    InfoLines info;

    // Visits the sections in order with their depth, as SectionTree::forEach does.
    template <class Visit>
    void forEach(Visit&& visit) const {
        for (const auto& s : sections)
            if (!visit(s, s.depth)) return;
    }
};

// Leaves the document as it is: the editor's text goes into the snapshot only.
std::unique_ptr<NotebookSnapshot> TakeSnapshot(Document& doc);

}  // namespace lark
