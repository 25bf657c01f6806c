#include "search/nearest_dates.h"

#include <cstring>
#include <ctime>

#include "document/cp1251.h"

namespace lark {

namespace {

inline bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
inline int twoDigits(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// Last CR or LF in [lo, hi), or kNone.
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
std::size_t lastBreak(const char* s, std::size_t lo, std::size_t hi) {
    if (hi <= lo) return kNone;
    std::size_t from = lo;
    std::size_t found = kNone;
    if (const void* lf = memrchr(s + lo, '\n', hi - lo)) {
        found = static_cast<std::size_t>(static_cast<const char*>(lf) - s);
        from = found + 1;
    }
    if (hi > from)
        if (const void* cr = memrchr(s + from, '\r', hi - from))
            found = static_cast<std::size_t>(static_cast<const char*>(cr) - s);
    return found;
}

// First CR or LF in [from, size), or size.
std::size_t nextBreak(const char* s, std::size_t from, std::size_t size) {
    std::size_t end = size;
    if (const void* lf = std::memchr(s + from, '\n', size - from))
        end = static_cast<std::size_t>(static_cast<const char*>(lf) - s);
    if (const void* cr = std::memchr(s + from, '\r', end - from))
        end = static_cast<std::size_t>(static_cast<const char*>(cr) - s);
    return end;
}

}  // namespace

int DateKey(std::string_view text, std::size_t start) {
    const char* p = text.data() + start;
    return twoDigits(p + 3) * 10000 + twoDigits(p) * 100 + twoDigits(p + 6);
}

int TodayKey(int day, int month, int year) { return month * 10000 + day * 100 + year % 100; }

int TodayKey() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TodayKey(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

std::optional<int> ParseDateKey(std::string_view t) {
    if (t.size() != 8 || !isDigit(t[0]) || !isDigit(t[1]) || t[2] != '.' || !isDigit(t[3]) || !isDigit(t[4]) ||
        t[5] != '.' || !isDigit(t[6]) || !isDigit(t[7]))
        return std::nullopt;
    return DateKey(t, 0);
}

std::string_view ExtractLine(std::string_view text, std::size_t position) {
    const char* s = text.data();
    const std::size_t before = lastBreak(s, 0, position);
    const std::size_t start = before == kNone ? 0 : before + 1;
    const std::size_t end = position >= text.size() ? text.size() : nextBreak(s, position, text.size());
    return text.substr(start, end - start);
}

namespace {

// Calls sink(key, line) for every date pattern in `text`, in order; `line()` gives the
// pattern's whole line. Lines are looked for only beyond the last one found, so a long
// text costs one pass however many dates it holds.
template <class Sink>
void forEachDate(std::string_view text, Sink&& sink) {
    const std::size_t size = text.size();
    if (size < 8) return;
    const char* s = text.data();
    std::size_t lineStart = 0, lineEnd = 0;  // [lineStart, lineEnd): the last line found
    bool haveLine = false;
    const std::size_t stop = size - 5;  // a first dot lies before this
    std::size_t q = 2;                  // ... and at or after this
    while (q < stop) {
        const void* dot = std::memchr(s + q, '.', stop - q);
        if (!dot) break;
        q = static_cast<std::size_t>(static_cast<const char*>(dot) - s);
        if (isDigit(s[q - 2]) && isDigit(s[q - 1]) && isDigit(s[q + 1]) && isDigit(s[q + 2]) && s[q + 3] == '.' &&
            isDigit(s[q + 4]) && isDigit(s[q + 5])) {
            const std::size_t at = q;
            auto line = [&]() -> std::string_view {
                if (!haveLine || at >= lineEnd) {
                    const std::size_t lo = haveLine ? lineEnd : 0;
                    const std::size_t before = lastBreak(s, lo, at);
                    lineStart = before == kNone ? lo : before + 1;
                    lineEnd = nextBreak(s, at, size);
                    haveLine = true;
                }
                return text.substr(lineStart, lineEnd - lineStart);
            };
            sink(DateKey(text, q - 2), line);
        }
        ++q;
    }
}

}  // namespace

void ScanDates(std::string_view text, DateList& list) {
    forEachDate(text, [&](int key, auto& line) { list.push_back({line(), key}); });
}

void SortDates(DateList& list) {
    // Keys lie in [0, 999999] < 2^20: a stable radix sort in two passes of 10 bits.
    constexpr int kBits = 10, kBuckets = 1 << kBits;
    DateList scratch(list.size());
    DateList* from = &list;
    DateList* to = &scratch;
    for (int shift = 0; shift < 2 * kBits; shift += kBits) {
        std::vector<std::size_t> start(kBuckets + 1, 0);
        for (const DateEntry& e : *from) ++start[((static_cast<unsigned>(e.key) >> shift) & (kBuckets - 1)) + 1];
        for (int b = 0; b < kBuckets; ++b) start[b + 1] += start[b];
        for (const DateEntry& e : *from) (*to)[start[(static_cast<unsigned>(e.key) >> shift) & (kBuckets - 1)]++] = e;
        std::swap(from, to);
    }
    // Two passes: the result is back in `list`.
}

std::string BuildDatesReport(const DateList& sorted, int today) {
    const std::size_t n = sorted.size();
    std::size_t split = 0;
    while (split < n && sorted[split].key <= today) ++split;
    if (split == n) split = 0;  // nothing lies after today
    std::string report;
    const std::size_t first = split > kDatesBefore ? split - kDatesBefore : 0;
    for (std::size_t i = first; i < split; ++i) {
        report += "\r\n";
        report += sorted[i].line;
    }
    report += "\r\n";
    report += kDatesSeparator;
    for (std::size_t i = split; i < n && i < split + kDatesFrom; ++i) {
        report += "\r\n";
        report += sorted[i].line;
    }
    return report;
}

void ShowDatesReport(IUi& ui, const DateList& sorted, int today) {
    ui.showMessage(cp1251::toUtf8(BuildDatesReport(sorted, today)));
}

NearestDates::NearestDates(int today) : today_(today) {}

void NearestDates::scan(std::string_view text) {
    forEachDate(text, [&](int key, auto& line) {
        const std::uint64_t seq = seq_++;
        if (key <= today_) {
            // The greatest (key, order) on or before today; a later equal key is greater.
            if (before_.size() < kDatesBefore || key >= before_.front().key)
                insert(before_, {key, seq, line()}, kDatesBefore, true);
        } else if (after_.size() < kDatesFrom || key < after_.back().key) {
            insert(after_, {key, seq, line()}, kDatesFrom, false);
        }
        // The earliest of all, for a notebook with nothing after today.
        if (after_.empty() && (first_.size() < kDatesFrom || key < first_.back().key))
            insert(first_, {key, seq, line()}, kDatesFrom, false);
    });
}

// Keeps `items` sorted ascending by (key, order) and at most `limit` long, dropping the
// smallest (keepGreatest) or the greatest item when it overflows.
void NearestDates::insert(std::vector<Item>& items, Item item, std::size_t limit, bool keepGreatest) {
    auto pos = items.end();
    while (pos != items.begin() && (pos - 1)->key > item.key) --pos;  // equal keys: found order
    items.insert(pos, item);
    if (items.size() > limit) {
        if (keepGreatest) items.erase(items.begin());
        else items.pop_back();
    }
}

std::string NearestDates::report() const {
    // The sorted list's entries around the split point: up to 5 before it and 26 from it
    // on; with no date after today the split point is 0 and the earliest dates follow.
    DateList window;
    std::size_t split = 0;
    if (!after_.empty()) {
        for (const Item& i : before_) window.push_back({i.line, i.key});
        split = window.size();
        for (const Item& i : after_) window.push_back({i.line, i.key});
    } else {
        for (const Item& i : first_) window.push_back({i.line, i.key});
    }
    std::string out;
    for (std::size_t i = 0; i < split; ++i) {
        out += "\r\n";
        out += window[i].line;
    }
    out += "\r\n";
    out += kDatesSeparator;
    for (std::size_t i = split; i < window.size(); ++i) {
        out += "\r\n";
        out += window[i].line;
    }
    return out;
}

std::string NearestDatesReport(const Document& doc, int today) {
    NearestDates dates(today);
    doc.tree().forEach([&](Section& section, int) {
        if (section.content()) dates.scan(section.text());
        return true;
    });
    return dates.report();
}

void miNearestDatesClick(Document& doc, int today) {
    doc.ui().showMessage(cp1251::toUtf8(NearestDatesReport(doc, today)));
}

void miNearestDatesClick(Document& doc) { miNearestDatesClick(doc, TodayKey()); }

}  // namespace lark
