#pragma once
// The notebook as a save would write it at one moment: the outline, the info lines with the
// selected section, and every text, the editor's unsaved one included. The texts share the
// sections' blocks, so taking a snapshot copies names and pointers, not text, and a worker
// thread may write it out while the window goes on editing.
#include <memory>
#include <string>
#include <vector>

#include "document/section_tree.h"

namespace lark {

class Document;

struct NotebookSnapshot {
    SectionTree tree;
    std::vector<std::string> info;
};

// Leaves the document as it is: the editor's text goes into the snapshot only.
std::unique_ptr<NotebookSnapshot> TakeSnapshot(Document& doc);

}  // namespace lark
