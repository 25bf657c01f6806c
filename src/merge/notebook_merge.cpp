#include "merge/notebook_merge.h"

#include <algorithm>
#include <list>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "document/document.h"
#include "merge/section_match.h"
#include "merge/text_merge.h"

namespace lark::merge {

namespace {

constexpr int kTop = -1;  // the parent of top-level sections

// One section of the merge: its partners in the three versions (-1: none) and what the
// merge gives it.
struct Node {
    int b = -1, o = -1, t = -1;
    int parent = kTop;
    bool alive = false;
    std::string_view name;
    TextBuffer text;
    std::optional<TextBuffer> theirText;  // set for a text conflict
    std::optional<std::string_view> theirName;
    std::vector<int> kids;
    int index = -1, copyIndex = -1;  // in the merged notebook
};

Matching SelfMatching(const SnapshotTree& tree) {
    Matching m;
    m.toBase.resize(static_cast<std::size_t>(tree.size()) + 1);
    for (std::size_t i = 0; i < m.toBase.size(); ++i) m.toBase[i] = static_cast<int>(i);
    m.fromBase = m.toBase;
    return m;
}

// Equal texts; the same block is equal without a look at its bytes.
bool Same(std::string_view a, std::string_view b) { return a.size() == b.size() && (a.data() == b.data() || a == b); }

// The info lines without regard to the selected section.
InfoLines WithoutActivate(const InfoLines& info) {
    InfoLines copy = info;
    SetActivateLine(copy, 0);
    return copy;
}

class TreeMerge {
public:
    // `base` null: a merge without a common version (ours stands in for it).
    TreeMerge(const NotebookSnapshot* base, const NotebookSnapshot& ours, const NotebookSnapshot& theirs)
        : twoWay_(base == nullptr),
          base_(base ? *base : ours),
          ours_(ours),
          theirs_(theirs),
          mo_(twoWay_ ? SelfMatching(base_) : MatchSections(base_, ours_)),
          mt_(MatchSections(base_, theirs_)) {}

    MergeResult run() {
        collect();
        for (Node& n : nodes_) decideLife(n);
        for (Node& n : nodes_) n.parent = chooseParent(n);
        breakCycles();
        for (std::size_t i = 0; i < nodes_.size(); ++i)
            if (nodes_[i].alive) keepHolders(static_cast<int>(i));
        for (Node& n : nodes_)
            if (n.alive) resolveContent(n);
        order();
        emit();
        finishInfo();
        return std::move(result_);
    }

private:
    // Every section of the three versions, once: base sections with their partners, then
    // those only ours has, then those only theirs has (paired with one of ours inserted at
    // the same place with the same name and text).
    void collect() {
        oursId_.assign(static_cast<std::size_t>(ours_.size()), -1);
        theirsId_.assign(static_cast<std::size_t>(theirs_.size()), -1);
        nodes_.resize(static_cast<std::size_t>(base_.size()));
        for (int b = 0; b < base_.size(); ++b) {
            Node& n = nodes_[static_cast<std::size_t>(b)];
            n.b = b;
            n.o = mo_.fromBase[static_cast<std::size_t>(b)];
            n.t = mt_.fromBase[static_cast<std::size_t>(b)];
            if (n.o >= 0) oursId_[static_cast<std::size_t>(n.o)] = b;
            if (n.t >= 0) theirsId_[static_cast<std::size_t>(n.t)] = b;
        }
        std::unordered_map<int, std::vector<int>> oursNew;  // by parent
        for (int o = 0; o < ours_.size(); ++o) {
            if (oursId_[static_cast<std::size_t>(o)] >= 0) continue;
            const int id = add();
            nodes_.back().o = o;
            oursId_[static_cast<std::size_t>(o)] = id;
            oursNew[sideParent(ours_, oursId_, o)].push_back(id);
        }
        for (int t = 0; t < theirs_.size(); ++t) {
            if (theirsId_[static_cast<std::size_t>(t)] >= 0) continue;
            int id = -1;
            if (auto it = oursNew.find(sideParent(theirs_, theirsId_, t)); it != oursNew.end()) {
                for (int candidate : it->second) {
                    const Node& c = nodes_[static_cast<std::size_t>(candidate)];
                    if (c.t < 0 && ours_.name(c.o) == theirs_.name(t) && ours_.text(c.o) == theirs_.text(t)) {
                        id = candidate;
                        break;
                    }
                }
            }
            if (id < 0) id = add();
            nodes_[static_cast<std::size_t>(id)].t = t;
            theirsId_[static_cast<std::size_t>(t)] = id;
        }
    }
    int add() {
        nodes_.emplace_back();
        return static_cast<int>(nodes_.size()) - 1;
    }
    static int sideParent(const SnapshotTree& tree, const std::vector<int>& ids, int node) {
        const int p = tree.parent(node);
        return p == tree.root() ? kTop : ids[static_cast<std::size_t>(p)];
    }
    bool edited(const SnapshotTree& side, int s, int b) const {
        return side.name(s) != base_.name(b) || !Same(side.text(s), base_.text(b));
    }

