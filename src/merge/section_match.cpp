#include "merge/section_match.h"

#include <algorithm>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace lark::merge {

SnapshotTree::SnapshotTree(const NotebookSnapshot& snapshot) : snapshot_(snapshot) {
    const std::size_t n = snapshot.sections.size();
    parent_.assign(n + 1, -1);
    children_.resize(n + 1);
    std::vector<int> open{static_cast<int>(n)};  // open[d]: the parent of a section at depth d
    for (std::size_t i = 0; i < n; ++i) {
        // A depth that skips levels hangs under the deepest open section.
        const std::size_t depth =
            std::min(static_cast<std::size_t>(std::max(snapshot.sections[i].depth, 0)), open.size() - 1);
        open.resize(depth + 1);
        parent_[i] = open[depth];
        children_[static_cast<std::size_t>(open[depth])].push_back(static_cast<int>(i));
        open.push_back(static_cast<int>(i));
    }
}

namespace {

class Matcher {
public:
    Matcher(const SnapshotTree& base, const SnapshotTree& side) : base_(base), side_(side) {
        m_.toBase.assign(static_cast<std::size_t>(side.size()) + 1, -1);
        m_.fromBase.assign(static_cast<std::size_t>(base.size()) + 1, -1);
        pair(side.root(), base.root());
    }

    Matching run() {
        byPath();
        if (unmatchedSide().empty() || unmatchedBase().empty()) return std::move(m_);
        byEqualText();
        bySimilarLines();
        byChildNames();
        byPath();
        return std::move(m_);
    }

private:
    void pair(int s, int b) {
        m_.toBase[static_cast<std::size_t>(s)] = b;
        m_.fromBase[static_cast<std::size_t>(b)] = s;
    }
    int partner(int s) const { return m_.toBase[static_cast<std::size_t>(s)]; }
    bool baseFree(int b) const { return m_.fromBase[static_cast<std::size_t>(b)] < 0; }

    // Parents come before their children in the flat order, so one pass reaches every
    // child of a pair made on the way.
    void byPath() {
        pathChildren(side_.root());
        for (int s = 0; s < side_.size(); ++s) pathChildren(s);
    }
    void pathChildren(int s) {
        const int b = partner(s);
        if (b < 0) return;
        if (sameNames(s, b)) return;
        std::unordered_map<std::string_view, std::vector<int>> free;  // base children by name
        for (int c : base_.children(b))
            if (baseFree(c)) free[base_.name(c)].push_back(c);
        if (free.empty()) return;
        std::unordered_map<std::string_view, std::vector<int>> groups;  // side children by name
        for (int c : side_.children(s))
            if (partner(c) < 0 && free.contains(side_.name(c))) groups[side_.name(c)].push_back(c);
        for (auto& [name, sides] : groups) {
            std::vector<int>& bases = free[name];
            if (sides.size() > 1 || bases.size() > 1) {
                for (int c : sides)
                    for (int cb : bases)
                        if (baseFree(cb) && !side_.text(c).empty() && side_.text(c) == base_.text(cb)) {
                            pair(c, cb);
                            break;
                        }
            }
            auto next = bases.begin();
            for (int c : sides) {
                if (partner(c) >= 0) continue;
                while (next != bases.end() && !baseFree(*next)) ++next;
                if (next == bases.end()) break;
                pair(c, *next++);
            }
        }
    }

    // The usual case, children named alike in the same order: they pair one to one.
    bool sameNames(int s, int b) {
        const std::vector<int>& sc = side_.children(s);
        const std::vector<int>& bc = base_.children(b);
        if (sc.size() != bc.size()) return false;
        for (std::size_t i = 0; i < sc.size(); ++i)
            if (partner(sc[i]) >= 0 || !baseFree(bc[i]) || side_.name(sc[i]) != base_.name(bc[i])) return false;
        for (std::size_t i = 0; i < sc.size(); ++i) pair(sc[i], bc[i]);
        return true;
    }

