// Replace all over the corpus notebook against the global search over the same bytes.
//
//   replace_all_100mb  "Заменить все" over the whole notebook (names and texts, planned and
//                      carried out as one step of the section history) of a word planted
//                      10,000 times across the sections / one global-search step for a
//                      string found nowhere
//   backlinks_100mb    "Ссылки на раздел" for a section that 1,000 texts spread over the
//                      notebook link to (the search over a snapshot, as the panel's worker
//                      runs it) / the same global-search step
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../bench_util.h"
#include "corpus.h"
#include "document/cp1251.h"
#include "document/snapshot.h"
#include "editing/section_commands.h"
#include "editing/text_replace.h"
#include "search/backlinks.h"
#include "search/text_search.h"

namespace lark::bench {
namespace {

constexpr int kPlanted = 10000;

// The corpus with `word` put at the end of kPlanted texts spread over the notebook.
BenchDocument& plantedCorpus(const Context& ctx, const std::string& word) {
    static BenchDocument* bd = nullptr;  // left to the process's end: teardown is not measured
    if (bd) return *bd;
    bd = new BenchDocument;
    if (!bd->doc.LoadDocument(ctx.path(kPlainCorpus), true))
        throw std::runtime_error("cannot load " + ctx.path(kPlainCorpus));
    SectionTree& tree = bd->doc.tree();
    const int count = tree.count();
    if (count < kPlanted) throw std::runtime_error("the corpus has too few sections");
    const int every = count / kPlanted;
    int planted = 0;
    tree.forEachInOrder([&](Section& s, int) {
        const int i = planted * every;
        if (planted < kPlanted && tree.indexOf(&s) == i) {
            if (TNodeContent* c = s.content()) {
                c->Text = TextBuffer::copyOf(std::string(s.text()) + " " + word);
                ++planted;
            }
        }
        return true;
    });
    if (planted != kPlanted) throw std::runtime_error("could not plant the word");
    return *bd;
}

template <class F>
double medianOf(int reps, F&& fn) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) t.push_back(timeIt(fn));
    return median(t);
}

void replaceAll(Context& ctx) {
    const std::string word = "Qzxplanted", other = "Qzxreplacedword";
    Document& doc = plantedCorpus(ctx, word).doc;
    const std::string missing = *cp1251::fromUtf8("НесуществующаяСтрока");
    SearchHit hit = SearchHit::None;
    const double base = medianOf(ctx.reps, [&] {
        SearchState state;
        state.FGlobalSearch = true;
        hit = GlobalSearch(doc, state, missing);
    });
    if (hit != SearchHit::None) throw std::runtime_error("the search string was found");

    SectionHistory history;
    const SectionRenamer rename = [&](Section* s, std::string name) {
        CommitRename(doc, s, std::move(name));
        return std::vector<TextChange>{};
    };
    std::vector<double> times;
    std::size_t replaced = 0;
    for (int i = 0; i < ctx.reps; ++i) {
        // Back and forth, so that every turn has the same number of matches.
        const std::string& from = i % 2 ? other : word;
        const std::string& to = i % 2 ? word : other;
        times.push_back(
            timeIt([&] { replaced = ReplaceInNotebook(doc, history, from, to, {}, {}, rename).value_or(0); }));
        if (replaced != kPlanted) throw std::runtime_error("replaced " + std::to_string(replaced) + " matches");
        history.clear();
    }
    const double measured = median(times);
    note("replace all " + formatNumber(measured * 1e3, "%.2f") + " ms for " + std::to_string(replaced) +
         " matches, global search " + formatNumber(base * 1e3, "%.2f") + " ms");
    printFigure("replace_all_100mb", measured / base, 2.0);
}

void backlinks(Context& ctx) {
    Document& doc = plantedCorpus(ctx, "Qzxplanted").doc;
    SectionTree& tree = doc.tree();
    const std::string name = "Qzx_target_section";
    tree.rename(tree.at(tree.count() - 1), name);
    const std::string link = " file://@" + name + ". ";
    constexpr int kLinks = 1000;
    const int every = tree.count() / kLinks;
    for (int i = 0; i < kLinks; ++i) {
        TNodeContent* c = tree.at(i * every)->content();
        if (!c) throw std::runtime_error("a section without a record");
        c->Text = TextBuffer::copyOf(std::string(c->Text.view()) + link);
    }
    const std::string missing = *cp1251::fromUtf8("НесуществующаяСтрока");
    const double base = medianOf(ctx.reps, [&] {
        SearchState state;
        state.FGlobalSearch = true;
        if (GlobalSearch(doc, state, missing) != SearchHit::None) throw std::runtime_error("found");
    });
    const auto snapshot = TakeSnapshot(doc);
    std::size_t rows = 0;
    const double measured = medianOf(ctx.reps, [&] {
        rows = 0;
        FindLinksTo(*snapshot, name, [&](FindAllRow&&) {
            ++rows;
            return true;
        });
    });
    if (rows != kLinks) throw std::runtime_error("found " + std::to_string(rows) + " links");
    note("links into a section " + formatNumber(measured * 1e3, "%.2f") + " ms for " + std::to_string(rows) +
         " links, global search " + formatNumber(base * 1e3, "%.2f") + " ms");
    printFigure("backlinks_100mb", measured / base, 1.5);
}

}  // namespace

LARK_BENCH_CASE(32, "replace_all_100mb", replaceAll);
LARK_BENCH_CASE(33, "backlinks_100mb", backlinks);

}  // namespace lark::bench
