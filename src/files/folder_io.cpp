#include "files/folder_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "document/errors.h"
#include "document/file_access.h"

namespace lark::files {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
    throw LarkError(what + " \"" + path + "\". " + systemErrorText(err), ErrorKind::System, err);
}

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
    if (type == FTW_DP) ::rmdir(path);
    else ::unlink(path);
    return 0;
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

std::string MakeFreshFolder(const std::string& prefix) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0;; ++attempt) {
        std::string path = prefix + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        if (::mkdir(path.c_str(), 0777) == 0) return path;
        if (errno != EEXIST || attempt > 1000) fail("Cannot create folder", path, errno);
    }
}

void RemoveTree(const std::string& path) { ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }

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