    void decideLife(Node& n) const {
        if (n.b < 0 || twoWay_ || (n.o >= 0 && n.t >= 0)) n.alive = true;
        else if (n.o >= 0) n.alive = edited(ours_, n.o, n.b);
        else if (n.t >= 0) n.alive = edited(theirs_, n.t, n.b);
    }

    int chooseParent(const Node& n) const {
        const int po = n.o >= 0 ? sideParent(ours_, oursId_, n.o) : kTop;
        const int pt = n.t >= 0 ? sideParent(theirs_, theirsId_, n.t) : kTop;
        if (n.o >= 0 && n.t >= 0) return twoWay_ || n.b < 0 || po != sideParent(base_, identityIds(), n.b) ? po : pt;
        if (n.o >= 0) return po;
        if (n.t >= 0) return pt;
        return sideParent(base_, identityIds(), n.b);
    }
    // Base sections are nodes 0..size-1 of the merge.
    const std::vector<int>& identityIds() const {
        if (identity_.size() != static_cast<std::size_t>(base_.size())) {
            identity_.resize(static_cast<std::size_t>(base_.size()));
            for (std::size_t i = 0; i < identity_.size(); ++i) identity_[i] = static_cast<int>(i);
        }
        return identity_;
    }

    // Moves on both sides can close a loop (each under the other): a section of the loop
    // placed by theirs goes back under its parent in ours (ours alone has no loop); a loop
    // without one goes to the top.
    void breakCycles() {
        std::vector<char> state(nodes_.size(), 0);  // 0 unseen, 1 on the walk, 2 done
        std::vector<int> walk;
        for (std::size_t start = 0; start < nodes_.size(); ++start) {
            walk.clear();
            int x = static_cast<int>(start);
            while (x != kTop && state[static_cast<std::size_t>(x)] == 0) {
                state[static_cast<std::size_t>(x)] = 1;
                walk.push_back(x);
                x = nodes_[static_cast<std::size_t>(x)].parent;
            }
            if (x != kTop && state[static_cast<std::size_t>(x)] == 1) {
                int y = x;
                bool fixed = false;
                do {
                    Node& n = nodes_[static_cast<std::size_t>(y)];
                    const int next = n.parent;
                    if (n.o >= 0 && n.parent != sideParent(ours_, oursId_, n.o)) {
                        n.parent = sideParent(ours_, oursId_, n.o);
                        fixed = true;
                    }
                    y = next;
                } while (!fixed && y != x);
                if (!fixed) nodes_[static_cast<std::size_t>(x)].parent = kTop;
                for (int w : walk) state[static_cast<std::size_t>(w)] = 0;
                --start;  // walk again from here
                continue;
            }
            for (int w : walk) state[static_cast<std::size_t>(w)] = 2;
        }
    }

    // A kept section keeps the sections that hold it.
    void keepHolders(int id) {
        for (int p = nodes_[static_cast<std::size_t>(id)].parent;
             p != kTop && !nodes_[static_cast<std::size_t>(p)].alive; p = nodes_[static_cast<std::size_t>(p)].parent)
            nodes_[static_cast<std::size_t>(p)].alive = true;
    }

    TextBuffer shared(const SnapshotTree& side, int node) const {
        return side.snapshot().sections[static_cast<std::size_t>(node)].text_.share();
    }

