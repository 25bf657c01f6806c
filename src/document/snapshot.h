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
    TextBuffer text_;
    std::string_view name() const { return name_; }
    std::string_view text() const { return text_.view(); }

private:
    friend struct NotebookSnapshot;
    std::string_view name_;  // in the snapshot's own name store, set through the snapshot
};

struct NotebookSnapshot {
    std::vector<SnapshotSection> sections;  // in absolute order
    InfoLines info;

    // Appends a section; its name is copied into the snapshot's own store.
    SnapshotSection& addSection(int depth, std::string_view name) {
        SnapshotSection& s = sections.emplace_back();
        s.depth = depth;
        s.name_ = keepName(name);
        return s;
    }
    void setName(SnapshotSection& section, std::string_view name) { section.name_ = keepName(name); }
    // Lets go of every text and name but keeps the storage for the next snapshot: memory
    // the process already has costs no page faults when it is filled again.
    void clearForReuse();

    // Visits the sections in order with their depth, as SectionTree::forEach does.
    template <class Visit>
    void forEach(Visit&& visit) const {
        for (const auto& s : sections)
            if (!visit(s, s.depth)) return;
    }

private:
    // Copies a name into the store (blocks that never move) and returns the copy.
    std::string_view keepName(std::string_view name);
    struct NameBlock {
        std::unique_ptr<char[]> bytes;
        std::size_t size;
    };
    std::vector<NameBlock> nameBlocks_;
    std::size_t blocksUsed_ = 0;
    char* free_ = nullptr;
    std::size_t left_ = 0;
};

// Leaves the document as it is: the editor's text goes into the snapshot only. `reuse`, when
// given, is an emptied snapshot whose storage the new one fills.
std::unique_ptr<NotebookSnapshot> TakeSnapshot(Document& doc, std::unique_ptr<NotebookSnapshot> reuse = nullptr);

}  // namespace lark
