#include "editing/section_history.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace lark {

namespace {

SectionPath PathOf(const Section* s) {
    SectionPath path;
    for (; s; s = s->parent()) path.push_back(s->row());
    std::reverse(path.begin(), path.end());
    return path;
}

Section* At(const SectionTree& tree, const SectionPath& path) {
    Section* s = nullptr;
    for (const int row : path) {
        if (row < 0 || row >= tree.childCount(s)) return nullptr;
        s = tree.childAt(s, row);
    }
    return s;
}

// The child of `parent` at `row` as the rows are counted with `skip` left out.
Section* ChildSkipping(const SectionTree& tree, const Section* parent, int row, const Section* skip) {
    const int n = tree.childCount(parent);
    for (int i = 0; i < n; ++i) {
        Section* c = tree.childAt(parent, i);
        if (c == skip) continue;
        if (row-- == 0) return c;
    }
    return nullptr;
}

// Moves `section` to `path`, a place in the tree as it is without the section.
bool MoveTo(SectionTree& tree, Section* section, const SectionPath& path) {
    if (path.empty()) return false;
    Section* parent = nullptr;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        parent = ChildSkipping(tree, parent, path[i], section);
        if (!parent || section->contains(parent)) return false;
    }
    int row = path.back();
    const int rows = tree.childCount(parent) - (section->parent() == parent ? 1 : 0);
    if (row < 0 || row > rows) return false;
    // The tree counts the row with the section still in place.
    if (section->parent() == parent && section->row() <= row) ++row;
    tree.move(section, parent, row);
    return true;
}

bool SameBuffer(const TextBuffer& a, const TextBuffer& b) { return a.data() == b.data() && a.size() == b.size(); }

}  // namespace

std::size_t SectionHistory::bytesOf(const Step& step) {
    std::size_t n = 0;
    for (const Node& node : step.subtree) n += node.text.size() + node.name.size();
    for (const Rewrite& r : step.texts) n += r.before.size() + r.after.size();
    for (const Retitle& r : step.names) n += r.before.size() + r.after.size();
    return n;
}

void SectionHistory::clear() {
    undo_.clear();
    redo_.clear();
    bytes_ = 0;
}

void SectionHistory::run(Document& doc, SectionStep kind, Section* subject, const std::function<void()>& command) {
    // What the editor shows belongs to its section: a deleted section takes it along.
    if (kind == SectionStep::Delete && subject) doc.tvNodesChanging(false);
    SectionTree& tree = doc.tree();
    if (!valid(doc)) clear();
    Step step(kind);
    step.selectedBefore = PathOf(doc.selected());
    if (subject) step.from = PathOf(subject);
    if (kind == SectionStep::Delete && subject) step.subtree = takeSubtree(subject);
    const std::uint64_t before = tree.revision();
    command();
    const std::uint64_t changes = tree.revision() - before;
    if (changes == 0) {
        revision_ = tree.revision();
        return;
    }
    const bool described =
        changes == 1 && (kind == SectionStep::Create ? doc.selected() != nullptr : subject != nullptr);
    if (!described) {
        clear();
        return;
    }
    if (kind == SectionStep::Create) step.to = PathOf(doc.selected());
    if (kind == SectionStep::Move) step.to = PathOf(subject);
    step.selectedAfter = PathOf(doc.selected());
    push(doc, std::move(step));
}

void SectionHistory::runRename(Document& doc, Section* section,
                               const std::function<std::vector<TextChange>()>& command) {
    SectionTree& tree = doc.tree();
    if (!valid(doc)) clear();
    Step step(SectionStep::Rename);
    step.selectedBefore = PathOf(doc.selected());
    if (section) {
        step.from = PathOf(section);
        step.nameBefore = section->name();
    }
    const std::uint64_t before = tree.revision();
    std::vector<TextChange> changed = command();
    const std::uint64_t changes = tree.revision() - before;
    if (changes == 0 && changed.empty()) {
        revision_ = tree.revision();
        return;
    }
    if (!section || changes != 1) {
        clear();
        return;
    }
    step.nameAfter = section->name();
    for (TextChange& c : changed) {
        const TNodeContent* content = c.section->content();
        step.texts.push_back({PathOf(c.section), std::move(c.before), content ? content->Text.share() : TextBuffer()});
    }
    step.selectedAfter = PathOf(doc.selected());
    if (step.nameBefore == step.nameAfter && step.texts.empty()) {
        revision_ = tree.revision();
        return;
    }
    // Naming a section just made finishes making it: undoing the creation takes the name too.
    if (step.texts.empty() && redo_.empty() && !undo_.empty() && undo_.back().kind == SectionStep::Create &&
        undo_.back().to == step.from && step.nameBefore == kNewNodeName) {
        revision_ = tree.revision();
        return;
    }
    push(doc, std::move(step));
}