    void resolveContent(Node& n) {
        if (n.o < 0 && n.t < 0) {  // deleted on both sides, kept for what it holds
            n.name = base_.name(n.b);
            n.text = shared(base_, n.b);
            return;
        }
        if (n.o < 0 || n.t < 0) {
            const SnapshotTree& side = n.o >= 0 ? ours_ : theirs_;
            const int s = n.o >= 0 ? n.o : n.t;
            n.name = side.name(s);
            n.text = shared(side, s);
            return;
        }
        const bool threeWay = n.b >= 0 && !twoWay_;
        const std::string_view on = ours_.name(n.o), tn = theirs_.name(n.t);
        n.name = on;
        if (threeWay && on == base_.name(n.b)) n.name = tn;
        else if (threeWay && tn != base_.name(n.b) && tn != on) n.theirName = tn;

        const std::string_view ot = ours_.text(n.o), tt = theirs_.text(n.t);
        n.text = shared(ours_, n.o);
        if (Same(ot, tt)) return;
        if (!threeWay) {
            n.theirText = shared(theirs_, n.t);
            return;
        }
        const std::string_view bt = base_.text(n.b);
        if (Same(ot, bt)) {
            n.text = shared(theirs_, n.t);
        } else if (!Same(tt, bt)) {
            if (auto merged = MergeText(bt, ot, tt)) n.text = TextBuffer::copyOf(*merged);
            else n.theirText = shared(theirs_, n.t);
        }
    }

    // The children of each section in order: the order of the side that changed it (ours
    // when both did), then each section the other side placed, after the one it follows
    // there, then those only the base still places.
    void order() {
        for (std::size_t i = 0; i < nodes_.size(); ++i)
            if (nodes_[i].alive) kidsOf(nodes_[i].parent).push_back(static_cast<int>(i));
        stamp_.assign(nodes_.size(), 0);
        orderChildren(kTop, top_);
        for (std::size_t i = 0; i < nodes_.size(); ++i)
            if (nodes_[i].alive && !nodes_[i].kids.empty()) orderChildren(static_cast<int>(i), nodes_[i].kids);
    }
    std::vector<int>& kidsOf(int parent) {
        return parent == kTop ? top_ : nodes_[static_cast<std::size_t>(parent)].kids;
    }

    std::vector<int> sideList(int parent, const SnapshotTree& side, int sideNode, const std::vector<int>& ids) const {
        std::vector<int> out;
        if (parent != kTop && sideNode < 0) return out;
        for (int c : side.children(parent == kTop ? side.root() : sideNode)) {
            const int id = ids[static_cast<std::size_t>(c)];
            if (id >= 0 && nodes_[static_cast<std::size_t>(id)].alive &&
                nodes_[static_cast<std::size_t>(id)].parent == parent)
                out.push_back(id);
        }
        return out;
    }

    // Whether `a` lists the sections it shares with `b` in b's order.
    bool sameOrder(const std::vector<int>& a, const std::vector<int>& b) {
        ++round_;
        for (int id : b) stamp_[static_cast<std::size_t>(id)] = round_;
        std::vector<int> common;
        for (int id : a)
            if (stamp_[static_cast<std::size_t>(id)] == round_) common.push_back(id);
        ++round_;
        for (int id : a) stamp_[static_cast<std::size_t>(id)] = round_;
        std::size_t k = 0;
        for (int id : b)
            if (stamp_[static_cast<std::size_t>(id)] == round_ && (k >= common.size() || common[k++] != id))
                return false;
        return true;
    }

    // `kids` holds the section's children in no particular order and receives them in order.
    void orderChildren(int parent, std::vector<int>& kids) {
        const Node* p = parent == kTop ? nullptr : &nodes_[static_cast<std::size_t>(parent)];
        std::vector<int> lo = sideList(parent, ours_, p ? p->o : -1, oursId_);
        const std::vector<int> lt = sideList(parent, theirs_, p ? p->t : -1, theirsId_);
        // The usual case: both sides hold all the children in the same order.
        if (lo == lt && lo.size() == kids.size()) {
            kids = std::move(lo);
            return;
        }
        const std::vector<int> lb =
            twoWay_ ? std::vector<int>() : sideList(parent, base_, p ? p->b : -1, identityIds());
        const bool theirsFirst = !twoWay_ && sameOrder(lo, lb);
        std::list<int> seq;
        std::unordered_map<int, std::list<int>::iterator> placed;
        auto weave = [&](const std::vector<int>& list) {
            auto pos = seq.begin();
            for (int id : list) {
                if (auto it = placed.find(id); it != placed.end()) pos = std::next(it->second);
                else placed.emplace(id, seq.insert(pos, id));
            }
        };
        weave(theirsFirst ? lt : lo);
        weave(theirsFirst ? lo : lt);
        weave(lb);
        weave(kids);  // any left (moved here to break a loop) at the end
        kids.assign(seq.begin(), seq.end());
    }

