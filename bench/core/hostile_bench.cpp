// Hostile files: what loading them costs in memory, against what loading may cost.
//
//   hostile_peak_memory  the worst, over the hostile files and over the two readers (the
//                        load pipeline of the window, `lkp dump`), of
//                            peak RSS of a fresh process loading the file
//                            / (unpacked content + 2 x file size + 64 MiB)
//                        where the unpacked content is the inflated length of an envelope
//                        (nothing for a plain file). Target: at most 1.
//   section_peak_memory  the same for a file of the most sections the format allows:
//                        16.7 million sections with empty names and texts, 5 bytes of file
//                        each. Every section is a record in memory, which no bound in file
//                        bytes alone can pay for, so the bound adds 128 bytes a section:
//                            peak RSS / (2 x file size + 64 MiB + 128 B x sections)
//                        Target: at most 1.
//
// `larkpad_bench hostile-files DIR [--small]` writes the files; --small gives the few-KB
// versions kept as fuzz seeds (fuzz/corpus/hostile-*).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "../bench_util.h"
#include "corpus.h"
#include "document/envelope.h"

namespace lark::bench {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kSectionRoom = 128;  // bytes a section may take beyond the file's bound

// ---- writing the files ----

class FileOut {
public:
    explicit FileOut(const std::string& path)
        : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
        if (fd_ < 0) throw std::runtime_error("cannot create " + path);
    }
    ~FileOut() {
        if (fd_ >= 0) close(fd_);
    }
    void write(const void* data, std::size_t n) {
        const char* p = static_cast<const char*>(data);
        while (n > 0) {
            const ssize_t put = ::write(fd_, p, n);
            if (put <= 0) throw std::runtime_error("write failed");
            p += put;
            n -= static_cast<std::size_t>(put);
        }
    }

private:
    int fd_;
};

// Content handed over in pieces: fill(buffer, max) returns how many bytes it put, 0 at the end.
using Producer = std::function<std::size_t(char*, std::size_t)>;

void le32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}

// Content of `total` bytes made of a fixed head, then `body` repeated until `total`.
Producer repeat(const std::string& head, const std::string& body, std::uint64_t total) {
    auto done = std::make_shared<std::uint64_t>(0);
    return [=](char* out, std::size_t max) -> std::size_t {
        std::size_t n = 0;
        while (n < max && *done < total) {
            const std::uint64_t at = *done;
            if (at >= head.size() && body.size() == 1) {  // a run of one byte
                const auto run = static_cast<std::size_t>(std::min<std::uint64_t>(max - n, total - at));
                std::memset(out + n, body[0], run);
                n += run;
                *done += run;
                continue;
            }
            if (at < head.size()) out[n] = head[at];
            else out[n] = body[(at - head.size()) % body.size()];
            ++n;
            ++*done;
        }
        return n;
    };
}

// `first`, then the bytes of `tail`.
Producer then(const Producer& first, const std::string& tail) {
    auto sent = std::make_shared<std::size_t>(0);
    return [=](char* out, std::size_t max) -> std::size_t {
        if (const std::size_t n = first(out, max)) return n;
        const std::size_t n = std::min(max, tail.size() - *sent);
        std::copy_n(tail.data() + *sent, n, out);
        *sent += n;
        return n;
    };
}

void writePlain(const std::string& path, const Producer& content) {
    FileOut out(path);
    std::vector<char> buf(1 << 20);
    while (const std::size_t n = content(buf.data(), buf.size())) out.write(buf.data(), n);
}

