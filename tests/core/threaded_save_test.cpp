// The window saves on a worker thread while its own thread goes on reading the tree (the
// model asks for names and rows). Run under ThreadSanitizer by `make test-tsan`.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "document/envelope.h"
#include "document/format.h"
#include "document/snapshot.h"
#include "fixture.h"

namespace {

using coretest::Desk;

TEST(ThreadedSave, TheWorkerWritesWhileTheWindowReadsNames) {
    for (const bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "compressed" : "plain");
        coretest::ScratchDir dir;
        const std::string path = dir.file("t.lkp");
        Desk d;
        lark::Section* parent = nullptr;
        for (int i = 0; i < 3000; ++i) {
            lark::Section* s = d.add(i % 7 == 0 ? nullptr : parent, "Section " + std::to_string(i),
                                     std::string(200 + i % 50, static_cast<char>('a' + i % 26)));
            if (i % 7 == 0) parent = s;
        }
        d.doc.UseZip = zip;
        std::size_t namesRead = 0;
        std::unique_ptr<lark::SaveJob> job = d.doc.BeginSave(path, {});
        ASSERT_TRUE(job) << d.lastError();
        std::atomic<bool> done{false};
        std::thread worker([&] {
            lark::Document::WriteSave(*job);
            done = true;
        });
        // What the window does meanwhile: its model reads the order, names, rows and
        // texts; painting asks for the selection and the changed state.
        const lark::SectionTree& tree = d.doc.tree();
        do {
            namesRead += static_cast<std::size_t>(d.doc.isModified()) + (d.doc.selected() ? 1u : 0u);
            for (int i = 0; i < tree.count(); i += 97) {
                const lark::Section* s = tree.at(i);
                namesRead += s->name().size() + static_cast<std::size_t>(tree.indexOf(s) == i) + s->text().size();
            }
        } while (!done);
        worker.join();
        ASSERT_TRUE(d.doc.FinishSave(*job)) << d.lastError();
        EXPECT_GT(namesRead, 0u);
        lark::CloseDocumentFile(d.doc.FFileHandle);  // the saved file is held for writing
        Desk back;
        ASSERT_TRUE(back.doc.LoadDocument(path, true)) << back.lastError();
        EXPECT_EQ(coretest::describe(back.doc.tree()), coretest::describe(d.doc.tree()));
    }
}

// A save from a snapshot writes on a worker while the window's thread goes on changing the
// notebook in every way it can: the file must hold the notebook as it was at the snapshot,
// byte for byte, and the notebook must stay changed after the save.
TEST(ThreadedSave, ASnapshotIsWrittenAsTakenWhileTheNotebookChanges) {
    for (const bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "compressed" : "plain");
        coretest::ScratchDir dir;
        const std::string path = dir.file("s.lkp");
        Desk d;
        lark::Section* parent = nullptr;
        for (int i = 0; i < 2000; ++i) {
            lark::Section* s = d.add(i % 5 == 0 ? nullptr : parent, "Section " + std::to_string(i),
                                     std::string(300 + i % 70, static_cast<char>('a' + i % 26)));
            if (i % 5 == 0) parent = s;
        }
        d.doc.SelectSection(d.doc.tree().at(3));
        d.editor.setText("typed before the save");
        d.editor.setModified(true);
        d.doc.UseZip = zip;

        std::unique_ptr<lark::SaveJob> job = d.doc.BeginSave(path, {});
        ASSERT_TRUE(job) << d.lastError();
        EXPECT_FALSE(d.doc.isModified());
        const lark::TextBuffer blocking = zip ? lark::ZipDocument(*job->snapshot) : lark::WriteDocument(*job->snapshot);
        const std::string expected(blocking.view());

        std::atomic<bool> done{false};
        std::thread worker([&] {
            lark::Document::WriteSave(*job);
            done = true;
        });
        // What the user does meanwhile: types, renames, replaces texts, adds and deletes.
        int round = 0;
        do {
            lark::SectionTree& tree = d.doc.tree();
            const int k = 1 + round % (tree.count() - 1);
            d.doc.SelectSection(tree.at(k));
            d.editor.setText("edited during the save " + std::to_string(round));
            d.editor.setModified(true);
            d.doc.RenameSection(tree.at(k), "Renamed " + std::to_string(round));
            if (lark::TNodeContent* c = tree.at((k * 7) % tree.count())->content())
                c->Text = lark::TextBuffer::copyOf("new");
            lark::Section* fresh = d.doc.CreateNode(false, false);
            if (round % 2) d.doc.RemoveSection(fresh);
            ++round;
        } while (!done);
        worker.join();
        EXPECT_TRUE(d.doc.FinishSave(*job)) << d.lastError();
        EXPECT_TRUE(d.doc.isModified()) << "the changes made during the save are not on disk";
        EXPECT_EQ(coretest::readFile(path), expected);
    }
}

// Each save fills the emptied snapshot of the one before. Names of random lengths over many
// blocks, more or fewer than last time, in rounds: the reused snapshot writes the bytes a
// fresh one writes.
TEST(ThreadedSave, AReusedSnapshotWritesWhatAFreshOneWrites) {
    std::mt19937 rng(20261209);
    Desk d;
    std::unique_ptr<lark::NotebookSnapshot> reused;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        d.doc.tree().clear();
        const int count = 500 + static_cast<int>(rng() % 3000);
        for (int i = 0; i < count; ++i) {
            const std::size_t length = rng() % 8 == 0 ? 1 + rng() % 20000 : 1 + rng() % 120;
            d.add(nullptr, std::string(length, static_cast<char>('a' + (i + round) % 26)) + std::to_string(i), "t");
        }
        if (reused) reused->clearForReuse();
        reused = lark::TakeSnapshot(d.doc, std::move(reused));
        const auto fresh = lark::TakeSnapshot(d.doc);
        ASSERT_EQ(lark::WriteDocument(*reused).view(), lark::WriteDocument(*fresh).view());
    }
}

}  // namespace
