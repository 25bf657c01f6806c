#pragma once
// The subcommands of lkp. Each takes the arguments after its name and returns an exit code.
#include <iosfwd>
#include <string>
#include <vector>

namespace lark::cli {

using Args = std::vector<std::string>;

int cmdDump(const Args& args, std::ostream& out, std::ostream& err);
int cmdBuild(const Args& args, std::ostream& out, std::ostream& err);
int cmdCat(const Args& args, std::ostream& out, std::ostream& err);
int cmdPack(const Args& args, std::ostream& out, std::ostream& err);
int cmdUnpack(const Args& args, std::ostream& out, std::ostream& err);
int cmdSearch(const Args& args, std::ostream& out, std::ostream& err);
int cmdDates(const Args& args, std::ostream& out, std::ostream& err);
int cmdExport(const Args& args, std::ostream& out, std::ostream& err);
int cmdImport(const Args& args, std::ostream& out, std::ostream& err);
int cmdReplace(const Args& args, std::ostream& out, std::ostream& err);
int cmdMerge(const Args& args, std::ostream& out, std::ostream& err);
int cmdSeal(const Args& args, std::ostream& out, std::ostream& err);
int cmdUnseal(const Args& args, std::ostream& out, std::ostream& err);
int cmdSpell(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace lark::cli
