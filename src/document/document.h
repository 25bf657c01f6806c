#pragma once
// The open notebook: the section tree, the selection, the document state of the main
// window (FFileName, FFileInfo, FFileHandle, FUpdating, and FTreeModified behind
// setTreeModified), the two steps
// that keep the editor and the section buffers in step, and the load and save pipelines.
// It talks to the window only through ITreeView, IEditor and IUi.
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/file_access.h"
#include "document/info_lines.h"
#include "document/interfaces.h"
#include "document/section_tree.h"

namespace lark {

struct NotebookSnapshot;
class SealKey;

// One save, split so that the writing can run on another thread while the window goes on
// editing: BeginSave takes the snapshot on the window's thread, WriteSave writes it (any
// thread; it touches nothing but the job), FinishSave reports on the window's thread.
struct SaveJob {
    SaveJob();
    ~SaveJob();  // where the snapshot is a complete type
    SaveJob(const SaveJob&) = delete;
    SaveJob& operator=(const SaveJob&) = delete;

    std::string path;
    std::string backupPath;
    bool zip = false;
    std::unique_ptr<NotebookSnapshot> snapshot;  // emptied by WriteSave, its storage kept
    // The document's held file, in the job's hands while it runs: the write checks the
    // lock through it and passes it the new file.
    DocumentFile held;
    std::shared_ptr<const SealKey> sealKey;  // a sealed notebook's key; null for a plain one
    std::exception_ptr failure;              // what WriteSave threw
    std::string warning;                     // what went wrong after the file was in place
};

inline constexpr const char* kNewNodeName = "New Node";
inline constexpr int kRussianCharset = 204;

class Document {
public:
    Document(ITreeView& view, IEditor& editor, IUi& ui);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    SectionTree& tree() { return tree_; }
    const SectionTree& tree() const { return tree_; }
    ITreeView& view() { return view_; }
    IEditor& editor() { return editor_; }
    IUi& ui() { return ui_; }

    // Document state.
    std::string FFileName;
    InfoLines FFileInfo;
    DocumentFile FFileHandle;
    bool FUpdating = false;
    bool UseZip = false;  // mirrors the check mark of the compression option
    // The key of a notebook sealed with a password, null for one that is not: its saves
    // and recovery copies are sealed with it. It goes when the notebook does (ClearDocument,
    // a load), so a closed notebook's key is wiped.
    std::shared_ptr<const SealKey> sealKey;

    // The tree (names, order, stored texts, info lines) changed since the notebook was read
    // or written; the editor's own text counts apart. Every writer goes through
    // setTreeModified.
    bool treeModified() const { return FTreeModified; }
    void setTreeModified(bool modified) { FTreeModified = modified; }
    // The notebook counts as changed when the tree or the editor's text changed.
    bool isModified() const { return FTreeModified || editor_.modified(); }

    // Selection. SelectSection behaves like a click in the tree: the text of the
    // section being left is stored, then the new section's text is shown.
    Section* selected() const { return selected_; }
    void SelectSection(Section* section);
    // Moves the selection without the store/show steps (used while rebuilding).
    void setSelectedQuietly(Section* section);

    // Editor <-> buffers.
    void tvNodesChanging(bool fromTree);
    void tvNodesChange(bool fromTree);
    // Change events of the tree.
    void tvNodesEdited();
    void tvNodesAddition();
    void tvNodesDeletion();

    void ClearDocument();
    void ShowPlainText(const std::string& path);

    // Adds "New Node" as the last child of the selected section (AsChild) or as the last
    // sibling of it; with nothing selected, as the last top-level section.
    Section* CreateNode(bool asChild, bool selectAndEdit);
    // Renames a section. CR, LF, NUL and leading TABs would change the tree when read
    // back, so each becomes a blank.
    void RenameSection(Section* section, std::string name);
    static std::string SanitizeSectionName(std::string name);
    // Frees a childless section and removes it; a removed selection passes to a
    // neighbour (next sibling, else previous sibling, else parent), whose text is shown.
    void RemoveSection(Section* section);

    // Info lines.
    std::pair<int, std::string> FindInfoValue(std::string_view name) const;
    void ApplyFileInfo(std::string_view infoText);
    void StoreActiveSection();

    // Pipelines; each reports its own errors in the error box and returns success.
    // A sealed file opens with `key` alone (derived from its password under the file's own
    // parameters, see SealKeyOpens); without one it is refused (NeedsPassword).
    bool LoadDocument(const std::string& path, bool readOnly, const std::shared_ptr<const SealKey>& key = {});
    // `backupPath`, when not empty, receives the file's previous version (see
    // ReplaceFileContents); the file is never moved away from its name meanwhile. Written
    // on the calling thread; the window writes its saves on a worker with the steps below.
    bool SaveDocument(const std::string& path, const std::string& backupPath = {});

    // The steps of SaveDocument. BeginSave stores the editor's text, takes the snapshot and
    // marks the notebook unchanged, so that any edit made while the file is written marks
    // it changed again; when the snapshot cannot be taken it reports why and returns null.
    // FinishSave puts the held file back, reports the outcome as SaveDocument does and
    // returns success; a failed save leaves the notebook changed.
    std::unique_ptr<SaveJob> BeginSave(const std::string& path, const std::string& backupPath);
    static void WriteSave(SaveJob& job) noexcept;
    bool FinishSave(SaveJob& job);

    // The file under FFileName as this notebook last read or wrote it. Known after a load
    // or save, and after RememberNoFile for a name that has no file yet.
    void RememberNoFile();
    void ForgetDiskState() { diskKnown_ = false; }
    // The file under FFileName is now the one `identity` names (read elsewhere, e.g. to
    // merge its version into the notebook).
    void RememberDiskFile(const FileIdentity& identity) {
        disk_ = identity;
        diskKnown_ = identity.exists;
    }
    // True when the file under `path` is no longer the one last read or written (another
    // program replaced or changed it, or created it meanwhile). A file deleted meanwhile
    // counts as unchanged: saving simply writes it again.
    bool ChangedOnDisk(const std::string& path) const;

    // Set while a load is rebuilding the tree (the window holds commands off then).
    bool loading() const { return loading_; }

private:
    void parseFromHeldFile(const std::string& path, bool readOnly, const std::shared_ptr<const SealKey>& key);

    SectionTree tree_;
    ITreeView& view_;
    IEditor& editor_;
    IUi& ui_;
    Section* selected_ = nullptr;
    bool FTreeModified = false;
    bool loading_ = false;
    bool diskKnown_ = false;
    FileIdentity disk_;
    // The storage of the last save's snapshot, for the next one.
    std::unique_ptr<NotebookSnapshot> spareSnapshot_;
};

// The first line of `info` whose start equals `name` ignoring letter case: its index (-1
// when there is none) and its value (after the first "=", blanks trimmed).
std::pair<int, std::string> FindInfoLine(const InfoLines& info, std::string_view name);
// Puts "Activate=<index>" in place of the first Activate line, or appends it.
void SetActivateLine(InfoLines& info, int index);

// Parses a Delphi-style integer: optional sign, decimal digits, or "$"/"0x" hexadecimal.
// Returns false when the text is not such a number or does not fit in 32 bits.
bool ParseInteger(std::string_view text, int& value);

}  // namespace lark
