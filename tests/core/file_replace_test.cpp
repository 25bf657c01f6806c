// Replacing a notebook on disk: the backup beside it, refusals before anything moves,
// temporaries, the order of writes, flushes and renames, failing and killed saves.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>

#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "document/file_ops.h"
#include "fixture.h"

namespace {

using coretest::cannotCreate;
using coretest::readFile;
using coretest::ScratchDir;
using coretest::writeFile;

std::string streamWriteError(const std::string& path, const std::string& why) {
    return "Stream write error \"" + path + "\". " + why;
}

std::string replaceError(const std::string& path, std::string_view data, const lark::ReplaceOptions& options = {}) {
    try {
        lark::ReplaceFileContents(path, data, options);
    } catch (const lark::LarkError& e) {
        return e.what();
    }
    return {};
}

// Records the calls that order a save; fails the named call with `failErrno`.
struct RecordingOps : lark::FileOps {
    std::vector<std::string> calls;
    std::string failing;
    int failErrno = 0;
    int failAfterWrites = 0;  // for "write": the writes that succeed first
    bool noUnnamed = false;
    bool noLinks = false;
    bool noProc = false;                                         // named files cannot be linked through a descriptor
    std::function<void()> beforeBackup;                          // runs at the new file's flush, before the backup
    std::map<int, std::vector<std::pair<off_t, off_t>>> ranges;  // handed to the disk, by descriptor
    std::map<int, int> fileFlushes;

