#pragma once
// The nearest-dates report: every dd.mm.yy date in the notebook's stored texts, ordered
// by place in the calendar year (month, then day, the two-digit year breaking ties), and
// the lines around today: up to 5 before and up to 26 from the first later date on.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"

namespace lark {

struct DateEntry {
    std::string_view line;  // points into the scanned text, which must outlive the list
    int key;
};
using DateList = std::vector<DateEntry>;

inline constexpr std::size_t kDatesBefore = 5;
inline constexpr std::size_t kDatesFrom = 26;
inline constexpr std::string_view kDatesSeparator = "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~";  // 32

// Appends an entry for every start position of D D . M M . Y Y in `text` (ASCII digits,
// full stops; no word boundaries, no range check, overlapping patterns count).
void ScanDates(std::string_view text, DateList& list);

// The whole line around `position` (0-based): from just after the nearest CR or LF
// before it to just before the first CR or LF at or after it.
std::string_view ExtractLine(std::string_view text, std::size_t position);

// month * 10000 + day * 100 + year of the eight characters dd.mm.yy at `start` (0-based).
int DateKey(std::string_view text, std::size_t start);

// The key of a date given by numbers (the year's last two digits are used).
int TodayKey(int day, int month, int year);
// The key of today's local date.
int TodayKey();
// The key of a text that is exactly dd.mm.yy, or nothing.
std::optional<int> ParseDateKey(std::string_view t);

// Orders by key, ascending; entries with equal keys keep their order.
void SortDates(DateList& list);

// The report text (Windows-1251): every line preceded by CR LF, the separator after the
// dates on or before `today` in the sorted list.
std::string BuildDatesReport(const DateList& sorted, int today);
// Shows the report in a plain message box.
void ShowDatesReport(IUi& ui, const DateList& sorted, int today);

// The same report without keeping the whole date list: while the texts are scanned only
// the entries that can stand in the report are kept (the 5 greatest on or before today,
// the 26 smallest after it, and the 26 smallest of all for a notebook with nothing after
// today), equal keys in the order found as the stable sort has them. The scanned texts
// must outlive the object.
class NearestDates {
public:
    explicit NearestDates(int today);
    void scan(std::string_view text);
    std::string report() const;  // equals BuildDatesReport of the sorted full list

private:
    struct Item {
        int key;
        std::uint64_t seq;
        std::string_view line;
    };
    static void insert(std::vector<Item>& items, Item item, std::size_t limit, bool keepGreatest);
    int today_;
    std::uint64_t seq_ = 0;
    std::vector<Item> before_, after_, first_;
};

// Scans the stored texts of all sections in absolute order (the editor is not
// consulted) and builds the report.
std::string NearestDatesReport(const Document& doc, int today);
void miNearestDatesClick(Document& doc, int today);
void miNearestDatesClick(Document& doc);  // F9, today's local date

}  // namespace lark
