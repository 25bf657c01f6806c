// Snapshots, recovery copies, and the check for a file changed by another program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

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
                // Read to the end with a complaint, not a failure: still damaged.
                {"robustness: a text block past the outline", good + std::string("\x03\0\0\0abc", 7)},
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

// A notebook is known by where it is, not by how it was named: relative names in two
// folders never share a copy, and every spelling of one file does.
TEST(Recovery, CopiesAreKeyedByTheCanonicalPath) {
    ScratchDir dir;
    const std::string a = lark::CanonicalNotebookPath(dir.file("a")), b = lark::CanonicalNotebookPath(dir.file("b"));
    ASSERT_EQ(::mkdir(a.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(b.c_str(), 0700), 0);
    writeFile(a + "/notes.lkp", "A");
    writeFile(b + "/notes.lkp", "B");
    ASSERT_EQ(::symlink((a + "/notes.lkp").c_str(), (b + "/link.lkp").c_str()), 0);
    const std::unique_ptr<char, void (*)(void*)> keep(::getcwd(nullptr, 0), std::free);
    ASSERT_EQ(::chdir(a.c_str()), 0);
    const struct {
        const char* label;
        std::string typed, canonical;
    } rows[] = {
        {"nominal: relative, in the working folder", "notes.lkp", a + "/notes.lkp"},
        {"nominal: absolute", a + "/notes.lkp", a + "/notes.lkp"},
        {"robustness: dots and doubled slashes", "./../b//../a/./notes.lkp", a + "/notes.lkp"},
        {"robustness: a link to the notebook", "../b/link.lkp", a + "/notes.lkp"},
        {"robustness: no file yet, in a real folder", "../b/../b/new.lkp", b + "/new.lkp"},
        {"robustness: no folder either", "/nowhere/x/../y.lkp", "/nowhere/y.lkp"},
        {"boundary: unnamed", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(lark::CanonicalNotebookPath(row.typed), row.canonical);
        EXPECT_EQ(lark::RecoveryPathFor("/r", row.typed), lark::RecoveryPathFor("/r", row.canonical));
    }
    ASSERT_EQ(::chdir(keep.get()), 0);
}

// Whatever stands under a copy's name and is not a regular file is never read, written
// through, offered or removed through: it is set aside, and what a link names stays as it was.
TEST(Recovery, EntriesThatAreNotRegularFilesAreSetAside) {
    ScratchDir dir;
    const std::string r = dir.file("r"), notebook = dir.file("notes.lkp"), outside = dir.file("outside.lkp");
    ASSERT_EQ(::mkdir(r.c_str(), 0700), 0);
    const std::string sample = coretest::sampleBytes();
    writeFile(notebook, sample);
    // A link leading nowhere, a link to a notebook, a FIFO, a folder.
    const auto plant = [&](char kind, const std::string& at) {
        return kind == 'p'   ? ::mkfifo(at.c_str(), 0600)
               : kind == 'd' ? ::mkdir(at.c_str(), 0700)
                             : ::symlink((kind == 'l' ? notebook : outside).c_str(), at.c_str());
    };
    Desk d;
    d.buildSample();
    const auto snap = lark::TakeSnapshot(d.doc);
    const auto mode = [](const std::string& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode : 0u;
    };
    for (const char kind : {'x', 'l', 'p', 'd'}) {
        SCOPED_TRACE(kind);
        const std::string copy = lark::RecoveryPathFor(r, "/home/u/n.lkp");
        const std::string second = copy.substr(0, copy.size() - 4) + "-2.lkp";
        ASSERT_EQ(plant(kind, copy), 0);
        ASSERT_EQ(plant(kind, second), 0);
        // Never listed: set aside instead.
        EXPECT_TRUE(lark::RecoveryCopiesFor(r, "/home/u/n.lkp").empty());
        EXPECT_EQ(mode(copy), 0u);
        EXPECT_TRUE(mode(copy + ".refused"));
        // Never read: the notebook on screen stays, and a FIFO does not block.
        ASSERT_EQ(plant(kind, copy), 0);
        Desk back;
        back.add(nullptr, "Shown before");
        EXPECT_THROW(lark::RestoreRecoveryCopy(back.doc, copy, "/home/u/n.lkp"), lark::LarkError);
        EXPECT_EQ(std::string(back.doc.tree().at(0)->name()), "Shown before");
        // Never written through: the copy takes the name as a file of its own.
        lark::WriteRecoveryCopy(*snap, copy, "/home/u/n.lkp");
        EXPECT_TRUE(S_ISREG(mode(copy)));
        EXPECT_EQ(readFile(copy).substr(0, 7), "ZIPPED!");
        EXPECT_TRUE(mode(copy + ".refused2"));
        EXPECT_EQ(mode(outside), 0u) << "created through a link";
        EXPECT_EQ(readFile(notebook), sample);
        // Removing one removes at most the entry, never what it names.
        ASSERT_EQ(plant(kind, second), 0);
        lark::RemoveRecoveryCopy(second);
        EXPECT_EQ(readFile(notebook), sample);
        EXPECT_TRUE(lark::RemoveRecoveryCopy(copy));
        const std::string stem = copy.substr(0, copy.size() - 4);
        for (const std::string& left : {copy + ".refused", copy + ".refused2", stem + "-2.lkp.refused"})
            EXPECT_TRUE(::unlink(left.c_str()) == 0 || ::rmdir(left.c_str()) == 0) << left;
        ::rmdir((stem + "-2.lkp.refused2").c_str());  // a folder is set aside again by the removal
        EXPECT_EQ(::rmdir(r.c_str()), 0) << "nothing else left in the folder";
        ASSERT_EQ(::mkdir(r.c_str(), 0700), 0);
    }
    // The recovery folder itself as a link: nothing goes through it.
    ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), dir.file("linked").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("elsewhere").c_str(), 0700), 0);
    EXPECT_THROW(lark::WriteRecoveryCopy(*snap, dir.file("linked/unnamed.lkp")), lark::LarkError);
    EXPECT_EQ(::rmdir(dir.file("elsewhere").c_str()), 0) << "written into";
}

