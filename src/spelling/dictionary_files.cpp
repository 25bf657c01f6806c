#include "spelling/dictionary_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace lark::spelling {

namespace {

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) names.emplace_back(entry->d_name);
    return names;
}

std::vector<std::string> splitOn(std::string_view list, char separator) {
    std::vector<std::string> items;
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = list.find(separator, from);
        const std::string_view item = list.substr(from, end == std::string_view::npos ? end : end - from);
        if (!item.empty()) items.emplace_back(item);
        if (end == std::string_view::npos) break;
        from = end + 1;
    }
    return items;
}

}  // namespace

std::vector<std::string> HunspellFolders() {
    if (const char* dicpath = std::getenv("DICPATH")) return splitOn(dicpath, ':');
    return {"/usr/share/hunspell", "/usr/share/myspell", "/usr/share/myspell/dicts"};
}

std::vector<DictionaryFile> FindDictionaries(const std::vector<std::string>& folders) {
    std::vector<DictionaryFile> found;
    for (const std::string& folder : folders) {
        for (const std::string& entry : namesIn(folder)) {
            if (entry.size() <= 4 || !entry.ends_with(".dic")) continue;
            const std::string name = entry.substr(0, entry.size() - 4);
            if (std::ranges::any_of(found, [&](const DictionaryFile& d) { return d.name == name; })) continue;
            DictionaryFile file{name, folder + "/" + name + ".aff", folder + "/" + entry};
            if (isRegularFile(file.affPath) && isRegularFile(file.dicPath)) found.push_back(std::move(file));
        }
    }
    std::ranges::sort(found, {}, &DictionaryFile::name);
    return found;
}

std::vector<std::string> DefaultLanguages(const std::vector<DictionaryFile>& found) {
    std::vector<std::string> chosen;
    const auto pick = [&](std::string_view exact, std::string_view prefix) {
        const auto named = [&](std::string_view n) { return std::ranges::find(found, n, &DictionaryFile::name); };
        auto it = named(exact);
        if (it == found.end())
            it = std::ranges::find_if(found, [&](const DictionaryFile& d) { return d.name.starts_with(prefix); });
        if (it != found.end()) chosen.push_back(it->name);
    };
    pick("ru_RU", "ru");
    pick("en_US", "en");
    if (chosen.empty() && !found.empty()) chosen.push_back(found.front().name);
    return chosen;
}

std::vector<std::string> SplitLanguages(std::string_view list) { return splitOn(list, ','); }

std::string JoinLanguages(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) {
        if (!out.empty()) out += ',';
        out += n;
    }
    return out;
}

}  // namespace lark::spelling
