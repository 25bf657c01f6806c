// Editor set-up and the commands of the "&Правка", "&Вид" and "Настройка" menus.
#include <QAction>
#include <QToolBar>

#include "main/note_editor.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"

namespace lark::gui {

void TFrame::SetupEditor() {
    // The editor's fixed set-up (link detection, undo depth, text limit) comes with the
    // editor's own change; nothing to do yet.
}

void TFrame::ApplyWordWrap() {
    const bool modified = reNodeContent->modified();
    reNodeContent->setLineWrapMode(miWordWrap->isChecked() ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    reNodeContent->setModified(modified);
}

void TFrame::miUndoClick() { reNodeContent->undo(); }
void TFrame::miCutClick() { reNodeContent->cut(); }
void TFrame::miCopyClick() { reNodeContent->copy(); }
void TFrame::miPasteClick() { reNodeContent->paste(); }
void TFrame::miSelectAllClick() { reNodeContent->selectAll(); }

// The check mark of an option has been inverted by the click when these run.
void TFrame::miWordWrapClick() { ApplyWordWrap(); }
void TFrame::miSaveOnMinClick() {}
void TFrame::miUseZipClick() {}
void TFrame::miShowToolBarClick() { tbToolBar->setVisible(miShowToolBar->isChecked()); }

namespace {
void growFont(QWidget* w, int step) {
    QFont f = w->font();
    f.setPointSize(std::max(1, f.pointSize() + step));
    w->setFont(f);
}
}  // namespace

void TFrame::miBiggerFontClick() {
    const bool modified = reNodeContent->modified();
    growFont(reNodeContent, 1);
    growFont(tvNodes, 1);
    reNodeContent->setModified(modified);
}

void TFrame::miSmallerFontClick() {
    const bool modified = reNodeContent->modified();
    growFont(reNodeContent, -1);
    growFont(tvNodes, -1);
    reNodeContent->setModified(modified);
}

void TFrame::miPrintNodeClick() {
    // Printing comes with its own change.
}

void TFrame::miAuthorClick() {}
void TFrame::miMyURLClick() {}
void TFrame::miBugReportClick() {}

}  // namespace lark::gui