// An envelope of `length` content bytes: the marker, then the stream of the length and the
// content, deflated as the program deflates.
void writeEnvelope(const std::string& path, std::uint32_t length, const Producer& content) {
    FileOut out(path);
    out.write(kZipMarker.data(), kZipMarker.size());
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit");
    std::vector<char> in(1 << 20);
    std::vector<unsigned char> packed(1 << 20);
    char len[4];
    le32(len, length);
    std::memcpy(in.data(), len, 4);
    std::size_t have = 4 + content(in.data() + 4, in.size() - 4);
    for (;;) {
        const bool last = have == 0;
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = static_cast<uInt>(have);
        int rc;
        do {
            zs.next_out = packed.data();
            zs.avail_out = static_cast<uInt>(packed.size());
            rc = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
            out.write(packed.data(), packed.size() - zs.avail_out);
        } while (zs.avail_out == 0 || (last && rc != Z_STREAM_END));
        if (last) break;
        have = content(in.data(), in.size());
    }
    deflateEnd(&zs);
}

std::string block(const std::string& data) {
    char len[4];
    le32(len, static_cast<std::uint32_t>(data.size()));
    return std::string(len, 4) + data;
}

// `first`, then what `second` gives.
Producer chain(const Producer& first, const Producer& second) {
    return [=](char* out, std::size_t max) -> std::size_t {
        if (const std::size_t n = first(out, max)) return n;
        return second(out, max);
    };
}

struct HostileFile {
    const char* name;
    std::function<void(const std::string& path, bool small)> write;
    bool perSection = false;  // measured against the bound with a room for each section
};

const std::vector<HostileFile>& hostileFiles() {
    static const std::vector<HostileFile> all = {
        // An outline of empty lines and no text block: 16.7 million lines, no section.
        {"outline-lines.lkp",
         [](const std::string& path, bool small) {
             const std::uint32_t lines = small ? 60000 : kMaxBlockLength;
             std::string len(4, '\0');
             le32(len.data(), lines);
             writePlain(path, repeat(std::string("LKP\x01", 4) + block("") + len, "\n", 12 + std::uint64_t{lines}));
         }},
        // An info block of empty lines, then one section.
        {"info-lines.lkp",
         [](const std::string& path, bool small) {
             const std::uint32_t lines = small ? 60000 : kMaxBlockLength;
             std::string len(4, '\0');
             le32(len.data(), lines);
             writePlain(path, then(repeat(std::string("LKP\x01", 4) + len, "\n", 8 + std::uint64_t{lines}),
                                   block("Only\r\n") + block("text")));
         }},
        // One outline line of TABs only, with its text: one section 16.7 million levels deep.
        {"tabs.lkp",
         [](const std::string& path, bool small) {
             const std::uint32_t tabs = small ? 60000 : kMaxBlockLength;
             std::string len(4, '\0');
             le32(len.data(), tabs);
             writePlain(path, then(repeat(std::string("LKP\x01", 4) + block("") + len, "\t", 12 + std::uint64_t{tabs}),
                                   block("deep")));
         }},
        // Empty text blocks beyond an empty outline: one box each, before.
        {"extra-blocks.lkp",
         [](const std::string& path, bool small) {
             const std::uint64_t blocks = small ? 15000 : (std::uint64_t{1} << 24);
             writePlain(path, repeat(std::string("LKP\x01", 4) + block("") + block(""), std::string(4, '\0'),
                                     12 + 4 * blocks));
         }},
        // A zip bomb: 2 GB of zeros (no notebook at all) in about 2 MB.
        {"bomb-zeros.lkp",
         [](const std::string& path, bool small) {
             const std::uint32_t length = small ? (32u << 20) : 0x7FFFFFFFu;
             writeEnvelope(path, length, repeat("", std::string(1, '\0'), length));
         }},
        // A zip bomb that is a notebook: the header, then zeros, which read as empty blocks.
        {"bomb-extra-blocks.lkp",
         [](const std::string& path, bool small) {
             const std::uint32_t length = small ? (8u << 20) : (256u << 20);
             writeEnvelope(path, length, repeat(std::string("LKP\x01", 4), std::string(1, '\0'), length));
         }},
        // A zip bomb that is a sound notebook of a few huge sections.
        {"bomb-notebook.lkp",
         [](const std::string& path, bool small) {
             const std::uint32_t sections = small ? 4 : 32;
             const std::uint32_t textLength = small ? (1u << 20) : kMaxBlockLength;
             std::string outline;
             for (std::uint32_t i = 0; i < sections; ++i) outline += "S" + std::to_string(i) + "\r\n";
             const std::string head = std::string("LKP\x01", 4) + block("Activate=0\r\n") + block(outline);
             const std::uint64_t length = head.size() + std::uint64_t{sections} * (4 + textLength);
             auto state = std::make_shared<std::uint64_t>(0);
             writeEnvelope(path, static_cast<std::uint32_t>(length), [=](char* out, std::size_t max) -> std::size_t {
                 std::size_t n = 0;
                 while (n < max && *state < length) {
                     const std::uint64_t at = *state;
                     if (at < head.size()) {
                         out[n] = head[at];
                     } else {
                         const std::uint64_t within = (at - head.size()) % (4 + textLength);
                         if (within < 4) out[n] = static_cast<char>(textLength >> (8 * within));
                         else out[n] = static_cast<char>('a' + (within % 26));
                     }
                     ++n;
                     ++*state;
                 }
                 return n;
             });
         }},
        // The most sections a file can hold: an outline of 16.7 million empty lines, each
        // with its empty text block.
        {"many-sections.lkp",
         [](const std::string& path, bool small) {
             const std::uint32_t lines = small ? 15000 : kMaxBlockLength;
             std::string len(4, '\0');
             le32(len.data(), lines);
             writePlain(path,
                        chain(repeat(std::string("LKP\x01", 4) + block("") + len, "\n", 12 + std::uint64_t{lines}),
                              repeat("", std::string(1, '\0'), 4 * std::uint64_t{lines})));
         },
         true},
    };
    return all;
}