    bool fail(const std::string& call) {
        calls.push_back(call);
        if (call != failing) return false;
        if (call == "write" && failAfterWrites-- > 0) return false;
        errno = failErrno;
        return true;
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        if (fail("write")) return -1;
        return lark::FileOps::write(fd, data, size);
    }
    int fsync(int fd) override {
        struct stat st {};
        ::fstat(fd, &st);
        if (fail(S_ISDIR(st.st_mode) ? "fsync dir" : "fsync file")) return -1;
        if (!S_ISDIR(st.st_mode)) ++fileFlushes[fd];
        if (beforeBackup && !S_ISDIR(st.st_mode)) std::exchange(beforeBackup, nullptr)();
        return lark::FileOps::fsync(fd);
    }
    int syncRange(int fd, off_t offset, off_t size) override {
        ranges[fd].emplace_back(offset, size);
        return lark::FileOps::syncRange(fd, offset, size);
    }
    int rename(const char* from, const char* to) override {
        const std::string to_ = to;
        if (fail(to_.ends_with(".bak") ? "rename backup" : "rename target")) return -1;
        return lark::FileOps::rename(from, to);
    }
    int link(const char* from, const char* to) override {
        if (noLinks) {
            calls.emplace_back("link");
            errno = EPERM;
            return -1;
        }
        if (fail("link")) return -1;
        return lark::FileOps::link(from, to);
    }
    int linkOpenFile(int fd, const char* to) override {
        struct stat st {};
        ::fstat(fd, &st);
        if (st.st_nlink > 0) {  // a named file: the backup's link
            if (noLinks || noProc) {
                errno = noLinks ? EPERM : ENOENT;
                return -1;
            }
            if (fail("link")) return -1;
            return lark::FileOps::linkOpenFile(fd, to);
        }
        if (fail("name temporary")) return -1;
        return lark::FileOps::linkOpenFile(fd, to);
    }
    int openUnnamed(const char* dir, int flags, mode_t mode) override {
        if (noUnnamed) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return lark::FileOps::openUnnamed(dir, flags, mode);
    }
};

std::ptrdiff_t position(const std::vector<std::string>& calls, const std::string& call, bool last = false) {
    auto it =
        last ? std::find(calls.rbegin(), calls.rend(), call).base() - 1 : std::find(calls.begin(), calls.end(), call);
    return it - calls.begin();
}

// ---- a good save ----

TEST(FileReplace, FlushesTheNewFileBeforeItTakesTheNameAndTheDirectoryAfter) {
    for (const bool withBackup : {false, true}) {
        ScratchDir dir;
        const std::string path = dir.file("n.lkp"), bak = dir.file("n.bak");
        writeFile(path, "old");
        RecordingOps ops;
        {
            lark::ScopedFileOps scoped(ops);
            lark::ReplaceFileContents(path, std::string(3 << 20, 'n'), {withBackup ? bak : "", nullptr});
        }
        const auto& c = ops.calls;
        const auto renamed = position(c, "rename target");
        ASSERT_LT(renamed, static_cast<std::ptrdiff_t>(c.size())) << "the new file never took the name";
        EXPECT_LT(position(c, "write", true), position(c, "fsync file"));
        EXPECT_LT(position(c, "fsync file"), renamed) << "flushed before the rename";
        EXPECT_LT(renamed, position(c, "fsync dir")) << "the directory is flushed after the rename";
        if (withBackup) {
            EXPECT_LT(position(c, "fsync file"), position(c, "link")) << "the backup is made once the new file is safe";
            EXPECT_LT(position(c, "rename backup"), renamed) << "the backup is in place before the new file";
            EXPECT_EQ(readFile(bak), "old");
        }
        EXPECT_EQ(readFile(path), std::string(3 << 20, 'n'));
        EXPECT_EQ(dir.entries().size(), withBackup ? 2u : 1u) << "no temporary left";
    }
}

struct BackupRow {
    std::string label;
    std::function<void(RecordingOps&)> setUp;
    std::string document = "n.lkp";
    std::string backup = "n.bak";
    std::string expectBackup = "old";  // empty: no backup file
    // Another file is renamed over the document just before the backup is made.
    bool nameLeadsElsewhere = false;
};
CORETEST_PRINTS_LABEL(BackupRow)

class Backups : public ::testing::TestWithParam<BackupRow> {};

TEST_P(Backups, ThePreviousVersionIsKeptAndTheDocumentReplaced) {
    const BackupRow& row = GetParam();
    ScratchDir dir;
    const std::string path = dir.file(row.document), bak = dir.file(row.backup);
    // Over two MiB, so that a copy goes in several stretches.
    std::string old = row.expectBackup + std::string((2 << 20) + 3, 'o');
    for (std::size_t i = 0; i < old.size(); i += 4093) old[i] = static_cast<char>('a' + i % 26);
    writeFile(path, old);
    RecordingOps ops;
    if (row.setUp) row.setUp(ops);
    if (row.nameLeadsElsewhere) {
        writeFile(dir.file("intruder"), "intruder's");
        ops.beforeBackup = [&] { ASSERT_EQ(::rename(dir.file("intruder").c_str(), path.c_str()), 0); };
    }
    {
        lark::ScopedFileOps scoped(ops);
        lark::ReplaceFileContents(path, "new", {bak, nullptr});
    }
    EXPECT_EQ(readFile(path), "new");
    if (row.expectBackup.empty()) {
        EXPECT_EQ(dir.entries(), std::vector<std::string>{row.document});
    } else {
        EXPECT_TRUE(readFile(bak) == old) << "the backup is not the version that was replaced";
        EXPECT_EQ(dir.entries().size(), 2u) << "no temporary left";
    }
    // Every file written is handed to the disk in order at its own offsets, and flushed once.
    for (const auto& [fd, ranges] : ops.ranges) {
        off_t end = 0;
        for (const auto& [offset, size] : ranges) {
            EXPECT_EQ(offset, end);
            end = offset + size;
        }
        EXPECT_EQ(ops.fileFlushes[fd], 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FileReplace, Backups,
    ::testing::Values(
        BackupRow{"nominal: hard link", nullptr},
        BackupRow{"nominal: copy where links are impossible", [](RecordingOps& o) { o.noLinks = true; }},
        BackupRow{"nominal: linked by path where /proc is missing", [](RecordingOps& o) { o.noProc = true; }},
        BackupRow{"robustness: the name leads elsewhere by then, linked through the descriptor", nullptr, "n.lkp",
                  "n.bak", "old", true},
        BackupRow{"robustness: the name leads elsewhere by then, /proc is missing",
                  [](RecordingOps& o) { o.noProc = true; }, "n.lkp", "n.bak", "old", true},
        BackupRow{"robustness: the name leads elsewhere by then, links are impossible",
                  [](RecordingOps& o) { o.noLinks = true; }, "n.lkp", "n.bak", "old", true},
        BackupRow{"nominal: named temporaries where unnamed ones are missing",
                  [](RecordingOps& o) { o.noUnnamed = true; }},
        BackupRow{"nominal: copy and named temporaries",
                  [](RecordingOps& o) {
                      o.noLinks = true;
                      o.noUnnamed = true;
                  }},
        BackupRow{"robustness: a document named like its backup is not its own backup", nullptr, "n.bak", "n.bak", ""},
        BackupRow{"nominal: a name of 255 bytes", nullptr, std::string(251, 'x') + ".lkp",
                  std::string(251, 'x') + ".bak"}),
    coretest::ByLabel());

TEST(FileReplace, ABackupNameThatLeadsToTheDocumentIsNoBackup) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, "old");
    for (const bool hardLink : {true, false}) {
        const std::string bak = dir.file("n.bak");
        ::unlink(bak.c_str());
        ASSERT_EQ(hardLink ? ::link(path.c_str(), bak.c_str()) : ::symlink("n.lkp", bak.c_str()), 0);
        lark::ReplaceFileContents(path, "new", {bak, nullptr});
        EXPECT_EQ(readFile(path), "new");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"n.bak", "n.lkp"}));
        writeFile(path, "old");
    }
}

