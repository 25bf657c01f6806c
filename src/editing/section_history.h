#pragma once
// The history of the notebook's structure: section commands undone and redone apart from
// the editor's own text undo. A step names sections by their rows from the top level, so
// it outlives the sections it names being freed and made anew. The tree's revision tells
// whether anything changed the shape outside the history; then the history is dropped
// instead of being replayed onto a tree it no longer describes.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "document/document.h"

namespace lark {

// Rows from the top level down to a section; empty stands for no section.
using SectionPath = std::vector<int>;

// A stored text a command replaced, with the buffer it had before.
struct TextChange {
    Section* section;
    TextBuffer before;
};

// A section name a command replaced, with the name it had before.
struct NameChange {
    Section* section;
    std::string before;
};

// What a command over many sections changed: stored texts and names.
struct BatchChanges {
    std::vector<TextChange> texts;
    std::vector<NameChange> names;
};

enum class SectionStep { Create, Delete, Move, Rename, Batch, WholeTree };

class SectionHistory {
public:
    static constexpr std::size_t kMaxSteps = 200;
    static constexpr std::size_t kMaxRetainedBytes = std::size_t{64} << 20;

    // Runs a section command and records what it did as one step:
    //   Create  the section the command selected last (new section, new sub-section);
    //   Delete  `subject` with its subtree and texts;
    //   Move    `subject`, wherever the command put it (moves, level up, drag and drop).
    // A command that changed nothing records nothing; one that changed more than its step
    // describes drops the history.
    void run(Document& doc, SectionStep kind, Section* subject, const std::function<void()>& command);
    // A rename, with the stored texts the command rewrote along with it (links that follow
    // the new name).
    void runRename(Document& doc, Section* section, const std::function<std::vector<TextChange>()>& command);
    // A command that rewrites texts and names all over the notebook (replace all) as one
    // step; the shape of the tree stays. A text named twice keeps its first buffer.
    void runBatch(Document& doc, const std::function<BatchChanges()>& command);

    // A command that puts a whole new tree in place (a merge), as one step that swaps the
    // trees, and the info lines with them, back and forth.
    void runWholeTree(Document& doc, const std::function<void()>& command);

    bool canUndo(const Document& doc) const { return valid(doc) && !undo_.empty(); }
    bool canRedo(const Document& doc) const { return valid(doc) && !redo_.empty(); }
    // Put the tree, its texts and the selection back as they were before (after) the last
    // step, and mark the notebook changed. False when there is nothing to undo (redo).
    bool undo(Document& doc);
    bool redo(Document& doc);

    void clear();
    // Clears a history that no longer describes the tree (it was rebuilt or changed outside).
    void dropIfStale(const Document& doc) {
        if (!valid(doc)) clear();
    }
    std::size_t undoCount() const { return undo_.size(); }
    std::size_t redoCount() const { return redo_.size(); }
    // Bytes of text the steps keep alive (shared with the notebook while it holds them).
    std::size_t retainedBytes() const { return bytes_; }

private:
    struct Node {
        int depth;  // below the subtree's top
        std::string name;
        int32_t level;
        TextBuffer text;
        bool expanded;
    };
    struct Rewrite {
        SectionPath path;
        TextBuffer before;
        TextBuffer after;
    };
    struct Retitle {
        SectionPath path;
        std::string before;
        std::string after;
    };
    struct Step {
        explicit Step(SectionStep k) : kind(k) {}
        SectionStep kind;
        SectionPath from;  // Delete, Move, Rename: where it was
        SectionPath to;    // Create, Move: where it went
        std::string nameBefore, nameAfter;
        std::vector<Node> subtree;  // Delete: taken when done; Create: taken when undone
        std::vector<Rewrite> texts;
        std::vector<Retitle> names;  // Batch
        SectionPath selectedBefore, selectedAfter;
        InfoLines info;  // WholeTree: the info lines of the other side
        std::size_t bytes = 0;
    };

    bool valid(const Document& doc) const { return doc.tree().revision() == revision_; }
    void push(Document& doc, Step step);
    bool replay(Document& doc, bool forward);
    static bool apply(Document& doc, Step& step, bool forward);
    static void swapTexts(Document& doc, Step& step, bool forward);
    static std::vector<Node> takeSubtree(const Section* top);
    static std::vector<Node> takeAll(const Document& doc);
    static void swapTree(Document& doc, std::vector<Node>& nodes);
    static bool removeSubtree(Document& doc, const SectionPath& path, std::vector<Node>& taken);
    static bool insertSubtree(Document& doc, const SectionPath& path, std::vector<Node>& nodes);
    void trim();
    static std::size_t bytesOf(const Step& step);

    std::deque<Step> undo_;
    std::deque<Step> redo_;
    std::uint64_t revision_ = 0;
    std::size_t bytes_ = 0;
};

}  // namespace lark
