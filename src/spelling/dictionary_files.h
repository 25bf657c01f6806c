#pragma once
// The Hunspell dictionaries installed on the system: NAME.aff and NAME.dic side by side in
// the Hunspell folders, named for their language (ru_RU, en_US).
#include <string>
#include <string_view>
#include <vector>

namespace lark::spelling {

struct DictionaryFile {
    std::string name;  // "ru_RU"
    std::string affPath;
    std::string dicPath;
    bool operator==(const DictionaryFile&) const = default;
};

// The Debian packages that bring the dictionaries used by default.
inline constexpr std::string_view kDictionaryPackages = "hunspell-ru, hunspell-en-us";

// The folders searched, in order: those of $DICPATH (colon-separated) when it is set, as
// Hunspell's own tools take it, else the system's /usr/share/hunspell, /usr/share/myspell
// and /usr/share/myspell/dicts.
std::vector<std::string> HunspellFolders();

// Every dictionary of `folders`, sorted by name; of two with one name the earlier folder's
// is kept. Only regular files count (a link to one too): never a FIFO or a device.
std::vector<DictionaryFile> FindDictionaries(const std::vector<std::string>& folders);

// The dictionaries used when none were chosen: Russian and American English (ru_RU and
// en_US, else the first ru* and en* there are); when neither is there, the first of all.
std::vector<std::string> DefaultLanguages(const std::vector<DictionaryFile>& found);

// "ru_RU,en_US" as a list; empty items are dropped.
std::vector<std::string> SplitLanguages(std::string_view list);
std::string JoinLanguages(const std::vector<std::string>& names);

}  // namespace lark::spelling
