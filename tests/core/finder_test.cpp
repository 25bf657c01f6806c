// The open-all scan: its pending-directory list, the walk over a real directory tree with
// the launcher replaced, and the list of mount points it starts from.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "finder/finder.h"
#include "finder/mount_list.h"
#include "finder/text_list.h"
#include "fixture.h"

namespace {

namespace fs = std::filesystem;
using lark::finder::FindAndLaunch;
using lark::finder::ScanHooks;
using lark::finder::TextList;

TEST(TextList, LastInFirstOutAndClearsAMillionEntriesWithoutRecursion) {
    TextList list;
    for (int i = 0; i < 1000000; ++i) list.PushText("/dir");
    list.ClearTextList();
    std::string text = "kept";
    EXPECT_TRUE(list.PopText(text));
    EXPECT_EQ(text, "kept");
    for (const char* s : {"/a", "/b"}) list.PushText(s);
    EXPECT_FALSE(list.PopText(text));
    EXPECT_EQ(text, "/b");
}

// Names in the order the file system lists them, as the scan sees them.
std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string n = e->d_name; n != "." && n != "..") names.push_back(n);
        ::closedir(d);
    }
    return names;
}

// The documented order, written recursively: a directory's matching files in listing
// order, then its sub-directories' subtrees, the last listed first.
void ExpectedLaunches(const std::string& dir, std::vector<std::string>& out) {
    std::vector<std::string> subdirs;
    for (const std::string& name : Listing(dir)) {
        const fs::path p = dir + "/" + name;
        std::error_code ec;
        if (fs::is_symlink(p, ec) && fs::is_directory(p, ec)) continue;
        if (fs::is_directory(p, ec)) subdirs.push_back(p.string());
        else if (fs::is_regular_file(p, ec) && lark::finder::UpperExtension(name) == ".LKP") out.push_back(p.string());
    }
    for (std::size_t i = subdirs.size(); i-- > 0;) ExpectedLaunches(subdirs[i], out);
}

struct ScanRecord {
    std::vector<std::string> launched;
    int pumps = 0;
    ScanHooks hooks() {
        return {[this](const std::string& p) { launched.push_back(p); }, [this] { ++pumps; }, [] { return false; }};
    }
};

class ScanTree : public ::testing::Test {
protected:
    void SetUp() override {
        root = scratch.path();
        for (const char* d : {"old.lkp", ".hidden", "a", "a/deep", "a/deep/er", "b", "locked", "gone"})
            fs::create_directories(root + "/" + d);
        for (const char* f : {"plans.LKP", "plans.lkp", "plans.Lkp", "plans.lkp.bak", "plans.bak", "plans", ".lkp",
                              "old.lkp/inside.lkp", ".hidden/h.lkp", "a/a1.lkp", "a/notes.txt", "a/deep/d.lkp",
                              "a/deep/er/e.LKP", "b/b.lkp", "b/b2.lKp", "locked/secret.lkp", "gone/lost.lkp"})
            std::ofstream(root + "/" + f) << "LKP";
        fs::create_directory_symlink(root, root + "/a/loop");  // back to the top: a loop
        fs::create_directory_symlink(root + "/b", root + "/b-link");
        fs::create_symlink(root + "/a/a1.lkp", root + "/b/linked.lkp");
        // Named like notebooks, but nothing a window could open: never launched.
        ::mkfifo((root + "/a/fifo.lkp").c_str(), 0666);
        fs::create_symlink(root + "/a/fifo.lkp", root + "/a/to-fifo.lkp");
        fs::create_symlink(root + "/nowhere", root + "/dangling.lkp");
        ::chmod((root + "/locked").c_str(), 0);
    }
    coretest::ScratchDir scratch;
    std::string root;
};

TEST_F(ScanTree, LaunchesEveryNotebookOnceInTheDocumentedOrder) {
    std::vector<std::string> expected;
    ExpectedLaunches(root, expected);
    // "gone" is removed while it waits on the list, so its listing fails; the superuser
    // may list the locked directory, anyone else may not.
    std::vector<std::string> unlisted = {root + "/gone/lost.lkp"};
    if (::access((root + "/locked").c_str(), R_OK) != 0) unlisted.push_back(root + "/locked/secret.lkp");
    for (const std::string& u : unlisted)
        expected.erase(std::remove(expected.begin(), expected.end(), u), expected.end());
    // Fixed by hand: which files, whatever order the file system lists them in.
    std::set<std::string> set;
    for (const char* f :
         {"plans.LKP", "plans.lkp", "plans.Lkp", ".lkp", "old.lkp/inside.lkp", ".hidden/h.lkp", "a/a1.lkp",
          "a/deep/d.lkp", "a/deep/er/e.LKP", "b/b.lkp", "b/b2.lKp", "b/linked.lkp", "locked/secret.lkp"})
        if (unlisted.size() == 1 || std::string(f) != "locked/secret.lkp") set.insert(root + "/" + f);
    ASSERT_EQ(std::set<std::string>(expected.begin(), expected.end()), set);

    ScanRecord record;
    ScanHooks hooks = record.hooks();
    hooks.processEvents = [&] {
        if (record.pumps++ == 0) fs::remove_all(root + "/gone");
    };
    EXPECT_TRUE(FindAndLaunch(root, ".LKP", hooks));
    EXPECT_EQ(record.launched, expected);
    // Once after every directory it listed or tried to: the top, a, deep, er, b, old.lkp,
    // .hidden, locked, gone.
    EXPECT_EQ(record.pumps, 9);
}

