// Search and dates on the corpus notebook against what a bare scan of the same bytes
// costs.
//
//   global_search_miss  one global-search step for a string found nowhere (every name and
//                       stored text tested) / memchr over the same names and texts for
//                       the string's first byte, once for each letter case
//   dates_report        the nearest-dates report (scan, line extraction, ordering, report
//                       text) / one memchr('.') pass over the same texts
#include <cstring>
#include <memory>
#include <stdexcept>

#include "../bench_util.h"
#include "corpus.h"
#include "document/cp1251.h"
#include "search/nearest_dates.h"
#include "search/text_search.h"

namespace lark::bench {
namespace {

// The corpus, loaded once for both cases.
BenchDocument& corpus(const Context& ctx) {
    static BenchDocument* bd = nullptr;  // left to the process's end: teardown is not measured
    if (!bd) {
        bd = new BenchDocument;
        if (!bd->doc.LoadDocument(ctx.path(kPlainCorpus), true))
            throw std::runtime_error("cannot load " + ctx.path(kPlainCorpus));
    }
    return *bd;
}

std::size_t countByte(std::string_view s, char c) {
    std::size_t n = 0;
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
        if (!hit) break;
        ++n;
        p = static_cast<const char*>(hit) + 1;
    }
    return n;
}

template <class F>
double medianOf(int reps, F&& fn) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) t.push_back(timeIt(fn));
    return median(t);
}

void globalSearchMiss(Context& ctx) {
    Document& doc = corpus(ctx).doc;
    // A Cyrillic word the generator's random letters do not spell.
    const std::string needle = *cp1251::fromUtf8("НесуществующаяСтрока");
    const char lower = static_cast<char>(cp1251::toLower(static_cast<unsigned char>(needle[0])));
    const char upper = needle[0];
    std::size_t bytes = 0;
    doc.tree().forEach([&](Section& s, int) {
        bytes += s.name().size() + s.text().size();
        return true;
    });

    volatile std::size_t sink = 0;
    const double base = medianOf(ctx.reps, [&] {
        std::size_t n = 0;
        doc.tree().forEach([&](Section& s, int) {
            n += countByte(s.name(), lower) + countByte(s.name(), upper);
            n += countByte(s.text(), lower) + countByte(s.text(), upper);
            return true;
        });
        sink = n;
    });
    SearchHit hit = SearchHit::None;
    const double measured = medianOf(ctx.reps, [&] {
        SearchState state;
        state.FGlobalSearch = true;
        hit = GlobalSearch(doc, state, needle);
    });
    if (hit != SearchHit::None) throw std::runtime_error("the search string was found");
    note("global search " + formatNumber(measured * 1e3, "%.2f") + " ms, memchr both cases " +
         formatNumber(base * 1e3, "%.2f") + " ms, " + formatNumber(static_cast<double>(bytes) / 1e6, "%.1f") +
         " MB, first-byte hits " + std::to_string(sink));
    printFigure("global_search_miss", measured / base, 1.5);
}

void datesReport(Context& ctx) {
    Document& doc = corpus(ctx).doc;
    volatile std::size_t sink = 0;
    const double base = medianOf(ctx.reps, [&] {
        std::size_t n = 0;
        doc.tree().forEach([&](Section& s, int) {
            n += countByte(s.text(), '.');
            return true;
        });
        sink = n;
    });
    const std::size_t dots = sink;
    std::size_t reportSize = 0;
    const int today = TodayKey(6, 12, 2026);
    const double measured = medianOf(ctx.reps, [&] { reportSize = NearestDatesReport(doc, today).size(); });
    // The number of dates, for the notes.
    DateList list;
    doc.tree().forEach([&](Section& s, int) {
        ScanDates(s.text(), list);
        return true;
    });
    note("dates report " + formatNumber(measured * 1e3, "%.2f") + " ms, memchr('.') " +
         formatNumber(base * 1e3, "%.2f") + " ms, " + std::to_string(list.size()) + " dates, " + std::to_string(dots) +
         " dots, report " + std::to_string(reportSize) + " bytes");
    printFigure("dates_report", measured / base, 3.0);
}

}  // namespace

LARK_BENCH_CASE(30, "global_search_miss", globalSearchMiss);
LARK_BENCH_CASE(31, "dates_report", datesReport);

}  // namespace lark::bench
