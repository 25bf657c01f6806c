// search, dates.
//
//   lkp search FILE STRING
//       STRING may start with a dash: only --help and -h are options (and not after --).
//       Runs the global search from the first section to the end, step by step as
//       repeated "search again" would, and prints one line per match:
//           INDEX<TAB>name            the name of section INDEX contains STRING
//           INDEX<TAB>text<TAB>OFFSET its stored text does, at byte OFFSET (from 0)
//       STRING is UTF-8 and must be representable in Windows-1251; letter case is
//       ignored. No match prints nothing.
//   lkp dates FILE [--today DD.MM.YY]
//       Prints the nearest-dates report, its CR LF line breaks as LF, then one LF.
//
// Both read the file without locking it. Exit codes: 0 ok, 1 failed (format, I/O,
// envelope), 2 usage, 3 not a notebook.
#include <new>
#include <optional>
#include <ostream>
#include <string>

#include "cli/commands.h"
#include "cli/lkp.h"
#include "cli/notebook_loader.h"
#include "document/cp1251.h"
#include "document/errors.h"
#include "search/nearest_dates.h"
#include "search/text_search.h"

namespace lark::cli {

namespace {

constexpr const char* kSearchUsage = "search FILE STRING";
constexpr const char* kDatesUsage = "dates FILE [--today DD.MM.YY]";

int usageError(std::ostream& err, const std::string& message, const char* usage) {
    err << "lkp: " << message << "\nusage: lkp " << usage << "\n";
    return kUsage;
}

// "--help" or "-h" before any "--".
bool isHelp(const Args& args) {
    for (const auto& a : args) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

}  // namespace

int cmdSearch(const Args& args, std::ostream& out, std::ostream& err) {
    if (isHelp(args)) {
        out << "usage: lkp " << kSearchUsage << "\n";
        return kOk;
    }
    // The help options are the only ones: any other argument is the file or the string,
    // whatever it starts with ("-x" is searched for). After "--" even "-h" is the string.
    Args positional;
    bool optionsDone = false;
    for (const auto& a : args) {
        if (!optionsDone && a == "--") optionsDone = true;
        else positional.push_back(a);
    }
    if (positional.size() != 2)
        return usageError(err, positional.size() < 2 ? "missing arguments" : "too many arguments", kSearchUsage);
    const std::string& path = positional[0];
    const std::optional<std::string> needle = cp1251::fromUtf8(positional[1]);
    if (!needle)
        return usageError(err, "the search string is not valid UTF-8 or has characters Windows-1251 cannot hold",
                          kSearchUsage);
    return WithNotebook(path, out, err, [&](LoadedNotebook& nb, std::string&) {
        Document& doc = nb.doc;
        SearchState state;
        state.FSearchText = *needle;
        state.FGlobalSearch = true;
        for (;;) {
            const SearchHit hit = GlobalSearch(doc, state, state.FSearchText);
            if (hit == SearchHit::None) break;
            out << state.FSearchNode;
            if (hit == SearchHit::Name) out << "\tname\n";
            else out << "\ttext\t" << doc.editor().selectionStart() << "\n";
        }
        return kOk;
    });
}

int cmdDates(const Args& args, std::ostream& out, std::ostream& err) {
    if (isHelp(args)) {
        out << "usage: lkp " << kDatesUsage << "\n";
        return kOk;
    }
    Args positional;
    std::optional<std::string> todayText;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool option = !optionsDone && a.size() > 1 && a[0] == '-';
        if (!option) {
            positional.push_back(a);
        } else if (a == "--") {
            optionsDone = true;
        } else if (a == "--today") {
            if (i + 1 >= args.size()) return usageError(err, "--today needs a date DD.MM.YY", kDatesUsage);
            todayText = args[++i];
        } else if (a.starts_with("--today=")) {
            todayText = a.substr(8);
        } else {
            return usageError(err, "unknown option '" + a + "'", kDatesUsage);
        }
    }
    if (positional.size() != 1)
        return usageError(err, positional.empty() ? "missing arguments" : "too many arguments", kDatesUsage);
    int today = 0;
    if (todayText) {
        const std::optional<int> key = ParseDateKey(*todayText);
        if (!key) return usageError(err, "--today wants DD.MM.YY, not '" + *todayText + "'", kDatesUsage);
        today = *key;
    } else {
        today = TodayKey();
    }
    return WithNotebook(positional[0], out, err, [&](LoadedNotebook& nb, std::string&) {
        const std::string report = cp1251::toUtf8(NearestDatesReport(nb.doc, today));
        std::string text;
        text.reserve(report.size() + 1);
        for (std::size_t i = 0; i < report.size(); ++i) {
            if (report[i] == '\r' && i + 1 < report.size() && report[i + 1] == '\n') continue;
            text.push_back(report[i]);
        }
        text.push_back('\n');
        out << text;
        return kOk;
    });
}

}  // namespace lark::cli
