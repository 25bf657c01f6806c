#pragma once
// The few system calls that decide whether a save is durable and atomic, behind one small
// interface: the real calls by default, a recording or failing stand-in in tests (which
// then see the order of writes, flushes and renames, or a disk that is full).
#include <sys/types.h>

namespace lark {

class FileOps {
public:
    virtual ~FileOps() = default;
    virtual ssize_t write(int fd, const void* data, size_t size);
    virtual int fsync(int fd);
    // Starts writing out `size` bytes at file offset `offset` (sync_file_range); no wait.
    virtual int syncRange(int fd, off_t offset, off_t size);
    virtual int rename(const char* from, const char* to);
    virtual int link(const char* from, const char* to);
    // Gives the file behind `fd` (an unnamed O_TMPFILE or a named one) the name `to` through
    // the descriptor; fails with ENOENT (or EPERM) where /proc is missing.
    virtual int linkOpenFile(int fd, const char* to);
    virtual int unlink(const char* path);
    // open(2) of an unnamed file (O_TMPFILE) in `directory`; -1 with errno where the
    // file system has none.
    virtual int openUnnamed(const char* directory, int flags, mode_t mode);
};

// The operations the file layer uses now.
FileOps& CurrentFileOps();

// Puts `ops` in place for its lifetime (tests); not for use while saves run on other threads.
class ScopedFileOps {
public:
    explicit ScopedFileOps(FileOps& ops);
    ~ScopedFileOps();
    ScopedFileOps(const ScopedFileOps&) = delete;
    ScopedFileOps& operator=(const ScopedFileOps&) = delete;

private:
    FileOps* previous_;
};

}  // namespace lark