void SectionHistory::runBatch(Document& doc, const std::function<BatchChanges()>& command) {
    SectionTree& tree = doc.tree();
    if (!valid(doc)) clear();
    Step step(SectionStep::Batch);
    step.selectedBefore = PathOf(doc.selected());
    const std::uint64_t before = tree.revision();
    BatchChanges changed = command();
    const std::uint64_t changes = tree.revision() - before;
    if (changes == 0 && changed.texts.empty() && changed.names.empty()) {
        revision_ = tree.revision();
        return;
    }
    if (changes != changed.names.size()) {
        clear();
        return;
    }
    std::unordered_set<const Section*> seen;
    for (TextChange& c : changed.texts) {
        if (!seen.insert(c.section).second) continue;
        const TNodeContent* content = c.section->content();
        step.texts.push_back({PathOf(c.section), std::move(c.before), content ? content->Text.share() : TextBuffer()});
    }
    for (NameChange& c : changed.names)
        step.names.push_back({PathOf(c.section), std::move(c.before), std::string(c.section->name())});
    step.selectedAfter = PathOf(doc.selected());
    push(doc, std::move(step));
}

void SectionHistory::runWholeTree(Document& doc, const std::function<void()>& command) {
    if (!valid(doc)) clear();
    Step step(SectionStep::WholeTree);
    step.selectedBefore = PathOf(doc.selected());
    step.subtree = takeAll(doc);
    step.info = doc.FFileInfo;
    command();
    step.selectedAfter = PathOf(doc.selected());
    push(doc, std::move(step));
}

