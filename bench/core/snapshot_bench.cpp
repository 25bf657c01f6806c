// The snapshot a save takes on the window's thread before it writes on a worker.
//
//   save_snapshot  TakeSnapshot of the corpus notebook (100,000 sections) as a save takes
//                  it (into the storage the previous save's snapshot left) against the
//                  budget the window may spend on it: 5 ms, a third of one frame, so that
//                  Ctrl+S never stalls typing. The absolute time goes to stderr with the
//                  cost of the first save's snapshot (fresh storage) and of a bare walk of
//                  the same tree for comparison.
#include <stdexcept>

#include "../bench_util.h"
#include "corpus.h"
#include "document/snapshot.h"

namespace lark::bench {
namespace {

constexpr double kBudgetSeconds = 0.005;

void saveSnapshot(Context& ctx) {
    auto* bd = new BenchDocument;  // left to the process's end: teardown is not measured
    if (!bd->doc.LoadDocument(ctx.path(kPlainCorpus), true)) throw std::runtime_error("cannot load the corpus");
    std::vector<double> snap, fresh, walk;
    std::size_t sections = 0;
    const int reps = std::max(ctx.reps, 9);
    std::unique_ptr<NotebookSnapshot> spare;
    for (int i = 0; i < reps; ++i) {
        std::unique_ptr<NotebookSnapshot> s;
        // As a save takes it: into the storage the last save's snapshot left.
        snap.push_back(timeIt([&] { s = TakeSnapshot(bd->doc, std::move(spare)); }));
        sections = s->sections.size();
        s->clearForReuse();
        spare = std::move(s);
        // The first save after a load has no such storage yet.
        fresh.push_back(timeIt([&] { s = TakeSnapshot(bd->doc); }));
        s.reset();
        std::size_t bytes = 0;
        walk.push_back(timeIt([&] {
            bd->doc.tree().forEach([&](Section& sec, int depth) {
                bytes += sec.name().size() + sec.text().size() + static_cast<std::size_t>(depth);
                return true;
            });
        }));
        if (bytes == 0) throw std::runtime_error("empty corpus");
    }
    note("snapshot of " + std::to_string(sections) + " sections " + formatNumber(median(snap) * 1000, "%.2f ms") +
         " (fastest " + formatNumber(minimum(snap) * 1000, "%.2f ms") + "), into fresh storage " +
         formatNumber(median(fresh) * 1000, "%.2f ms") + ", bare walk " + formatNumber(median(walk) * 1000, "%.2f ms"));
    printFigure("save_snapshot", median(snap) / kBudgetSeconds, 1.0);
}

}  // namespace
LARK_BENCH_CASE(22, "save_snapshot", saveSnapshot);
}  // namespace lark::bench