int writeHostileFiles(const std::vector<std::string>& args) {
    if (args.empty()) throw std::runtime_error("usage: hostile-files DIR [--small]");
    const std::string& dir = args[0];
    const bool small = args.size() > 1 && args[1] == "--small";
    mkdir(dir.c_str(), 0777);
    for (const auto& f : hostileFiles())
        f.write(dir + "/" + (small ? std::string("hostile-") : std::string()) + f.name, small);
    return 0;
}

// ---- measuring ----

// The load pipeline of the window, with in-memory view, editor and UI.
int childHostileLoad(const std::vector<std::string>& args) {
    auto* bd = new BenchDocument;  // left to the process's end: teardown is not measured
    bd->editor.lockOnLoad = false;
    bd->doc.LoadDocument(args.at(0), true);
    std::printf("sections=%d boxes=%zu\n", bd->doc.tree().count(), bd->ui.errors.size());
    std::fflush(stdout);
    _exit(0);
}

struct Peak {
    double bytes = 0;
    std::string out;
};

// Runs argv with stdout into a pipe (or /dev/null); the child's own peak RSS.
Peak runMeasured(const std::vector<std::string>& argv, bool keepOutput) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (keepOutput) {
            dup2(fds[1], STDOUT_FILENO);
        } else {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
        }
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> v;
        for (const auto& a : argv) v.push_back(const_cast<char*>(a.c_str()));
        v.push_back(nullptr);
        execv(v[0], v.data());
        _exit(127);
    }
    close(fds[1]);
    Peak peak;
    char buf[4096];
    for (;;) {
        const ssize_t got = read(fds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        peak.out.append(buf, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    rusage ru{};
    while (wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {}
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127)
        throw std::runtime_error("child " + argv[0] + " did not finish (status " + std::to_string(status) + ")");
    peak.bytes = static_cast<double>(ru.ru_maxrss) * 1024;
    return peak;
}

// The inflated length an envelope's stream states (0 for a plain file).
double unpackedLength(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    char head[64];
    const ssize_t got = read(fd, head, sizeof head);
    close(fd);
    if (got < 8 || !IsEnveloped(std::string_view(head, static_cast<std::size_t>(got)))) return 0;
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = reinterpret_cast<Bytef*>(head + kZipMarker.size());
    zs.avail_in = static_cast<uInt>(got - static_cast<ssize_t>(kZipMarker.size()));
    unsigned char len[4];
    zs.next_out = len;
    zs.avail_out = 4;
    inflate(&zs, Z_NO_FLUSH);
    inflateEnd(&zs);
    if (zs.avail_out != 0) return 0;
    const auto m =
        static_cast<std::int32_t>(len[0] | len[1] << 8 | len[2] << 16 | static_cast<std::uint32_t>(len[3]) << 24);
    return m > 0 ? m : 0;
}

std::string lkpPath() {
    const std::string self = selfPath();
    const std::string benchDir = self.substr(0, self.rfind('/'));
    const std::string build = benchDir.substr(0, benchDir.rfind('/'));
    return build + "/lkp";
}

void hostilePeakMemory(Context& ctx) {
    const std::string dir = ctx.dataDir + "/hostile";
    const std::string stamp = dir + "/stamp";
    const std::string version = "hostile-v2";
    struct stat st {};
    bool fresh = stat(stamp.c_str(), &st) == 0;
    if (fresh) {
        const int fd = open(stamp.c_str(), O_RDONLY);
        char buf[32] = {};
        fresh = fd >= 0 && read(fd, buf, sizeof buf - 1) > 0 && version == buf;
        if (fd >= 0) close(fd);
    }
    if (!fresh) {
        note("writing the hostile files in " + dir);
        writeHostileFiles({dir});
        FileOut(stamp).write(version.data(), version.size());
    }
    const std::string lkp = lkpPath();
    const bool haveLkp = access(lkp.c_str(), X_OK) == 0;
    if (!haveLkp) note("no " + lkp + ": lkp dump is not measured");
    double worst = 0, worstPerSection = 0;
    for (const auto& f : hostileFiles()) {
        const std::string path = dir + "/" + f.name;
        if (stat(path.c_str(), &st) != 0) throw std::runtime_error("missing " + path);
        const double size = static_cast<double>(st.st_size);
        const double unpacked = unpackedLength(path);
        const Peak core = runMeasured({selfPath(), "child-hostile-load", path}, true);
        double sections = 0;
        std::sscanf(core.out.c_str(), "sections=%lf", &sections);
        const double bound = unpacked + 2 * size + 64 * kMiB + (f.perSection ? kSectionRoom * sections : 0);
        double ratio = core.bytes / bound;
        std::string line = std::string(f.name) + ": file " + formatNumber(size / kMiB, "%.1f MiB") + ", unpacked " +
                           formatNumber(unpacked / kMiB, "%.0f MiB") + ", bound " +
                           formatNumber(bound / kMiB, "%.0f MiB") + "; load " +
                           formatNumber(core.bytes / kMiB, "%.0f MiB");
        if (haveLkp) {
            const Peak dump = runMeasured({lkp, "dump", path}, false);
            ratio = std::max(ratio, dump.bytes / bound);
            line += ", lkp dump " + formatNumber(dump.bytes / kMiB, "%.0f MiB");
        }
        line += " (" + core.out.substr(0, core.out.find('\n')) + ")";
        if (f.perSection && sections > 0)
            line +=
                "; load " + formatNumber((core.bytes - 2 * size) / sections, "%.0f") + " B a section beyond 2 x file";
        note(line);
        if (f.perSection) worstPerSection = std::max(worstPerSection, ratio);
        else worst = std::max(worst, ratio);
    }
    printFigure("hostile_peak_memory", worst, 1.0);
    printFigure("section_peak_memory", worstPerSection, 1.0);
}

LARK_BENCH_COMMAND("hostile-files", writeHostileFiles);
LARK_BENCH_COMMAND("child-hostile-load", childHostileLoad);
// First of all cases: a forked child starts its peak at the RSS the bench process has
// at the fork (Linux carries it over exec), so the process must still be small then.
LARK_BENCH_CASE(5, "hostile_peak_memory", hostilePeakMemory);

}  // namespace
}  // namespace lark::bench
