#include "files/notebook_export.h"

#include <cerrno>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "document/cp1251.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "files/exchange_text.h"
#include "files/folder_io.h"
#include "files/name_escape.h"
#include "files/notebook_folder.h"

namespace lark::files {

namespace {

struct FolderLayout {
    std::vector<std::string> keptBreaks;                        // relative paths
    std::vector<std::pair<std::string, std::string>> cutNames;  // relative path, whole name
};

// Number of children of every section, and of the top level (last entry).
std::vector<int> childCounts(const NotebookSnapshot& notebook) {
    const std::size_t n = notebook.sections.size();
    std::vector<int> counts(n + 1, 0);
    std::vector<std::size_t> parents;  // parents[d]: the last section seen at depth d
    for (std::size_t i = 0; i < n; ++i) {
        const auto depth = static_cast<std::size_t>(notebook.sections[i].depth);
        parents.resize(depth);
        ++counts[depth == 0 ? n : parents[depth - 1]];
        parents.push_back(i);
    }
    return counts;
}

void writeSections(const NotebookSnapshot& notebook, const std::string& root, FolderLayout& layout) {
    const std::vector<int> counts = childCounts(notebook);
    const std::size_t n = notebook.sections.size();
    struct Level {
        std::string relative;  // folder relative to the root, "" or ending in "/"
        int width = 3;
        int position = 0;
    };
    std::vector<Level> levels{{"", NumberWidth(counts[n]), 0}};
    for (std::size_t i = 0; i < n; ++i) {
        const SnapshotSection& section = notebook.sections[i];
        const auto depth = static_cast<std::size_t>(section.depth);
        levels.resize(depth + 1);
        Level& level = levels[depth];
        bool cut = false;
        const std::string name = cp1251::toUtf8(section.name());
        const std::string stem = level.relative + SectionStem(++level.position, level.width, name, cut);
        const std::string file = stem + std::string(kTextSuffix);
        if (cut) layout.cutNames.emplace_back(file, name);
        ExportedText text = ExportText(section.text());
        if (text.breaksKept) layout.keptBreaks.push_back(file);
        WriteNewFile(root + "/" + file, text.utf8);
        if (counts[i] > 0) {
            MakeFolder(root + "/" + stem);
            levels.push_back({stem + "/", NumberWidth(counts[i]), 0});
        }
    }
}

std::string folderInfoJson(const NotebookSnapshot& notebook, std::optional<int> selected, const FolderLayout& layout) {
    nlohmann::ordered_json j;
    j[kKeyFolder] = kFolderVersion;
    nlohmann::ordered_json info = nlohmann::ordered_json::array();
    for (std::string_view line : notebook.info) info.push_back(cp1251::toUtf8(line));
    j[kKeyInfo] = std::move(info);
    j[kKeySelected] = selected ? nlohmann::ordered_json(*selected) : nlohmann::ordered_json(nullptr);
    j[kKeyKeptBreaks] = layout.keptBreaks;
    nlohmann::ordered_json names = nlohmann::ordered_json::object();
    for (const auto& [path, name] : layout.cutNames) names[path] = name;
    j[kKeyNames] = std::move(names);
    return j.dump(2) + "\n";
}

}  // namespace

void ExportFolder(const NotebookSnapshot& notebook, std::optional<int> selected, const std::string& dirPath) {
    const std::string dir = WithoutTrailingSlash(dirPath);
    const PathKind kind = KindOfPath(dir);
    if (kind == PathKind::Folder) throw LarkError("\"" + dir + "\" already exists and is not empty");
    if (kind == PathKind::Other) throw LarkError("\"" + dir + "\" is not a folder");

    // Assembled under a hidden name beside the target, then renamed in one step.
    const std::size_t slash = dir.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
    const std::string base = slash == std::string::npos ? dir : dir.substr(slash + 1);
    const std::string namePrefix = "." + base.substr(0, 200) + ".export-";
    // Left by an export that was killed half-way.
    SweepStaleFolders(parent, namePrefix);
    UniqueFd lock;
    const std::string work = MakeFreshFolder((parent == "/" ? "" : parent) + "/" + namePrefix, lock);
    try {
        FolderLayout layout;
        writeSections(notebook, work, layout);
        WriteNewFile(work + "/" + std::string(kFolderInfoFile), folderInfoJson(notebook, selected, layout));
        if (::rename(work.c_str(), dir.c_str()) != 0) {
            const int err = errno;
            throw LarkError("Cannot create folder \"" + dir + "\". " + systemErrorText(err), ErrorKind::System, err);
        }
    } catch (const LarkError& e) {
        RemoveTree(work);
        // Name the files as they would have been called, not by the folder being assembled.
        std::string message = e.what();
        for (std::size_t at = message.find(work); at != std::string::npos; at = message.find(work, at + dir.size()))
            message.replace(at, work.size(), dir);
        throw LarkError(message, e.kind(), e.sysErrno());
    } catch (...) {
        RemoveTree(work);
        throw;
    }
}

}  // namespace lark::files
