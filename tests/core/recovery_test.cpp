// Snapshots, recovery copies, and the check for a file changed by another program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "document/format.h"
#include "document/recovery.h"
#include "document/snapshot.h"
#include "fixture.h"

namespace {

using coretest::Desk;
using coretest::readFile;
using coretest::ScratchDir;
using coretest::writeFile;

struct SnapshotRow {
    std::string label;
    int select;         // absolute index, -1 for none
    std::string typed;  // the editor's unsaved text, empty for none
};
CORETEST_PRINTS_LABEL(SnapshotRow)

class Snapshots : public ::testing::TestWithParam<SnapshotRow> {};

// The snapshot holds the bytes a save would write at that moment, and changes nothing.
TEST_P(Snapshots, WriteWhatASaveWouldWrite) {
    const SnapshotRow& row = GetParam();
    ScratchDir dir;
    Desk d;
    d.buildSample();
    d.doc.FFileInfo = {"Owner=me", "activate=2"};
    if (row.select >= 0) d.doc.SelectSection(d.doc.tree().at(row.select));
    if (!row.typed.empty()) {
        d.editor.setText(row.typed);
        d.editor.setModified(true);
    }
    const std::string before = coretest::describe(d.doc.tree());
    const auto snap = lark::TakeSnapshot(d.doc);
    EXPECT_EQ(coretest::describe(d.doc.tree()), before) << "the snapshot changed the notebook";
    EXPECT_EQ(d.editor.modified(), !row.typed.empty());
    const std::string fromSnapshot(lark::WriteDocument(*snap).view());

    ASSERT_TRUE(d.doc.SaveDocument(dir.file("s.lkp"))) << d.lastError();
    EXPECT_EQ(fromSnapshot, readFile(dir.file("s.lkp")));
}

INSTANTIATE_TEST_SUITE_P(Recovery, Snapshots,
                         ::testing::Values(SnapshotRow{"nominal: nothing typed", 1, ""},
                                           SnapshotRow{"nominal: typed into the selected section", 2, "new\r\ntext"},
                                           SnapshotRow{"robustness: typed with nothing selected", -1, "loose"},
                                           SnapshotRow{"robustness: NUL cuts the typed text", 0,
                                                       std::string("cut\0here", 8)}),
                         coretest::ByLabel());

TEST(Recovery, ASnapshotKeepsItsTextsWhenTheSectionsGetNewOnes) {
    Desk d;
    d.buildSample();
    const auto snap = lark::TakeSnapshot(d.doc);
    d.doc.tree().at(0)->content()->Text = lark::TextBuffer::copyOf("replaced");
    d.doc.tree().at(2)->content()->Text.reset();
    EXPECT_EQ(snap->sections[0].text(), "Hi");
    EXPECT_EQ(snap->sections[2].text(), "x\r\ny");
}

// A save fills the storage of the one before; no name or text of the old snapshot may show
// through, whether the new names fit the kept blocks or not.
TEST(Recovery, AReusedSnapshotHoldsWhatAFreshOneHolds) {
    Desk d;
    d.buildSample();
    auto old = lark::TakeSnapshot(d.doc);
    old->clearForReuse();
    d.doc.tree().rename(d.doc.tree().at(0), std::string(100000, 'n'));  // longer than a kept block
    d.doc.tree().rename(d.doc.tree().at(1), "short");
    d.doc.tree().at(2)->content()->Text = lark::TextBuffer::copyOf("new text");
    const auto fresh = lark::TakeSnapshot(d.doc);
    auto reused = lark::TakeSnapshot(d.doc, std::move(old));
    EXPECT_EQ(lark::WriteDocument(*reused).view(), lark::WriteDocument(*fresh).view());
    // Reused again, with the long name gone: the first block serves again.
    d.doc.tree().rename(d.doc.tree().at(0), "A");
    reused->clearForReuse();
    const auto again = lark::TakeSnapshot(d.doc, std::move(reused));
    EXPECT_EQ(lark::WriteDocument(*again).view(), lark::WriteDocument(*lark::TakeSnapshot(d.doc)).view());
}

TEST(Recovery, ACopyComesBackUnderItsNotebookNameMarkedChanged) {
    ScratchDir dir;
    Desk d;
    d.buildSample();
    d.doc.SelectSection(d.doc.tree().at(2));
    const std::string copy = lark::RecoveryPathFor(dir.file("state/larkpad/recovery"), "/home/u/notes.lkp");
    lark::WriteRecoveryCopy(*lark::TakeSnapshot(d.doc), copy);
    EXPECT_EQ(readFile(copy).substr(0, 7), "ZIPPED!");

    Desk back;
    back.add(nullptr, "Shown before");
    lark::RestoreRecoveryCopy(back.doc, copy, "/home/u/notes.lkp");
    EXPECT_EQ(coretest::describe(back.doc.tree()), coretest::describe(d.doc.tree()));
    EXPECT_EQ(back.doc.selected(), back.doc.tree().at(2));
    EXPECT_EQ(back.editor.text(), "x\r\ny");
    EXPECT_EQ(back.doc.FFileName, "/home/u/notes.lkp");
    EXPECT_TRUE(back.doc.isModified());
}

TEST(Recovery, ADamagedCopyLeavesTheNotebookAndIsSetAside) {
    ScratchDir dir;
    const std::string good = coretest::sampleBytes();
    const struct {
        const char* label;
        std::string bytes;
    } rows[] = {{"robustness: cut short", good.substr(0, 40)},
                {"robustness: not a notebook", "plain text, long enough"},
                {"robustness: damaged envelope", "ZIPPED!garbage"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string copy = dir.file("c.lkp");
        writeFile(copy, row.bytes);
        Desk d;
        d.buildSample();
        const std::string before = coretest::describe(d.doc.tree());
        EXPECT_THROW(lark::RestoreRecoveryCopy(d.doc, copy, "n.lkp"), lark::LarkError);
        EXPECT_EQ(coretest::describe(d.doc.tree()), before);
        EXPECT_TRUE(d.ui.errors.empty());
    }
    EXPECT_EQ(lark::SetAsideDamagedCopy(dir.file("c.lkp")), dir.file("c.lkp.damaged"));
    writeFile(dir.file("c.lkp"), "again");
    EXPECT_EQ(lark::SetAsideDamagedCopy(dir.file("c.lkp")), dir.file("c.lkp.damaged2")) << "an earlier one is kept";
    EXPECT_EQ(readFile(dir.file("c.lkp.damaged")), "ZIPPED!garbage");
}

TEST(Recovery, DirectoriesAndNames) {
    const char* oldState = std::getenv("XDG_STATE_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string keepState = oldState ? oldState : "", keepHome = oldHome ? oldHome : "";
    ::setenv("HOME", "/home/u", 1);
    ::setenv("XDG_STATE_HOME", "/st", 1);
    EXPECT_EQ(lark::RecoveryDirectory("larkpad"), "/st/larkpad/recovery");
    ::setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored, as the XDG rules say
    EXPECT_EQ(lark::RecoveryDirectory("larkpad"), "/home/u/.local/state/larkpad/recovery");
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(lark::RecoveryDirectory("larkpad"), "/home/u/.local/state/larkpad/recovery");
    oldState ? ::setenv("XDG_STATE_HOME", keepState.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
    oldHome ? ::setenv("HOME", keepHome.c_str(), 1) : ::unsetenv("HOME");

    EXPECT_EQ(lark::RecoveryPathFor("/r", ""), "/r/unnamed.lkp");
    EXPECT_NE(lark::RecoveryPathFor("/r", "/a/notes.lkp"), lark::RecoveryPathFor("/r", "/b/notes.lkp"));
    EXPECT_EQ(lark::RecoveryPathFor("/r", "/a/notes.lkp"), lark::RecoveryPathFor("/r", "/a/notes.lkp"));
}

// Each window claims copies of its own: a copy held by one window is never taken, written
// or offered by another; a crashed window's copy waits, untouched, to be offered.
TEST(Recovery, EveryWindowKeepsCopiesOfItsOwn) {
    ScratchDir dir;
    const std::string r = dir.file("r");
    for (const std::string notebook : {"", "/home/u/notes.lkp"}) {
        SCOPED_TRACE(notebook.empty() ? "unnamed" : "named");
        const std::string first = lark::RecoveryPathFor(r, notebook);
        const std::string stem = first.substr(0, first.size() - 4);
        lark::RecoveryClaim one = lark::ClaimNewRecoveryCopy(r, notebook);
        EXPECT_EQ(one.copyPath(), first);
        EXPECT_FALSE(lark::RecoveryClaim::take(first).held()) << "held by the first window";
        lark::RecoveryClaim two = lark::ClaimNewRecoveryCopy(r, notebook);
        EXPECT_EQ(two.copyPath(), stem + "-2.lkp");
        writeFile(stem + "-3.lkp", "a crashed window's copy");
        lark::RecoveryClaim four = lark::ClaimNewRecoveryCopy(r, notebook);
        EXPECT_EQ(four.copyPath(), stem + "-4.lkp") << "an existing copy is never taken over";
        writeFile(first, "1");
        writeFile(stem + "-10.lkp", "10");
        for (const char* other : {"-02.lkp", "-x.lkp", "-1001.lkp", ".lkp.damaged", "-2.lkp~"})
            writeFile(stem + other, "");
        EXPECT_EQ(lark::RecoveryCopiesFor(r, notebook),
                  (std::vector<std::string>{first, stem + "-3.lkp", stem + "-10.lkp"}));
        EXPECT_EQ(readFile(stem + "-3.lkp"), "a crashed window's copy");
        one = lark::RecoveryClaim();
        EXPECT_TRUE(lark::RecoveryClaim::take(first).held()) << "free once the window is gone";
    }
    EXPECT_TRUE(lark::RecoveryCopiesFor(dir.file("missing"), "").empty());
    // Where no lock can be had, copies are still written, with nobody kept off.
    const std::string noLocks = dir.file("n");
    ASSERT_EQ(::mkdir(noLocks.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((noLocks + "/.owners").c_str(), 0700), 0);
    const lark::RecoveryClaim a = lark::RecoveryClaim::take(noLocks + "/unnamed.lkp");
    EXPECT_TRUE(a.held());
    EXPECT_TRUE(lark::RecoveryClaim::take(noLocks + "/unnamed.lkp").held());
}

// ---- a file changed by another program ----

TEST(ChangedOnDisk, OnlyAnotherProgramsChangeCounts) {
    ScratchDir dir;
    const std::string path = dir.file("n.lkp");
    const struct {
        const char* label;
        void (*change)(const std::string& path);
        bool changed;
    } rows[] = {
        {"nominal: untouched", [](const std::string&) {}, false},
        {"nominal: deleted (written again)", [](const std::string& p) { ::unlink(p.c_str()); }, false},
        {"robustness: replaced by rename",
         [](const std::string& p) {
             writeFile(p + ".new", coretest::sampleBytes());
             ::rename((p + ".new").c_str(), p.c_str());
         },
         true},
        {"robustness: grown in place",
         [](const std::string& p) {
             const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND);
             ASSERT_EQ(::write(fd, "!", 1), 1);
             ::close(fd);
         },
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        writeFile(path, coretest::sampleBytes());
        Desk d;
        ASSERT_TRUE(d.doc.LoadDocument(path, false));
        row.change(path);
        EXPECT_EQ(d.doc.ChangedOnDisk(path), row.changed);
        // A save makes the file the notebook's own again.
        ASSERT_TRUE(d.doc.SaveDocument(path)) << d.lastError();
        EXPECT_FALSE(d.doc.ChangedOnDisk(path));
    }
    // A name with no file yet: a file that appears there meanwhile is someone else's.
    Desk fresh;
    fresh.doc.FFileName = dir.file("new.lkp");
    fresh.doc.RememberNoFile();
    EXPECT_FALSE(fresh.doc.ChangedOnDisk(fresh.doc.FFileName));
    writeFile(fresh.doc.FFileName, "someone else's");
    EXPECT_TRUE(fresh.doc.ChangedOnDisk(fresh.doc.FFileName));
}

}  // namespace