    std::vector<int> unmatchedSide() const {
        std::vector<int> out;
        for (int s = 0; s < side_.size(); ++s)
            if (partner(s) < 0) out.push_back(s);
        return out;
    }
    std::vector<int> unmatchedBase() const {
        std::vector<int> out;
        for (int b = 0; b < base_.size(); ++b)
            if (baseFree(b)) out.push_back(b);
        return out;
    }

    void byEqualText() {
        std::unordered_map<std::string_view, std::vector<int>> texts;
        for (int b : unmatchedBase())
            if (!base_.text(b).empty()) texts[base_.text(b)].push_back(b);
        for (int s : unmatchedSide()) {
            auto it = texts.find(side_.text(s));
            if (it == texts.end()) continue;
            for (int b : it->second)
                if (baseFree(b)) {
                    pair(s, b);
                    break;
                }
        }
    }

    // The distinct non-blank lines of a text, as hashes.
    static std::vector<std::size_t> lineHashes(std::string_view text) {
        std::unordered_set<std::size_t> seen;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(at, end - at);
            while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.remove_suffix(1);
            if (!line.empty()) seen.insert(std::hash<std::string_view>{}(line));
            at = end + 1;
        }
        return {seen.begin(), seen.end()};
    }

    // Pairs when at least half of the lines of the longer text are shared, the best first.
    void bySimilarLines() {
        const std::vector<int> bases = unmatchedBase();
        std::unordered_map<std::size_t, std::vector<int>> holders;  // line -> base sections with it
        std::unordered_map<int, std::size_t> lineCount;
        for (int b : bases) {
            if (base_.text(b).empty()) continue;
            const auto lines = lineHashes(base_.text(b));
            lineCount[b] = lines.size();
            for (std::size_t h : lines) holders[h].push_back(b);
        }
        if (holders.empty()) return;
        constexpr std::size_t kCommonLine = 64;  // a line in more sections tells nothing
        for (int s : unmatchedSide()) {
            if (side_.text(s).empty()) continue;
            const auto lines = lineHashes(side_.text(s));
            std::unordered_map<int, std::size_t> shared;
            for (std::size_t h : lines) {
                auto it = holders.find(h);
                if (it == holders.end() || it->second.size() > kCommonLine) continue;
                for (int b : it->second)
                    if (baseFree(b)) ++shared[b];
            }
            int best = -1;
            double bestScore = 0.5;
            for (auto [b, n] : shared) {
                const double score = static_cast<double>(n) / static_cast<double>(std::max(lines.size(), lineCount[b]));
                if (score > bestScore || (score == bestScore && (best < 0 || b < best))) {
                    best = b;
                    bestScore = score;
                }
            }
            if (best >= 0) pair(s, best);
        }
    }

    // Sections without text but with children: half of the children's names in common.
    void byChildNames() {
        constexpr std::size_t kMaxCandidates = 2000;
        std::vector<int> bases;
        for (int b : unmatchedBase())
            if (base_.text(b).empty() && !base_.children(b).empty()) bases.push_back(b);
        std::vector<int> sides;
        for (int s : unmatchedSide())
            if (side_.text(s).empty() && !side_.children(s).empty()) sides.push_back(s);
        if (bases.empty() || sides.empty() || bases.size() > kMaxCandidates || sides.size() > kMaxCandidates) return;
        for (int s : sides) {
            std::unordered_set<std::string_view> names;
            for (int c : side_.children(s)) names.insert(side_.name(c));
            int best = -1;
            double bestScore = 0.5;
            for (int b : bases) {
                if (!baseFree(b)) continue;
                std::unordered_set<std::string_view> theirs;
                std::size_t common = 0;
                for (int c : base_.children(b))
                    if (theirs.insert(base_.name(c)).second && names.contains(base_.name(c))) ++common;
                const double score =
                    static_cast<double>(common) / static_cast<double>(std::max(names.size(), theirs.size()));
                if (score > bestScore || (score == bestScore && best < 0)) {
                    best = b;
                    bestScore = score;
                }
            }
            if (best >= 0) pair(s, best);
        }
    }

    const SnapshotTree& base_;
    const SnapshotTree& side_;
    Matching m_;
};

}  // namespace

Matching MatchSections(const SnapshotTree& base, const SnapshotTree& side) { return Matcher(base, side).run(); }

}  // namespace lark::merge
