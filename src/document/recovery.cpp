#include "document/recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <tuple>
#include <vector>

#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/file_replace.h"
#include "document/load_bytes.h"
#include "document/memory_view.h"
#include "document/sealed_envelope.h"

namespace lark {
namespace {

[[noreturn]] void throwSystem(int err) { throw LarkError(systemErrorText(err), ErrorKind::System, err); }

void makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) throwSystem(errno);
        if (slash == std::string::npos) return;
    }
}

// The recovery folder, opened without following a link in its own place.
UniqueFd openFolder(const std::string& directory, bool create) {
    if (create) makeDirectories(directory);
    UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) throwSystem(errno);
    return fd;
}

// A copy's path split into its folder and its name.
std::pair<std::string, std::string> splitPath(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size()) throwSystem(EINVAL);
    return {path.substr(0, slash), path.substr(slash + 1)};
}

// What is under `name` in the folder, links not followed: 0 for nothing.
mode_t entryType(int dir, const std::string& name) {
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
    return st.st_mode & S_IFMT;
}

// A regular file of the folder, opened without following a link and without waiting on a
// FIFO; anything else is refused.
UniqueFd openRegularAt(int dir, const std::string& name, int flags, mode_t mode = 0) {
    UniqueFd fd(::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        if (errno == ELOOP || errno == ENXIO) throw LarkError(kNotRegularText, ErrorKind::System, 0);
        throwSystem(errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throwSystem(errno);
    if (!S_ISREG(st.st_mode)) throw LarkError(kNotRegularText, ErrorKind::System, 0);
    const int fl = ::fcntl(fd.get(), F_GETFL);
    if (fl >= 0) (void)::fcntl(fd.get(), F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

ByteBuffer readAt(int dir, const std::string& name) {
    const UniqueFd fd = openRegularAt(dir, name, O_RDONLY);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throwSystem(errno);
    ByteBuffer bytes = ByteBuffer::allocate(static_cast<std::size_t>(st.st_size));
    readExactly(fd.get(), bytes.data(), bytes.size(), 0);
    return bytes;
}

// Renames `name` to `name + suffix` (then suffix2, suffix3...), never over an earlier one.
std::string setAside(int dir, const std::string& name, const std::string& suffix) {
    std::string aside = name + suffix;
    for (int n = 2; entryType(dir, aside) != 0; ++n) {
        if (n >= 1000) throwSystem(EEXIST);
        aside = name + suffix + std::to_string(n);
    }
    if (::renameat(dir, name.c_str(), dir, aside.c_str()) != 0) throwSystem(errno);
    return aside;
}

// Anything but a regular file under a copy's name is moved out of the way unread.
void setAsideUnlessRegular(int dir, const std::string& name) {
    const mode_t type = entryType(dir, name);
    if (type != 0 && type != S_IFREG) setAside(dir, name, ".refused");
}

constexpr std::string_view kTempPrefix = ".tmp-";

// Writes `bytes` as `name`: a new file under a temporary name, flushed, renamed over it.
void writeAt(int dir, const std::string& name, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    setAsideUnlessRegular(dir, name);
    const std::string temp =
        std::string(kTempPrefix) + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" + name;
    ::unlinkat(dir, temp.c_str(), 0);  // left by an earlier process of the same number
    UniqueFd fd(::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) throwSystem(errno);
    auto fail = [&](int err) {
        ::unlinkat(dir, temp.c_str(), 0);
        throwSystem(err);
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0) fail(errno);
    if (::close(fd.release()) != 0 && errno != EINTR) fail(errno);
    // A rename replaces whatever entry is there, a link included, never what a link names.
    if (::renameat(dir, temp.c_str(), dir, name.c_str()) != 0) fail(errno);
    (void)::fsync(dir);
}

constexpr int kCopySlots = 1000;
constexpr std::string_view kCopyTail = ".lkp";
constexpr std::string_view kNameTail = ".name";

std::string copyStem(const std::string& notebookPath) {
    return notebookPath.empty() ? std::string("unnamed") : NameHash(CanonicalNotebookPath(notebookPath));
}

std::string copyName(const std::string& stem, int n) {
    return stem + (n == 1 ? std::string() : "-" + std::to_string(n)) + std::string(kCopyTail);
}

// The slot of a copy's file name ("STEM.lkp" 1, "STEM-N.lkp" N), or 0 for other names.
int copySlot(std::string_view name, std::string_view stem) {
    if (!name.starts_with(stem) || !name.ends_with(kCopyTail)) return 0;
    const std::string_view middle = name.substr(stem.size(), name.size() - stem.size() - kCopyTail.size());
    if (middle.empty()) return 1;
    if (middle.size() < 2 || middle.size() > 5 || middle[0] != '-' || middle[1] == '0') return 0;
    int n = 0;
    for (const char c : middle.substr(1)) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n >= 2 && n <= kCopySlots ? n : 0;
}

// The folder's entry names.
std::vector<std::string> entryNames(int dir) {
    std::vector<std::string> names;
    const int again = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (again < 0) return names;
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(again), ::closedir);
    if (!listing) {
        ::close(again);
        return names;
    }
    while (const dirent* entry = ::readdir(listing.get())) names.emplace_back(entry->d_name);
    return names;
}

// A temporary file whose writer is gone.
bool staleTemporary(std::string_view name) {
    if (!name.starts_with(kTempPrefix)) return false;
    const std::string_view rest = name.substr(kTempPrefix.size());
    long pid = 0;
    std::size_t i = 0;
    for (; i < rest.size() && i < 10 && rest[i] >= '0' && rest[i] <= '9'; ++i) pid = pid * 10 + (rest[i] - '0');
    if (i == 0 || i >= rest.size() || rest[i] != '-' || pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// The slots of the copies of `stem` in the folder, regular files only, in order; other
// entries under copy names are set aside, temporary files of writers gone are removed.
std::vector<int> copySlots(int dir, const std::string& stem) {
    std::vector<int> slots;
    for (const std::string& name : entryNames(dir)) {
        if (staleTemporary(name)) {
            ::unlinkat(dir, name.c_str(), 0);
            continue;
        }
        const int n = copySlot(name, stem);
        if (n == 0) continue;
        if (entryType(dir, name) == S_IFREG) slots.push_back(n);
        else {
            try {
                setAside(dir, name, ".refused");
            } catch (const LarkError&) {
                // Left where it is; it is still never offered.
            }
        }
    }
    std::sort(slots.begin(), slots.end());
    return slots;
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

std::string lexicallyNormal(const std::string& absolute) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t end = absolute.find('/', start);
        if (end == std::string::npos) end = absolute.size();
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    return out.empty() ? std::string("/") : out;
}

std::string realPath(const std::string& path) {
    const std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr), std::free);
    return real ? std::string(real.get()) : std::string();
}

}  // namespace

std::string CanonicalNotebookPath(const std::string& path) {
    if (path.empty()) return {};
    std::string absolute = path;
    if (path.front() != '/') {
        const std::unique_ptr<char, void (*)(void*)> cwd(::getcwd(nullptr, 0), std::free);
        if (cwd) absolute = std::string(cwd.get()) + "/" + path;
    }
    if (std::string real = realPath(absolute); !real.empty()) return real;
    // No file there (yet): its folder resolved, its own name kept.
    std::string normal = lexicallyNormal(absolute);
    const auto slash = normal.rfind('/');
    if (slash != std::string::npos && slash + 1 < normal.size()) {
        const std::string folder = realPath(slash == 0 ? std::string("/") : normal.substr(0, slash));
        if (!folder.empty()) return (folder == "/" ? std::string() : folder) + normal.substr(slash);
    }
    return normal;
}

std::string RecoveryDirectory(const std::string& program) {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') base = state;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.local/state";
    else return {};
    return base + "/" + program + "/recovery";
}

std::string RecoveryPathFor(const std::string& directory, const std::string& notebookPath) {
    return directory + "/" + copyName(copyStem(notebookPath), 1);
}

RecoveryClaim RecoveryClaim::take(const std::string& copyPath) {
    RecoveryClaim claim;
    UniqueFd dir, fd;
    std::string name;
    try {
        std::string directory;
        std::tie(directory, name) = splitPath(copyPath);
        dir = openFolder(directory, true);
        fd = openRegularAt(dir.get(), ".owners", O_RDWR | O_CREAT, 0600);
    } catch (const LarkError&) {
        if (dir.get() < 0) return claim;  // no folder to keep a copy in
        // No lock file to be had: held without one, as where locks are missing.
    }
    if (fd.get() >= 0) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = ownerByte(name);
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
    std::vector<std::string> out;
    UniqueFd dir;
    try {
        dir = openFolder(directory, false);
    } catch (const LarkError&) {
        return out;
    }
    const std::string stem = copyStem(notebookPath);
    for (const int n : copySlots(dir.get(), stem)) out.push_back(directory + "/" + copyName(stem, n));
    return out;
}

RecoveryClaim ClaimNewRecoveryCopy(const std::string& directory, const std::string& notebookPath) {
    const std::string stem = copyStem(notebookPath);
    UniqueFd dir;
    try {
        dir = openFolder(directory, true);
    } catch (const LarkError&) {
        return {};
    }
    for (int n = 1; n <= kCopySlots; ++n) {
        const std::string name = copyName(stem, n);
        if (entryType(dir.get(), name) != 0) continue;
        RecoveryClaim claim = RecoveryClaim::take(directory + "/" + name);
        // Looked at again under the claim: another window may have written it meanwhile.
        if (claim.held() && entryType(dir.get(), name) == 0) return claim;
    }
    return {};
}

void WriteRecoveryCopy(const NotebookSnapshot& snapshot, const std::string& copyPath, const std::string& notebookPath,
                       const SealKey* key) {
    const auto [directory, name] = splitPath(copyPath);
    const UniqueFd dir = openFolder(directory, true);
    if (!notebookPath.empty()) {
        // The notebook's path, kept while its copies are: what names a copy whose notebook
        // has gone. Written once; a copy name holds the path's hash.
        const std::string canonical = CanonicalNotebookPath(notebookPath);
        const std::string nameFile = NameHash(canonical) + std::string(kNameTail);
        bool recorded = false;
        try {
            recorded = readAt(dir.get(), nameFile).view() == canonical;
        } catch (const LarkError&) {}
        if (!recorded) writeAt(dir.get(), nameFile, canonical);
    }
    TextBuffer packed = ZipDocument(snapshot);
    if (key) packed = SealBytes(packed.view(), *key);
    writeAt(dir.get(), name, packed.view());
}

bool RemoveRecoveryCopy(const std::string& copyPath) {
    UniqueFd dir;
    std::string directory, name;
    try {
        std::tie(directory, name) = splitPath(copyPath);
        dir = openFolder(directory, false);
    } catch (const LarkError&) {
        return false;
    }
    const bool removed = ::unlinkat(dir.get(), name.c_str(), 0) == 0;
    // The recorded path goes with the last copy of its notebook.
    const std::string stem = name.substr(0, std::min(name.find('-'), name.rfind('.')));
    if (stem != "unnamed" && copySlot(name, stem) != 0 && copySlots(dir.get(), stem).empty())
        ::unlinkat(dir.get(), (stem + std::string(kNameTail)).c_str(), 0);
    return removed;
}

std::vector<OrphanedCopy> OrphanedRecoveryCopies(const std::string& directory) {
    std::vector<OrphanedCopy> out;
    UniqueFd dir;
    try {
        dir = openFolder(directory, false);
    } catch (const LarkError&) {
        return out;
    }
    std::vector<std::string> names = entryNames(dir.get());
    std::sort(names.begin(), names.end());
    for (const std::string& file : names) {
        if (!file.ends_with(kNameTail)) continue;
        const std::string stem = file.substr(0, file.size() - kNameTail.size());
        std::string notebook;
        try {
            notebook = std::string(readAt(dir.get(), file).view());
        } catch (const LarkError&) {
            continue;  // not a regular file, or unreadable: names nothing
        }
        if (notebook.empty() || notebook.front() != '/' || NameHash(notebook) != stem) continue;
        struct stat st {};
        if (::stat(notebook.c_str(), &st) == 0 || errno != ENOENT) continue;  // still there, or unknown
        const std::vector<int> slots = copySlots(dir.get(), stem);
        if (slots.empty()) ::unlinkat(dir.get(), file.c_str(), 0);
        for (const int n : slots) out.push_back({notebook, directory + "/" + copyName(stem, n)});
    }
    return out;
}

std::optional<SealParams> RecoveryCopySealParams(const std::string& copyPath) {
    const auto [directory, name] = splitPath(copyPath);
    const TextBuffer bytes = readAt(openFolder(directory, false).get(), name);
    if (!IsSealed(bytes.view())) return std::nullopt;
    return ReadSealParams(bytes.view());
}

void RestoreRecoveryCopy(Document& doc, const std::string& copyPath, const std::string& notebookName,
                         const std::shared_ptr<const SealKey>& key) {
    const auto [directory, name] = splitPath(copyPath);
    TextBuffer bytes = readAt(openFolder(directory, false).get(), name);
    const bool sealed = IsSealed(bytes.view());
    if (sealed) {
        if (!key) throw LarkError(kSealNeedsPasswordText, ErrorKind::NeedsPassword);
        bytes = UnsealBytes(bytes.view(), *key);
    }
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
    doc.sealKey = sealed ? key : nullptr;
    doc.setTreeModified(true);
}

std::string SetAsideDamagedCopy(const std::string& copyPath) {
    const auto [directory, name] = splitPath(copyPath);
    return directory + "/" + setAside(openFolder(directory, false).get(), name, ".damaged");
}

}  // namespace lark
