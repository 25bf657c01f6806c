#pragma once
// "Недавние": the notebooks last opened or saved, most recent first, kept in larkpad.ini
// under a section of their own (keys File1...File9), so that the other sections and their
// keys stay as they are. No Qt here.
#include <cstddef>
#include <string>
#include <vector>

#include "main/ini_file.h"

namespace lark::gui {

inline constexpr std::size_t kRecentMax = 9;
inline constexpr const char* kRecentSection = "Recent";

class RecentNotebooks {
public:
    const std::vector<std::string>& paths() const { return paths_; }
    // Puts `path` first; the same path further down leaves its place, and the list keeps
    // the kRecentMax most recent. An empty path, or one with a
    // line break (the ini could not hold it), changes nothing.
    void add(const std::string& path);
    // False when `path` was not in the list.
    bool remove(const std::string& path);
    void clear() { paths_.clear(); }

    // The list as the ini holds it (empty values and repeats skipped, at most kRecentMax).
    void read(const IniFile& ini);
    // Writes every key, an unused one empty: the section keeps the same lines.
    void write(IniFile& ini) const;

private:
    std::vector<std::string> paths_;
};

}  // namespace lark::gui
