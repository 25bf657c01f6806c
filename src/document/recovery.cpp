#include "document/recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/file_replace.h"
#include "document/load_bytes.h"
#include "document/memory_view.h"

namespace lark {
namespace {

void makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            throw LarkError(systemErrorText(errno), ErrorKind::System, errno);
        if (slash == std::string::npos) return;
    }
}

}  // namespace

std::string RecoveryDirectory(const std::string& program) {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') base = state;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.local/state";
    else return {};
    return base + "/" + program + "/recovery";
}

std::string RecoveryPathFor(const std::string& directory, const std::string& notebookPath) {
    return directory + "/" + (notebookPath.empty() ? std::string("unnamed") : NameHash(notebookPath)) + ".lkp";
}

namespace {

constexpr int kCopySlots = 1000;

std::string copyStem(const std::string& notebookPath) {
    return notebookPath.empty() ? std::string("unnamed") : NameHash(notebookPath);
}

std::string copyPath(const std::string& directory, const std::string& stem, int n) {
    return directory + "/" + stem + (n == 1 ? std::string() : "-" + std::to_string(n)) + ".lkp";
}

// The slot of a copy's file name ("STEM.lkp" 1, "STEM-N.lkp" N), or 0 for other names.
int copySlot(std::string_view name, std::string_view stem) {
    constexpr std::string_view tail = ".lkp";
    if (!name.starts_with(stem) || !name.ends_with(tail)) return 0;
    const std::string_view middle = name.substr(stem.size(), name.size() - stem.size() - tail.size());
    if (middle.empty()) return 1;
    if (middle.size() < 2 || middle.size() > 5 || middle[0] != '-' || middle[1] == '0') return 0;
    int n = 0;
    for (const char c : middle.substr(1)) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n >= 2 && n <= kCopySlots ? n : 0;
}

// The byte of ".owners" that stands for a copy: its name's hash, past the first byte.
off_t ownerByte(std::string_view copyName) {
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (const unsigned char c : copyName) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return static_cast<off_t>(1 + (h & ((std::uint64_t{1} << 40) - 1)));
}

}  // namespace

RecoveryClaim RecoveryClaim::take(const std::string& copyPath) {
    RecoveryClaim claim;
    const auto slash = copyPath.rfind('/');
    if (slash == std::string::npos || slash == 0) return claim;
    const std::string directory = copyPath.substr(0, slash);
    try {
        makeDirectories(directory);
    } catch (const LarkError&) {
        return claim;
    }
    UniqueFd fd(::open((directory + "/.owners").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() >= 0) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = ownerByte(std::string_view(copyPath).substr(slash + 1));
        fl.l_len = 1;
        if (::fcntl(fd.get(), F_OFD_SETLK, &fl) != 0) {
            if (errno == EAGAIN || errno == EACCES) return claim;  // another window's
            fd.reset();                                            // no locks here (ENOLCK, EINVAL): held without them
        }
    }
    claim.fd_ = std::move(fd);
    claim.path_ = copyPath;
    return claim;
}

std::vector<std::string> RecoveryCopiesFor(const std::string& directory, const std::string& notebookPath) {
    const std::string stem = copyStem(notebookPath);
    std::vector<std::pair<int, std::string>> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) return {};
    while (const dirent* entry = ::readdir(dir.get()))
        if (const int n = copySlot(entry->d_name, stem)) found.emplace_back(n, copyPath(directory, stem, n));
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    out.reserve(found.size());
    for (auto& slot : found) out.push_back(std::move(slot.second));
    return out;
}

RecoveryClaim ClaimNewRecoveryCopy(const std::string& directory, const std::string& notebookPath) {
    const std::string stem = copyStem(notebookPath);
    for (int n = 1; n <= kCopySlots; ++n) {
        const std::string path = copyPath(directory, stem, n);
        if (FileExists(path)) continue;
        RecoveryClaim claim = RecoveryClaim::take(path);
        // Looked at again under the claim: another window may have written it meanwhile.
        if (claim.held() && !FileExists(path)) return claim;
    }
    return {};
}

void WriteRecoveryCopy(const NotebookSnapshot& snapshot, const std::string& copyPath) {
    const auto slash = copyPath.rfind('/');
    if (slash != std::string::npos && slash > 0) makeDirectories(copyPath.substr(0, slash));
    const TextBuffer packed = ZipDocument(snapshot);
    ReplaceFileContents(copyPath, packed.view());
}

void RestoreRecoveryCopy(Document& doc, const std::string& copyPath, const std::string& notebookName) {
    TextBuffer bytes = ReadFileUnlocked(copyPath);
    // Read once aside, so that a damaged copy never touches the notebook on screen.
    {
        MemoryTreeView view;
        MemoryEditor editor;
        MemoryUi ui;
        Document trial(view, editor, ui);
        TextBuffer probe = bytes.share();
        UnzipBuffer(probe);
        if (probe.size() < 8 || probe.view().substr(0, 4) != std::string_view("LKP\x01", 4))
            throw LarkError("Not a notebook", ErrorKind::Format);
        LoadFromBytes(trial, std::move(probe), false, copyPath);
        if (!ui.errors.empty()) throw LarkError(ui.errors.front(), ErrorKind::Format);
    }
    LoadFromBytes(doc, std::move(bytes), false, copyPath);
    doc.view().showSelection(doc.selected());
    doc.tvNodesChange(false);
    doc.FFileName = notebookName;
    doc.FTreeModified = true;
}

std::string SetAsideDamagedCopy(const std::string& copyPath) {
    std::string aside = copyPath + ".damaged";
    for (int n = 2; FileExists(aside) && n < 1000; ++n) aside = copyPath + ".damaged" + std::to_string(n);
    if (std::rename(copyPath.c_str(), aside.c_str()) != 0)
        throw LarkError(systemErrorText(errno), ErrorKind::System, errno);
    return aside;
}

}  // namespace lark
