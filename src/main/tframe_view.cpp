// Editor set-up and the commands of the "&Правка", "&Вид" and "Настройка" menus, the
// print command, the status-bar hints and the centring of the information panel.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QPrinter>
#include <QResizeEvent>
#include <QStatusTipEvent>
#include <QToolBar>

#include "document/document.h"
#include "document/errors.h"
#include "editor/editor.h"
#include "main/dialogs.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

namespace {

constexpr const char* kPrintFailedText = "Не удалось начать печать на выбранном принтере";
constexpr const char* kEditKeyRouter = "editKeyRouter";
constexpr const char* kHintFilter = "hintFilter";

// Edit keys pressed in the editor run the menu commands (plain-text clipboard, capacity)
// instead of the editor's built-in ones: the editor is told not to claim them, so the
// window's short-cuts fire.
class EditKeyRouter : public QObject {
public:
    EditKeyRouter(QObject* parent, std::vector<QAction*> actions) : QObject(parent), actions_(std::move(actions)) {
        setObjectName(QLatin1String(kEditKeyRouter));
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (QAction* action : actions_)
            for (const QKeySequence& shortcut : action->shortcuts())
                if (shortcut == pressed) return true;  // left unaccepted: the short-cut map takes it
        return false;
    }

private:
    std::vector<QAction*> actions_;
};

// The application's hint event: every status tip of every control and menu item.
class HintFilter : public QObject {
public:
    HintFilter(QObject* parent, std::function<void(const QString&)> onHint)
        : QObject(parent), onHint_(std::move(onHint)) {
        setObjectName(QLatin1String(kHintFilter));
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::StatusTip) return false;
        onHint_(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }

private:
    std::function<void(const QString&)> onHint_;
};

}  // namespace

void TFrame::SetupEditor() {
    // Link events and link detection: the editor underlines links and reports clicks.
    reNodeContent->setLinksEnabled(true);
    // Undo history: the editor's document keeps every step (at least the 100 required).
    if (!reNodeContent->document()->isUndoRedoEnabled()) reNodeContent->document()->setUndoRedoEnabled(true);
    // Capacity: typing beyond 16,777,215 characters is refused (pastes are checked where
    // the editor inserts them).
    if (!reNodeContent->findChild<CapacityGuard*>(QString(), Qt::FindDirectChildrenOnly))
        new CapacityGuard(reNodeContent);
    // The edit keys typed in the editor go to the menu commands.
    if (!reNodeContent->findChild<QObject*>(QLatin1String(kEditKeyRouter), Qt::FindDirectChildrenOnly)) {
        miCut->setShortcuts({QKeySequence(QStringLiteral("Ctrl+X")), QKeySequence(QStringLiteral("Shift+Del"))});
        miCopy->setShortcuts({QKeySequence(QStringLiteral("Ctrl+C")), QKeySequence(QStringLiteral("Ctrl+Ins"))});
        miPaste->setShortcuts({QKeySequence(QStringLiteral("Ctrl+V")), QKeySequence(QStringLiteral("Shift+Ins"))});
        reNodeContent->installEventFilter(
            new EditKeyRouter(reNodeContent, {miUndo, miCut, miCopy, miPaste, miSelectAll}));
    }
    // Cyrillic text: the editor holds Windows-1251 text.
    reNodeContent->setCharset(kRussianCharset);
}

void TFrame::ApplyWordWrap() {
    reNodeContent->setLineWrapMode(miWordWrap->isChecked() ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    const bool modified = reNodeContent->modified();
    // The modified flag comes back whatever happens in between. Switching the wrap mode
    // keeps the text, its undo history and the cursor as they are; nothing is re-set.
    struct RestoreModified {
        NoteEditor* editor;
        bool modified;
        ~RestoreModified() { editor->setModified(modified); }
    } restore{reNodeContent, modified};
    SetupEditor();
}

void TFrame::miUndoClick() { reNodeContent->undo(); }
void TFrame::miCutClick() { CutAsPlainText(*reNodeContent, *QApplication::clipboard()); }
void TFrame::miCopyClick() { CopyAsPlainText(*reNodeContent, *QApplication::clipboard()); }
void TFrame::miPasteClick() { PasteAsPlainText(*reNodeContent, *QApplication::clipboard()); }
void TFrame::miSelectAllClick() { reNodeContent->selectAll(); }

// The check mark of an option has been inverted by the click when these run.
void TFrame::miWordWrapClick() { ApplyWordWrap(); }
void TFrame::miSaveOnMinClick() {}
void TFrame::miUseZipClick() { doc_->UseZip = miUseZip->isChecked(); }
void TFrame::miShowToolBarClick() { tbToolBar->setVisible(miShowToolBar->isChecked()); }

void TFrame::stepFonts(int delta) {
    const bool modified = reNodeContent->modified();
    editorFontSize_.step(*reNodeContent, delta);
    treeFontSize_.step(*tvNodes, delta);
    reNodeContent->setModified(modified);
}

void TFrame::miBiggerFontClick() { stepFonts(+1); }
void TFrame::miSmallerFontClick() { stepFonts(-1); }

void TFrame::miPrintNodeClick() {
    QPrinter printer(QPrinter::HighResolution);
    const Section* section = doc_->selected();
    PrintedText printed{reNodeContent->printedText(), reNodeContent->font(), QString::fromStdString(doc_->FFileName),
                        section ? BytesToQString(section->name()) : QString()};
    ProposePdfFile(printer, DefaultPdfPath(printed.jobTitle, printed.heading));
    UseDefaultPageMargins(printer);
    if (!dialogs_.printDialog(this, printer)) return;
    // A printer that cannot start the job ends the command with an error message.
    if (PrintPlainText(printer, printed) == 0) throw LarkError(kPrintFailedText);
}

void TFrame::installAppHint() {
    // Hints of the window's controls and of its menus' items all reach the window.
    if (findChild<QObject*>(QLatin1String(kHintFilter), Qt::FindDirectChildrenOnly)) return;
    installEventFilter(new HintFilter(this, [this](const QString& hint) { AppHint(hint); }));
}

void TFrame::AppHint(const QString& hint) {
    // The long part of a hint follows its first "|"; a hint without one is all long part.
    const qsizetype bar = hint.indexOf(u'|');
    // An empty hint brings back a notice that waits for the next edit.
    ui_->showHint(bar < 0 ? hint : hint.mid(bar + 1));
}

void TFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFrame::FormResize() {
    // The client area lies below the menu bar. Integer division truncates toward zero:
    // in a window narrower than the panel, its left edge lies left of the client area.
    const QWidget* menu = menuWidget();
    const int top = menu && menu->isVisible() ? menu->geometry().bottom() + 1 : 0;
    const int clientWidth = width();
    const int clientHeight = height() - top;
    pnInfo->move((clientWidth - pnInfo->width()) / 2, top + (clientHeight - pnInfo->height()) / 2);
}

}  // namespace lark::gui
