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

// strerror(err) without trailing blanks, line ends and full stops.
std::string systemErrorText(int err);

// The document file handle. Invalid (fd -1) at start; closed on destruction.
class DocumentFile {
public:
    DocumentFile() = default;
    ~DocumentFile();
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool readOnly() const { return readOnly_; }

private:
    friend void OpenDocumentFile(DocumentFile&, const std::string&, bool);
    friend void CloseDocumentFile(DocumentFile&);
    int fd_ = -1;
    bool readOnly_ = false;
};

// Closes any held file, then opens an existing file (never creates one): read and write
// unless `readOnly`, locked against writers. Throws LarkError (System or InUse).
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

// Writes `data` as the new contents of `path`: a temporary file in the same directory,
// fsync, rename over the target, fsync of the directory. A target that another opener
// holds fails like one that cannot be created: "Cannot create file "%s". %s".
// A symbolic link is followed (the file it points to is replaced); the replaced file keeps
// its permissions and, where allowed, its owner.
void ReplaceFileContents(const std::string& path, std::string_view data);

bool FileExists(const std::string& path);

}  // namespace lark
