#include "document/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "document/errors.h"
#include "document/file_ops.h"
#include "document/unique_fd.h"

namespace lark {
namespace {

constexpr std::size_t kRandomChars = 6;
constexpr int kMaxLinkHops = 40;

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string cannotCreateText(const std::string& path, const std::string& why) {
    return "Cannot create file \"" + path + "\". " + why;
}

LarkError cannotCreate(const std::string& path, int err, ErrorKind kind = ErrorKind::Write) {
    return LarkError(cannotCreateText(path, systemErrorText(err)), kind, err);
}

LarkError streamWriteError(const std::string& path, int err) {
    return LarkError("Stream write error \"" + path + "\". " + systemErrorText(err), ErrorKind::Write, err);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Follows symbolic links to the file they name, which need not exist yet (a dangling link
// is written through, as any other program writing to it would).
std::string resolveLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0) throw cannotCreate(path, errno);
        target.resize(static_cast<std::size_t>(n));
        current = !target.empty() && target[0] == '/' ? target : directoryOf(current) + "/" + target;
    }
    throw cannotCreate(path, ELOOP);
}

std::string randomSuffix() {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kRandomChars] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy yet: the clock and the process are enough to keep names apart.
        unsigned long long seed =
            static_cast<unsigned long long>(::getpid()) * 2654435761ULL ^ static_cast<unsigned long long>(::clock());
        for (auto& b : bytes) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            b = static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string s;
    for (unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
    return s;
}

// Removes temporaries with `prefix` that no living writer holds. A temporary that is a
// link to the caller's own held file (an interrupted backup) is a leftover as well.
void sweepStaleTemporaries(const std::string& dir, const std::string& prefix, const struct stat* held) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() != prefix.size() + kRandomChars || name.substr(0, prefix.size()) != prefix) continue;
        const std::string path = dir + "/" + std::string(name);
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() < 0) continue;
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const bool ours = held && sameFile(st, *held);
        if (!ours && LockWholeFile(fd.get(), F_RDLCK) != 0) continue;  // its writer is still at work
        stale.push_back(path);
    }
    ::closedir(d);
    // A leftover that cannot be removed hurts nothing; the save goes on.
    for (const auto& path : stale) (void)CurrentFileOps().unlink(path.c_str());
}

// A temporary file in `dir`, locked for writing; `name` is empty while it has none.
struct Temporary {
    UniqueFd fd;
    std::string name;
};

Temporary createTemporary(const std::string& dir, const std::string& prefix, const std::string& reportPath) {
    FileOps& ops = CurrentFileOps();
    Temporary tmp;
    // 0666 less the umask, as for any new file; an existing file's mode is set afterwards.
    tmp.fd = UniqueFd(ops.openUnnamed(dir.c_str(), O_RDWR | O_CLOEXEC, 0666));
    if (tmp.fd.get() < 0) {
        const int err = errno;
        // Without unnamed files the call fails with one of these; anything else is real.
        if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) throw cannotCreate(reportPath, err);
        for (int attempt = 0;; ++attempt) {
            std::string name = dir + "/" + prefix + randomSuffix();
            tmp.fd = UniqueFd(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (tmp.fd.get() >= 0) {
                tmp.name = std::move(name);
                break;
            }
            if (errno != EEXIST || attempt >= 100) throw cannotCreate(reportPath, errno);
        }
    }
    if (const int err = LockWholeFile(tmp.fd.get(), F_WRLCK)) {
        if (!tmp.name.empty()) (void)ops.unlink(tmp.name.c_str());
        throw cannotCreate(reportPath, err);
    }
    return tmp;
}

// Gives an unnamed temporary a short name in `dir`.
void nameTemporary(Temporary& tmp, const std::string& dir, const std::string& prefix, const std::string& reportPath) {
    if (!tmp.name.empty()) return;
    for (int attempt = 0;; ++attempt) {
        std::string name = dir + "/" + prefix + randomSuffix();
        if (CurrentFileOps().linkOpenFile(tmp.fd.get(), name.c_str()) == 0) {
            tmp.name = std::move(name);
            return;
        }
        if (errno != EEXIST || attempt >= 100) throw cannotCreate(reportPath, errno);
    }
}

// Writes `data` at `offset` of the file behind `fd` (its current position), each stretch
// handed to the disk as soon as it is written, so that the device works while the rest is
// still being copied and the final flush has little left. No flush of its own.
void writeStretches(int fd, std::string_view data, off_t offset, const std::string& reportPath) {
    FileOps& ops = CurrentFileOps();
    constexpr std::size_t kStretch = std::size_t{8} << 20;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = ops.write(fd, data.data() + done, std::min(data.size() - done, kStretch));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) throw streamWriteError(reportPath, put < 0 ? errno : ENOSPC);
        (void)ops.syncRange(fd, offset + static_cast<off_t>(done), put);
        done += static_cast<std::size_t>(put);
    }
}