std::vector<SectionHistory::Node> SectionHistory::takeAll(const Document& doc) {
    std::vector<Node> nodes;
    for (int i = 0; i < doc.tree().topLevelCount(); ++i) {
        std::vector<Node> part = takeSubtree(doc.tree().topLevel(i));
        nodes.insert(nodes.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
    }
    return nodes;
}

// Puts `nodes` in place of the whole tree and leaves the tree that was there in `nodes`.
void SectionHistory::swapTree(Document& doc, std::vector<Node>& nodes) {
    std::vector<Node> was = takeAll(doc);
    SectionTree& tree = doc.tree();
    tree.beginUpdate();
    tree.clear();
    std::vector<Section*> chain;  // the last section made at each depth
    for (Node& node : nodes) {
        auto content = std::make_unique<TNodeContent>();
        content->Level = node.level;
        content->Text = std::move(node.text);
        chain.resize(std::min(chain.size(), static_cast<std::size_t>(node.depth)));
        Section* made = tree.appendChild(chain.empty() ? nullptr : chain.back(), node.name, std::move(content));
        made->expanded = node.expanded;
        chain.push_back(made);
    }
    tree.endUpdate();
    nodes = std::move(was);
    doc.tree().forEach([&](Section& s, int) {
        if (s.expanded) doc.view().expand(&s);
        return true;
    });
}

void SectionHistory::push(Document& doc, Step step) {
    redo_.clear();
    step.bytes = bytesOf(step);
    undo_.push_back(std::move(step));
    revision_ = doc.tree().revision();
    trim();
}

void SectionHistory::trim() {
    bytes_ = 0;
    for (const Step& s : undo_) bytes_ += s.bytes;
    for (const Step& s : redo_) bytes_ += s.bytes;
    while (!undo_.empty() &&
           (undo_.size() > kMaxSteps || (bytes_ > kMaxRetainedBytes && undo_.size() + redo_.size() > 1))) {
        bytes_ -= undo_.front().bytes;
        undo_.pop_front();
    }
    // Only redo steps are left over the limit: the farthest goes first.
    while (redo_.size() > 1 && bytes_ > kMaxRetainedBytes) {
        bytes_ -= redo_.front().bytes;
        redo_.pop_front();
    }
}

std::vector<SectionHistory::Node> SectionHistory::takeSubtree(const Section* top) {
    std::vector<Node> nodes;
    std::vector<std::pair<const Section*, int>> pending{{top, 0}};
    while (!pending.empty()) {
        const auto [s, depth] = pending.back();
        pending.pop_back();
        const TNodeContent* c = s->content();
        nodes.push_back(
            {depth, std::string(s->name()), c ? c->Level : 0, c ? c->Text.share() : TextBuffer(), s->expanded});
        for (int i = s->childCount(); i-- > 0;) pending.emplace_back(s->child(i), depth + 1);
    }
    return nodes;
}

bool SectionHistory::removeSubtree(Document& doc, const SectionPath& path, std::vector<Node>& taken) {
    Section* top = At(doc.tree(), path);
    if (!top) return false;
    taken = takeSubtree(top);
    std::vector<Section*> sections;
    doc.tree().forEach([&](Section& s, int) {
        if (top->contains(&s)) sections.push_back(&s);
        return true;
    });
    // Children come after their parent in absolute order: from the end, each is a leaf.
    for (std::size_t i = sections.size(); i-- > 0;) doc.tree().remove(sections[i]);
    return true;
}

bool SectionHistory::insertSubtree(Document& doc, const SectionPath& path, std::vector<Node>& nodes) {
    if (path.empty() || nodes.empty()) return false;
    SectionTree& tree = doc.tree();
    const SectionPath parentPath(path.begin(), path.end() - 1);
    Section* parent = At(tree, parentPath);
    if (!parentPath.empty() && !parent) return false;
    const int row = path.back();
    if (row < 0 || row > tree.childCount(parent)) return false;
    std::vector<Section*> chain;  // the last section made at each depth
    std::vector<Section*> expand;
    for (Node& node : nodes) {
        auto content = std::make_unique<TNodeContent>();
        content->Level = node.level;
        content->Text = std::move(node.text);
        Section* made = nullptr;
        if (chain.empty()) {
            made = tree.insertChild(parent, row, node.name, std::move(content));
        } else {
            const auto depth = static_cast<std::size_t>(node.depth);
            if (depth == 0 || depth > chain.size()) return false;
            chain.resize(depth);
            made = tree.appendChild(chain.back(), node.name, std::move(content));
        }
        made->expanded = node.expanded;
        if (node.expanded) expand.push_back(made);
        chain.push_back(made);
    }
    nodes.clear();
    for (Section* s : expand) doc.view().expand(s);
    return true;
}

bool SectionHistory::apply(Document& doc, Step& step, bool forward) {
    SectionTree& tree = doc.tree();
    switch (step.kind) {
    case SectionStep::Create:
        return forward ? insertSubtree(doc, step.to, step.subtree) : removeSubtree(doc, step.to, step.subtree);
    case SectionStep::Delete:
        return forward ? removeSubtree(doc, step.from, step.subtree) : insertSubtree(doc, step.from, step.subtree);
    case SectionStep::Move: {
        Section* s = At(tree, forward ? step.from : step.to);
        return s && MoveTo(tree, s, forward ? step.to : step.from);
    }
    case SectionStep::WholeTree:
        swapTree(doc, step.subtree);
        std::swap(doc.FFileInfo, step.info);
        return true;
    case SectionStep::Rename: {
        Section* s = At(tree, step.from);
        if (!s) return false;
        tree.rename(s, forward ? step.nameAfter : step.nameBefore);
        swapTexts(doc, step, forward);
        return true;
    }
    case SectionStep::Batch: {
        for (const Retitle& r : step.names) {
            Section* s = At(tree, r.path);
            if (!s) return false;
            tree.rename(s, forward ? r.after : r.before);
        }
        swapTexts(doc, step, forward);
        return true;
    }
    }
    return false;
}

void SectionHistory::swapTexts(Document& doc, Step& step, bool forward) {
    for (Rewrite& r : step.texts) {
        Section* t = At(doc.tree(), r.path);
        TNodeContent* content = t ? t->content() : nullptr;
        // A text edited since keeps the edit: only the buffer the step left is swapped.
        if (content && SameBuffer(content->Text, forward ? r.before : r.after))
            content->Text = (forward ? r.after : r.before).share();
    }
}

bool SectionHistory::replay(Document& doc, bool forward) {
    if (!(forward ? canRedo(doc) : canUndo(doc))) return false;
    // The shown text goes into its section first: the step may take it along.
    doc.tvNodesChanging(false);
    if (!valid(doc)) {
        clear();
        return false;
    }
    auto& from = forward ? redo_ : undo_;
    Step s = std::move(from.back());
    from.pop_back();
    doc.setSelectedQuietly(nullptr);
    const bool done = apply(doc, s, forward);
    doc.setTreeModified(true);
    Section* selected = At(doc.tree(), forward ? s.selectedAfter : s.selectedBefore);
    doc.setSelectedQuietly(selected);
    if (selected) {
        doc.tvNodesChange(false);
    } else {
        doc.editor().clear();
        doc.editor().setModified(false);
    }
    if (!done) {
        // The tree no longer matches the history: nothing more of it can be replayed.
        clear();
        return false;
    }
    s.bytes = bytesOf(s);
    if (forward) undo_.push_back(std::move(s));
    else redo_.push_back(std::move(s));
    revision_ = doc.tree().revision();
    trim();
    return true;
}

bool SectionHistory::undo(Document& doc) { return replay(doc, false); }
bool SectionHistory::redo(Document& doc) { return replay(doc, true); }

}  // namespace lark
