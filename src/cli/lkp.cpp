#include "cli/lkp.h"

#include <iostream>
#include <map>

#include "cli/commands.h"
#include "cli/password_source.h"

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
    "  replace FILE FIND REPLACEMENT [--case] [--names] OUT\n"
    "                                 replace every match, print the count\n"
    "  merge BASE OURS THEIRS [-o OUT]  three versions merged into OURS (or OUT)\n"
    "  seal IN OUT                    protect a notebook with a password (--password-file)\n"
    "  unseal IN OUT                  remove the password protection (--password-file)\n"
    "  spell FILE [--lang ru_RU,en_US] [--thorough]\n"
    "                                 every unknown word: section, offset, suggestions\n"
    "Commands that read a sealed notebook need --password-file F: the password is\n"
    "F's first line, or with - a line of standard input.\n";
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return run(args, std::cout, std::cerr);
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    // The password of sealed notebooks, for whichever command reads one.
    std::vector<std::string> rest = args;
    PasswordSource passwords;
    if (!passwords.take(rest, err)) return kUsage;
    const PasswordScope scope(passwords);
    using Command = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);
    static const std::map<std::string, Command> commands = {
        {"dump", cmdDump},     {"build", cmdBuild},     {"cat", cmdCat},     {"pack", cmdPack},
        {"unpack", cmdUnpack}, {"search", cmdSearch},   {"dates", cmdDates}, {"export", cmdExport},
        {"import", cmdImport}, {"replace", cmdReplace}, {"merge", cmdMerge}, {"seal", cmdSeal},
        {"unseal", cmdUnseal}, {"spell", cmdSpell},
    };
    if (rest.empty() || rest[0] == "--help" || rest[0] == "-h" || rest[0] == "help") {
        (rest.empty() ? err : out) << kUsageText;
        return rest.empty() ? kUsage : kOk;
    }
    const auto it = commands.find(rest[0]);
    if (it == commands.end()) {
        err << "lkp: unknown command '" << rest[0] << "'\n" << kUsageText;
        return kUsage;
    }
    return it->second(std::vector<std::string>(rest.begin() + 1, rest.end()), out, err);
}

}  // namespace lark::cli
