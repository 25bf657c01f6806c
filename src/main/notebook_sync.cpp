#include "main/notebook_sync.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "document/document.h"
#include "document/errors.h"
#include "document/load_bytes.h"
#include "document/memory_view.h"
#include "document/unique_fd.h"
#include "editing/section_history.h"
#include "main/conflicts_panel.h"
#include "main/dialogs.h"
#include "main/find_all_host.h"

namespace lark::gui {

namespace {

// Where a section is, by names: each level's name and its place among equally named
// siblings, which outlives a reload that rebuilds every section.
using NamePath = std::vector<std::pair<std::string, int>>;

NamePath NamePathOf(const Section* s) {
    NamePath path;
    for (; s; s = s->parent()) {
        int same = 0;
        for (const Section* p = s->previousSibling(); p; p = p->previousSibling()) same += p->name() == s->name();
        path.emplace_back(std::string(s->name()), same);
    }
    return {path.rbegin(), path.rend()};
}

Section* Find(const SectionTree& tree, const NamePath& path) {
    Section* at = nullptr;
    for (const auto& [name, same] : path) {
        Section* next = nullptr;
        int left = same;
        for (int i = 0; i < tree.childCount(at) && !next; ++i) {
            Section* c = tree.childAt(at, i);
            if (c->name() == name && left-- == 0) next = c;
        }
        if (!next) return nullptr;
        at = next;
    }
    return at;
}

}  // namespace

// Another version of the notebook, read without a lock (the window holds its own file).
struct NotebookSync::Read {
    MemoryTreeView view;
    ProbeEditor editor;
    MemoryUi ui;
    Document doc{view, editor, ui};
    FileIdentity identity;
    std::shared_ptr<const NotebookSnapshot> snapshot;

    // A sealed version opens with the notebook's own key (a sync tool's copy of a sealed
    // notebook is sealed under the same password).
    Read(const std::string& path, const std::shared_ptr<const SealKey>& key) {
        const UniqueFd fd(OpenRegularFile(path, O_RDONLY));
        struct stat st {};
        if (fstat(fd.get(), &st) != 0) throw LarkError(systemErrorText(errno), ErrorKind::System, errno);
        identity = IdentityOf(fd.get());
        // A format error stops the merge: half a notebook would look like deleted sections.
        LoadFromFile(doc, fd.get(), static_cast<std::int64_t>(st.st_size), true, path, nullptr, key);
        if (editor.shownAsPlainText) throw LarkError(path + ": не файл блокнота", ErrorKind::Format);
        snapshot = TakeSnapshot(doc);
    }
};

NotebookSync::NotebookSync(FindAllHost& host, SectionHistory& history, Dialogs& dialogs, ConflictsPanel& panel,
                           QWidget* owner)
    : host_(host), history_(history), dialogs_(dialogs), panel_(panel), owner_(owner) {}

NotebookSync::~NotebookSync() = default;

void NotebookSync::loaded() {
    Document& doc = host_.document();
    base_ = TakeSnapshot(doc);
    basePath_ = doc.FFileName;
    declined_.reset();
}

void NotebookSync::saved(const std::string& path, std::shared_ptr<const NotebookSnapshot> written) {
    base_ = std::move(written);
    basePath_ = path;
    declined_.reset();
}

void NotebookSync::offerNewVersion() {
    Document& doc = host_.document();
    if (asking_ || doc.FFileName.empty() || doc.isModified() || !doc.ChangedOnDisk(doc.FFileName)) return;
    const FileIdentity now = IdentityOfPath(doc.FFileName);
    if (!now.exists || (declined_ && *declined_ == now)) return;
    asking_ = true;
    const bool yes = dialogs_.confirm(owner_, QString::fromUtf8(kReloadChangedText));
    asking_ = false;
    if (!yes) {
        declined_ = now;
        return;
    }
    const NamePath where = NamePathOf(doc.selected());
    if (!reload || !reload(doc.FFileName)) return;
    if (Section* again = Find(doc.tree(), where)) {
        doc.SelectSection(again);
        doc.view().showSelection(again);
    }
}

void NotebookSync::mergeWithDisk() {
    Document& doc = host_.document();
    const std::string path = doc.FFileName;
    auto theirs = std::make_unique<Read>(path, doc.sealKey);
    doc.tvNodesChanging(false);
    const auto ours = TakeSnapshot(doc);
    auto result = std::make_unique<merge::MergeResult>(base_ && basePath_ == path
                                                           ? merge::MergeNotebooks(*base_, *ours, *theirs->snapshot)
                                                           : merge::MergeTwoWay(*ours, *theirs->snapshot));
    apply(std::move(result));
    // What the file holds now is in the notebook: it is the new base, and saving over it
    // asks no more.
    doc.RememberDiskFile(theirs->identity);
    base_ = theirs->snapshot;
    basePath_ = path;
}

void NotebookSync::mergeWithFile(const std::string& path) {
    Document& doc = host_.document();
    const Read theirs(path, doc.sealKey);
    doc.tvNodesChanging(false);
    const auto ours = TakeSnapshot(doc);
    apply(std::make_unique<merge::MergeResult>(merge::MergeTwoWay(*ours, *theirs.snapshot)));
}

void NotebookSync::apply(std::unique_ptr<merge::MergeResult> result) {
    Document& doc = host_.document();
    const NotebookSnapshot& merged = result->notebook;
    history_.runWholeTree(doc, [&] {
        doc.setSelectedQuietly(nullptr);
        SectionTree& tree = doc.tree();
        tree.beginUpdate();
        tree.clear();
        std::vector<Section*> chain;  // the last section made at each depth
        for (const SnapshotSection& s : merged.sections) {
            auto content = std::make_unique<TNodeContent>();
            content->Level = s.depth + 1;
            content->Text = s.text_.share();
            chain.resize(static_cast<std::size_t>(s.depth));
            chain.push_back(tree.appendChild(chain.empty() ? nullptr : chain.back(), s.name(), std::move(content)));
        }
        tree.endUpdate();
        doc.FFileInfo = merged.info;
        int active = 0;
        ParseInteger(FindInfoLine(merged.info, "Activate").second, active);
        doc.setSelectedQuietly(tree.at(active));
    });
    doc.setTreeModified(true);
    doc.view().showSelection(doc.selected());
    if (doc.selected()) {
        doc.tvNodesChange(false);
    } else {
        doc.editor().clear();
        doc.editor().setModified(false);
    }
    host_.setStatusText(QString::fromUtf8(kMergedStatusText).arg(result->changed).arg(result->conflicts.size()));
    panel_.show(result->conflicts);
    last_ = std::move(result);
}

}  // namespace lark::gui
