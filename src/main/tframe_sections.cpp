// Section commands of the "&Инфо" menu, the tree's pop-up menu and drag and drop. The
// logic is in editing/section_commands; the window only hands over what the user did.
#include "editing/section_commands.h"
#include "files/rename_with_links.h"
#include "main/command_runner.h"
#include "main/section_tree_view.h"
#include "main/text_codec.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

void TFrame::pmNewNodeClick() { lark::pmNewNodeClick(*doc_); }
void TFrame::miNewSubClick() { lark::miNewSubClick(*doc_); }
void TFrame::pmRenNodeClick() { lark::pmRenNodeClick(*doc_); }
void TFrame::pmDelNodeClick() { lark::pmDelNodeClick(*doc_); }
void TFrame::pmMoveNodeUpClick() { lark::pmMoveNodeUpClick(*doc_); }
void TFrame::pmMoveNodeDownClick() { lark::pmMoveNodeDownClick(*doc_); }
void TFrame::pmMoveNodeTopClick() { lark::pmMoveNodeTopClick(*doc_); }
void TFrame::pmMoveNodeBottomClick() { lark::pmMoveNodeBottomClick(*doc_); }
void TFrame::pmMoveNodeLevUpClick() { lark::pmMoveNodeLevUpClick(*doc_); }

void TFrame::tvNodesDragDrop(DropHit hit, Section* dropSection) { lark::tvNodesDragDrop(*doc_, hit, dropSection); }

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
        files::RenameFollowingLinks(*doc_, section, QStringToBytes(clean));
        if (replaced > 0) ui_->setNotice(ReplacedNotice(replaced));
    });
}

}  // namespace lark::gui
