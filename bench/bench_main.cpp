// Entry point shared by the benchmark binaries.
//
//   <binary> run --data DIR [--work DIR] [--reps N] [--only SUBSTRING]
//       runs every registered case (or those whose name contains SUBSTRING)
//   <binary> <command> ARGS...
//       runs one registered sub-command (fresh-process measurements, corpus generation)
#include <sys/stat.h>

#include <exception>

#include "bench_util.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: larkpad_bench run --data DIR [--work DIR] [--reps N] [--only NAME]\n"
                 "       larkpad_bench <command> ARGS...\n");
    return 2;
}

std::string exePath(const char* argv0) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return argv0;
    return std::string(buf, static_cast<std::size_t>(n));
}

int runCases(const std::vector<std::string>& args) {
    lark::bench::Context ctx;
    std::string only;
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--data") ctx.dataDir = args[i + 1];
        else if (args[i] == "--work") ctx.workDir = args[i + 1];
        else if (args[i] == "--reps") ctx.reps = std::max(1, std::atoi(args[i + 1].c_str()));
        else if (args[i] == "--only") only = args[i + 1];
        else return usage();
    }
    if (ctx.dataDir.empty()) return usage();
    if (ctx.workDir.empty()) ctx.workDir = ctx.dataDir + "/work";
    mkdir(ctx.workDir.c_str(), 0777);

    auto& all = lark::bench::cases();
    std::sort(all.begin(), all.end(),
              [](const auto& a, const auto& b) { return a.order != b.order ? a.order < b.order : a.name < b.name; });
    int failures = 0;
    for (auto& c : all) {
        if (!only.empty() && c.name.find(only) == std::string::npos) continue;
        lark::bench::note("[" + c.name + "]");
        try {
            c.run(ctx);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "case %s failed: %s\n", c.name.c_str(), e.what());
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    lark::bench::selfPath() = exePath(argv[0]);
    if (argc < 2) return usage();
    const std::string cmd = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (cmd == "run") return runCases(args);
    const auto it = lark::bench::commands().find(cmd);
    if (it == lark::bench::commands().end()) return usage();
    try {
        return it->second(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", cmd.c_str(), e.what());
        return 1;
    }
}