    void emit() {
        NotebookSnapshot& nb = result_.notebook;
        struct Step {
            int id;
            int depth;
            bool done;  // its subtree is out: the conflict copy follows
        };
        std::vector<Step> stack;
        for (auto it = top_.rbegin(); it != top_.rend(); ++it) stack.push_back({*it, 0, false});
        while (!stack.empty()) {
            const Step step = stack.back();
            stack.pop_back();
            Node& n = nodes_[static_cast<std::size_t>(step.id)];
            if (step.done) {
                n.copyIndex = static_cast<int>(nb.sections.size());
                std::string name(n.name);
                name += kConflictSuffix;
                nb.addSection(step.depth, name).text_ = n.theirText->share();
                continue;
            }
            n.index = static_cast<int>(nb.sections.size());
            nb.addSection(step.depth, n.name).text_ = n.text.share();
            if (n.theirText) stack.push_back({step.id, step.depth, true});
            for (auto it = n.kids.rbegin(); it != n.kids.rend(); ++it) stack.push_back({*it, step.depth + 1, false});
        }
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            const Node& n = nodes_[i];
            if (n.theirText || n.theirName) {
                MergeConflict c;
                c.kind = n.theirText ? MergeConflict::Kind::Text : MergeConflict::Kind::Name;
                c.section = n.index;
                c.copy = n.copyIndex;
                c.path = pathOf(static_cast<int>(i));
                if (n.theirName) c.theirName = *n.theirName;
                result_.conflicts.push_back(std::move(c));
            }
            countChange(n);
        }
        std::sort(result_.conflicts.begin(), result_.conflicts.end(),
                  [](const MergeConflict& a, const MergeConflict& b) { return a.section < b.section; });
    }

    std::string pathOf(int id) const {
        std::vector<std::string_view> names;
        for (int x = id; x != kTop; x = nodes_[static_cast<std::size_t>(x)].parent)
            names.push_back(nodes_[static_cast<std::size_t>(x)].name);
        std::string path;
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            if (!path.empty()) path += " / ";
            path += *it;
        }
        return path;
    }

    void countChange(const Node& n) {
        if (!n.alive) {
            if (n.o >= 0) ++result_.changed;
            return;
        }
        if (n.theirText) ++result_.changed;  // the copy
        const bool same = n.o >= 0 && n.name == ours_.name(n.o) && Same(n.text.view(), ours_.text(n.o)) &&
                          n.parent == sideParent(ours_, oursId_, n.o);
        if (!same) ++result_.changed;
    }

    void finishInfo() {
        const InfoLines& own = ours_.snapshot().info;
        InfoLines info = own;
        if (!twoWay_) {
            const InfoLines b = WithoutActivate(base_.snapshot().info);
            if (WithoutActivate(own) == b && !(WithoutActivate(theirs_.snapshot().info) == b))
                info = theirs_.snapshot().info;
        }
        int active = 0, at = 0;
        if (ParseInteger(FindInfoLine(own, "Activate").second, at) && at >= 0 && at < ours_.size()) {
            const Node& n = nodes_[static_cast<std::size_t>(oursId_[static_cast<std::size_t>(at)])];
            if (n.alive) active = n.index;
        }
        SetActivateLine(info, active);
        result_.notebook.info = std::move(info);
    }

    const bool twoWay_;
    const SnapshotTree base_, ours_, theirs_;
    const Matching mo_, mt_;
    std::vector<Node> nodes_;
    std::vector<int> oursId_, theirsId_;
    mutable std::vector<int> identity_;
    std::vector<int> top_;
    std::vector<int> stamp_;
    int round_ = 0;
    MergeResult result_;
};

}  // namespace

MergeResult MergeNotebooks(const NotebookSnapshot& base, const NotebookSnapshot& ours, const NotebookSnapshot& theirs) {
    return TreeMerge(&base, ours, theirs).run();
}

MergeResult MergeTwoWay(const NotebookSnapshot& ours, const NotebookSnapshot& theirs) {
    return TreeMerge(nullptr, ours, theirs).run();
}

}  // namespace lark::merge
