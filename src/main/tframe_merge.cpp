// Merging with other versions of the notebook's file: the base kept at each load and save,
// the offer of a new version, "Объединить" and "Объединить с файлом...".
#include "document/snapshot.h"
#include "files/document_commands.h"
#include "main/background_saves.h"
#include "main/conflicts_panel.h"
#include "main/dialogs.h"
#include "main/notebook_sync.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"

namespace lark::gui {

void TFrame::connectMerge() {
    dkConflicts = new ConflictsPanel(*this, *this);
    sync_ = std::make_unique<NotebookSync>(*this, history_, dialogs_, *dkConflicts, this);
    sync_->reload = [this](const std::string& path) { return loadWithProgress(path, tvNodes->treeReadOnly()); };
    commands_->mergeWithDisk = [this] {
        sync_->mergeWithDisk();
        updateHistoryActions();
        updateCaption();
    };
    // What a save writes becomes the base once it is on disk; the snapshot is taken as the
    // save starts (the document is as the save took it then) and shares its texts.
    auto start = commands_->startSave;
    commands_->startSave = [this, start](std::unique_ptr<SaveJob> job, std::function<void(bool)> done) {
        std::shared_ptr<const NotebookSnapshot> written = TakeSnapshot(*doc_);
        std::string path = job->path;
        start(std::move(job), [this, done = std::move(done), written, path](bool ok) {
            if (ok && !destroyed_) sync_->saved(path, written);
            if (done) done(ok);
        });
    };
}

void TFrame::miMergeFileClick() {
    bool readOnly = true;
    const QString path = dialogs_.openFile(this, commands_->DialogFolder(), readOnly);
    if (path.isEmpty()) return;
    sync_->mergeWithFile(path.toStdString());
    updateHistoryActions();
    updateCaption();
}

}  // namespace lark::gui
