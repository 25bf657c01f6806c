// The file layer: the held file and its lock, whole-file reads, the second opening of the
// plain-text view, and replacing a file without leaving a half-written one.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "fixture.h"

namespace {

using coretest::cannotCreate;
using coretest::cannotOpen;
using coretest::readFile;
using coretest::ScratchDir;
using coretest::writeFile;

// Opens into a fresh handle; returns "" or the error's message.
std::string openMessage(lark::DocumentFile& f, const std::string& path, bool readOnly) {
    try {
        lark::OpenDocumentFile(f, path, readOnly);
        return "";
    } catch (const lark::LarkError& e) {
        return e.what();
    }
}

TEST(SystemErrorText, IsTheSystemTextWithoutTrailingFullStopsOrBlanks) {
    for (int err = 1; err < 134; ++err) {
        const std::string text = lark::systemErrorText(err);
        const std::string raw = std::strerror(err);
        ASSERT_FALSE(text.empty()) << err;
        EXPECT_EQ(raw.rfind(text, 0), 0u) << err;
        EXPECT_NE(text.back(), '.') << err;
        EXPECT_GT(static_cast<unsigned char>(text.back()), 32) << err;
    }
    EXPECT_EQ(lark::systemErrorText(ENOENT), "No such file or directory");
}

TEST(FileAccess, OpeningAMissingFileGivesTheSystemTextAndClosesTheHeldFile) {
    ScratchDir dir;
    const std::string held = dir.file("held.lkp");
    writeFile(held, "x");
    lark::DocumentFile f;
    ASSERT_EQ(openMessage(f, held, false), "");
    ASSERT_TRUE(coretest::heldBySomeone(held));
    try {
        lark::OpenDocumentFile(f, dir.file("missing.lkp"), true);
        FAIL() << "a missing file opened";
    } catch (const lark::LarkError& e) {
        EXPECT_STREQ(e.what(), "No such file or directory");
        EXPECT_EQ(e.kind(), lark::ErrorKind::System);
        EXPECT_EQ(e.sysErrno(), ENOENT);
    }
    EXPECT_FALSE(f.valid());
    EXPECT_FALSE(coretest::heldBySomeone(held)) << "the previous file was closed first";
    EXPECT_FALSE(lark::FileExists(dir.file("missing.lkp"))) << "opening never creates a file";
}

TEST(FileAccess, ADirectoryIsNotADocument) {
    ScratchDir dir;
    lark::DocumentFile f;
    EXPECT_NE(openMessage(f, dir.path(), true), "");
    EXPECT_NE(openMessage(f, dir.path(), false), "");
    EXPECT_FALSE(f.valid());
}

// Lock rules: a holder with write access lets nobody else open; a read-only holder lets
// other read-only openings in.
struct LockRow {
    std::string label;
    bool firstReadOnly;
    bool secondReadOnly;
    bool secondOpens;
};
CORETEST_PRINTS_LABEL(LockRow)

class FileAccessLocks : public ::testing::TestWithParam<LockRow> {};

TEST_P(FileAccessLocks, SecondOpening) {
    const LockRow& row = GetParam();
    SCOPED_TRACE(row.label);
    ScratchDir dir;
    const std::string path = dir.file("doc.lkp");
    writeFile(path, "content");
    lark::DocumentFile first, second;
    ASSERT_EQ(openMessage(first, path, row.firstReadOnly), "");
    const std::string msg = openMessage(second, path, row.secondReadOnly);
    if (row.secondOpens) {
        EXPECT_EQ(msg, "");
        EXPECT_TRUE(second.valid());
    } else {
        EXPECT_EQ(msg, lark::kInUseText);
        EXPECT_FALSE(second.valid());
        try {
            lark::OpenDocumentFile(second, path, row.secondReadOnly);
        } catch (const lark::LarkError& e) {
            EXPECT_EQ(e.kind(), lark::ErrorKind::InUse);
        }
    }
    // Whatever happened, closing the first frees the file for a writer.
    lark::CloseDocumentFile(first);
    lark::CloseDocumentFile(second);
    lark::DocumentFile third;
    EXPECT_EQ(openMessage(third, path, false), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, FileAccessLocks,
                         ::testing::Values(LockRow{"robustness: writer then writer", false, false, false},
                                           LockRow{"robustness: writer then reader", false, true, false},
                                           LockRow{"robustness: reader then writer", true, false, false},
                                           LockRow{"nominal: reader then reader", true, true, true}),
                         coretest::ByLabel());

TEST(FileAccess, HandleKnowsItsModeAndClosingTwiceIsHarmless) {
    ScratchDir dir;
    const std::string path = dir.file("doc.lkp");
    writeFile(path, "content");
    lark::DocumentFile f;
    EXPECT_FALSE(f.valid());
    lark::CloseDocumentFile(f);  // nothing open: nothing happens
    lark::OpenDocumentFile(f, path, true);
    EXPECT_TRUE(f.valid());
    EXPECT_TRUE(f.readOnly());
    lark::OpenDocumentFile(f, path, false);  // the own previous opening is closed first
    EXPECT_FALSE(f.readOnly());
    lark::CloseDocumentFile(f);
    EXPECT_FALSE(f.valid());
    lark::CloseDocumentFile(f);
    EXPECT_FALSE(coretest::heldBySomeone(path));
}

TEST(FileAccess, ARemovedHandleReleasesTheFile) {
    ScratchDir dir;
    const std::string path = dir.file("doc.lkp");
    writeFile(path, "content");
    {
        lark::DocumentFile f;
        lark::OpenDocumentFile(f, path, false);
        EXPECT_TRUE(coretest::heldBySomeone(path));
    }
    EXPECT_FALSE(coretest::heldBySomeone(path));
}

TEST(FileAccess, ReadsTheWholeFileAndAnEmptyOneAsEmpty) {
    ScratchDir dir;
    std::string big(3 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + i / 7);
    for (const std::string& content : {std::string(), std::string("\0", 1), std::string("abc"), big}) {
        const std::string path = dir.file("f.bin");
        writeFile(path, content);
        lark::DocumentFile f;
        lark::OpenDocumentFile(f, path, true);
        EXPECT_EQ(lark::DocumentFileSize(f), static_cast<std::int64_t>(content.size()));
        const lark::ByteBuffer buf = lark::ReadDocumentFile(f);
        EXPECT_EQ(buf.size(), content.size());
        EXPECT_TRUE(buf.view() == content);
        EXPECT_TRUE(lark::ReadDocumentFile(f).view() == content) << "reading again starts at the beginning";
    }
}

TEST(FileAccess, PlainTextViewOpeningFollowsTheHolder) {
    ScratchDir dir;
    const std::string path = dir.file("doc.txt");
    writeFile(path, "plain bytes\r\n\xCF");
    lark::DocumentFile holder;
    lark::OpenDocumentFile(holder, path, false);
    try {
        (void)lark::ReadFileShared(path);
        FAIL() << "read beside a writer";
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(std::string(e.what()), cannotOpen(path, lark::kInUseText));
        EXPECT_EQ(e.kind(), lark::ErrorKind::InUse);
    }
    EXPECT_EQ(lark::ReadFileUnlocked(path).view(), "plain bytes\r\n\xCF") << "lkp reads without a lock";
    lark::OpenDocumentFile(holder, path, true);
    EXPECT_EQ(lark::ReadFileShared(path).view(), "plain bytes\r\n\xCF");
    lark::CloseDocumentFile(holder);
    EXPECT_EQ(lark::ReadFileShared(path).view(), "plain bytes\r\n\xCF");
    const std::string missing = dir.file("none.txt");
    try {
        (void)lark::ReadFileShared(missing);
        FAIL();
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(std::string(e.what()), cannotOpen(missing, "No such file or directory"));
    }
}

TEST(FileAccess, ReplaceCreatesOrReplacesAndLeavesNoTemporaryFile) {
    ScratchDir dir;
    const std::string path = dir.file("doc.lkp");
    lark::ReplaceFileContents(path, "first");
    EXPECT_EQ(readFile(path), "first");
    ::chmod(path.c_str(), 0640);
    lark::ReplaceFileContents(path, std::string("second\0!", 8));
    EXPECT_EQ(readFile(path), std::string("second\0!", 8));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replaced file keeps its permissions";
    lark::ReplaceFileContents(path, "");
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"doc.lkp"});
}

