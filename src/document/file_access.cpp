#include "document/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "document/errors.h"

namespace lark {
namespace {

[[noreturn]] void throwSystem(int err) {
    throw LarkError(systemErrorText(err), ErrorKind::System, err);
}

bool isLockConflict(int err) { return err == EAGAIN || err == EACCES; }

// Takes a non-blocking OFD lock on the whole file. Returns 0 or the errno.
int lockWhole(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 0 : errno;
}

// True when another opener holds a lock that a writer would conflict with.
bool heldByOther(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { int f = fd_; fd_ = -1; return f; }
private:
    int fd_;
};

std::string cannotCreate(const std::string& path, const std::string& why) {
    return "Cannot create file \"" + path + "\". " + why;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

ByteBuffer readWhole(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) throwSystem(errno);
    const auto size = static_cast<std::size_t>(st.st_size);
    ByteBuffer buf = ByteBuffer::allocate(size);
    readExactly(fd, buf.data(), size, 0);
    return buf;
}

}  // namespace

std::string systemErrorText(int err) {
    std::string text = std::strerror(err);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) < 33 || text.back() == '.')) text.pop_back();
    return text;
}

DocumentFile::~DocumentFile() {
    if (fd_ >= 0) ::close(fd_);
}

void OpenDocumentFile(DocumentFile& file, const std::string& path, bool readOnly) {
    CloseDocumentFile(file);
    const int fd = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (fd < 0) throwSystem(errno);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {  // a directory opens read-only, but is no document
        ::close(fd);
        throwSystem(EISDIR);
    }
    if (const int err = lockWhole(fd, readOnly ? F_RDLCK : F_WRLCK)) {
        ::close(fd);
        if (isLockConflict(err)) throw LarkError(kInUseText, ErrorKind::InUse, err);
        throwSystem(err);
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    file.fd_ = fd;
    file.readOnly_ = readOnly;
}

void CloseDocumentFile(DocumentFile& file) {
    if (file.fd_ < 0) return;
    if (::close(file.fd_) != 0 && errno != EINTR) {
        // The descriptor is gone either way on Linux; report the failure all the same.
        const int err = errno;
        file.fd_ = -1;
        throwSystem(err);
    }
    file.fd_ = -1;
}

std::int64_t DocumentFileSize(const DocumentFile& file) {
    struct stat st {};
    if (fstat(file.fd(), &st) != 0) throwSystem(errno);
    return st.st_size;
}

void readExactly(int fd, char* dst, std::size_t size, std::int64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const std::size_t want = std::min<std::size_t>(size - done, std::size_t{1} << 30);
        const ssize_t got = ::pread(fd, dst + done, want, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0) {
            if (errno == EINTR) continue;
            throwSystem(errno);
        }
        if (got == 0) throw LarkError(kShortReadText, ErrorKind::System);
        done += static_cast<std::size_t>(got);
    }
}

ByteBuffer ReadDocumentFile(const DocumentFile& file) { return readWhole(file.fd()); }

ByteBuffer ReadFileUnlocked(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throwSystem(errno);
    return readWhole(fd.get());
}

ByteBuffer ReadFileShared(const std::string& path) {
    auto fail = [&](const std::string& why, ErrorKind kind, int err) -> LarkError {
        return LarkError("Cannot open file \"" + path + "\". " + why, kind, err);
    };
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw fail(systemErrorText(errno), ErrorKind::System, errno);
    if (const int err = lockWhole(fd.get(), F_RDLCK)) {
        if (isLockConflict(err)) throw fail(kInUseText, ErrorKind::InUse, err);
        throw fail(systemErrorText(err), ErrorKind::System, err);
    }
    return readWhole(fd.get());
}

void ReplaceFileContents(const std::string& path, std::string_view data) {
    // A symbolic link is followed: the file it points to is replaced, the link stays.
    std::string target = path;
    {
        struct stat lst {};
        if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            if (char* real = ::realpath(path.c_str(), nullptr)) {
                target = real;
                std::free(real);
            }
        }
    }
    const std::string dir = directoryOf(target);
    const auto slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    auto fail = [&](int err, ErrorKind kind = ErrorKind::Write) -> LarkError {
        return LarkError(cannotCreate(path, systemErrorText(err)), kind, err);
    };

    // Refuse a target that another opener holds, as writing into it would be refused.
    mode_t mode = 0666;
    struct stat old {};
    bool hadOld = false;
    {
        Fd existing(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
        if (existing.get() >= 0) {
            if (heldByOther(existing.get()))
                throw LarkError(cannotCreate(path, kInUseText), ErrorKind::InUse, EAGAIN);
            if (fstat(existing.get(), &old) == 0) {
                if (S_ISDIR(old.st_mode)) throw fail(EISDIR);
                mode = old.st_mode & 07777;
                hadOld = true;
            }
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
    }

    std::string tmp = dir + "/." + base + ".XXXXXX";
    Fd fd(::mkstemp(tmp.data()));
    if (fd.get() < 0) throw fail(errno);
    bool keepTmp = false;
    struct Cleanup {
        const std::string& name;
        bool& keep;
        ~Cleanup() { if (!keep) ::unlink(name.c_str()); }
    } cleanup{tmp, keepTmp};

    ::fchmod(fd.get(), mode);
    if (hadOld && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)!::fchown(fd.get(), old.st_uid, old.st_gid);  // keep the owner where allowed
    // Written in stretches, each handed to the disk as soon as it is written, so that
    // the device works while the rest is still being copied and the fsync below has
    // only the last stretch left to wait for.
    constexpr std::size_t kStretch = std::size_t{8} << 20;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = ::write(fd.get(), data.data() + done, std::min(data.size() - done, kStretch));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) throw LarkError("Stream write error", ErrorKind::Write, put < 0 ? errno : ENOSPC);
        (void)::sync_file_range(fd.get(), static_cast<off_t>(done), put, SYNC_FILE_RANGE_WRITE);
        done += static_cast<std::size_t>(put);
    }
    if (::fsync(fd.get()) != 0) throw LarkError(systemErrorText(errno), ErrorKind::Write, errno);
    if (::close(fd.release()) != 0) throw LarkError(systemErrorText(errno), ErrorKind::Write, errno);
    if (::rename(tmp.c_str(), target.c_str()) != 0) throw fail(errno);
    keepTmp = true;
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace lark
