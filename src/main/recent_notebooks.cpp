#include "main/recent_notebooks.h"

#include <algorithm>

namespace lark::gui {

namespace {
std::string keyOf(std::size_t i) { return "File" + std::to_string(i + 1); }
}  // namespace

void RecentNotebooks::add(const std::string& path) {
    // A line break would end the ini line early.
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) return;
    std::erase(paths_, path);
    paths_.insert(paths_.begin(), path);
    if (paths_.size() > kRecentMax) paths_.resize(kRecentMax);
}

bool RecentNotebooks::remove(const std::string& path) { return std::erase(paths_, path) > 0; }

void RecentNotebooks::read(const IniFile& ini) {
    paths_.clear();
    for (std::size_t i = 0; i < kRecentMax; ++i) {
        const auto value = ini.value(kRecentSection, keyOf(i));
        if (value && !value->empty() && std::find(paths_.begin(), paths_.end(), *value) == paths_.end())
            paths_.push_back(*value);
    }
}

void RecentNotebooks::write(IniFile& ini) const {
    for (std::size_t i = 0; i < kRecentMax; ++i)
        ini.setValue(kRecentSection, keyOf(i), i < paths_.size() ? paths_[i] : "");
}

}  // namespace lark::gui
