#pragma once
// The "drives" of the scan: the mount points of the file systems that can hold user files,
// in the order the system lists them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lark::finder {

// True for the kernel's own pseudo file systems (proc, sysfs, cgroup, devpts, tmpfs, ...).
bool IsPseudoFileSystem(std::string_view type);

// The mount points of a /proc/<pid>/mountinfo text, pseudo file systems left out, with the
// kernel's octal escapes (\040 for a blank and so on) decoded.
std::vector<std::string> ParseMountInfo(std::string_view mountInfo);

// The mount points of this process; nothing when the list cannot be read.
std::optional<std::vector<std::string>> ReadMountPoints(const char* mountInfoPath = "/proc/self/mountinfo");

}  // namespace lark::finder
