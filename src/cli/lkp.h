#pragma once
// lkp, the command-line companion: dump, build, cat, pack, unpack (and search, dates,
// export, import).
#include <iosfwd>
#include <string>
#include <vector>

namespace lark::cli {

// Exit codes, a contract other tools rely on.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kNotNotebook = 3 };

int run(int argc, char** argv);
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace lark::cli
