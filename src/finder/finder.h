#pragma once
// The scan for notebook files: a depth-first walk of one directory tree that starts the
// program for every matching file as soon as it is found.
//
// Order: the start directory is listed first; every directory is listed completely (its
// matching files launched, its sub-directories noted on the pending list) before any of its
// sub-directories; of the sub-directories found in one directory, the last one found is
// searched first, and its whole subtree is finished before the one found before it. Files
// are launched in the order the file system lists them.
//
// The walk does not follow symbolic links to directories (a link can close a loop), and it
// stays on the file system of its start directory: every other mounted file system is a
// start directory of its own. Only regular files are launched (a link to one counts as the
// file): never a FIFO, a device or a dangling link.
#include <functional>
#include <string>

namespace lark::finder {

// What the scan needs from the program around it.
struct ScanHooks {
    // Starts the program for the file at `path`; its result is not looked at.
    std::function<void(const std::string& path)> launch;
    // Lets the program handle its pending events (once after each directory).
    std::function<void()> processEvents;
    // True once the program is terminating: the scan stops.
    std::function<bool()> terminating;
};

// Appends "/" when `path` is not empty and does not end in "/".
void AddTrailingBackslash(std::string& path);

// The extension of a file name in upper case: from its last "." on, empty without one.
// Letters are upper-cased as ASCII; the other bytes of a UTF-8 name stay as they are.
std::string UpperExtension(const std::string& name);

// Scans the tree under `startDir` ("/" when empty) and launches every regular file whose upper-cased
// extension equals `ext` (".LKP"). A directory that cannot be listed is skipped with
// everything below it. Returns false when it stopped because the program is terminating.
bool FindAndLaunch(const std::string& startDir, const std::string& ext, const ScanHooks& hooks);

}  // namespace lark::finder
