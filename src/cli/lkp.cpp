#include "cli/lkp.h"

#include <iostream>
#include <map>

#include "cli/commands.h"

namespace lark::cli {

namespace {
const char* kUsageText =
    "usage: lkp <command> [arguments]\n"
    "  dump FILE                      print the notebook as JSON\n"
    "  build JSON OUT [--zip]         write a notebook from JSON\n"
    "  cat FILE INDEX [--raw]         print the text of one section\n"
    "  pack IN OUT                    wrap IN in the ZIPPED! envelope\n"
    "  unpack IN OUT                  remove one envelope\n"
    "  search FILE STRING             global search, one line per match\n"
    "  dates FILE [--today DD.MM.YY]  the nearest dates report\n"
    "  export FILE DIR|OUT.html       the notebook as a folder of text files or a web page\n"
    "  import DIR OUT [--zip]         a folder of text files as a notebook\n"
    "  spell FILE [--lang ru_RU,en_US]  every unknown word: section, offset, suggestions\n";
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return run(args, std::cout, std::cerr);
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using Command = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);
    static const std::map<std::string, Command> commands = {
        {"dump", cmdDump},     {"build", cmdBuild}, {"cat", cmdCat},       {"pack", cmdPack},     {"unpack", cmdUnpack},
        {"search", cmdSearch}, {"dates", cmdDates}, {"export", cmdExport}, {"import", cmdImport}, {"spell", cmdSpell},
    };
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kUsageText;
        return args.empty() ? kUsage : kOk;
    }
    const auto it = commands.find(args[0]);
    if (it == commands.end()) {
        err << "lkp: unknown command '" << args[0] << "'\n" << kUsageText;
        return kUsage;
    }
    return it->second(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
}

}  // namespace lark::cli
