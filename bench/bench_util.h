#pragma once
// Shared plumbing of the benchmark binaries (larkpad_bench, larkpad_gui_bench).
//
// A benchmark file registers its cases with LARK_BENCH_CASE and, when it needs a fresh
// process (cold loads, peak memory), sub-commands with LARK_BENCH_COMMAND; the binary
// re-executes itself with runSelf(). Every figure is printed by printFigure() as one line
//
//     BENCH <name> ratio=<x> target=<t> PASS|MISS
//
// where the ratio is the measured cost over a baseline measured in the same run on the
// same bytes, and PASS means ratio <= target.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace lark::bench {

// The corpus written by `larkpad_bench generate` (see scripts/bench.sh).
inline constexpr const char* kPlainCorpus = "corpus-plain.lkp";
inline constexpr const char* kZippedCorpus = "corpus-zipped.lkp";

struct Context {
    std::string dataDir;  // holds the corpus files
    std::string workDir;  // scratch space for files the cases write
    int reps = 5;         // repetitions per side of a figure (cases may use fewer)
    std::string path(const char* name) const { return dataDir + "/" + name; }
    std::string scratch(const std::string& name) const { return workDir + "/" + name; }
};

inline std::string formatNumber(double v, const char* fmt) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// Prints one figure line; returns whether it passed.
inline bool printFigure(const std::string& name, double ratio, double target) {
    std::string t = formatNumber(target, "%g");
    if (t.find('.') == std::string::npos) t += ".0";
    const bool pass = ratio <= target;
    std::printf("BENCH %s ratio=%s target=%s %s\n", name.c_str(), formatNumber(ratio, "%.3f").c_str(), t.c_str(),
                pass ? "PASS" : "MISS");
    std::fflush(stdout);
    return pass;
}

// Free-form detail (absolute times, sizes) on stderr, so stdout keeps only the figures.
inline void note(const std::string& text) { std::fprintf(stderr, "  %s\n", text.c_str()); }

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double minimum(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

inline double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds taken by fn().
template <class F>
double timeIt(F&& fn) {
    const double t0 = nowSeconds();
    fn();
    return nowSeconds() - t0;
}

// RSS high-water mark of this process so far, in bytes.
inline long long peakRssBytes() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<long long>(ru.ru_maxrss) * 1024;
}

// ---- registration ----

struct Case {
    int order;  // cases run in ascending order, then by name
    std::string name;
    std::function<void(Context&)> run;
};
using Command = std::function<int(const std::vector<std::string>& args)>;

inline std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}
inline std::map<std::string, Command>& commands() {
    static std::map<std::string, Command> all;
    return all;
}

struct Registrar {
    Registrar(int order, const char* name, std::function<void(Context&)> fn) {
        cases().push_back({order, name, std::move(fn)});
    }
    Registrar(const char* name, Command fn) { commands()[name] = std::move(fn); }
};

#define LARK_BENCH_CONCAT2(a, b) a##b
#define LARK_BENCH_CONCAT(a, b) LARK_BENCH_CONCAT2(a, b)
// LARK_BENCH_CASE(order, "name", fn): fn(Context&) prints its figures.
#define LARK_BENCH_CASE(order, name, fn) \
    static ::lark::bench::Registrar LARK_BENCH_CONCAT(larkBenchCase_, __LINE__)(order, name, fn)
// LARK_BENCH_COMMAND("name", fn): fn(args) runs in a process of its own (runSelf).
#define LARK_BENCH_COMMAND(name, fn) \
    static ::lark::bench::Registrar LARK_BENCH_CONCAT(larkBenchCommand_, __LINE__)(name, ::lark::bench::Command(fn))

// ---- fresh processes ----

inline std::string& selfPath() {
    static std::string path;
    return path;
}

// Runs this binary again with the arguments; returns its stdout. Throws when the child
// fails. A child reports its figures as "key=value" tokens (see parseValues).
inline std::string runSelf(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(selfPath().c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(selfPath().c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t got = read(fds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        out.append(buf, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("child " + (args.empty() ? std::string() : args[0]) + " failed: " + out);
    return out;
}

// "a=1 b=2.5" -> {a: 1, b: 2.5}
inline std::map<std::string, double> parseValues(const std::string& text) {
    std::map<std::string, double> values;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        const auto eq = token.find('=');
        if (eq != std::string::npos) values[token.substr(0, eq)] = std::atof(token.c_str() + eq + 1);
    }
    return values;
}

// Runs the command `cmd` with `args` in a fresh process; returns the values it printed.
inline std::map<std::string, double> runChild(const std::string& cmd, const std::vector<std::string>& args) {
    std::vector<std::string> all{cmd};
    all.insert(all.end(), args.begin(), args.end());
    return parseValues(runSelf(all));
}

}  // namespace lark::bench
