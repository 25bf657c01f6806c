#include "document/section_tree.h"

#include <cassert>

namespace lark {

Section* Section::parent() const { return parent_ && parent_->parent_ ? parent_ : nullptr; }

Section* Section::previousSibling() const {
    if (!parent_ || row_ == 0) return nullptr;
    return parent_->children_[static_cast<std::size_t>(row_ - 1)].get();
}

Section* Section::nextSibling() const {
    if (!parent_ || row_ + 1 >= parent_->childCount()) return nullptr;
    return parent_->children_[static_cast<std::size_t>(row_) + 1].get();
}

int Section::depth() const {
    int d = 0;
    for (const Section* p = parent(); p; p = p->parent()) ++d;
    return d;
}

bool Section::contains(const Section* other) const {
    for (const Section* p = other; p; p = p->parent_)
        if (p == this) return true;
    return false;
}

namespace {
// Frees a subtree without recursion, so that a very deep notebook cannot exhaust the stack.
void destroyChildren(std::vector<std::unique_ptr<Section>>& children, auto&& childrenOf) {
    std::vector<std::unique_ptr<Section>> pending = std::move(children);
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<Section> node = std::move(pending.back());
        pending.pop_back();
        auto& grand = childrenOf(*node);
        for (auto& c : grand) pending.push_back(std::move(c));
        grand.clear();
    }
}
}  // namespace

SectionTree::SectionTree() = default;
SectionTree::~SectionTree() {
    destroyChildren(
        root_.children_, [](Section & s) -> auto& { return s.children_; });
}

int SectionTree::count() const { return count_; }

void SectionTree::rebuildOrder() const {
    order_.clear();
    order_.reserve(static_cast<std::size_t>(count_));
    forEach([this](Section& s, int depth) {
        s.index_ = static_cast<int>(order_.size());
        s.depth_ = depth;
        order_.push_back(&s);
        return true;
    });
    orderValid_ = true;
}

Section* SectionTree::at(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    if (!orderValid_) rebuildOrder();
    return order_[static_cast<std::size_t>(index)];
}

int SectionTree::indexOf(const Section* section) const {
    if (!section) return -1;
    if (!orderValid_) rebuildOrder();
    return section->index_;
}

void SectionTree::renumberRows(Section* parent, int from) {
    for (int i = from; i < parent->childCount(); ++i) parent->children_[static_cast<std::size_t>(i)]->row_ = i;
}

Section* SectionTree::appendChild(Section* parent, std::string name, std::unique_ptr<TNodeContent> content) {
    Section* p = parentArg(parent);
    return insertChild(parent, p->childCount(), std::move(name), std::move(content));
}

Section* SectionTree::insertChild(Section* parent, int row, std::string name, std::unique_ptr<TNodeContent> content) {
    Section* p = parentArg(parent);
    assert(row >= 0 && row <= p->childCount());
    auto node = std::make_unique<Section>();
    node->name_ = std::move(name);
    if (content) {
        node->content_ = std::move(*content);
        node->hasContent_ = true;
    }
    node->parent_ = p;
    Section* raw = node.get();
    ++revision_;
    if (observer_ && !bulk_) observer_->beginInsert(parent, row);
    p->children_.insert(p->children_.begin() + row, std::move(node));
    renumberRows(p, row);
    ++count_;
    // Appending at the very end of the pre-order keeps the cached order valid; this is
    // what loading a file does for every section. The new last child of `p` ends the
    // pre-order exactly when the section that ended it so far lies in p's subtree. The
    // walk up from that section is short while a file loads (it climbs only as far as
    // the outline steps back), so a deep notebook does not make loading quadratic.
    bool atEnd = orderValid_ && row == p->childCount() - 1;
    if (atEnd && p != &root_) {
        atEnd = false;
        for (const Section* a = order_.empty() ? nullptr : order_.back(); a && !atEnd; a = a->parent_) atEnd = a == p;
    }
    if (atEnd) {
        raw->index_ = static_cast<int>(order_.size());
        raw->depth_ = p == &root_ ? 0 : p->depth_ + 1;
        order_.push_back(raw);
    } else {
        invalidateOrder();
    }
    if (observer_ && !bulk_) observer_->endInsert();
    return raw;
}

void SectionTree::remove(Section* section) {
    assert(section && !section->hasChildren());
    Section* p = section->parent_;
    const int row = section->row_;
    ++revision_;
    if (observer_ && !bulk_) observer_->beginRemove(publicParent(p), row);
    p->children_.erase(p->children_.begin() + row);
    renumberRows(p, row);
    --count_;
    invalidateOrder();
    if (observer_ && !bulk_) observer_->endRemove();
}

void SectionTree::move(Section* section, Section* newParent, int row) {
    Section* from = section->parent_;
    Section* to = parentArg(newParent);
    assert(!section->contains(to));
    const int fromRow = section->row_;
    ++revision_;
    if (observer_ && !bulk_) observer_->beginMove(publicParent(from), fromRow, newParent, row);
    std::unique_ptr<Section> node = std::move(from->children_[static_cast<std::size_t>(fromRow)]);
    from->children_.erase(from->children_.begin() + fromRow);
    int dest = row;
    if (from == to && row > fromRow) --dest;  // the row was counted with the section still in place
    node->parent_ = to;
    to->children_.insert(to->children_.begin() + dest, std::move(node));
    renumberRows(from, 0);
    if (to != from) renumberRows(to, 0);
    invalidateOrder();
    if (observer_ && !bulk_) observer_->endMove();
}

void SectionTree::rename(Section* section, std::string name) {
    section->name_ = std::move(name);
    ++revision_;
    if (observer_ && !bulk_) observer_->nameChanged(section);
}

void SectionTree::clear() {
    ++revision_;
    if (observer_ && !bulk_) observer_->beginReset();
    destroyChildren(
        root_.children_, [](Section & s) -> auto& { return s.children_; });
    count_ = 0;
    order_.clear();
    orderValid_ = true;
    if (observer_ && !bulk_) observer_->endReset();
}

void SectionTree::beginUpdate() {
    ++revision_;
    if (bulk_++ == 0 && observer_) observer_->beginReset();
}

void SectionTree::endUpdate() {
    if (bulk_ > 0 && --bulk_ == 0 && observer_) observer_->endReset();
}

void SectionTree::forEach(const std::function<bool(Section&, int)>& visit) const {
    std::vector<std::pair<const Section*, int>> stack;
    stack.emplace_back(&root_, 0);
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->childCount()) {
            stack.pop_back();
            continue;
        }
        Section* child = node->child(next++);
        const int depth = static_cast<int>(stack.size()) - 1;
        if (!visit(*child, depth)) return;
        if (child->hasChildren()) stack.emplace_back(child, 0);
    }
}

}  // namespace lark
