#include "document/snapshot.h"

#include "document/document.h"

#include <algorithm>
#include <cstring>

namespace lark {

std::string_view NotebookSnapshot::keepName(std::string_view name) {
    constexpr std::size_t kBlock = std::size_t{64} * 1024;
    if (name.empty()) return {};
    if (name.size() > left_) {
        // The next kept block when it is large enough, else a new one in its place.
        if (blocksUsed_ == nameBlocks_.size() || nameBlocks_[blocksUsed_].size < name.size()) {
            const std::size_t size = std::max(kBlock, name.size());
            nameBlocks_.insert(nameBlocks_.begin() + static_cast<std::ptrdiff_t>(blocksUsed_),
                               NameBlock{std::make_unique_for_overwrite<char[]>(size), size});
        }
        free_ = nameBlocks_[blocksUsed_].bytes.get();
        left_ = nameBlocks_[blocksUsed_].size;
        ++blocksUsed_;
    }
    char* at = free_;
    std::memcpy(at, name.data(), name.size());
    free_ += name.size();
    left_ -= name.size();
    return {at, name.size()};
}

void NotebookSnapshot::clearForReuse() {
    sections.clear();
    info.clear();
    blocksUsed_ = 0;
    free_ = nullptr;
    left_ = 0;
}

std::unique_ptr<NotebookSnapshot> TakeSnapshot(Document& doc, std::unique_ptr<NotebookSnapshot> reuse) {
    std::unique_ptr<NotebookSnapshot> snap = std::move(reuse);
    if (snap) snap->clearForReuse();
    else snap = std::make_unique<NotebookSnapshot>();
    const bool editorChanged = doc.editor().modified();
    const Section* selected = doc.selected();
    auto editorText = [&] {
        TextBuffer text = TextBuffer::copyOf(doc.editor().text());
        text.cutAtNul();
        return text;
    };
    snap->sections.reserve(static_cast<std::size_t>(doc.tree().count()) + 1);
    doc.tree().forEachInOrder([&](const Section& s, int depth) {
        SnapshotSection& copy = snap->addSection(depth, s.name());
        if (&s == selected && editorChanged) copy.text_ = editorText();
        else if (const TNodeContent* content = s.content()) copy.text_ = content->Text.share();
        return true;
    });
    int active = selected ? doc.tree().indexOf(selected) : 0;
    if (!selected && editorChanged) {
        // A save would put the text into a new top-level section and select nothing.
        SnapshotSection& loose = snap->addSection(0, kNewNodeName);
        loose.text_ = editorText();
        active = 0;
    }
    snap->info = doc.FFileInfo;
    SetActivateLine(snap->info, active);
    return snap;
}

}  // namespace lark
