#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "document/cp1251.h"
#include "document/document.h"
#include "document/memory_view.h"
#include "search/nearest_dates.h"

namespace {

using lark::DateList;

// "line|key" for every entry.
std::vector<std::string> scan(const std::string& text) {
    DateList list;
    lark::ScanDates(text, list);
    std::vector<std::string> out;
    for (const auto& e : list) out.push_back(std::string(e.line) + "|" + std::to_string(e.key));
    return out;
}

using V = std::vector<std::string>;

TEST(Dates, ScanRows) {
    struct Row {
        const char* name;
        std::string text;
        V expected;
    };
    const Row rows[] = {
        {"nominal: exactly 8 characters", "01.02.03", {"01.02.03|20103"}},
        {"robustness: 7 characters", "1.02.03", {}},
        {"robustness: empty", "", {}},
        {"nominal: overlapping patterns", "01.02.03.04", {"01.02.03.04|20103", "01.02.03.04|30204"}},
        {"nominal: four-digit year reads its first two digits", "01.02.2003", {"01.02.2003|20120"}},
        {"robustness: one-digit day", "x 1.02.03 x", {}},
        {"robustness: one-digit month", "01.2.03 x", {}},
        {"robustness: slashes", "01/02/03", {}},
        {"robustness: dashes", "01-02-03", {}},
        {"nominal: no word boundaries or range check", "ab45.13.99cd", {"ab45.13.99cd|134599"}},
        {"nominal: date at the start and end of lines",
         "05.06.07 start\r\nmiddle\r\nend 08.09.10",
         {"05.06.07 start|60507", "end 08.09.10|90810"}},
        {"nominal: two dates on one line",
         "from 01.01.20 to 02.02.20",
         {"from 01.01.20 to 02.02.20|10120", "from 01.01.20 to 02.02.20|20220"}},
        {"nominal: LF and lone CR end lines", "a\n01.01.01\rb\r\n\n02.02.02", {"01.01.01|10101", "02.02.02|20202"}},
        {"robustness: digits across a line break", "01.02\r\n.03", {}},
        {"robustness: non-ASCII digits are no digits", "01.02.0\xB3", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(scan(row.text), row.expected);
    }
}

TEST(Dates, ExtractLineAndKeys) {
    const std::string text = "first\r\nsecond line\nthird";
    EXPECT_EQ(lark::ExtractLine(text, 0), "first");
    EXPECT_EQ(lark::ExtractLine(text, 4), "first");
    EXPECT_EQ(lark::ExtractLine(text, 9), "second line");
    EXPECT_EQ(lark::ExtractLine(text, 22), "third");
    EXPECT_EQ(lark::ExtractLine("no breaks", 3), "no breaks");

    EXPECT_EQ(lark::DateKey("x06.12.26", 1), 120626);
    EXPECT_EQ(lark::TodayKey(6, 12, 2026), 120626);
    EXPECT_EQ(lark::TodayKey(1, 1, 2000), 10100);
    EXPECT_EQ(lark::ParseDateKey("31.12.99"), 123199);
    EXPECT_EQ(lark::ParseDateKey("1.12.99"), std::nullopt);
    EXPECT_EQ(lark::ParseDateKey("01.12.999"), std::nullopt);
    EXPECT_EQ(lark::ParseDateKey("01-12-99"), std::nullopt);
}

// Scanning a long text with many dates and breaks gives the same lines as the plain
// definition through ExtractLine.
TEST(Dates, ScanAgreesWithExtractLine) {
    std::mt19937 rng(7);
    const std::string pieces[] = {"0", "1", "9", ".", "\r\n", "\n", "\r", "x", "12.", "31.12.", "05.05.05"};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int k = rng() % 60; k > 0; --k) text += pieces[rng() % std::size(pieces)];
        DateList list;
        lark::ScanDates(text, list);
        std::vector<std::string> expected;
        for (std::size_t k = 0; k + 8 <= text.size(); ++k) {
            if (!lark::ParseDateKey(std::string_view(text).substr(k, 8))) continue;
            expected.push_back(std::string(lark::ExtractLine(text, k + 2)) + "|" +
                               std::to_string(lark::DateKey(text, k)));
        }
        std::vector<std::string> got;
        for (const auto& e : list) got.push_back(std::string(e.line) + "|" + std::to_string(e.key));
        ASSERT_EQ(got, expected) << text;
    }
}

TEST(Dates, SortIsStableByKey) {
    DateList list = {{"c", 10127},   {"a", 120526}, {"d1", 120626}, {"b", 120720},
                     {"d2", 120626}, {"z", 0},      {"max", 999999}};
    lark::SortDates(list);
    std::string order;
    for (const auto& e : list) order += std::string(e.line) + " ";
    EXPECT_EQ(order, "z c a d1 d2 b max ");
}

struct Report : ::testing::Test {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};
    void add(const std::string& text, lark::Section* parent = nullptr) {
        auto c = std::make_unique<lark::TNodeContent>();
        if (!text.empty()) c->Text = lark::TextBuffer::copyOf(text);
        doc.tree().appendChild(parent, "s", std::move(c));
    }
};