TEST(FileAccess, ReplaceFollowsASymbolicLinkAndKeepsIt) {
    ScratchDir dir;
    const std::string real = dir.file("real.lkp"), link = dir.file("link.lkp");
    writeFile(real, "old");
    ASSERT_EQ(::symlink("real.lkp", link.c_str()), 0);
    lark::ReplaceFileContents(link, "new through the link");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link is still a link";
    EXPECT_EQ(readFile(real), "new through the link");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.lkp", "real.lkp"}));
}

TEST(FileAccess, ReplaceKeepsTheOwnerWhereAllowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
    ScratchDir dir;
    const std::string path = dir.file("owned.lkp");
    writeFile(path, "old");
    ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
    lark::ReplaceFileContents(path, "new");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
}

TEST(FileAccess, ReplaceWorksWithARelativePath) {
    ScratchDir dir;
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    EXPECT_NO_THROW(lark::ReplaceFileContents("rel.lkp", "relative"));
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(readFile(dir.file("rel.lkp")), "relative");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"rel.lkp"});
}

// Every refusal leaves the old file as it was and no temporary file behind.
TEST(FileAccess, ReplaceRefusesATargetAnotherOpenerHolds) {
    ScratchDir dir;
    const std::string path = dir.file("doc.lkp");
    writeFile(path, "old contents");
    for (bool holderReadOnly : {false, true}) {
        lark::DocumentFile other;
        lark::OpenDocumentFile(other, path, holderReadOnly);
        try {
            lark::ReplaceFileContents(path, "new contents");
            FAIL() << "replaced a held file";
        } catch (const lark::LarkError& e) {
            EXPECT_EQ(std::string(e.what()), cannotCreate(path, lark::kInUseText));
            EXPECT_EQ(e.kind(), lark::ErrorKind::InUse);
        }
        EXPECT_EQ(readFile(path), "old contents");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"doc.lkp"});
    }
}