void flush(int fd, const std::string& reportPath) {
    if (CurrentFileOps().fsync(fd) != 0) throw streamWriteError(reportPath, errno);
}

void writeAll(int fd, std::string_view data, const std::string& reportPath) {
    writeStretches(fd, data, 0, reportPath);
    flush(fd, reportPath);
}

// Copies the file behind `from` into `to` and flushes the copy once it is complete.
void copyContents(int from, int to, const std::string& reportPath) {
    std::vector<char> buffer(std::size_t{1} << 20);
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw cannotCreate(reportPath, errno);
        if (got == 0) break;
        writeStretches(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)), offset, reportPath);
        offset += got;
    }
    flush(to, reportPath);
}

// True when the file behind `fd` holds exactly `data`; a read that fails counts as a
// difference.
bool holdsExactly(int fd, std::string_view data) {
    std::vector<char> buffer(std::size_t{1} << 20);
    std::size_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return offset == data.size();
        const auto n = static_cast<std::size_t>(got);
        if (offset + n > data.size() || data.compare(offset, n, std::string_view(buffer.data(), n)) != 0) return false;
        offset += n;
    }
}

void keepMode(int fd, const struct stat& old, const std::string& reportPath) {
    if (::fchmod(fd, old.st_mode & 07777) != 0) throw cannotCreate(reportPath, errno);
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        // Only a privileged user may give a file away; anyone else keeps it as theirs.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) throw cannotCreate(reportPath, errno);
    }
}

// Flushes the directory's entries; returns why it could not, empty on success.
std::string syncDirectory(const std::string& dir) {
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return streamWriteError(dir, errno).what();
    // Some file systems cannot flush a directory at all; that is no failure of the save.
    if (CurrentFileOps().fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS)
        return streamWriteError(dir, errno).what();
    return {};
}

bool linksImpossible(int err) {
    return err == EXDEV || err == EPERM || err == EOPNOTSUPP || err == EMLINK || err == ENOSYS;
}

// Links the file open as `fd` (with identity `old`) under `name`: through the descriptor
// where /proc allows it, else by the path it was found under, kept only when the link
// leads to that same file. Returns 0, or the error; ENOENT when the path leads elsewhere
// now (the caller copies from the descriptor instead).
int linkCheckedFile(int fd, const struct stat& old, const std::string& path, const std::string& name) {
    FileOps& ops = CurrentFileOps();
    if (ops.linkOpenFile(fd, name.c_str()) == 0) return 0;
    if (errno == EEXIST || (errno != ENOENT && !linksImpossible(errno))) return errno;
    // No /proc: the path is all there is; what it names now may not be the checked file.
    if (ops.link(path.c_str(), name.c_str()) != 0) return errno;
    struct stat linked {};
    if (::lstat(name.c_str(), &linked) == 0 && sameFile(linked, old)) return 0;
    (void)ops.unlink(name.c_str());
    return ENOENT;
}

// A temporary file beside `backup` with the mode of `old`, filled by `fill` and flushed, under
// a temporary name that is returned; removed again when anything fails.
template <class Fill>
std::string writtenCopy(const std::string& dir, const std::string& prefix, const struct stat& old,
                        const std::string& backup, Fill fill) {
    Temporary copy = createTemporary(dir, prefix, backup);
    struct Cleanup {
        Temporary& t;
        ~Cleanup() {
            if (!t.name.empty()) (void)CurrentFileOps().unlink(t.name.c_str());
        }
    } cleanup{copy};
    keepMode(copy.fd.get(), old, backup);
    fill(copy.fd.get());
    nameTemporary(copy, dir, prefix, backup);
    std::string name = std::move(copy.name);
    copy.name.clear();
    return name;
}

// Keeps the file open as `old` under `backup`: a hard link to that very file where the file
// system allows one, else a flushed copy read from it; either first under a temporary name,
// then renamed onto the backup name.
void keepBackup(const std::string& target, int oldFd, const struct stat& old, const std::string& backup,
                const std::optional<TextBuffer>& bytes) {
    FileOps& ops = CurrentFileOps();
    const std::string dir = directoryOf(backup);
    const std::string prefix = TemporaryPrefix(baseOf(backup));
    std::string name;
    for (int attempt = 0; !bytes; ++attempt) {
        name = dir + "/" + prefix + randomSuffix();
        const int err = linkCheckedFile(oldFd, old, target, name);
        if (err == 0) break;
        if (err == EEXIST && attempt < 100) continue;
        if (err != ENOENT && !linksImpossible(err)) throw cannotCreate(backup, err);
        name = writtenCopy(dir, prefix, old, backup, [&](int fd) { copyContents(oldFd, fd, backup); });
        break;
    }
    if (bytes) {
        // Bytes of the caller's choosing, written the way a copy is.
        name = writtenCopy(dir, prefix, old, backup, [&](int fd) { writeAll(fd, bytes->view(), backup); });
    }
    if (ops.rename(name.c_str(), backup.c_str()) != 0) {
        const int err = errno;
        (void)ops.unlink(name.c_str());
        throw cannotCreate(backup, err);
    }
}

}  // namespace

