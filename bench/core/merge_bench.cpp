// The three-way merge of notebooks, as `lkp merge` runs it, against loading its inputs.
//
//   merge_100mb  base (the corpus), ours and theirs, each side with 1,000 sections changed
//                (100 of them changed on both sides, at the two ends of the text, so that
//                their lines merge): loading the three files, their snapshots and the merge
//                into the merged notebook / loading the three files alone. Writing the
//                merged notebook out is a save (see save_plain); its time goes to stderr.
//
// Times are the fastest of several repetitions per side; the files are in the page cache.
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>

#include "../bench_util.h"
#include "corpus.h"
#include "document/format.h"
#include "document/snapshot.h"
#include "merge/notebook_merge.h"

namespace lark::bench {
namespace {

// The base with the sections in `changed` edited: a line put in front (`front`) or at the end.
void writeSide(const NotebookSnapshot& base, const std::set<std::size_t>& changed, bool front,
               const std::string& path) {
    NotebookSnapshot side;
    for (std::size_t i = 0; i < base.sections.size(); ++i) {
        const SnapshotSection& s = base.sections[i];
        SnapshotSection& copy = side.addSection(s.depth, s.name());
        if (!changed.contains(i)) {
            copy.text_ = s.text_.share();
            continue;
        }
        const std::string line = front ? "edited in front\r\n" : "\r\nedited at the end";
        copy.text_ = TextBuffer::copyOf(front ? line + std::string(s.text()) : std::string(s.text()) + line);
    }
    side.info = base.info;
    const TextBuffer bytes = WriteDocument(side);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void merge100mb(Context& ctx) {
    const std::string basePath = ctx.path(kPlainCorpus);
    const std::string oursPath = ctx.scratch("merge-ours.lkp"), theirsPath = ctx.scratch("merge-theirs.lkp");
    {
        BenchDocument bd;
        if (!bd.doc.LoadDocument(basePath, true)) throw std::runtime_error("cannot load the corpus");
        const auto base = TakeSnapshot(bd.doc);
        Rng rng(31);
        std::set<std::size_t> ours, theirs;
        const std::size_t n = base->sections.size();
        while (ours.size() < 1000) ours.insert(rng.range(0, n - 1));
        for (std::size_t i : ours) {
            if (theirs.size() == 100) break;
            theirs.insert(i);
        }
        while (theirs.size() < 1000) {
            const std::size_t i = rng.range(0, n - 1);
            if (!ours.contains(i)) theirs.insert(i);
        }
        writeSide(*base, ours, true, oursPath);
        writeSide(*base, theirs, false, theirsPath);
    }
    const std::string paths[3] = {basePath, oursPath, theirsPath};
    auto loadAll = [&](std::unique_ptr<BenchDocument>(&docs)[3]) {
        for (int i = 0; i < 3; ++i) {
            docs[i] = std::make_unique<BenchDocument>();
            if (!docs[i]->doc.LoadDocument(paths[i], true)) throw std::runtime_error("cannot load " + paths[i]);
        }
    };
    std::vector<double> load, merge, mergeOnly, writeOnly;
    std::size_t conflicts = 0, changed = 0, bytes = 0;
    const int reps = std::max(3, std::min(ctx.reps, 5));
    for (int r = 0; r < reps; ++r) {
        {
            std::unique_ptr<BenchDocument> docs[3];
            load.push_back(timeIt([&] { loadAll(docs); }));
        }
        {
            std::unique_ptr<BenchDocument> docs[3];
            std::unique_ptr<NotebookSnapshot> snaps[3];
            merge::MergeResult result;  // freed, as the documents are, outside the timing
            merge.push_back(timeIt([&] {
                loadAll(docs);
                for (int i = 0; i < 3; ++i) snaps[i] = TakeSnapshot(docs[i]->doc);
                mergeOnly.push_back(timeIt([&] { result = merge::MergeNotebooks(*snaps[0], *snaps[1], *snaps[2]); }));
            }));
            // Writing the merged notebook is a save (save_plain); its time is noted apart.
            writeOnly.push_back(timeIt([&] { bytes = WriteDocument(result.notebook).size(); }));
            conflicts = result.conflicts.size();
            changed = static_cast<std::size_t>(result.changed);
        }
    }
    if (changed < 1000) throw std::runtime_error("the merge took too few of their changes");
    note("merge of three 100 MB files " + formatNumber(minimum(merge), "%.3f s") + ", loading them " +
         formatNumber(minimum(load), "%.3f s") + " (the merge alone " + formatNumber(minimum(mergeOnly), "%.3f s") +
         ", writing its bytes " + formatNumber(minimum(writeOnly), "%.3f s") + "); " + std::to_string(changed) +
         " sections changed, " + std::to_string(conflicts) + " conflicts, " + std::to_string(bytes) + " bytes out");
    printFigure("merge_100mb", minimum(merge) / minimum(load), 2.0);
}

}  // namespace
LARK_BENCH_CASE(60, "merge_100mb", merge100mb);
}  // namespace lark::bench
