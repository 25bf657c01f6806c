#include "editing/section_commands.h"

namespace lark {

namespace {

constexpr const char* kSelectFirstText = "Сначала выберите узел для удаления (кликните по нему)";
constexpr const char* kHasChildrenText = "Нельзя удалить узел, содержащий другие узлы";
constexpr const char* kConfirmDeleteText = "Вы действительно хотите удалить раздел?";
constexpr const char* kSlowDownText = "Действуйте медленнее, когда удаляете данные!";

// True when `section` is still one of the tree's sections. Compares addresses only, so
// it is safe to ask about a section that may have been removed meanwhile.
bool StillInTree(const SectionTree& tree, const Section* section) {
    bool found = false;
    tree.forEach([&](Section& s, int) {
        found = &s == section;
        return !found;
    });
    return found;
}

}  // namespace

bool MoveNode(Document& doc, Section* section, Section* target, Placement placement) {
    if (!section) return false;
    if (target && section->contains(target)) return false;  // itself or inside its subtree
    SectionTree& tree = doc.tree();
    Section* newParent = nullptr;
    int row = 0;
    switch (placement) {
    case Placement::LastChild:
        newParent = target;
        row = tree.childCount(newParent);
        break;
    case Placement::FirstChild:
        newParent = target;
        row = 0;
        break;
    case Placement::Before:
        if (!target) return false;
        if (target->previousSibling() == section) return false;  // already there
        newParent = target->parent();
        row = target->row();
        break;
    case Placement::LastSibling:
        newParent = target ? target->parent() : nullptr;
        row = tree.childCount(newParent);
        break;
    }
    tree.move(section, newParent, row);
    if (newParent) {
        newParent->expanded = true;
        doc.view().expand(newParent);
    }
    // The selection pointer still names the moved section: no store/show step runs and
    // the editor keeps its text and modified flag.
    return true;
}

void pmNewNodeClick(Document& doc) { doc.CreateNode(false, true); }

void miNewSubClick(Document& doc) { doc.CreateNode(true, true); }

void pmRenNodeClick(Document& doc) {
    if (Section* s = doc.selected()) doc.view().editName(s);
}

void CommitRename(Document& doc, Section* section, std::string name) {
    if (section) doc.RenameSection(section, std::move(name));
}

void pmDelNodeClick(Document& doc) {
    Section* s = doc.selected();
    IUi& ui = doc.ui();
    if (!s) {
        ui.showMessage(kSelectFirstText);
        return;
    }
    if (s->hasChildren()) {
        ui.showError(kHasChildrenText);
        return;
    }
    if (!ui.confirm(kConfirmDeleteText)) return;
    // The question is modal but the event loop ran while it was open: make sure the
    // section is still there and still childless before freeing it.
    if (!StillInTree(doc.tree(), s)) return;
    if (s->hasChildren()) {
        ui.showError(kHasChildrenText);
        return;
    }
    if (doc.selected() == s) {
        // Its text must not be stored anywhere when the selection moves on.
        doc.editor().clear();
        doc.editor().setModified(false);
    } else {
        ui.showMessage(kSlowDownText);
    }
    doc.RemoveSection(s);
}

void pmMoveNodeUpClick(Document& doc) {
    Section* s = doc.selected();
    if (!s) return;
    Section* p = s->previousSibling();
    if (!p) return;
    MoveNode(doc, s, p, Placement::Before);
    doc.setTreeModified(true);
}

void pmMoveNodeDownClick(Document& doc) {
    Section* s = doc.selected();
    if (!s) return;
    Section* n = s->nextSibling();
    if (!n) return;
    if (Section* m = n->nextSibling()) MoveNode(doc, s, m, Placement::Before);
    else MoveNode(doc, s, s->parent(), Placement::LastChild);
    doc.setTreeModified(true);
}

void pmMoveNodeTopClick(Document& doc) {
    Section* s = doc.selected();
    if (!s) return;
    MoveNode(doc, s, s->parent(), Placement::FirstChild);
    doc.setTreeModified(true);
}

void pmMoveNodeBottomClick(Document& doc) {
    Section* s = doc.selected();
    if (!s) return;
    MoveNode(doc, s, s->parent(), Placement::LastChild);
    doc.setTreeModified(true);
}

void pmMoveNodeLevUpClick(Document& doc) {
    Section* s = doc.selected();
    if (!s) return;
    Section* p = s->parent();
    if (!p) return;
    MoveNode(doc, s, p, Placement::Before);
    doc.setTreeModified(true);
}

void tvNodesDragDrop(Document& doc, DropHit hit, Section* dropSection) {
    Section* s = doc.selected();
    if (!s) return;
    switch (hit) {
    case DropHit::OnItem:
        if (!dropSection) return;  // a label hit always names a section
        MoveNode(doc, s, dropSection, Placement::LastChild);
        break;
    case DropHit::Indent:
        if (!dropSection) return;
        MoveNode(doc, s, dropSection, Placement::Before);
        break;
    case DropHit::BelowLast: MoveNode(doc, s, nullptr, Placement::LastSibling); break;
    case DropHit::Nothing: return;
    }
    // Set even when the move was refused (a drop on itself or into its own subtree).
    doc.setTreeModified(true);
}

}  // namespace lark