TEST_F(ScanTree, StopsAfterTheEntryItIsOnWhenTheProgramTerminates) {
    // The top directory holds four notebooks: the first launch ends its listing.
    ScanRecord record;
    bool terminating = false;
    ScanHooks hooks = record.hooks();
    hooks.launch = [&](const std::string& p) {
        record.launched.push_back(p);
        terminating = true;
    };
    hooks.terminating = [&] { return terminating; };
    FindAndLaunch(root, ".LKP", hooks);
    EXPECT_EQ(record.launched.size(), 1u);
    EXPECT_EQ(record.pumps, 1);
}

TEST_F(ScanTree, StopsBetweenDirectoriesWhenTheProgramTerminates) {
    std::vector<std::string> expected;
    ExpectedLaunches(root, expected);
    ScanRecord record;
    ScanHooks hooks = record.hooks();
    std::size_t launchedBeforeStop = 0;
    hooks.processEvents = [&] {
        if (++record.pumps == 2) launchedBeforeStop = record.launched.size();
    };
    hooks.terminating = [&] { return record.pumps >= 2; };
    EXPECT_FALSE(FindAndLaunch(root, ".LKP", hooks));
    EXPECT_EQ(record.pumps, 2);
    ASSERT_EQ(record.launched.size(), launchedBeforeStop);
    EXPECT_GE(record.launched.size(), 4u);
    EXPECT_TRUE(std::equal(record.launched.begin(), record.launched.end(), expected.begin()));
}

TEST(ScanMounts, NeverDescendsIntoAnotherFileSystem) {
    // /dev/shm is a file system of its own inside /dev wherever it is mounted.
    struct stat dev {
    }, shm{};
    if (::stat("/dev", &dev) != 0 || ::stat("/dev/shm", &shm) != 0 || dev.st_dev == shm.st_dev ||
        ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/shm mounted inside /dev";
    const std::string planted = "/dev/shm/larkpad-scan-" + std::to_string(::getpid()) + ".lkp";
    std::ofstream(planted) << "LKP";
    ScanRecord record;
    ScanHooks hooks = record.hooks();
    EXPECT_TRUE(FindAndLaunch("/dev/shm", ".LKP", hooks));
    EXPECT_NE(std::find(record.launched.begin(), record.launched.end(), planted), record.launched.end());
    record.launched.clear();
    EXPECT_TRUE(FindAndLaunch("/dev", ".LKP", hooks));
    EXPECT_EQ(std::find(record.launched.begin(), record.launched.end(), planted), record.launched.end());
    ::unlink(planted.c_str());
}

struct MountRow {
    std::string label;
    std::string mountInfo;
    std::vector<std::string> points;
};
CORETEST_PRINTS_LABEL(MountRow)

class MountInfo : public ::testing::TestWithParam<MountRow> {};

TEST_P(MountInfo, ListsRealFileSystemsInOrder) {
    EXPECT_EQ(lark::finder::ParseMountInfo(GetParam().mountInfo), GetParam().points);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MountInfo,
    ::testing::Values(MountRow{"nominal: pseudo file systems left out, the listed order kept",
                               "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
                               "26 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                               "22 26 0:21 / /sys rw - sysfs sysfs rw\n"
                               "31 30 0:28 / /sys/fs/cgroup/cpu rw master:4 - cgroup cgroup rw,cpu\n"
                               "25 23 0:23 / /dev/pts rw - devpts devpts rw\n"
                               "40 26 0:40 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                               "41 26 8:17 / /home rw - btrfs /dev/sdb1 rw\n"
                               "42 26 0:50 / /mnt/share rw - nfs4 server:/share rw\n"
                               "43 26 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n",
                               {"/", "/home", "/mnt/share", "/boot/efi"}},
                      MountRow{"nominal: blanks, tabs and backslashes in mount points decoded",
                               "50 26 8:33 / /media/user/My\\040Disk rw - exfat /dev/sdc1 rw\n"
                               "51 26 8:34 / /media/a\\011b\\134c rw - ext4 /dev/sdc2 rw\n",
                               {"/media/user/My Disk", "/media/a\tb\\c"}},
                      MountRow{"robustness: lines without a type or cut short are left out",
                               "60 26 8:1 / /x rw shared:2 master:3\n"
                               "61 26 8:2 /\n"
                               "\n"
                               "62 26 8:3 / /y rw - xfs /dev/sdd1 rw",
                               {"/y"}}),
    [](const auto& param) { return "row" + std::to_string(param.index); });

TEST(MountPoints, ThisProcessHasAtLeastItsRoot) {
    const auto points = lark::finder::ReadMountPoints();
    ASSERT_TRUE(points.has_value());
    EXPECT_NE(std::find(points->begin(), points->end(), "/"), points->end());
    EXPECT_FALSE(lark::finder::ReadMountPoints("/nonexistent/mountinfo").has_value());
}

}  // namespace