TEST(FileReplace, TheHeldFileIsHandedOverToTheNewFile) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, "old");
    lark::DocumentFile held;
    lark::OpenDocumentFile(held, path, true);
    lark::ReplaceFileContents(path, "new", {dir.file("n.bak"), &held});
    ASSERT_TRUE(held.valid());
    EXPECT_FALSE(held.readOnly()) << "held for reading and writing after a save";
    struct stat a {
    }, b{};
    ASSERT_EQ(::fstat(held.fd(), &a), 0);
    ASSERT_EQ(::stat(path.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino) << "the new file is the one held";
    EXPECT_TRUE(coretest::heldBySomeone(path));
    // Another writer is refused by the lock the handed-over file carries.
    EXPECT_EQ(replaceError(path, "other"), cannotCreate(path, lark::kInUseText));
}

// Saved again with nothing changed: the backup keeps the version before. Only bytes equal
// to the held file's count; a file another program put there is backed up as always.
TEST(FileReplace, AnUnchangedSaveKeepsTheOlderBackup) {
    struct Row {
        std::string label, data;
        bool held = true;
        bool replacedMeanwhile = false;  // by another program, with the same bytes
        bool backupExists = true;
        std::string expectBackup;
    };
    const std::vector<Row> rows = {
        {"the same bytes", "same bytes", true, false, true, "older"},
        {"the same size, other bytes", "same bytez", true, false, true, "same bytes"},
        {"the same bytes and more", "same bytes!", true, false, true, "same bytes"},
        {"fewer bytes", "same byte", true, false, true, "same bytes"},
        {"no held file to compare with", "same bytes", false, false, true, "same bytes"},
        {"replaced meanwhile by a copy", "same bytes", true, true, true, "same bytes"},
        {"no backup yet", "same bytes", true, false, false, "same bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        const std::string path = dir.file("n.lkp"), bak = dir.file("n.bak");
        writeFile(path, "same bytes");
        if (row.backupExists) writeFile(bak, "older");
        lark::DocumentFile held;
        if (row.held) lark::OpenDocumentFile(held, path, false);
        if (row.replacedMeanwhile) {
            writeFile(dir.file("copy"), "same bytes");
            ASSERT_EQ(::rename(dir.file("copy").c_str(), path.c_str()), 0);
        }
        EXPECT_EQ(lark::ReplaceFileContents(path, row.data, {bak, row.held ? &held : nullptr}), "");
        EXPECT_EQ(readFile(path), row.data);
        EXPECT_EQ(readFile(bak), row.expectBackup);
    }
}

// ---- refusals: nothing written or moved ----

struct RefusalRow {
    std::string label;
    std::function<void(const std::string& path)> make;  // makes what `path` names
    std::string why;
};
CORETEST_PRINTS_LABEL(RefusalRow)

class Refusals : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(Refusals, NothingIsWrittenOrMoved) {
    const RefusalRow& row = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(dir.file("n.bak"), "previous");
    row.make(path);
    const auto before = dir.entries();
    EXPECT_EQ(replaceError(path, "new", {dir.file("n.bak"), nullptr}), cannotCreate(path, row.why));
    EXPECT_EQ(dir.entries(), before);
    EXPECT_EQ(readFile(dir.file("n.bak")), "previous");
}

INSTANTIATE_TEST_SUITE_P(
    FileReplace, Refusals,
    ::testing::Values(RefusalRow{"robustness: FIFO",
                                 [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
                                 lark::kNotRegularText},
                      RefusalRow{"robustness: link to a device",
                                 [](const std::string& p) { ASSERT_EQ(::symlink("/dev/null", p.c_str()), 0); },
                                 lark::kNotRegularText},
                      RefusalRow{"robustness: read-only file",
                                 [](const std::string& p) {
                                     writeFile(p, "old");
                                     ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
                                 },
                                 "Permission denied"},
                      RefusalRow{"robustness: link loop",
                                 [](const std::string& p) { ASSERT_EQ(::symlink("n.lkp", p.c_str()), 0); },
                                 "Too many levels of symbolic links"}),
    coretest::ByLabel());

TEST(FileReplace, ADanglingLinkIsWrittenThroughAndStaysALink) {
    ScratchDir dir;
    const std::string link = dir.file("n.lkp");
    ASSERT_EQ(::symlink("real.lkp", link.c_str()), 0);
    lark::ReplaceFileContents(link, "new");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(dir.file("real.lkp")), "new");
}

TEST(FileReplace, ReadingAFifoIsRefusedAtOnce) {
    ScratchDir dir;
    const std::string fifo = dir.file("f.lkp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const bool readOnly : {false, true}) {
        lark::DocumentFile file;
        try {
            lark::OpenDocumentFile(file, fifo, readOnly);
            ADD_FAILURE() << "a FIFO opened as a document";
        } catch (const lark::LarkError& e) {
            EXPECT_STREQ(e.what(), lark::kNotRegularText);
        }
    }
    EXPECT_THROW((void)lark::ReadFileUnlocked(fifo), lark::LarkError);
}

// ---- failures part way: the old file and the old backup stay ----

struct FailureRow {
    std::string label;
    std::string call;
    int err;
    bool onBackup = false;  // the message names the backup
    // Past the backup step the backup holds the version still under the name.
    std::string backupAfter = "previous";
};
CORETEST_PRINTS_LABEL(FailureRow)

class Failures : public ::testing::TestWithParam<FailureRow> {};

TEST_P(Failures, LeaveTheOldFileTheOldBackupAndNoTemporary) {
    const FailureRow& row = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("n.lkp"), bak = dir.file("n.bak");
    writeFile(path, "old");
    writeFile(bak, "previous");
    RecordingOps ops;
    ops.failing = row.call;
    ops.failErrno = row.err;
    ops.failAfterWrites = 1;
    std::string message;
    {
        lark::ScopedFileOps scoped(ops);
        message = replaceError(path, std::string((9 << 20) + 5, 'n'), {bak, nullptr});
    }
    const std::string why = lark::systemErrorText(row.err);
    const bool streaming = row.call == "write" || row.call == "fsync file";
    EXPECT_EQ(message, streaming ? streamWriteError(path, why) : cannotCreate(row.onBackup ? bak : path, why));
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(readFile(bak), row.backupAfter);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"n.bak", "n.lkp"}));
}