const std::string kTilde(32, '~');

TEST_F(Report, WorkedExample) {
    add("A 05.12.26\r\nB 07.12.20");
    add("C 01.01.27");
    add("D 06.12.26", doc.tree().at(1));  // nested: every section counts
    const int today = lark::TodayKey(6, 12, 2026);
    EXPECT_EQ(lark::NearestDatesReport(doc, today),
              "\r\nC 01.01.27\r\nA 05.12.26\r\nD 06.12.26\r\n" + kTilde + "\r\nB 07.12.20");
    lark::miNearestDatesClick(doc, today);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], lark::NearestDatesReport(doc, today));
}

TEST_F(Report, TodayOnOtherYearsAndWindowLimits) {
    // Today's day and month: an earlier year stands before the separator, a later after.
    add("earlier 06.12.25\r\nlater 06.12.27\r\ntoday 06.12.26");
    EXPECT_EQ(lark::NearestDatesReport(doc, 120626),
              "\r\nearlier 06.12.25\r\ntoday 06.12.26\r\n" + kTilde + "\r\nlater 06.12.27");

    // 40 dates: only 5 before the split point and 26 from it.
    lark::Document& d = doc;
    d.ClearDocument();
    std::string text;
    for (int day = 1; day <= 40; ++day) {
        char line[32];
        std::snprintf(line, sizeof line, "%02d.%02d.00\r\n", (day - 1) % 28 + 1, (day - 1) / 28 + 1);
        text += line;
    }
    add(text);
    const std::string report = lark::NearestDatesReport(doc, lark::TodayKey(10, 1, 2000));
    std::vector<std::string> lines;
    for (std::size_t p = 0; p < report.size();) {
        ASSERT_EQ(report.compare(p, 2, "\r\n"), 0) << "every line is preceded by CR LF";
        const std::size_t next = report.find("\r\n", p + 2);
        lines.push_back(report.substr(p + 2, (next == std::string::npos ? report.size() : next) - p - 2));
        p = next == std::string::npos ? report.size() : next;
    }
    ASSERT_EQ(lines.size(), 5u + 1u + 26u);
    EXPECT_EQ(lines[0], "06.01.00");
    EXPECT_EQ(lines[4], "10.01.00");
    EXPECT_EQ(lines[5], kTilde);
    EXPECT_EQ(lines[6], "11.01.00");
    EXPECT_EQ(lines[31], "08.02.00");
}

TEST_F(Report, FewEntriesAndNothingAfterToday) {
    add("x 02.01.00\r\ny 03.01.00");
    EXPECT_EQ(lark::NearestDatesReport(doc, lark::TodayKey(2, 1, 0)), "\r\nx 02.01.00\r\n" + kTilde + "\r\ny 03.01.00");
    // Every date on or before today: nothing above the separator, the earliest below.
    EXPECT_EQ(lark::NearestDatesReport(doc, lark::TodayKey(31, 12, 99)),
              "\r\n" + kTilde + "\r\nx 02.01.00\r\ny 03.01.00");
}

TEST_F(Report, EmptyNotebookStoredTextsOnlyAndUtf8Message) {
    EXPECT_EQ(lark::NearestDatesReport(doc, 10101), "\r\n" + kTilde);
    add(*lark::cp1251::fromUtf8("Встреча 10.10.10"));
    doc.SelectSection(doc.tree().at(0));
    editor.type("unstored 11.11.11");
    auto bare = doc.tree().appendChild(nullptr, "bare", nullptr);  // a section without a record
    (void)bare;
    lark::miNearestDatesClick(doc, 10101);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "\r\n" + kTilde + "\r\nВстреча 10.10.10") << "UTF-8 for the message box";
}

}  // namespace

namespace {

// The report kept from a running selection equals the one built from the whole sorted
// list, ties included, whatever today is.
TEST(Dates, SelectionEqualsTheFullSort) {
    std::mt19937 rng(99);
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> texts(1 + rng() % 4);
        for (auto& t : texts) {
            for (int k = rng() % 40; k > 0; --k) {
                char date[16];
                // Few distinct keys, so that equal keys are common.
                std::snprintf(date, sizeof date, "%02d.%02d.%02d", 1 + static_cast<int>(rng() % 3),
                              1 + static_cast<int>(rng() % 3), static_cast<int>(rng() % 2));
                t += "L" + std::to_string(rng() % 1000) + " " + date + (rng() % 3 ? "\r\n" : " ");
            }
        }
        const int today = lark::TodayKey(1 + rng() % 4, 1 + rng() % 4, rng() % 2);
        DateList list;
        lark::NearestDates selection(today);
        for (const auto& t : texts) {
            lark::ScanDates(t, list);
            selection.scan(t);
        }
        lark::SortDates(list);
        ASSERT_EQ(selection.report(), lark::BuildDatesReport(list, today)) << "round " << round;
    }
}

}  // namespace
