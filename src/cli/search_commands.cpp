// search, dates.
#include <ostream>

#include "cli/commands.h"
#include "cli/lkp.h"

namespace lark::cli {

int cmdSearch(const Args&, std::ostream&, std::ostream& err) {
    err << "lkp: search is not available yet\n";
    return kUsage;
}
int cmdDates(const Args&, std::ostream&, std::ostream& err) {
    err << "lkp: dates is not available yet\n";
    return kUsage;
}

}  // namespace lark::cli