INSTANTIATE_TEST_SUITE_P(
    FileReplace, Failures,
    ::testing::Values(FailureRow{"robustness: disk full while writing", "write", ENOSPC},
                      FailureRow{"robustness: flush fails", "fsync file", EIO},
                      FailureRow{"robustness: temporary cannot be named", "name temporary", ENOSPC},
                      FailureRow{"robustness: backup link fails", "link", EIO, true},
                      FailureRow{"robustness: backup rename fails", "rename backup", EIO, true},
                      FailureRow{"robustness: final rename fails", "rename target", EIO, false, "old"}),
    coretest::ByLabel());

TEST(FileReplace, AFullFileSystemKeepsTheOldFileAndBackup) {
    ScratchDir dir;
    const std::string mnt = dir.file("small");
    ASSERT_EQ(::mkdir(mnt.c_str(), 0700), 0);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "no small file system can be mounted here; the injected failures cover it";
    const std::string path = mnt + "/n.lkp", bak = mnt + "/n.bak";
    writeFile(path, std::string(100 << 10, 'o'));
    writeFile(bak, "previous");
    const std::string message = replaceError(path, std::string(200 << 10, 'n'), {bak, nullptr});
    EXPECT_EQ(message, streamWriteError(path, "No space left on device"));
    EXPECT_EQ(readFile(path), std::string(100 << 10, 'o'));
    EXPECT_EQ(readFile(bak), "previous");
    ::umount(mnt.c_str());
}

