// dump, build, cat, pack, unpack.
#include <ostream>

#include "cli/commands.h"
#include "cli/lkp.h"

namespace lark::cli {

namespace {
int notYet(std::ostream& err) {
    err << "lkp: this command is not available yet\n";
    return kUsage;
}
}  // namespace

int cmdDump(const Args&, std::ostream&, std::ostream& err) { return notYet(err); }
int cmdBuild(const Args&, std::ostream&, std::ostream& err) { return notYet(err); }
int cmdCat(const Args&, std::ostream&, std::ostream& err) { return notYet(err); }
int cmdPack(const Args&, std::ostream&, std::ostream& err) { return notYet(err); }
int cmdUnpack(const Args&, std::ostream&, std::ostream& err) { return notYet(err); }

}  // namespace lark::cli
