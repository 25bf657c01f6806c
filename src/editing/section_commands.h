#pragma once
// Section commands: create, rename, delete, the moves, and drops from drag and drop.
// All act on the document's selected section and run the same under tests and in the window.
#include <string>

#include "document/document.h"

namespace lark {

enum class Placement { LastChild, FirstChild, Before, LastSibling };

// Relocates `section` with its subtree. `target` nullptr stands for the top level.
// Refuses a target inside the section's own subtree; keeps the selection and the editor
// untouched; expands the new parent. Returns true when the section moved.
bool MoveNode(Document& doc, Section* section, Section* target, Placement placement);

void pmNewNodeClick(Document& doc);  // F7
void miNewSubClick(Document& doc);   // Shift+F7
void pmRenNodeClick(Document& doc);  // F6
// The in-place name editor committed `name` for `section`: the name is sanitised (CR, LF
// and leading TABs would change the tree when read back) and FTreeModified is set.
void CommitRename(Document& doc, Section* section, std::string name);
void pmDelNodeClick(Document& doc);         // F8
void pmMoveNodeUpClick(Document& doc);      // Ctrl+U
void pmMoveNodeDownClick(Document& doc);    // Ctrl+D
void pmMoveNodeTopClick(Document& doc);     // Ctrl+Alt+U
void pmMoveNodeBottomClick(Document& doc);  // Ctrl+Alt+D
void pmMoveNodeLevUpClick(Document& doc);   // Ctrl+Shift+U

// Where a drop landed, as the tree's hit test classifies it.
enum class DropHit {
    OnItem,     // on a section's label or icon
    Indent,     // in the indentation left of a section
    BelowLast,  // in the empty area below the last item
    Nothing,    // expand button, right of a label, outside the client area
};
void tvNodesDragDrop(Document& doc, DropHit hit, Section* dropSection);

}  // namespace lark
