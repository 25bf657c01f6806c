#include "document/snapshot.h"

#include "document/document.h"

namespace lark {

std::unique_ptr<NotebookSnapshot> TakeSnapshot(Document& doc) {
    auto snap = std::make_unique<NotebookSnapshot>();
    const bool editorChanged = doc.editor().modified();
    const Section* selected = doc.selected();
    auto editorText = [&] {
        TextBuffer text = TextBuffer::copyOf(doc.editor().text());
        text.cutAtNul();
        return text;
    };
    snap->sections.reserve(static_cast<std::size_t>(doc.tree().count()) + 1);
    doc.tree().forEach([&](const Section& s, int depth) {
        SnapshotSection& copy = snap->sections.emplace_back();
        copy.depth = depth;
        copy.name_ = s.name();
        if (&s == selected && editorChanged) copy.text_ = editorText();
        else if (const TNodeContent* content = s.content()) copy.text_ = content->Text.share();
        return true;
    });
    int active = selected ? doc.tree().indexOf(selected) : 0;
    if (!selected && editorChanged) {
        // A save would put the text into a new top-level section and select nothing.
        SnapshotSection& loose = snap->sections.emplace_back();
        loose.name_ = kNewNodeName;
        loose.text_ = editorText();
        active = 0;
    }
    snap->info = doc.FFileInfo;
    SetActivateLine(snap->info, active);
    return snap;
}

}  // namespace lark
