#include "files/notebook_import.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "document/document.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/format.h"
#include "document/unique_fd.h"
#include "files/exchange_text.h"
#include "files/name_escape.h"
#include "files/notebook_folder.h"

namespace lark::files {

namespace {

// Messages of refused text beyond this many are counted, not listed.
constexpr std::size_t kListedProblems = 20;
// A UTF-8 character takes at most three bytes for one byte of Windows-1251: a file longer
// than this cannot become a text a notebook holds, and is refused before it is read.
constexpr std::uint64_t kMaxTextFileBytes = 3ULL * kMaxBlockLength + 3;
// notebook.json holds info lines and the names of cut files: more than this is no export.
constexpr std::uint64_t kMaxFolderInfoBytes = 64ULL << 20;

struct FolderInfo {
    InfoLines info;
    std::optional<int> selected;
    std::set<std::string> keptBreaks;
    std::map<std::string, std::string> names;  // relative path -> whole name (UTF-8)
};

struct Item {
    std::string stem;
    std::string file;    // empty: a folder without a text of its own
    std::string folder;  // empty: no children
};

bool endsWithIgnoringCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = s[s.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

class Importer {
public:
    Importer(std::string root, UniqueFd rootFd, ImportedNotebook& out)
        : root_(std::move(root)), rootFd_(std::move(rootFd)), out_(out) {}

    void readFolderInfo() {
        const std::string where = std::string(kFolderInfoFile);
        struct stat st {};
        if (::fstatat(rootFd_.get(), where.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return;
        out_.fromExport = true;
        const std::optional<TextBuffer> bytes = readEntry(rootFd_.get(), where, where, kMaxFolderInfoBytes);
        if (!bytes) return;
        try {
            const auto j = nlohmann::json::parse(bytes->view());
            if (!j.is_object() || !j.contains(kKeyFolder)) throw LarkError(where + ": not written by an export");
            if (j.contains(kKeyInfo)) {
                std::size_t line = 0;
                for (const auto& entry : j.at(kKeyInfo)) {
                    ++line;
                    const std::string what = where + ": info line " + std::to_string(line);
                    TextProblem problem;
                    const auto text = ImportText(entry.get<std::string>(), true, problem);
                    if (!text) note(DescribeProblem(what, problem, false));
                    else if (text->find_first_of("\r\n") != std::string::npos) note(what + " holds a line break");
                    else folder_.info.push_back(*text);
                }
            }
            if (j.contains(kKeySelected) && !j.at(kKeySelected).is_null())
                folder_.selected = j.at(kKeySelected).get<int>();
            if (j.contains(kKeyKeptBreaks))
                for (const auto& p : j.at(kKeyKeptBreaks)) folder_.keptBreaks.insert(p.get<std::string>());
            if (j.contains(kKeyNames))
                for (const auto& [p, name] : j.at(kKeyNames).items()) folder_.names[p] = name.get<std::string>();
        } catch (const nlohmann::json::exception& e) {
            throw LarkError(where + ": " + e.what());
        }
    }

    void readFolder(int dirFd, const std::string& relative, int depth) {
        struct stat self {};
        if (::fstat(dirFd, &self) != 0) failSystem(relative.empty() ? root_ : root_ + "/" + relative);
        const std::pair<dev_t, ino_t> id{self.st_dev, self.st_ino};
        if (!onPath_.insert(id).second) {  // a mount that shows a folder inside itself
            out_.skipped.push_back(relative);
            return;
        }
        for (const Item& item : items(dirFd, relative)) {
            addSection(dirFd, relative, item, depth);
            if (item.folder.empty()) continue;
            const std::string name = item.folder.substr(0, item.folder.size() - 1);
            UniqueFd child(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (child.get() < 0) failSystem(root_ + "/" + relative + name);
            readFolder(child.get(), relative + item.folder, depth + 1);
        }
        onPath_.erase(id);
    }

    void readRoot() { readFolder(rootFd_.get(), "", 0); }

    void finish() {
        if (problems_.empty()) return;
        std::string message;
        for (std::size_t i = 0; i < problems_.size() && i < kListedProblems; ++i) message += problems_[i] + "\n";
        if (problems_.size() > kListedProblems)
            message += "... and " + std::to_string(problems_.size() - kListedProblems) + " more\n";
        message.pop_back();
        throw LarkError(message, ErrorKind::Encoding);
    }

    FolderInfo& folderInfo() { return folder_; }

private:
    [[noreturn]] static void failSystem(const std::string& path) {
        const int err = errno;
        throw LarkError("Cannot open \"" + path + "\". " + systemErrorText(err), ErrorKind::System, err);
    }

    void note(std::string problem) { problems_.push_back(std::move(problem)); }

    // The regular file `name` in the folder `dirFd`, read whole; never through a link, never
    // waiting on a FIFO. A file longer than `limit` is noted as refused and not read.
    std::optional<TextBuffer> readEntry(int dirFd, const std::string& name, const std::string& where,
                                        std::uint64_t limit) {
        const std::string path = root_ + "/" + where;
        UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0) failSystem(path);
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) failSystem(path);
        if (!S_ISREG(st.st_mode)) throw LarkError("Cannot open \"" + path + "\". " + kNotRegularText);
        const auto size = static_cast<std::uint64_t>(st.st_size);
        if (size > limit) {
            note(where + ": the file is " + std::to_string(size) + " bytes, more than " + std::to_string(limit) +
                 " bytes can be");
            return std::nullopt;
        }
        TextBuffer bytes = TextBuffer::allocate(static_cast<std::size_t>(size));
        readExactly(fd.get(), bytes.data(), bytes.size(), 0);
        return bytes;
    }

    // The entries of one folder as sections: a text file and the folder of the same stem
    // are one section; ordered by stem, then by file name.
    // Symbolic links are never followed: each is named as left out.
    std::vector<Item> items(int dirFd, const std::string& relative) {
        const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* d = listFd < 0 ? nullptr : ::fdopendir(listFd);
        if (!d) {
            if (listFd >= 0) ::close(listFd);
            failSystem(relative.empty() ? root_ : root_ + "/" + relative);
        }
        std::vector<std::string> names, files, folders;
        while (dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
        ::closedir(d);
        std::sort(names.begin(), names.end());  // entries left out are named in this order
        for (const std::string& name : names) {
            if (name.empty() || name[0] == '.') continue;
            if (relative.empty() && out_.fromExport && name == kFolderInfoFile) continue;
            struct stat st {};
            if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                out_.skipped.push_back(relative + name);
                continue;
            }
            if (S_ISLNK(st.st_mode)) out_.links.push_back(relative + name);
            else if (S_ISDIR(st.st_mode)) folders.push_back(name);
            else if (S_ISREG(st.st_mode) && (endsWithIgnoringCase(name, ".txt") || endsWithIgnoringCase(name, ".md")))
                files.push_back(name);
            else out_.skipped.push_back(relative + name);
        }
        std::vector<Item> result;
        for (const std::string& f : files) {
            const std::size_t dot = f.rfind('.');
            result.push_back({f.substr(0, dot), f, {}});
        }
        std::sort(result.begin(), result.end(),
                  [](const Item& a, const Item& b) { return std::tie(a.stem, a.file) < std::tie(b.stem, b.file); });
        for (const std::string& folder : folders) {
            auto it = std::find_if(result.begin(), result.end(),
                                   [&](const Item& i) { return i.stem == folder && i.folder.empty(); });
            if (it != result.end()) it->folder = folder + "/";
            else result.push_back({folder, {}, folder + "/"});
        }
        std::stable_sort(result.begin(), result.end(), [](const Item& a, const Item& b) { return a.stem < b.stem; });
        return result;
    }

    void addSection(int dirFd, const std::string& relative, const Item& item, int depth) {
        const std::string key = relative + (item.file.empty() ? item.stem : item.file);
        std::string utf8Name;
        if (const auto it = folder_.names.find(key); out_.fromExport && it != folder_.names.end())
            utf8Name = it->second;
        else if (out_.fromExport) utf8Name = UnescapeName(StemName(item.stem));
        else utf8Name = item.stem;
        SnapshotSection& section = out_.notebook.addSection(depth, {});
        TextProblem problem;
        if (auto name = ImportText(utf8Name, true, problem)) {
            const bool breaks = name->find_first_of("\r\n") != std::string::npos || name->starts_with('\t');
            if (breaks) note(key + ": a section name cannot hold a line break or begin with a TAB");
            out_.notebook.setName(section, *name);
        } else {
            note(DescribeProblem(key + ": the name", problem, false));
        }
        if (item.file.empty()) return;
        const std::string where = relative + item.file;
        const std::optional<TextBuffer> bytes = readEntry(dirFd, item.file, where, kMaxTextFileBytes);
        if (!bytes) return;
        const bool kept = out_.fromExport && folder_.keptBreaks.contains(where);
        if (auto text = ImportText(bytes->view(), kept, problem)) {
            if (text->size() > kMaxBlockLength) note(where + ": the text is longer than 16,777,215 bytes");
            else if (!text->empty()) section.text_ = TextBuffer::copyOf(*text);
        } else {
            note(DescribeProblem(relative + item.file, problem));
        }
    }

    std::string root_;
    UniqueFd rootFd_;
    ImportedNotebook& out_;
    FolderInfo folder_;
    std::vector<std::string> problems_;
    std::set<std::pair<dev_t, ino_t>> onPath_;
};

}  // namespace

ImportedNotebook ImportFolder(const std::string& dirPath) {
    std::string dir = dirPath;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    // The folder named is opened as given (through a link, if it is one); nothing inside it is.
    UniqueFd rootFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (rootFd.get() < 0) {
        const int err = errno;
        if (err == ENOTDIR) throw LarkError("\"" + dir + "\" is not a folder");
        throw LarkError("Cannot open \"" + dir + "\". " + systemErrorText(err), ErrorKind::System, err);
    }

    ImportedNotebook out;
    Importer importer(dir, std::move(rootFd), out);
    importer.readFolderInfo();
    importer.readRoot();
    importer.finish();

    FolderInfo& folder = importer.folderInfo();
    const int count = static_cast<int>(out.notebook.sections.size());
    if (folder.selected && (*folder.selected < 0 || *folder.selected >= count)) folder.selected.reset();
    out.selected = folder.selected;
    if (!out.fromExport) {
        // What a save of a notebook with its first section selected writes.
        out.notebook.info = InfoLines{"Activate=0"};
        if (count > 0) out.selected = 0;
        return out;
    }
    // The info lines come back as they were; the Activate line changes only when the
    // folder names another selected section than the one it already says.
    out.notebook.info = std::move(folder.info);
    if (out.selected) {
        const auto [line, value] = FindInfoLine(out.notebook.info, "Activate");
        int remembered = -1;
        if (line < 0 || !ParseInteger(value, remembered) || remembered != *out.selected)
            SetActivateLine(out.notebook.info, *out.selected);
    }
    return out;
}

}  // namespace lark::files
