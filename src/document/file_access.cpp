#include "document/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "document/errors.h"
#include "document/unique_fd.h"

namespace lark {
namespace {

[[noreturn]] void throwSystem(int err) { throw LarkError(systemErrorText(err), ErrorKind::System, err); }

ByteBuffer readWhole(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) throwSystem(errno);
    const auto size = static_cast<std::size_t>(st.st_size);
    ByteBuffer buf = ByteBuffer::allocate(size);
    readExactly(fd, buf.data(), size, 0);
    return buf;
}

}  // namespace

bool IsLockConflict(int err) { return err == EAGAIN || err == EACCES; }

int LockWholeFile(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 0 : errno;
}

bool HeldByOther(int fd) {
    // Asked through the descriptor that holds our own lock, the answer leaves that lock out.
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

int OpenRegularFile(const std::string& path, int flags) {
    // O_NONBLOCK keeps a FIFO from waiting for a writer; it is cleared again for the file.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throwSystem(errno);
    UniqueFd guard(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) throwSystem(errno);
    if (S_ISDIR(st.st_mode)) throwSystem(EISDIR);
    if (!S_ISREG(st.st_mode)) throw LarkError(kNotRegularText, ErrorKind::System, 0);
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) (void)::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return guard.release();
}

std::string systemErrorText(int err) {
    std::string text = std::strerror(err);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) < 33 || text.back() == '.')) text.pop_back();
    return text;
}

DocumentFile::~DocumentFile() {
    if (fd_ >= 0) ::close(fd_);
}

void DocumentFile::adopt(int fd, bool readOnly) {
    if (fd_ >= 0 && fd_ != fd) ::close(fd_);
    fd_ = fd;
    readOnly_ = readOnly;
}

void OpenDocumentFile(DocumentFile& file, const std::string& path, bool readOnly) {
    CloseDocumentFile(file);
    const int fd = OpenRegularFile(path, readOnly ? O_RDONLY : O_RDWR);
    if (const int err = LockWholeFile(fd, readOnly ? F_RDLCK : F_WRLCK)) {
        ::close(fd);
        if (IsLockConflict(err)) throw LarkError(kInUseText, ErrorKind::InUse, err);
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
    UniqueFd fd(OpenRegularFile(path, O_RDONLY));
    return readWhole(fd.get());
}

ByteBuffer ReadFileShared(const std::string& path) {
    auto fail = [&](const std::string& why, ErrorKind kind, int err) -> LarkError {
        return LarkError("Cannot open file \"" + path + "\". " + why, kind, err);
    };
    int raw = -1;
    try {
        raw = OpenRegularFile(path, O_RDONLY);
    } catch (const LarkError& e) {
        throw fail(e.what(), e.kind(), e.sysErrno());
    }
    UniqueFd fd(raw);
    if (const int err = LockWholeFile(fd.get(), F_RDLCK)) {
        if (IsLockConflict(err)) throw fail(kInUseText, ErrorKind::InUse, err);
        throw fail(systemErrorText(err), ErrorKind::System, err);
    }
    return readWhole(fd.get());
}

namespace {
FileIdentity identityFrom(const struct stat& st) {
    FileIdentity id;
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}
}  // namespace

FileIdentity IdentityOf(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? identityFrom(st) : FileIdentity{};
}

FileIdentity IdentityOfPath(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? identityFrom(st) : FileIdentity{};
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace lark
