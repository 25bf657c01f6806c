#pragma once
// The document file layer: the held file (FFileHandle) with its lock, whole-file reads,
// and replacing a file on disk without ever leaving a half-written one behind.
//
// Locks are open file description locks (F_OFD_SETLK): a write lock while the document
// is open for writing, a read lock while it is open read-only. A conflicting lock is what
// a sharing violation is elsewhere: the open fails with kInUseText.
#include <cstdint>
#include <string>
#include <string_view>

#include "document/text_buffer.h"

namespace lark {

using ByteBuffer = TextBuffer;

inline constexpr const char* kInUseText =
    "Процесс не может получить доступ к файлу, так как этот файл занят другим процессом";
inline constexpr const char* kShortReadText = "Прочитано меньше запрошенного";
// FIFOs, devices and sockets are never read or replaced as documents.
inline constexpr const char* kNotRegularText = "Not a regular file";

// strerror(err) without trailing blanks, line ends and full stops.
std::string systemErrorText(int err);

// The document file handle. Invalid (fd -1) at start; closed on destruction.
class DocumentFile {
public:
    DocumentFile() = default;
    ~DocumentFile();
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;
    // Moving hands the descriptor (and its lock) over; the source is left invalid.
    DocumentFile(DocumentFile&& other) noexcept : fd_(other.fd_), readOnly_(other.readOnly_) { other.fd_ = -1; }
    DocumentFile& operator=(DocumentFile&& other) noexcept {
        if (this != &other) {
            adopt(other.fd_, other.readOnly_);
            other.fd_ = -1;
        }
        return *this;
    }

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool readOnly() const { return readOnly_; }
    // Takes over an open, locked descriptor; the file held before is closed.
    void adopt(int fd, bool readOnly);

private:
    friend void OpenDocumentFile(DocumentFile&, const std::string&, bool);
    friend void CloseDocumentFile(DocumentFile&);
    int fd_ = -1;
    bool readOnly_ = false;
};

// Closes any held file, then opens an existing regular file (never creates one): read and
// write unless `readOnly`, locked against writers. Throws LarkError (System or InUse).
void OpenDocumentFile(DocumentFile& file, const std::string& path, bool readOnly);
void CloseDocumentFile(DocumentFile& file);

// Size of the held file in bytes.
std::int64_t DocumentFileSize(const DocumentFile& file);
// The whole held file in one buffer.
ByteBuffer ReadDocumentFile(const DocumentFile& file);
// Reads `size` bytes at `offset` from a descriptor; throws on error or short read.
void readExactly(int fd, char* dst, std::size_t size, std::int64_t offset);

// The whole file, read without taking a lock (lkp reads notebooks the window holds).
ByteBuffer ReadFileUnlocked(const std::string& path);

// The whole file, opened a second time for the plain-text view: read-only with a read
// lock, refused while another opener holds the file for writing. Failure raises
// "Cannot open file "%s". %s".
ByteBuffer ReadFileShared(const std::string& path);

bool FileExists(const std::string& path);

// What tells whether a file was replaced or changed: device, inode, size, modification time.
struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The file open as `fd`.
FileIdentity IdentityOf(int fd);
// The file `path` names now (links followed); `exists` false when there is none.
FileIdentity IdentityOfPath(const std::string& path);

// Opens `path` without blocking on a FIFO and refuses anything that is not a regular file
// (a directory with "Is a directory", others with kNotRegularText). Returns the descriptor.
int OpenRegularFile(const std::string& path, int flags);

// Takes a non-blocking OFD lock of `type` (F_RDLCK, F_WRLCK) on the whole file. 0 or the errno.
int LockWholeFile(int fd, short type);
// True when an opener other than `fd`'s own holds a lock that a writer would conflict with.
bool HeldByOther(int fd);
bool IsLockConflict(int err);

}  // namespace lark
