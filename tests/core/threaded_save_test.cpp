// The window saves on a worker thread while its own thread goes on reading the tree (the
// model asks for names and rows). Run under ThreadSanitizer by `make test-tsan`.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "document/format.h"
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
        d.doc.RunLongWork = [&](const std::function<void()>& work) {
            std::atomic<bool> done{false};
            std::exception_ptr failure;
            std::thread worker([&] {
                try {
                    work();
                } catch (...) {
                    failure = std::current_exception();
                }
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
            if (failure) std::rethrow_exception(failure);
        };
        ASSERT_TRUE(d.doc.SaveDocument(path)) << d.lastError();
        EXPECT_GT(namesRead, 0u);
        lark::CloseDocumentFile(d.doc.FFileHandle);  // the saved file is held for writing
        Desk back;
        ASSERT_TRUE(back.doc.LoadDocument(path, true)) << back.lastError();
        EXPECT_EQ(coretest::describe(back.doc.tree()), coretest::describe(d.doc.tree()));
    }
}

}  // namespace