// Copies whose notebook is no longer where it was are found by the path kept beside them.
TEST(Recovery, CopiesOfNotebooksThatHaveGoneAreFound) {
    ScratchDir dir;
    const std::string r = dir.file("r");
    const std::string kept = lark::CanonicalNotebookPath(dir.file("kept.lkp"));
    const std::string gone = lark::CanonicalNotebookPath(dir.file("gone.lkp"));
    writeFile(kept, "k");
    writeFile(gone, "g");
    Desk d;
    d.buildSample();
    const auto snap = lark::TakeSnapshot(d.doc);
    for (const std::string& notebook : {kept, gone}) {
        lark::WriteRecoveryCopy(*snap, lark::RecoveryPathFor(r, notebook), notebook);
        lark::RecoveryClaim second = lark::ClaimNewRecoveryCopy(r, notebook);
        lark::WriteRecoveryCopy(*snap, second.copyPath(), notebook);
    }
    lark::WriteRecoveryCopy(*snap, lark::RecoveryPathFor(r, ""));
    EXPECT_TRUE(lark::OrphanedRecoveryCopies(r).empty()) << "both notebooks are there";
    ASSERT_EQ(::unlink(gone.c_str()), 0);
    const std::vector<std::string> copies = lark::RecoveryCopiesFor(r, gone);
    ASSERT_EQ(copies.size(), 2u);
    auto orphans = lark::OrphanedRecoveryCopies(r);
    ASSERT_EQ(orphans.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(orphans[i].notebookPath, gone);
        EXPECT_EQ(orphans[i].copyPath, copies[i]);
    }
    // A recorded path that does not match its name, or is not a regular file, names nothing.
    const std::string forged = lark::RecoveryPathFor(r, dir.file("forged.lkp"));
    writeFile(forged, "x");
    writeFile(forged.substr(0, forged.size() - 4) + ".name", gone);
    const std::string linked = lark::RecoveryPathFor(r, dir.file("linked.lkp"));
    writeFile(linked, "x");
    ASSERT_EQ(::symlink(dir.file("linked.lkp").c_str(), (linked.substr(0, linked.size() - 4) + ".name").c_str()), 0);
    EXPECT_EQ(lark::OrphanedRecoveryCopies(r).size(), 2u);
    // The recorded path goes with the last copy, and then nothing is found.
    EXPECT_TRUE(lark::RemoveRecoveryCopy(copies[0]));
    EXPECT_EQ(lark::OrphanedRecoveryCopies(r).size(), 1u);
    EXPECT_TRUE(lark::RemoveRecoveryCopy(copies[1]));
    EXPECT_TRUE(lark::OrphanedRecoveryCopies(r).empty());
    const std::string nameFile = copies[0].substr(0, copies[0].size() - 4) + ".name";
    EXPECT_NE(::access(nameFile.c_str(), F_OK), 0);
    EXPECT_EQ(lark::RecoveryCopiesFor(r, kept).size(), 2u) << "another notebook's copies stay";
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
