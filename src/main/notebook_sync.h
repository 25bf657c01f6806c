#pragma once
// The notebook and the other versions of its file: the version last loaded or saved is kept
// as the base (a snapshot sharing the texts' blocks, so it costs little). When another
// program changed the file, the window offers its new version on activation (with nothing
// unsaved) or merges it into the unsaved notebook (the answer "Объединить" when saving);
// "Объединить с файлом..." merges any other notebook without a base.
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "document/file_access.h"
#include "document/snapshot.h"
#include "merge/notebook_merge.h"

class QWidget;

namespace lark {
class SectionHistory;
}

namespace lark::gui {

class ConflictsPanel;
class Dialogs;
class FindAllHost;

inline constexpr const char* kReloadChangedText = "Файл изменён другой программой. Загрузить новую версию?";
inline constexpr const char* kMergedStatusText = "Объединено: %1 разделов, конфликтов: %2";

class NotebookSync {
public:
    NotebookSync(FindAllHost& host, SectionHistory& history, Dialogs& dialogs, ConflictsPanel& panel, QWidget* owner);
    ~NotebookSync();

    // Loads the file again (the window's own load); true when it loaded.
    std::function<bool(const std::string& path)> reload;

    // The notebook was just loaded: it is the base.
    void loaded();
    // `written` (what a save wrote to `path`) is on disk: it is the base.
    void saved(const std::string& path, std::shared_ptr<const NotebookSnapshot> written);

    // On activation: with nothing unsaved, offers the file's new version once per version.
    void offerNewVersion();
    // Merges the file's version into the notebook, from the base when there is one.
    void mergeWithDisk();
    // Merges another notebook into this one, without a base.
    void mergeWithFile(const std::string& path);

    const merge::MergeResult* lastMerge() const { return last_.get(); }

private:
    struct Read;
    void apply(std::unique_ptr<merge::MergeResult> result);

    FindAllHost& host_;
    SectionHistory& history_;
    Dialogs& dialogs_;
    ConflictsPanel& panel_;
    QWidget* owner_;
    std::shared_ptr<const NotebookSnapshot> base_;
    std::string basePath_;
    std::optional<FileIdentity> declined_;  // the version whose offer was declined
    bool asking_ = false;
    std::unique_ptr<merge::MergeResult> last_;
};

}  // namespace lark::gui
