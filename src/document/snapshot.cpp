#include "document/snapshot.h"

#include "document/document.h"

namespace lark {

std::unique_ptr<NotebookSnapshot> TakeSnapshot(Document& doc) {
    auto snap = std::make_unique<NotebookSnapshot>();
    const bool editorChanged = doc.editor().modified();
    const Section* selected = doc.selected();
    std::vector<Section*> parents;  // parents[d]: the copy last placed at depth d
    snap->tree.beginUpdate();
    doc.tree().forEach([&](const Section& s, int depth) {
        auto content = std::make_unique<TNodeContent>();
        if (const TNodeContent* from = s.content()) {
            content->Level = from->Level;
            content->Text = from->Text.share();
        }
        if (&s == selected && editorChanged) {
            content->Text = TextBuffer::copyOf(doc.editor().text());
            content->Text.cutAtNul();
        }
        Section* parent = depth > 0 ? parents[static_cast<std::size_t>(depth - 1)] : nullptr;
        Section* copy = snap->tree.appendChild(parent, s.name(), std::move(content));
        parents.resize(static_cast<std::size_t>(depth) + 1);
        parents[static_cast<std::size_t>(depth)] = copy;
        return true;
    });
    int active = selected ? doc.tree().indexOf(selected) : 0;
    if (!selected && editorChanged) {
        // A save would put the text into a new top-level section and select nothing.
        auto content = std::make_unique<TNodeContent>();
        content->Text = TextBuffer::copyOf(doc.editor().text());
        content->Text.cutAtNul();
        snap->tree.appendChild(nullptr, kNewNodeName, std::move(content));
        active = 0;
    }
    snap->tree.endUpdate();
    snap->info = doc.FFileInfo;
    SetActivateLine(snap->info, active);
    return snap;
}

}  // namespace lark
