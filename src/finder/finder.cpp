#include "finder/finder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "finder/text_list.h"

namespace lark::finder {

namespace {

struct DirCloser {
    DIR* dir;
    ~DirCloser() {
        if (dir) closedir(dir);
    }
};

enum class EntryKind { Directory, File, Skip };

// What one directory entry is to the scan. `device` is the start directory's file system:
// a directory on another one (a mount point) is left to that file system's own scan. Only
// regular files are launched: a FIFO, a device or a dangling link of a matching name is not.
EntryKind Classify(int dirFd, const char* name, unsigned char type, dev_t device) {
    struct stat st {};
    if (type == DT_UNKNOWN) {
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Skip;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_FIFO;
    }
    if (type == DT_DIR) {
        // One that vanished meanwhile is still noted: its listing fails like any other.
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Directory;
        return st.st_dev == device ? EntryKind::Directory : EntryKind::Skip;
    }
    if (type == DT_REG) return EntryKind::File;
    // A link to a directory is not followed; a link to a regular file counts as that file.
    if (type == DT_LNK && fstatat(dirFd, name, &st, 0) == 0 && S_ISREG(st.st_mode)) return EntryKind::File;
    return EntryKind::Skip;
}

}  // namespace

void AddTrailingBackslash(std::string& path) {
    if (!path.empty() && path.back() != '/') path += '/';
}

std::string UpperExtension(const std::string& name) {
    const std::string::size_type dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

bool FindAndLaunch(const std::string& startDir, const std::string& ext, const ScanHooks& hooks) {
    std::string dir = startDir.empty() ? std::string("/") : startDir;
    TextList pending;
    struct stat start {};
    const bool startKnown = stat(dir.c_str(), &start) == 0;
    bool stopped = false;
    for (;;) {
        AddTrailingBackslash(dir);
        if (DirCloser listing{startKnown ? opendir(dir.c_str()) : nullptr}; listing.dir) {
            const int fd = dirfd(listing.dir);
            while (const dirent* entry = readdir(listing.dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    switch (Classify(fd, entry->d_name, entry->d_type, start.st_dev)) {
                    case EntryKind::Directory: pending.PushText(dir + name); break;
                    case EntryKind::File:
                        if (UpperExtension(name) == ext) hooks.launch(dir + name);
                        break;
                    case EntryKind::Skip: break;
                    }
                }
                if (hooks.terminating()) break;
            }
        }
        hooks.processEvents();
        if (pending.PopText(dir)) break;
        if (hooks.terminating()) {
            stopped = true;
            break;
        }
    }
    if (stopped) pending.ClearTextList();
    return !stopped;
}

}  // namespace lark::finder