TEST(FileAccess, ReplaceIntoAMissingDirectoryCannotCreate) {
    ScratchDir dir;
    const std::string path = dir.file("no/such/doc.lkp");
    try {
        lark::ReplaceFileContents(path, "x");
        FAIL();
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(std::string(e.what()), cannotCreate(path, "No such file or directory"));
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(FileAccess, ReplaceOfADirectoryCannotCreate) {
    ScratchDir dir;
    const std::string path = dir.file("sub");
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    try {
        lark::ReplaceFileContents(path, "x");
        FAIL();
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(std::string(e.what()), cannotCreate(path, "Is a directory"));
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"sub"});
}

TEST(FileAccess, ReplaceInAReadOnlyDirectoryCannotCreateAndKeepsTheOldFile) {
    ScratchDir dir;
    const std::string sub = dir.file("ro");
    ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
    const std::string path = sub + "/doc.lkp";
    writeFile(path, "old");
    ASSERT_EQ(::chmod(sub.c_str(), 0500), 0);
    if (::access(sub.c_str(), W_OK) == 0) {
        ::chmod(sub.c_str(), 0700);
        GTEST_SKIP() << "permissions do not bind this user (root)";
    }
    try {
        lark::ReplaceFileContents(path, "new");
        FAIL();
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(std::string(e.what()), cannotCreate(path, "Permission denied"));
    }
    ::chmod(sub.c_str(), 0700);
    EXPECT_EQ(readFile(path), "old");
}

// A write that stops part way (here: the file size limit) never reaches the target.
TEST(FileAccess, AWriteThatStopsShortLeavesTheOldFileAndNoTemporary) {
    ScratchDir dir;
    const std::string path = dir.file("doc.lkp");
    writeFile(path, "the old, complete notebook");
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        lark::ReplaceFileContents(path, std::string(100000, 'n'));
    } catch (const lark::LarkError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, "Stream write error \"" + path + "\". File too large");
    EXPECT_EQ(readFile(path), "the old, complete notebook");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"doc.lkp"});
}

}  // namespace