// ---- temporaries ----

TEST(FileReplace, StaleTemporariesOfTheTargetGoAndLiveOnesStay) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    writeFile(path, "old");
    const std::string prefix = lark::TemporaryPrefix("n.lkp");
    const std::string stale = dir.file(prefix + "AAAAAA"), live = dir.file(prefix + "BBBBBB");
    const std::string other = dir.file(lark::TemporaryPrefix("m.lkp") + "CCCCCC");
    for (const auto& p : {stale, live, other}) writeFile(p, std::string(1000, 't'));
    lark::DocumentFile writer;  // a save of another process still writing its temporary
    lark::OpenDocumentFile(writer, live, false);
    lark::ReplaceFileContents(path, "new");
    const auto left = dir.entries();
    EXPECT_EQ(std::count(left.begin(), left.end(), prefix + "AAAAAA"), 0) << "stale temporary kept";
    EXPECT_EQ(std::count(left.begin(), left.end(), prefix + "BBBBBB"), 1) << "a live temporary was removed";
    EXPECT_EQ(left.size(), 3u) << "another target's temporary is not ours to remove";
}

// A child saves window-style (backup, replace, held file) and is killed at a random
// moment: the name always holds a complete notebook, the backup a complete version, and
// the next save clears what the killed one left.
TEST(FileReplace, KilledSavesNeverLeaveTheNameEmpty) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp"), bak = dir.file("n.bak");
    const std::size_t size = 4 << 20;
    const std::string versions[] = {std::string(size, 'a'), std::string(size, 'b'), std::string(size, 'z')};
    auto saveInChild = [&](const std::string& data) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            lark::DocumentFile held;
            lark::OpenDocumentFile(held, path, false);
            lark::ReplaceFileContents(path, data, {bak, &held});
            ::_exit(0);
        }
        return pid;
    };
    writeFile(path, versions[0]);
    writeFile(bak, versions[2]);
    // How long one save takes here bounds the moments to kill at.
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    ::waitpid(saveInChild(versions[1]), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::mt19937 rng(20261208);
    int interrupted = 0;
    for (int round = 0; round < 24; ++round) {
        const std::string current = readFile(path);
        const std::string previous = readFile(bak);
        const std::string& next = versions[(current[0] - 'a' + 1) % 2];
        const pid_t pid = saveInChild(next);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % (full.count() + 1)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        if (WIFSIGNALED(status)) ++interrupted;
        const std::string now = readFile(path), backup = readFile(bak);
        EXPECT_TRUE(now == current || now == next) << "round " << round << ": the notebook is incomplete";
        EXPECT_TRUE(backup == previous || backup == current) << "round " << round << ": the backup is incomplete";
        if (now == next) {
            EXPECT_EQ(backup, current) << "round " << round;
        }
    }
    EXPECT_GT(interrupted, 0) << "no save was interrupted; the test proved nothing";
    lark::ReplaceFileContents(path, "final", {bak, nullptr});
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"n.bak", "n.lkp"})) << "temporaries of killed saves remain";
}

}  // namespace
