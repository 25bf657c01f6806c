#pragma once
// The notebook in memory: an ordered forest of sections. Each section holds its
// TNodeContent record (level, name copy while reading, text buffer) and owns its children.
// Observers (the window's item model) hear about every structural change.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/node_pool.h"
#include "document/section_name.h"
#include "document/text_buffer.h"

namespace lark {

struct TNodeContent {
    LARK_POOLED_CLASS(TNodeContent)
    int32_t Level = 0;             // 1 + depth as read from a file's outline; 0 for a new section
    std::unique_ptr<char[]> Name;  // NUL-terminated name copy, only while a file is being read
    TextBuffer Text;               // null buffer = empty text
};

class SectionTree;
class Section;

// The children of a section, in order: owning pointers in one heap array with 32-bit
// counts (16 bytes in each section, where a vector takes 24).
class ChildList {
public:
    ChildList() = default;
    ChildList(const ChildList&) = delete;
    ChildList& operator=(const ChildList&) = delete;
    ~ChildList();

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Section* operator[](std::size_t i) const { return items_[i].get(); }
    void insert(std::size_t at, std::unique_ptr<Section> section);
    std::unique_ptr<Section> take(std::size_t at);
    // Frees every child and the array.
    void clear();

private:
    std::unique_ptr<std::unique_ptr<Section>[]> items_;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
};

class Section {
public:
    LARK_POOLED_CLASS(Section)
    std::string_view name() const { return name_.view(); }
    // The section's record, or nullptr for a section made without one.
    TNodeContent* content() { return hasContent_ ? &content_ : nullptr; }
    const TNodeContent* content() const { return hasContent_ ? &content_ : nullptr; }
    // Parent section, or nullptr for a top-level section.
    Section* parent() const;
    int row() const { return row_; }  // position among its siblings
    int childCount() const { return static_cast<int>(children_.size()); }
    Section* child(int i) const { return children_[static_cast<std::size_t>(i)]; }
    bool hasChildren() const { return !children_.empty(); }
    Section* previousSibling() const;
    Section* nextSibling() const;
    int depth() const;
    // True when `other` is this section or lies in its subtree.
    bool contains(const Section* other) const;
    std::string_view text() const { return content_.Text.view(); }

private:
    friend class SectionTree;
    SectionName name_;
    // Held in place rather than behind a pointer of its own: a notebook may have millions
    // of sections, and each heap block more is paid that many times.
    TNodeContent content_;
    Section* parent_ = nullptr;  // the tree's hidden root for top-level sections
    ChildList children_;
    int row_ = 0;
    mutable int index_ = -1;  // cached absolute index
    mutable int depth_ = 0;   // cached with it
    bool hasContent_ = false;

public:
    bool expanded = false;  // view state the window mirrors (last, beside the other flag)
};

// Told about structural changes, in the order a Qt item model needs them.
// `parent` is nullptr for the top level.
class TreeObserver {
public:
    virtual ~TreeObserver() = default;
    virtual void beginReset() {}
    virtual void endReset() {}
    virtual void beginInsert(Section* parent, int row) {}
    virtual void endInsert() {}
    virtual void beginRemove(Section* parent, int row) {}
    virtual void endRemove() {}
    virtual void beginMove(Section* fromParent, int fromRow, Section* toParent, int toRow) {}
    virtual void endMove() {}
    virtual void nameChanged(Section* section) {}
};

class SectionTree {
public:
    SectionTree();
    ~SectionTree();
    SectionTree(const SectionTree&) = delete;
    SectionTree& operator=(const SectionTree&) = delete;

    void setObserver(TreeObserver* observer) { observer_ = observer; }

    // Number of sections in the whole tree.
    int count() const;
    // Section at an absolute (pre-order) index, or nullptr when out of range.
    Section* at(int index) const;
    int indexOf(const Section* section) const;

    int topLevelCount() const { return root_.childCount(); }
    Section* topLevel(int i) const { return root_.child(i); }
    // Children of `parent`, nullptr meaning the top level.
    int childCount(const Section* parent) const { return parent ? parent->childCount() : root_.childCount(); }
    Section* childAt(const Section* parent, int row) const { return parent ? parent->child(row) : root_.child(row); }

    // Adds a section as the last child of `parent` (nullptr: last top-level section).
    Section* appendChild(Section* parent, std::string_view name, std::unique_ptr<TNodeContent> content);
    // Inserts a section among the children of `parent` at `row`.
    Section* insertChild(Section* parent, int row, std::string_view name, std::unique_ptr<TNodeContent> content);
    // Removes a section that has no children.
    void remove(Section* section);
    // Moves a section with its subtree under `newParent` at `row` (counted before removal).
    void move(Section* section, Section* newParent, int row);
    void rename(Section* section, std::string_view name);
    void clear();

    // Bulk rebuild: observers see one reset instead of each insertion.
    void beginUpdate();
    void endUpdate();
    bool updating() const { return bulk_ > 0; }

    // Counts the changes of shape and names: every insertion, removal, move, rename, clear
    // and bulk rebuild adds one. Texts are not counted.
    std::uint64_t revision() const { return revision_; }

    // Visits every section in absolute order with its depth; stop by returning false.
    void forEach(const std::function<bool(Section&, int depth)>& visit) const;
    // The same through the cached order: a flat pass (the order is rebuilt first when the
    // tree's shape changed since it was last built).
    template <class Visit>
    void forEachInOrder(Visit&& visit) const {
        if (!orderValid_) rebuildOrder();
        for (Section* s : order_)
            if (!visit(*s, s->depth_)) return;
    }

private:
    friend class Section;
    void invalidateOrder() { orderValid_ = false; }
    void rebuildOrder() const;
    void renumberRows(Section* parent, int from);
    Section* parentArg(Section* s) { return s ? s : &root_; }
    Section* publicParent(Section* s) const { return s == &root_ ? nullptr : s; }

    Section root_;
    TreeObserver* observer_ = nullptr;
    int bulk_ = 0;
    int count_ = 0;
    std::uint64_t revision_ = 0;
    mutable std::vector<Section*> order_;
    mutable bool orderValid_ = true;
};

}  // namespace lark
