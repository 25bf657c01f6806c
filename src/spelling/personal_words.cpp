#include "spelling/personal_words.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>

#include "document/cp1251.h"
#include "document/errors.h"
#include "document/unique_fd.h"

namespace lark::spelling {

namespace {

constexpr std::size_t kMostBytes = 64u << 20;

std::string systemText(int err) {
    std::string text = std::strerror(err);
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
    return text;
}

[[noreturn]] void fail(const std::string& what, int err) {
    throw LarkError(what + ": " + systemText(err), ErrorKind::System, err);
}

void makeFolders(const std::string& folder) {
    if (folder.empty()) return;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return;
    const std::size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) makeFolders(folder.substr(0, slash));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) fail(folder, errno);
}

void writeAll(int fd, const std::string& bytes, const std::string& name) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(name, errno);
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string PersonalWordsPath() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') base = data;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.local/share";
    else return {};
    return base + "/larkpad/dictionary.txt";
}

void PersonalWords::load() {
    lines_.clear();
    words_.clear();
    known_.clear();
    writable_ = false;
    const UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            writable_ = true;
            return;
        }
        if (errno == ELOOP) throw LarkError(path_ + ": a symbolic link, not a word list", ErrorKind::System, ELOOP);
        fail(path_, errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) fail(path_, errno);
    if (!S_ISREG(st.st_mode)) throw LarkError(path_ + ": not a regular file", ErrorKind::System);
    if (static_cast<std::size_t>(st.st_size) > kMostBytes) throw LarkError(path_ + ": too large", ErrorKind::System);
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(path_, errno);
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
        if (bytes.size() > kMostBytes) throw LarkError(path_ + ": too large", ErrorKind::System);
    }
    std::size_t from = 0;
    while (from < bytes.size()) {
        std::size_t end = bytes.find('\n', from);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(from, end - from);
        from = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (std::optional<std::string> word = cp1251::fromUtf8(line); word && known_.insert(*word).second)
            words_.push_back(std::move(*word));
        lines_.push_back(std::move(line));
    }
    writable_ = true;
}

void PersonalWords::add(std::string_view word) {
    if (word.empty() || contains(word)) return;
    if (!writable_) throw LarkError(path_ + ": the word list could not be read; it is left as it is");
    if (path_.empty()) throw LarkError("No folder for the word list: HOME is not set");
    std::string bytes;
    for (const std::string& line : lines_) bytes += line + "\n";
    const std::string line = cp1251::toUtf8(word);
    bytes += line + "\n";
    write(bytes);
    lines_.push_back(line);
    words_.emplace_back(word);
    known_.emplace(word);
}

// A new file beside the list, flushed, then renamed over it: the rename replaces a link or
// a FIFO under the name itself, never what it leads to.
void PersonalWords::write(const std::string& bytes) const {
    const std::size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path_.substr(0, slash);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    makeFolders(folder);
    std::random_device random;
    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; fd.get() < 0; ++attempt) {
        temp = folder + "/." + name + "." + std::to_string(random()) + ".tmp";
        fd = UniqueFd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.get() < 0 && (errno != EEXIST || attempt > 100)) fail(temp, errno);
    }
    try {
        writeAll(fd.get(), bytes, temp);
        if (::fsync(fd.get()) != 0) fail(temp, errno);
        fd.reset();
        if (::rename(temp.c_str(), path_.c_str()) != 0) fail(path_, errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace lark::spelling
