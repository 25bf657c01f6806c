// Recovery copies at start-up and at an end without a close: the offer of a crashed
// window's copy, of copies whose notebook has gone, and the copy written when the program
// is ended by a signal or by the end of the session.
#include <string>
#include <utility>
#include <vector>

#include "document/errors.h"
#include "document/file_access.h"
#include "document/recovery.h"
#include "main/app_texts.h"
#include "main/background_saves.h"
#include "main/dialogs.h"
#include "main/recovery_keeper.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

namespace {
QString FromPath(const std::string& path) { return QString::fromLocal8Bit(path.data(), qsizetype(path.size())); }
}  // namespace

bool TFrame::offerRecovery() {
    // The notebook's own copy first, then the unnamed notebooks' copies; a copy that a
    // window still running keeps is not offered.
    std::vector<std::pair<std::string, std::string>> candidates;  // notebook name, copy
    const std::string& directory = recovery_->directory();
    if (directory.empty()) return false;
    const std::string name = doc_->FFileName;
    if (!name.empty())
        for (std::string& copy : RecoveryCopiesFor(directory, name)) candidates.emplace_back(name, std::move(copy));
    for (std::string& copy : RecoveryCopiesFor(directory, {})) candidates.emplace_back(std::string(), std::move(copy));
    for (const auto& [notebook, copy] : candidates) {
        // Looked at again under the claim: the window that held it may have removed it.
        RecoveryClaim claim = RecoveryClaim::take(copy);
        if (!claim.held() || !FileExists(copy)) continue;
        // The full path the copy belongs to, whatever the notebook was called on the command line.
        const QString shown = notebook.empty()
                                  ? QStringLiteral("безымянного блокнота")
                                  : QStringLiteral("блокнота «%1»").arg(FromPath(CanonicalNotebookPath(notebook)));
        switch (dialogs_.askRecovery(this, QString::fromUtf8(kRestoreRecoveryText).arg(shown))) {
        case Dialogs::Answer::Yes: restoreCopy(std::move(claim), copy, notebook, notebook); break;
        case Dialogs::Answer::No: RemoveRecoveryCopy(copy); break;
        case Dialogs::Answer::Cancel:
        case Dialogs::Answer::Merge: break;  // kept for the next start
        }
        return true;
    }
    return false;
}

void TFrame::offerOrphanedCopies() {
    const std::string& directory = recovery_->directory();
    if (directory.empty() || doc_->isModified()) return;
    for (const OrphanedCopy& orphan : OrphanedRecoveryCopies(directory)) {
        RecoveryClaim claim = RecoveryClaim::take(orphan.copyPath);
        if (!claim.held() || !FileExists(orphan.copyPath)) continue;
        switch (dialogs_.askRecovery(this, QString::fromUtf8(kRestoreOrphanText).arg(FromPath(orphan.notebookPath)))) {
        case Dialogs::Answer::Yes:
            // As an unnamed notebook; the copy moves to an unnamed one with the next copy.
            restoreCopy(std::move(claim), orphan.copyPath, std::string(), orphan.notebookPath);
            return;
        case Dialogs::Answer::No: RemoveRecoveryCopy(orphan.copyPath); break;
        case Dialogs::Answer::Cancel:
        case Dialogs::Answer::Merge: return;  // this one and the rest are kept
        }
    }
}

void TFrame::restoreCopy(RecoveryClaim claim, const std::string& copy, const std::string& shownAs,
                         const std::string& keptFor) {
    try {
        // A sealed notebook's copy is sealed: it comes back with the notebook's password
        // (Cancel keeps it for the next start).
        if (const std::optional<SealParams> params = RecoveryCopySealParams(copy)) {
            const auto opens = [&](const std::shared_ptr<const SealKey>& key) {
                try {
                    RestoreRecoveryCopy(*doc_, copy, shownAs, key);
                    return true;
                } catch (const LarkError& e) {
                    if (e.kind() != ErrorKind::Sealed) throw;
                    return false;
                }
            };
            if (!askKeyFor(*params, QStringLiteral("Пароль блокнота:"), opens)) return;
        } else {
            RestoreRecoveryCopy(*doc_, copy, shownAs);
        }
        recovery_->keepRestoredCopy(std::move(claim), keptFor);
        ui_->setStatusText(QString::fromUtf8(kRestoredStatusText));
    } catch (const std::exception& e) {
        QString aside;
        try {
            aside = FromPath(SetAsideDamagedCopy(copy));
        } catch (const std::exception&) {
            aside = FromPath(copy);
        }
        ShowErrorBox(QString::fromUtf8(kDamagedRecoveryText).arg(QString::fromUtf8(e.what()), aside));
    }
}

void TFrame::keepUnsavedWork() {
    if (destroyed_) return;
    // A save being written ends first: what it leaves unsaved is what the copy keeps.
    saves_->wait();
    // A section name still being typed counts as entered, as before any command.
    tvNodes->commitOpenEditor();
    recovery_->writeNow();
    try {
        LoadOrSaveSettings(true);
    } catch (...) {
        // Settings that cannot be written do not keep the program from ending.
    }
}

}  // namespace lark::gui
