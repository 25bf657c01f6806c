#include "document/section_tree.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace lark {

Section* Section::parent() const { return parent_ && parent_->parent_ ? parent_ : nullptr; }

Section* Section::previousSibling() const {
    if (!parent_ || row_ == 0) return nullptr;
    return parent_->children_[static_cast<std::size_t>(row_ - 1)];
}

Section* Section::nextSibling() const {
    if (!parent_ || row_ + 1 >= parent_->childCount()) return nullptr;
    return parent_->children_[static_cast<std::size_t>(row_) + 1];
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

ChildList::~ChildList() = default;

void ChildList::insert(std::size_t at, std::unique_ptr<Section> section) {
    if (size_ == capacity_) {
        if (capacity_ == UINT32_MAX) throw std::length_error("too many sections under one parent");
        const std::uint32_t grown = capacity_ == 0 ? 1 : capacity_ > UINT32_MAX / 2 ? UINT32_MAX : 2 * capacity_;
        auto items = std::make_unique<std::unique_ptr<Section>[]>(grown);
        std::move(items_.get(), items_.get() + size_, items.get());
        items_ = std::move(items);
        capacity_ = grown;
    }
    std::move_backward(items_.get() + at, items_.get() + size_, items_.get() + size_ + 1);
    items_[at] = std::move(section);
    ++size_;
}

std::unique_ptr<Section> ChildList::take(std::size_t at) {
    std::unique_ptr<Section> section = std::move(items_[at]);
    std::move(items_.get() + at + 1, items_.get() + size_, items_.get() + at);
    --size_;
    return section;
}

void ChildList::clear() {
    items_.reset();
    size_ = 0;
    capacity_ = 0;
}

namespace {
// Frees a subtree without recursion, so that a very deep notebook cannot exhaust the
// stack: every section's children are taken out before the section is freed.
void destroyChildren(ChildList& children, auto&& childrenOf) {
    std::vector<std::unique_ptr<Section>> pending;
    while (!children.empty()) {
        pending.push_back(children.take(children.size() - 1));
        while (!pending.empty()) {
            std::unique_ptr<Section> node = std::move(pending.back());
            pending.pop_back();
            ChildList& grand = childrenOf(*node);
            while (!grand.empty()) pending.push_back(grand.take(grand.size() - 1));
        }
    }
    children.clear();
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

Section* SectionTree::appendChild(Section* parent, std::string_view name, std::unique_ptr<TNodeContent> content) {
    Section* p = parentArg(parent);
    return insertChild(parent, p->childCount(), name, std::move(content));
}

Section* SectionTree::insertChild(Section* parent, int row, std::string_view name,
                                  std::unique_ptr<TNodeContent> content) {
    Section* p = parentArg(parent);
    assert(row >= 0 && row <= p->childCount());
    auto node = std::make_unique<Section>();
    node->name_.assign(name);
    if (content) {
        node->content_ = std::move(*content);
        node->hasContent_ = true;
    }
    node->parent_ = p;
    Section* raw = node.get();
    ++revision_;
    if (observer_ && !bulk_) observer_->beginInsert(parent, row);
    p->children_.insert(static_cast<std::size_t>(row), std::move(node));
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
    p->children_.take(static_cast<std::size_t>(row));
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
    std::unique_ptr<Section> node = from->children_.take(static_cast<std::size_t>(fromRow));
    int dest = row;
    if (from == to && row > fromRow) --dest;  // the row was counted with the section still in place
    node->parent_ = to;
    to->children_.insert(static_cast<std::size_t>(dest), std::move(node));
    renumberRows(from, 0);
    if (to != from) renumberRows(to, 0);
    invalidateOrder();
    if (observer_ && !bulk_) observer_->endMove();
}

void SectionTree::rename(Section* section, std::string_view name) {
    section->name_.assign(name);
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
