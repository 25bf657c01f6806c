// "Заменить..." (Ctrl+H): the dialog's buttons. In the current section every replacement is
// an edit of the editor (its undo takes each back, a whole "Заменить все" as one step);
// over the whole notebook "Заменить все" works on the stored texts and names through the
// core (editing/text_replace.h) as one step of the section history.
#include <QAction>
#include <QMenu>
#include <QProgressDialog>
#include <optional>
#include <string>
#include <vector>

#include "editing/text_replace.h"
#include "editor/editor.h"
#include "files/rename_with_links.h"
#include "main/app_texts.h"
#include "main/recovery_keeper.h"
#include "main/replace_dialog.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

namespace {

QString u8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The dialog's strings as notebook bytes.
struct ReplaceStrings {
    std::string find, replacement;
    bool matchCase = false;
};

}  // namespace

void TFrame::createReplaceItems() {
    miReplace = makeAction("miReplace", "Заменить...", nullptr, QKeySequence(QStringLiteral("Ctrl+H")),
                           "Заменить подстроку в разделе или во всём блокноте", &TFrame::miReplaceClick);
    // In "&Правка", right after "Найти все...".
    const QList<QAction*> edit = mnEdit->actions();
    const qsizetype after = edit.indexOf(miFindAll);
    mnEdit->insertAction(after >= 0 && after + 1 < edit.size() ? edit[after + 1] : nullptr, miReplace);
    addAction(miReplace);
    reNodeContent->windowKeys << miReplace->shortcut();
    createRecentMenu();
    createBacklinksItems();
}

void TFrame::miReplaceClick() {
    if (!dlgReplace) {
        dlgReplace = new ReplaceDialog(this);
        // Nothing for an empty "Найти:", or, with the refusal shown, for a character that has
        // no Windows-1251 byte.
        auto strings = [this]() -> std::optional<ReplaceStrings> {
            if (dlgReplace->findText().isEmpty()) return std::nullopt;
            for (const QString& s : {dlgReplace->findText(), dlgReplace->replacement()}) {
                if (const auto c = CharOutsideCp1251(s.toStdString())) {
                    ui_->showError(OutsideCp1251Text(*c));
                    return std::nullopt;
                }
            }
            return ReplaceStrings{QStringToBytes(dlgReplace->findText()), QStringToBytes(dlgReplace->replacement()),
                                  dlgReplace->matchCase()};
        };
        dlgReplace->onFindNext = [this, strings] {
            runCommand([&] {
                if (const auto s = strings()) replaceFindNext(s->find, s->matchCase);
            });
        };
        dlgReplace->onReplace = [this, strings] {
            runCommand([&] {
                if (const auto s = strings()) replaceCurrent(s->find, s->replacement, s->matchCase);
            });
        };
        dlgReplace->onReplaceAll = [this, strings] {
            runCommand([&] {
                if (const auto s = strings()) replaceAll(s->find, s->replacement, s->matchCase);
            });
        };
    }
    const QString selected = reNodeContent->textCursor().selectedText();
    // A selection within one line is what to find.
    if (!selected.isEmpty() && !selected.contains(QChar(QChar::ParagraphSeparator)) &&
        !selected.contains(QChar(QChar::LineSeparator)))
        dlgReplace->setFindText(selected);
    dlgReplace->show();
    dlgReplace->raise();
    dlgReplace->activateWindow();
}

bool TFrame::replaceFindNext(const std::string& find, bool matchCase) {
    const std::string text = reNodeContent->text();
    const std::size_t from = reNodeContent->selectionStart() + reNodeContent->selectionLength();
    std::size_t at = FindMatch(text, find, matchCase, from);
    if (at == kNotFound && dlgReplace->wholeNotebook() && doc_->selected()) {
        // On through the sections after this one, in the global search's order.
        const Section* current = doc_->selected();
        Section* next = nullptr;
        bool after = false;
        doc_->tree().forEachInOrder([&](Section& s, int) {
            if (after && (at = FindMatch(s.text(), find, matchCase)) != kNotFound) next = &s;
            after = after || &s == current;
            return next == nullptr;
        });
        if (next) doc_->SelectSection(next);
    }
    if (at == kNotFound) {
        ui_->setStatusText(QString::fromUtf8(kNothingMoreFoundText));
        return false;
    }
    reNodeContent->select(at, find.size());
    reNodeContent->ensureCursorVisible();
    return true;
}

void TFrame::replaceCurrent(const std::string& find, const std::string& replacement, bool matchCase) {
    if (reNodeContent->isReadOnly()) return;
    const std::size_t start = reNodeContent->selectionStart();
    if (reNodeContent->selectionLength() == find.size() &&
        FindMatch(reNodeContent->text(), find, matchCase, start) == start)
        reNodeContent->replaceSelection(BytesToQString(replacement));
    replaceFindNext(find, matchCase);
}

void TFrame::replaceAll(const std::string& find, const std::string& replacement, bool matchCase) {
    std::size_t count = 0;
    if (!dlgReplace->wholeNotebook()) {
        if (reNodeContent->isReadOnly()) return;
        const std::string text = reNodeContent->text();
        std::vector<std::size_t> at;
        for (std::size_t p = FindMatch(text, find, matchCase); p != kNotFound;
             p = FindMatch(text, find, matchCase, p + find.size()))
            at.push_back(p);
        const QString with = BytesToQString(replacement);
        reNodeContent->beginJoinedEdit();
        // From the last match back, so that the places before stay where they are.
        for (auto p = at.rbegin(); p != at.rend(); ++p) {
            reNodeContent->select(*p, find.size());
            reNodeContent->replaceSelection(with);
        }
        reNodeContent->endJoinedEdit();
        count = at.size();
    } else {
        // A notebook opened read-only, or a file shown as plain text, is not rewritten.
        if (reNodeContent->isReadOnly() || reNodeContent->showsFile() || doc_->view().treeReadOnly()) return;
        QProgressDialog progress(QStringLiteral("Замена в блокноте..."), QStringLiteral("Отмена"), 0, 1000, dlgReplace);
        progress.setObjectName(QStringLiteral("dlgReplaceProgress"));
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(500);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        const auto replaced = ReplaceInNotebook(
            *doc_, history_, find, replacement, {matchCase, true},
            [&](std::size_t done, std::size_t total) {
                progress.setValue(total ? static_cast<int>(done * 1000 / total) : 1000);
                return !progress.wasCanceled();
            },
            [this](Section* s, std::string name) { return files::RenameFollowingLinks(*doc_, s, std::move(name)); });
        if (!replaced) {
            ui_->setStatusText(QStringLiteral("Замена отменена: блокнот не изменён"));
            dlgReplace->showResult(QStringLiteral("Замена отменена"));
            return;
        }
        count = *replaced;
        // Stored texts changed without the editor hearing of it: a recovery copy is due.
        if (count > 0) recovery_->noteChange();
    }
    const QString done = u8(ReplacedCountText(count));
    dlgReplace->showResult(done);
    ui_->setStatusText(done);
}

}  // namespace lark::gui
