#include "files/notebook_import.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "document/document.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "files/exchange_text.h"
#include "files/name_escape.h"
#include "files/notebook_folder.h"

namespace lark::files {

namespace {

// Messages of refused text beyond this many are counted, not listed.
constexpr std::size_t kListedProblems = 20;

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
    Importer(std::string root, ImportedNotebook& out) : root_(std::move(root)), out_(out) {}

    void readFolderInfo() {
        const std::string path = root_ + "/" + std::string(kFolderInfoFile);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        out_.fromExport = true;
        const TextBuffer bytes = ReadFileUnlocked(path);
        const std::string where = std::string(kFolderInfoFile);
        try {
            const auto j = nlohmann::json::parse(bytes.view());
            if (!j.is_object() || !j.contains(kKeyFolder)) throw LarkError(where + ": not written by an export");
            if (j.contains(kKeyInfo)) {
                std::size_t line = 0;
                for (const auto& entry : j.at(kKeyInfo)) {
                    ++line;
                    TextProblem problem;
                    const auto text = ImportText(entry.get<std::string>(), true, problem);
                    if (!text) note(DescribeProblem(where + ": info line " + std::to_string(line), problem, false));
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

    void readFolder(const std::string& relative, int depth) {
        const std::string path = relative.empty() ? root_ : root_ + "/" + relative;
        struct stat self {};
        if (::stat(path.c_str(), &self) != 0) failSystem(path);
        const std::pair<dev_t, ino_t> id{self.st_dev, self.st_ino};
        if (!onPath_.insert(id).second) {  // a link back up the tree
            out_.skipped.push_back(relative);
            return;
        }
        for (const Item& item : items(path, relative)) {
            addSection(relative, item, depth);
            if (!item.folder.empty()) readFolder(relative + item.folder, depth + 1);
        }
        onPath_.erase(id);
    }

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

    // The entries of one folder as sections: a text file and the folder of the same stem
    // are one section; ordered by stem, then by file name.
    std::vector<Item> items(const std::string& path, const std::string& relative) {
        DIR* d = ::opendir(path.c_str());
        if (!d) failSystem(path);
        std::vector<std::string> files, folders;
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.empty() || name[0] == '.') continue;
            if (relative.empty() && out_.fromExport && name == kFolderInfoFile) continue;
            struct stat st {};
            if (::stat((path + "/" + name).c_str(), &st) != 0) {
                out_.skipped.push_back(relative + name);
                continue;
            }
            if (S_ISDIR(st.st_mode)) folders.push_back(name);
            else if (S_ISREG(st.st_mode) && (endsWithIgnoringCase(name, ".txt") || endsWithIgnoringCase(name, ".md")))
                files.push_back(name);
            else out_.skipped.push_back(relative + name);
        }
        ::closedir(d);
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

    void addSection(const std::string& relative, const Item& item, int depth) {
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
        const TextBuffer bytes = ReadFileUnlocked(root_ + "/" + relative + item.file);
        const bool kept = out_.fromExport && folder_.keptBreaks.contains(relative + item.file);
        if (auto text = ImportText(bytes.view(), kept, problem)) {
            if (!text->empty()) section.text_ = TextBuffer::copyOf(*text);
        } else {
            note(DescribeProblem(relative + item.file, problem));
        }
    }

    std::string root_;
    ImportedNotebook& out_;
    FolderInfo folder_;
    std::vector<std::string> problems_;
    std::set<std::pair<dev_t, ino_t>> onPath_;
};

}  // namespace

ImportedNotebook ImportFolder(const std::string& dirPath) {
    std::string dir = dirPath;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        const int err = errno;
        throw LarkError("Cannot open \"" + dir + "\". " + systemErrorText(err), ErrorKind::System, err);
    }
    if (!S_ISDIR(st.st_mode)) throw LarkError("\"" + dir + "\" is not a folder");

    ImportedNotebook out;
    Importer importer(dir, out);
    importer.readFolderInfo();
    importer.readFolder("", 0);
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
