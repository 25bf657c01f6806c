#pragma once
// Which section of one version of a notebook is which section of another. Sections are
// paired by their path of names (a name that occurs several times among siblings pairs an
// equal text first, then by occurrence), then the rest by their text (equal, then similar
// lines), or by the names of their children when they have no text: a renamed or moved
// section is still the same section. Pairs found by text let their children pair by path
// again.
#include <string_view>
#include <vector>

#include "document/snapshot.h"

namespace lark::merge {

// A snapshot's flat list seen as a tree: node i is snapshot section i; root() is the
// hidden parent of the top-level sections.
class SnapshotTree {
public:
    explicit SnapshotTree(const NotebookSnapshot& snapshot);
    int size() const { return static_cast<int>(parent_.size()) - 1; }
    int root() const { return size(); }
    int parent(int node) const { return parent_[static_cast<std::size_t>(node)]; }
    const std::vector<int>& children(int node) const { return children_[static_cast<std::size_t>(node)]; }
    std::string_view name(int node) const { return snapshot_.sections[static_cast<std::size_t>(node)].name(); }
    std::string_view text(int node) const { return snapshot_.sections[static_cast<std::size_t>(node)].text(); }
    const NotebookSnapshot& snapshot() const { return snapshot_; }

private:
    const NotebookSnapshot& snapshot_;
    std::vector<int> parent_;  // -1 for the root
    std::vector<std::vector<int>> children_;
};

// For each node of `side`, its partner in `base` (-1: none), and the reverse; the roots
// are partners.
struct Matching {
    std::vector<int> toBase;
    std::vector<int> fromBase;
};
Matching MatchSections(const SnapshotTree& base, const SnapshotTree& side);

}  // namespace lark::merge
