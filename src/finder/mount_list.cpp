#include "finder/mount_list.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

namespace lark::finder {

namespace {

// "\040" and the like back into the byte they stand for.
std::string DecodeOctalEscapes(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

}  // namespace

bool IsPseudoFileSystem(std::string_view type) {
    static constexpr std::array<std::string_view, 26> kPseudo = {
        "proc",       "sysfs",   "cgroup",     "cgroup2",     "devpts",      "devtmpfs", "tmpfs",
        "ramfs",      "debugfs", "tracefs",    "securityfs",  "pstore",      "bpf",      "configfs",
        "fusectl",    "mqueue",  "hugetlbfs",  "autofs",      "binfmt_misc", "efivarfs", "selinuxfs",
        "rpc_pipefs", "nsfs",    "fuse.lxcfs", "fuse.portal", "nfsd"};
    return std::ranges::find(kPseudo, type) != kPseudo.end();
}

std::vector<std::string> ParseMountInfo(std::string_view mountInfo) {
    // Each line: id, parent id, major:minor, root, mount point, options, optional fields,
    // "-", file system type, source, super options.
    std::vector<std::string> points;
    std::size_t pos = 0;
    while (pos < mountInfo.size()) {
        std::size_t end = mountInfo.find('\n', pos);
        if (end == std::string_view::npos) end = mountInfo.size();
        const std::vector<std::string_view> f = Fields(mountInfo.substr(pos, end - pos));
        pos = end + 1;
        if (f.size() < 7) continue;
        std::size_t dash = 6;
        while (dash < f.size() && f[dash] != "-") ++dash;
        if (dash + 1 >= f.size() || IsPseudoFileSystem(f[dash + 1])) continue;
        points.push_back(DecodeOctalEscapes(f[4]));
    }
    return points;
}

std::optional<std::vector<std::string>> ReadMountPoints(const char* mountInfoPath) {
    std::ifstream in(mountInfoPath, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad() || text.str().empty()) return std::nullopt;
    return ParseMountInfo(text.str());
}

}  // namespace lark::finder
