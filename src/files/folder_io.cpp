#include "files/folder_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <vector>

#include "document/errors.h"
#include "document/file_access.h"
#include "document/unique_fd.h"

namespace lark::files {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
    throw LarkError(what + " \"" + path + "\". " + systemErrorText(err), ErrorKind::System, err);
}

// The names in the folder `fd`, without "." and "..".
std::vector<std::string> namesIn(int fd) {
    std::vector<std::string> names;
    const int listFd = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!d) {
        if (listFd >= 0) ::close(listFd);
        return names;
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n != "." && n != "..") names.emplace_back(n);
    }
    ::closedir(d);
    return names;
}

// Removes `name` in the folder `parentFd` with everything below it, every step relative to
// the folder it is in: a folder swapped for a link meanwhile is removed as the link.
void removeAt(int parentFd, const std::string& name) {
    if (::unlinkat(parentFd, name.c_str(), 0) == 0) return;
    UniqueFd fd(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) return;
    for (const std::string& child : namesIn(fd.get())) removeAt(fd.get(), child);
    ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

// "<digits>-<digits>" and the first number, the process that made the folder.
bool writerOf(std::string_view rest, long long& pid) {
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size() || dash > 18) return false;
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (i != dash && (rest[i] < '0' || rest[i] > '9')) return false;
    pid = std::stoll(std::string(rest.substr(0, dash)));
    return pid > 0;
}

}  // namespace

void WriteNewFile(const std::string& path, std::string_view data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) fail("Cannot create file", path, errno);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            fail("Stream write error", path, err);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) fail("Stream write error", path, errno);
}

void MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0) fail("Cannot create folder", path, errno);
}

std::string MakeFreshFolder(const std::string& prefix, UniqueFd& lock) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0;; ++attempt) {
        std::string path = prefix + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        if (::mkdir(path.c_str(), 0777) == 0) {
            lock = UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (lock.get() < 0 || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
                const int err = errno;
                RemoveTree(path);
                fail("Cannot create folder", path, err);
            }
            return path;
        }
        if (errno != EEXIST || attempt > 1000) fail("Cannot create folder", path, errno);
    }
}

void SweepStaleFolders(const std::string& parent, const std::string& namePrefix) {
    UniqueFd dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) return;
    for (const std::string& name : namesIn(dir.get())) {
        long long pid = 0;
        if (!name.starts_with(namePrefix) || !writerOf(std::string_view(name).substr(namePrefix.size()), pid)) continue;
        // A writer that still runs (or may: another user's) keeps its folder.
        if (pid == ::getpid() || pid > INT32_MAX || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        UniqueFd fd(::openat(dir.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        // The lock is held while a folder is written: a process of the same number in another
        // PID namespace is at work on it still.
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
        removeAt(dir.get(), name);
    }
}

void RemoveTree(const std::string& path) { removeAt(AT_FDCWD, path); }

PathKind KindOfPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? PathKind::Missing : PathKind::Other;
    if (!S_ISDIR(st.st_mode)) return PathKind::Other;
    DIR* d = ::opendir(path.c_str());
    if (!d) return PathKind::Folder;
    bool empty = true;
    while (dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n != "." && n != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    return empty ? PathKind::EmptyFolder : PathKind::Folder;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace lark::files
