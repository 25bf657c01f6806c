#include "document/file_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace lark {
namespace {
FileOps gRealOps;
FileOps* gCurrent = &gRealOps;
}  // namespace

ssize_t FileOps::write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
int FileOps::fsync(int fd) { return ::fsync(fd); }
int FileOps::syncRange(int fd, off_t offset, off_t size) {
    return ::sync_file_range(fd, offset, size, SYNC_FILE_RANGE_WRITE);
}
int FileOps::rename(const char* from, const char* to) { return ::rename(from, to); }
int FileOps::link(const char* from, const char* to) { return ::link(from, to); }
int FileOps::unlink(const char* path) { return ::unlink(path); }

int FileOps::linkOpenFile(int fd, const char* to) {
    // Through /proc any user may link a file opened with O_TMPFILE; AT_EMPTY_PATH needs a
    // capability that ordinary users lack, so it is only the second choice.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to, AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return -1;
    return ::linkat(fd, "", AT_FDCWD, to, AT_EMPTY_PATH);
}

int FileOps::openUnnamed(const char* directory, int flags, mode_t mode) {
#ifdef O_TMPFILE
    return ::open(directory, flags | O_TMPFILE, mode);
#else
    errno = EOPNOTSUPP;
    return -1;
#endif
}

FileOps& CurrentFileOps() { return *gCurrent; }

ScopedFileOps::ScopedFileOps(FileOps& ops) : previous_(gCurrent) { gCurrent = &ops; }
ScopedFileOps::~ScopedFileOps() { gCurrent = previous_; }

}  // namespace lark
