#include "document/document.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "document/cp1251.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_replace.h"
#include "document/format.h"
#include "document/seal_key.h"
#include "document/sealed_envelope.h"
#include "document/snapshot.h"

namespace lark {

namespace {

// Hands a large buffer's pages back a few megabytes at a time before it is freed: unmapping
// a hundred megabytes in one call keeps the process's memory map locked long enough for the
// window's thread to stall on its next page fault. The bytes are not needed any more.
void ReleasePagesInPieces(char* bytes, std::size_t size) {
    constexpr std::size_t kWorthIt = std::size_t{16} << 20;
    constexpr std::size_t kPiece = std::size_t{4} << 20;
    if (!bytes || size < kWorthIt) return;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto address = reinterpret_cast<std::uintptr_t>(bytes);
    char* const start = bytes + (page - address % page) % page;  // whole pages only
    char* const end = bytes + size - (address + size) % page;
    for (char* at = start; at < end;) {
        const std::size_t n = std::min(kPiece, static_cast<std::size_t>(end - at));
        (void)::madvise(at, n, MADV_DONTNEED);
        at += n;
    }
}

}  // namespace

Document::Document(ITreeView& view, IEditor& editor, IUi& ui) : view_(view), editor_(editor), ui_(ui) {}

Document::~Document() = default;

SaveJob::SaveJob() = default;
SaveJob::~SaveJob() = default;

void Document::setSelectedQuietly(Section* section) {
    selected_ = section;
    view_.showSelection(section);
}

void Document::SelectSection(Section* section) {
    if (section == selected_) return;
    tvNodesChanging(true);
    setSelectedQuietly(section);
    tvNodesChange(true);
}

void Document::tvNodesChanging(bool fromTree) {
    if (FUpdating && fromTree) return;
    if (!editor_.modified()) return;
    Section* target = selected_;
    if (!target) target = CreateNode(true, false);
    TNodeContent* content = target->content();
    if (!content) {
        ui_.showError("Unexpected internal Error: previous node contents is \"nil\"");
        return;
    }
    content->Text.reset();
    content->Text = TextBuffer::copyOf(editor_.text());
    content->Text.cutAtNul();
    setTreeModified(true);
    editor_.setModified(false);
}

void Document::tvNodesChange(bool /*fromTree*/) {
    if (FUpdating) return;
    if (!selected_) return;
    const TNodeContent* content = selected_->content();
    if (!content) {
        ui_.showError("Unexpected internal Error: node contents is \"nil\"");
        return;
    }
    editor_.setText(content->Text.view());
    editor_.setCharset(kRussianCharset);
    editor_.setModified(false);
}

void Document::tvNodesEdited() {
    if (!FUpdating) setTreeModified(true);
}
void Document::tvNodesAddition() {
    if (!FUpdating) setTreeModified(true);
}
void Document::tvNodesDeletion() {
    if (!FUpdating) setTreeModified(true);
}

void Document::ClearDocument() {
    spareSnapshot_.reset();  // sized for the notebook that goes
    const bool saved = FUpdating;
    FUpdating = true;
    try {
        selected_ = nullptr;
        tree_.clear();
        view_.showSelection(nullptr);
    } catch (...) {
        FUpdating = saved;
        throw;
    }
    FUpdating = saved;
    editor_.clear();
    editor_.setModified(false);
    setTreeModified(false);
    FFileName.clear();
    sealKey.reset();  // the last holder wipes it
    ui_.setStatus("");
}

void Document::RememberNoFile() {
    disk_ = FileIdentity{};
    diskKnown_ = true;
}

bool Document::ChangedOnDisk(const std::string& path) const {
    if (!diskKnown_) return false;
    const FileIdentity now = IdentityOfPath(path);
    if (!now.exists) return false;
    return !(now == disk_);
}

void Document::ShowPlainText(const std::string& path) {
    editor_.loadFile(path);
    editor_.setReadOnly(true);
    editor_.setModified(false);
    setTreeModified(false);
}

Section* Document::CreateNode(bool asChild, bool selectAndEdit) {
    Section* parent = asChild ? selected_ : (selected_ ? selected_->parent() : nullptr);
    Section* node = tree_.appendChild(parent, kNewNodeName, std::make_unique<TNodeContent>());
    tvNodesAddition();
    setTreeModified(true);
    if (selectAndEdit) {
        SelectSection(node);
        view_.editName(node);
    }
    return node;
}

std::string Document::SanitizeSectionName(std::string name) {
    for (char& c : name)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    for (char& c : name) {
        if (c != '\t') break;
        c = ' ';
    }
    return name;
}

void Document::RenameSection(Section* section, std::string name) {
    tree_.rename(section, SanitizeSectionName(std::move(name)));
    tvNodesEdited();
}

void Document::RemoveSection(Section* section) {
    Section* next = nullptr;
    const bool wasSelected = section == selected_;
    if (wasSelected) {
        next = section->nextSibling();
        if (!next) next = section->previousSibling();
        if (!next) next = section->parent();
        selected_ = nullptr;
    }
    if (TNodeContent* content = section->content()) content->Text.reset();
    tree_.remove(section);
    tvNodesDeletion();
    if (wasSelected) {
        view_.showSelection(nullptr);
        if (next) SelectSection(next);
    }
}

std::pair<int, std::string> FindInfoLine(const InfoLines& info, std::string_view name) {
    std::size_t i = 0;
    for (auto it = info.begin(); it != info.end(); ++it, ++i) {
        const std::string_view line = *it;
        if (line.size() < name.size()) continue;
        bool match = true;
        for (std::size_t k = 0; k < name.size() && match; ++k)
            match = cp1251::toLower(static_cast<unsigned char>(line[k])) ==
                    cp1251::toLower(static_cast<unsigned char>(name[k]));
        if (!match) continue;
        const auto eq = line.find('=');
        std::string_view value = eq == std::string_view::npos ? line : line.substr(eq + 1);
        while (!value.empty() && static_cast<unsigned char>(value.front()) <= 32) value.remove_prefix(1);
        while (!value.empty() && static_cast<unsigned char>(value.back()) <= 32) value.remove_suffix(1);
        return {static_cast<int>(i), std::string(value)};
    }
    return {-1, std::string()};
}

std::pair<int, std::string> Document::FindInfoValue(std::string_view name) const {
    return FindInfoLine(FFileInfo, name);
}

void SetActivateLine(InfoLines& info, int index) {
    const std::string line = "Activate=" + std::to_string(index);
    const auto [at, value] = FindInfoLine(info, "Activate");
    if (at >= 0) info.set(static_cast<std::size_t>(at), line);
    else info.push_back(line);
}

bool ParseInteger(std::string_view text, int& value) {
    bool negative = false;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFLL) return false;
    }
    if (base == 16 && !negative) {
        value = static_cast<int>(static_cast<unsigned int>(v));  // hexadecimal wraps like a 32-bit word
        return true;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

void Document::ApplyFileInfo(std::string_view infoText) {
    try {
        FFileInfo = InfoLines::split(infoText);
        const auto [index, value] = FindInfoValue("Activate");
        if (index >= 0) {
            int k = 0;
            if (!ParseInteger(value, k))
                throw LarkError("'" + cp1251::toUtf8(value) + "' is not a valid integer value");
            if (k >= 0 && k < tree_.count()) SelectSection(tree_.at(k));
        }
    } catch (const LarkError& e) {
        ui_.showError(std::string("File Info Error: ") + e.what());
    }
}

void Document::StoreActiveSection() { SetActivateLine(FFileInfo, selected_ ? tree_.indexOf(selected_) : 0); }

void Document::parseFromHeldFile(const std::string& path, bool readOnly, const std::shared_ptr<const SealKey>& key) {
    const std::int64_t size = DocumentFileSize(FFileHandle);
    char head[8];
    bool enveloped = false;
    if (size >= 8) {
        readExactly(FFileHandle.fd(), head, 8, 0);
        enveloped = IsEnveloped(std::string_view(head, 8));
    }
    struct Updating {
        Document& d;
        Updating(Document& doc) : d(doc) {
            d.FUpdating = true;
            d.loading_ = true;
            d.tree_.beginUpdate();
        }
        ~Updating() {
            d.tree_.endUpdate();
            d.FUpdating = false;
            d.loading_ = false;
        }
    };
    if (size >= 8 && IsSealed(std::string_view(head, 8))) {
        if (!key) throw LarkError(kSealNeedsPasswordText, ErrorKind::NeedsPassword);
        // Verified to its last chunk before anything is parsed; from then on the notebook
        // (even one that fails to parse half-way) keeps the key, so nothing it shows is ever
        // written out in the clear.
        TextBuffer content = UnsealFile(FFileHandle.fd(), size, *key);
        struct KeepKey {
            Document& d;
            const std::shared_ptr<const SealKey>& k;
            ~KeepKey() { d.sealKey = k; }
        } keep{*this, key};
        Updating guard(*this);
        if (IsEnveloped(content.view())) {
            BlockSource source = UnzipToBlocks(content.view());
            content.reset();
            ParseDocument(*this, source, readOnly, path);
        } else {
            MemorySource source(content.view());
            ParseDocument(*this, source, readOnly, path);
        }
    } else if (enveloped) {
        // Unpacked in full before the parse starts, each text block straight into the
        // buffer its section keeps.
        BlockSource source = UnzipFileToBlocks(FFileHandle.fd(), size);
        Updating guard(*this);
        ParseDocument(*this, source, readOnly, path);
    } else {
        // A plain file is parsed straight from the disk through a small staging buffer.
        FileSource source(FFileHandle.fd(), size);
        Updating guard(*this);
        ParseDocument(*this, source, readOnly, path);
    }
}

bool Document::LoadDocument(const std::string& path, bool readOnly, const std::shared_ptr<const SealKey>& key) {
    bool result = false;
    try {
        try {
            OpenDocumentFile(FFileHandle, path, readOnly);
        } catch (const LarkError& e) {
            // A file another program holds is named, as the other open failures name theirs.
            if (e.kind() != ErrorKind::InUse) throw;
            throw LarkError("Cannot open file \"" + path + "\". " + e.what(), e.kind(), e.sysErrno());
        }
        spareSnapshot_.reset();  // sized for the notebook that goes
        parseFromHeldFile(path, readOnly, key);
        // The view mirrors the selection made while the tree was being rebuilt.
        view_.showSelection(selected_);
        tvNodesChange(false);
        FFileName = path;
        disk_ = IdentityOf(FFileHandle.fd());
        diskKnown_ = disk_.exists;
        ui_.setStatus("Открыто " + path);
        result = true;
    } catch (const LarkError& e) {
        ui_.showError(e.what());
    } catch (const std::bad_alloc&) {
        ui_.showError("Out of memory");
    }
    // A failure before the parse leaves the notebook on screen under its name: what its file
    // was like stays known, so a save still notices another program's change to it.
    if (!result && FFileName.empty()) diskKnown_ = false;
    setTreeModified(false);
    return result;
}

bool Document::SaveDocument(const std::string& path, const std::string& backupPath) {
    std::unique_ptr<SaveJob> job = BeginSave(path, backupPath);
    if (!job) return false;
    WriteSave(*job);
    return FinishSave(*job);
}

std::unique_ptr<SaveJob> Document::BeginSave(const std::string& path, const std::string& backupPath) {
    try {
        auto job = std::make_unique<SaveJob>();
        job->path = path;
        job->backupPath = backupPath;
        job->zip = UseZip;
        job->sealKey = sealKey;
        tvNodesChanging(false);
        StoreActiveSection();
        job->snapshot = TakeSnapshot(*this, std::move(spareSnapshot_));
        // Nothing below throws: from here the job owns the held file until FinishSave.
        job->held = std::move(FFileHandle);
        setTreeModified(false);
        editor_.setModified(false);
        return job;
    } catch (const LarkError& e) {
        ui_.showError(e.what());
    } catch (const std::bad_alloc&) {
        ui_.showError("Out of memory");
    }
    // The editor's text may already be in its section: the notebook stays changed.
    setTreeModified(true);
    return nullptr;
}

void Document::WriteSave(SaveJob& job) noexcept {
    try {
        // A compressed save deflates straight from the sections: the same bytes as
        // packing the written content, without the content's own copy.
        const NotebookSnapshot& snapshot = *job.snapshot;
        TextBuffer content = job.zip ? ZipDocument(snapshot) : WriteDocument(snapshot);
        ReplaceOptions options;
        options.backupPath = job.backupPath;
        options.held = &job.held;
        if (job.sealKey) {
            // Sealed with a fresh stream header; the backup of a file that was not sealed
            // yet is kept sealed as well.
            TextBuffer sealed = SealBytes(content.view(), *job.sealKey);
            content = std::move(sealed);
            options.backupBytes = [key = job.sealKey](int fd) { return SealedCopyUnlessSealed(fd, *key); };
        }
        job.warning = ReplaceFileContents(job.path, content.view(), options);
        ReleasePagesInPieces(content.data(), content.size());
    } catch (...) {
        job.failure = std::current_exception();
    }
    // Letting go of a hundred thousand shared texts takes a while: done here, not on the
    // window's thread.
    if (job.snapshot) job.snapshot->clearForReuse();
}

bool Document::FinishSave(SaveJob& job) {
    // The held file comes back (the new one after a successful save). The window lets no
    // load run during a save; should one have run anyway, its file stays and the job's goes.
    const bool handedBack = !FFileHandle.valid();
    if (handedBack) FFileHandle = std::move(job.held);
    if (job.snapshot && job.snapshot->sections.empty()) spareSnapshot_ = std::move(job.snapshot);
    job.snapshot.reset();
    std::string error;
    try {
        if (job.failure) std::rethrow_exception(job.failure);
    } catch (const LarkError& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = "Out of memory";
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (!error.empty()) {
        // Whatever went wrong, the notebook still differs from the file: keep it marked
        // changed, so that closing asks again.
        setTreeModified(true);
        ui_.showError(error);
        return false;
    }
    // The saved file is the notebook's file from now on (Save as names it so).
    if (handedBack) {
        disk_ = IdentityOf(FFileHandle.fd());
        diskKnown_ = disk_.exists;
    }
    ui_.setStatus("Сохранено " + job.path);
    // The notebook is under its name; only its durability after a power cut is in doubt.
    if (!job.warning.empty()) ui_.showMessage(job.warning);
    return true;
}

}  // namespace lark
