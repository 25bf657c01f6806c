// Section commands of the "&Инфо" menu, the tree's pop-up menu and drag and drop. The
// logic is in editing/section_commands; the window only hands over what the user did.
#include "editing/section_commands.h"
#include "editor/editor.h"
#include "files/rename_with_links.h"
#include "main/command_runner.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

namespace {
// Each command that changes the tree is one step of the section history; all but the new
// section act on the selected one.
void Recorded(SectionHistory& history, Document& doc, SectionStep kind, void (*command)(Document&)) {
    history.run(doc, kind, kind == SectionStep::Create ? nullptr : doc.selected(), [&] { command(doc); });
}
}  // namespace

void TFrame::pmNewNodeClick() { Recorded(history_, *doc_, SectionStep::Create, lark::pmNewNodeClick); }
void TFrame::miNewSubClick() { Recorded(history_, *doc_, SectionStep::Create, lark::miNewSubClick); }
void TFrame::pmRenNodeClick() { lark::pmRenNodeClick(*doc_); }
void TFrame::pmDelNodeClick() { Recorded(history_, *doc_, SectionStep::Delete, lark::pmDelNodeClick); }
void TFrame::pmMoveNodeUpClick() { Recorded(history_, *doc_, SectionStep::Move, lark::pmMoveNodeUpClick); }
void TFrame::pmMoveNodeDownClick() { Recorded(history_, *doc_, SectionStep::Move, lark::pmMoveNodeDownClick); }
void TFrame::pmMoveNodeTopClick() { Recorded(history_, *doc_, SectionStep::Move, lark::pmMoveNodeTopClick); }
void TFrame::pmMoveNodeBottomClick() { Recorded(history_, *doc_, SectionStep::Move, lark::pmMoveNodeBottomClick); }
void TFrame::pmMoveNodeLevUpClick() { Recorded(history_, *doc_, SectionStep::Move, lark::pmMoveNodeLevUpClick); }

void TFrame::tvNodesDragDrop(DropHit hit, Section* dropSection) {
    history_.run(*doc_, SectionStep::Move, doc_->selected(), [&] { lark::tvNodesDragDrop(*doc_, hit, dropSection); });
}

void TFrame::miUndoSectionClick() { history_.undo(*doc_); }
void TFrame::miRedoSectionClick() { history_.redo(*doc_); }

void TFrame::updateHistoryActions() {
    // New, Open and anything else that rebuilt the tree leave the history nothing to say.
    history_.dropIfStale(*doc_);
    miUndoSection->setEnabled(history_.canUndo(*doc_));
    miRedoSection->setEnabled(history_.canRedo(*doc_));
}

void TFrame::tvNodesUserSelect(Section* section) {
    // The document owns the selection: the click becomes its selection change, which
    // stores the text being left and shows the new one. When that cannot run (a load
    // is rebuilding the tree, or it failed), the view goes back to the document's choice.
    const bool ran = runCommand([&] { doc_->SelectSection(section); });
    if (!ran || doc_->selected() != section) {
        if (!doc_->loading()) tvNodes->showSelection(doc_->selected());
    }
}

void TFrame::tvNodesRename(Section* section, const QString& name) {
    runCommand([&] {
        QString clean = name;
        const qsizetype replaced = ReplaceUnrepresentable(clean);
        history_.runRename(*doc_, section,
                           [&] { return files::RenameFollowingLinks(*doc_, section, QStringToBytes(clean)); });
        if (replaced > 0) ui_->setNotice(ReplacedNotice(replaced));
    });
}

}  // namespace lark::gui