std::string NameHash(std::string_view name) {
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : name) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::string TemporaryPrefix(std::string_view name) {
    // Short and fixed in length, so that a name of any length can still be saved; the
    // hash ties a temporary to the file it was meant to replace.
    return "." + NameHash(name) + "~";
}

std::string ReplaceFileContents(const std::string& path, std::string_view data, const ReplaceOptions& options) {
    FileOps& ops = CurrentFileOps();
    const std::string target = resolveLinks(path);
    const std::string dir = directoryOf(target);
    const std::string prefix = TemporaryPrefix(baseOf(target));

    struct stat held {};
    const bool haveHeld = options.held && options.held->valid() && ::fstat(options.held->fd(), &held) == 0;

    // What is there now decides everything else; nothing is written or moved before.
    UniqueFd existing(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat old {};
    const bool hadOld = existing.get() >= 0;
    if (!hadOld) {
        if (errno != ENOENT) throw cannotCreate(path, errno);
    } else {
        if (::fstat(existing.get(), &old) != 0) throw cannotCreate(path, errno);
        if (S_ISDIR(old.st_mode)) throw cannotCreate(path, EISDIR);
        if (!S_ISREG(old.st_mode)) throw LarkError(cannotCreateText(path, kNotRegularText), ErrorKind::Write, 0);
        const int probe = haveHeld && sameFile(held, old) ? options.held->fd() : existing.get();
        if (HeldByOther(probe)) throw LarkError(cannotCreateText(path, kInUseText), ErrorKind::InUse, EAGAIN);
        // A file without any write permission is read-only for everybody, root included.
        if ((old.st_mode & 0222) == 0) throw cannotCreate(path, EACCES);
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) throw cannotCreate(path, errno);
    }

    std::string backup = hadOld ? options.backupPath : std::string();
    if (!backup.empty()) {
        struct stat b {};
        // A backup never replaces the document itself (a document named like its backup,
        // or a backup name that leads to the same file).
        const bool sameAsDocument =
            (::stat(backup.c_str(), &b) == 0 && sameFile(b, old)) || resolveLinks(backup) == target;
        if (sameAsDocument) backup.clear();
    }
    if (!backup.empty() && haveHeld && sameFile(held, old) && static_cast<std::size_t>(old.st_size) == data.size()) {
        // Saved again with nothing changed: the backup keeps the version before, instead of
        // becoming a second copy of this one.
        struct stat b {};
        if (::lstat(backup.c_str(), &b) == 0 && holdsExactly(existing.get(), data)) backup.clear();
    }

    sweepStaleTemporaries(dir, prefix, haveHeld ? &held : nullptr);
    if (!backup.empty())
        sweepStaleTemporaries(directoryOf(backup), TemporaryPrefix(baseOf(backup)), haveHeld ? &held : nullptr);

    Temporary tmp = createTemporary(dir, prefix, path);
    struct Cleanup {
        Temporary& t;
        ~Cleanup() {
            if (!t.name.empty()) (void)CurrentFileOps().unlink(t.name.c_str());
        }
    } cleanup{tmp};

    if (hadOld) keepMode(tmp.fd.get(), old, path);
    writeAll(tmp.fd.get(), data, path);
    nameTemporary(tmp, dir, prefix, path);
    if (!backup.empty()) {
        const std::optional<TextBuffer> bytes =
            options.backupBytes ? options.backupBytes(existing.get()) : std::optional<TextBuffer>();
        keepBackup(target, existing.get(), old, backup, bytes);
    }
    if (ops.rename(tmp.name.c_str(), target.c_str()) != 0) throw cannotCreate(path, errno);
    tmp.name.clear();  // it is the document now
    if (options.held) options.held->adopt(tmp.fd.release(), false);

    // The new file has its name: the save is done, whatever the flushes of the directories say.
    std::string warning = syncDirectory(dir);
    if (warning.empty() && !backup.empty() && directoryOf(backup) != dir) warning = syncDirectory(directoryOf(backup));
    return warning;
}

}  // namespace lark
