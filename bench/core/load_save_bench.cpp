// Load and save of the corpus notebook against what the bytes alone cost.
//
//   load_plain        LoadDocument of the plain file, fresh process / read(2) of the file
//                     into a fresh buffer, fresh process
//   load_peak_memory  RSS high-water growth of that load / file size
//   load_zipped       LoadDocument of the compressed file / bare inflate of its stream,
//                     both in fresh processes
//   save_plain        SaveDocument / the same bytes assembled in a reserved buffer and
//                     written with write(2)
//   save_zipped       SaveDocument with compression / bare deflate at level 9
//
// Times are the fastest of several repetitions per side (the machine may be shared, and
// interference only ever adds time); memory is the median. Neither side drops the page
// cache: the corpus is read once up front and both sides read it from memory.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <zlib.h>

#include <memory>

#include "../bench_util.h"
#include "corpus.h"
#include "document/envelope.h"
#include "document/format.h"

// Saves always fsync; the informational no-fsync figure turns the call into a no-op for
// this process only, through this definition, which the linker prefers to the C
// library's. The program itself is not changed.
namespace {
bool gSkipFsync = false;
}
extern "C" int fsync(int fd) {
    if (gSkipFsync) return 0;
    return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace lark::bench {
namespace {

long long fileSize(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) throw std::runtime_error("missing " + path);
    return st.st_size;
}

std::string readFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    std::string out(static_cast<std::size_t>(fileSize(path)), '\0');
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = read(fd, out.data() + done, out.size() - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    return out;
}

void writeFile(const std::string& path, std::string_view bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0) throw std::runtime_error("write failed");
        done += static_cast<std::size_t>(put);
    }
    close(fd);
}

// Brings a file into the page cache (both sides of a figure then read it from there).
void warm(const std::string& path) { (void)readFile(path); }

// ---- fresh-process sides ----

// read(2) of the whole file into a fresh buffer.
int childRead(const std::vector<std::string>& args) {
    const std::string& path = args.at(0);
    std::unique_ptr<char[]> buf;
    std::size_t size = 0;
    const double t = timeIt([&] {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw std::runtime_error("cannot open " + path);
        struct stat st {};
        fstat(fd, &st);
        size = static_cast<std::size_t>(st.st_size);
        buf = std::make_unique_for_overwrite<char[]>(size);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = read(fd, buf.get() + done, size - done);
            if (got <= 0) throw std::runtime_error("read failed");
            done += static_cast<std::size_t>(got);
        }
        close(fd);
    });
    std::printf("seconds=%.9f bytes=%zu\n", t, size);
    std::fflush(stdout);
    _exit(0);
}

// LoadDocument with in-memory view, editor and UI.
int childLoad(const std::vector<std::string>& args) {
    const std::string& path = args.at(0);
    auto* bd = new BenchDocument;  // left to the process's end: teardown is not measured
    const long long base = peakRssBytes();
    bool ok = false;
    const double t = timeIt([&] { ok = bd->doc.LoadDocument(path, false); });
    const long long peak = peakRssBytes();
    if (!ok || !bd->ui.errors.empty()) {
        std::fprintf(stderr, "load failed: %s\n", bd->ui.errors.empty() ? "?" : bd->ui.errors.back().c_str());
        _exit(1);
    }
    std::printf("seconds=%.9f rss_base=%lld rss_peak=%lld sections=%d\n", t, base, peak, bd->doc.tree().count());
    std::fflush(stdout);
    _exit(0);
}

// Bare zlib inflate of the envelope's stream into a fresh buffer of the stated length.
int childInflate(const std::vector<std::string>& args) {
    const std::string file = readFile(args.at(0));
    if (!IsEnveloped(file)) throw std::runtime_error("not a compressed notebook");
    std::unique_ptr<char[]> out;
    std::int32_t m = 0;
    const double t = timeIt([&] {
        z_stream zs{};
        inflateInit(&zs);
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data() + kZipMarker.size()));
        zs.avail_in = static_cast<uInt>(file.size() - kZipMarker.size());
        unsigned char len[4];
        zs.next_out = len;
        zs.avail_out = 4;
        inflate(&zs, Z_NO_FLUSH);
        m = static_cast<std::int32_t>(len[0] | len[1] << 8 | len[2] << 16 | static_cast<std::uint32_t>(len[3]) << 24);
        out = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(m));
        zs.next_out = reinterpret_cast<Bytef*>(out.get());
        zs.avail_out = static_cast<uInt>(m);
        if (inflate(&zs, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("inflate failed");
        inflateEnd(&zs);
    });
    std::printf("seconds=%.9f bytes=%d\n", t, m);
    std::fflush(stdout);
    _exit(0);
}

LARK_BENCH_COMMAND("child-read", childRead);
LARK_BENCH_COMMAND("child-load", childLoad);
LARK_BENCH_COMMAND("child-inflate", childInflate);

std::string ms(double seconds) { return formatNumber(seconds * 1000, "%.1f ms"); }

// ---- cases ----

void loadPlain(Context& ctx) {
    const std::string path = ctx.path(kPlainCorpus);
    const double size = static_cast<double>(fileSize(path));
    warm(path);
    std::vector<double> load, base, memory;
    for (int i = 0; i < ctx.reps; ++i) {
        base.push_back(runChild("child-read", {path})["seconds"]);
        auto l = runChild("child-load", {path});
        load.push_back(l["seconds"]);
        memory.push_back((l["rss_peak"] - l["rss_base"]) / size);
    }
    note("load " + ms(minimum(load)) + ", read " + ms(minimum(base)) + ", file " + formatNumber(size / 1e6, "%.1f MB") +
         ", peak growth " + formatNumber(median(memory) * size / 1e6, "%.1f MB"));
    printFigure("load_plain", minimum(load) / minimum(base), 2.0);
    printFigure("load_peak_memory", median(memory), 2.2);
}

void loadZipped(Context& ctx) {
    const std::string path = ctx.path(kZippedCorpus);
    warm(path);
    std::vector<double> load, base;
    for (int i = 0; i < ctx.reps; ++i) {
        base.push_back(runChild("child-inflate", {path})["seconds"]);
        load.push_back(runChild("child-load", {path})["seconds"]);
    }
    note("load " + ms(minimum(load)) + ", inflate " + ms(minimum(base)));
    printFigure("load_zipped", minimum(load) / minimum(base), 0.6);
}

// The bytes of the notebook, assembled the plain way: walk, reserve, append.
std::string assemble(const Document& doc) {
    const SectionTree& tree = doc.tree();
    std::size_t total = 4 + 4 + 4;
    for (const auto& line : doc.FFileInfo) total += line.size() + 2;
    tree.forEach([&](Section& s, int depth) {
        total += static_cast<std::size_t>(depth) + s.name().size() + 2 + 4 + s.text().size();
        return true;
    });
    std::string out;
    out.reserve(total);
    auto le32 = [&](std::size_t v) {
        const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
        out.append(b, 4);
    };
    out.append("LKP\x01", 4);
    std::size_t infoSize = 0;
    for (const auto& line : doc.FFileInfo) infoSize += line.size() + 2;
    le32(infoSize);
    for (const auto& line : doc.FFileInfo) out.append(line).append("\r\n");
    std::size_t outlineSize = 0;
    tree.forEach([&](Section& s, int depth) {
        outlineSize += static_cast<std::size_t>(depth) + s.name().size() + 2;
        return true;
    });
    le32(outlineSize);
    tree.forEach([&](Section& s, int depth) {
        out.append(static_cast<std::size_t>(depth), '\t').append(s.name()).append("\r\n");
        return true;
    });
    tree.forEach([&](Section& s, int) {
        le32(s.text().size());
        out.append(s.text());
        return true;
    });
    return out;
}

void loadCorpus(BenchDocument& bd, const std::string& path) {
    if (!bd.doc.LoadDocument(path, true)) throw std::runtime_error("cannot load " + path);
    bd.doc.StoreActiveSection();  // what every save does first; the baseline writes the same lines
}

void savePlain(Context& ctx) {
    BenchDocument bd;
    loadCorpus(bd, ctx.path(kPlainCorpus));
    const std::string target = ctx.scratch("save-plain.lkp");
    const std::string baseTarget = ctx.scratch("baseline-plain.lkp");
    auto save = [&] {
        if (!bd.doc.SaveDocument(target)) throw std::runtime_error("save failed: " + bd.ui.errors.back());
    };
    auto baseline = [&] { writeFile(baseTarget, assemble(bd.doc)); };
    // One untimed round, which also checks that both sides write the same bytes.
    save();
    baseline();
    if (readFile(target) != readFile(baseTarget)) throw std::runtime_error("the baseline writes different bytes");

    std::vector<double> saved, base, savedNoSync;
    for (int i = 0; i < ctx.reps; ++i) {
        base.push_back(timeIt(baseline));
        saved.push_back(timeIt(save));
        gSkipFsync = true;
        savedNoSync.push_back(timeIt(save));
        gSkipFsync = false;
    }
    note("save " + ms(minimum(saved)) + " (without fsync " + ms(minimum(savedNoSync)) + "), assemble+write " +
         ms(minimum(base)));
    printFigure("save_plain", minimum(saved) / minimum(base), 1.5);
    printFigure("save_plain_nofsync", minimum(savedNoSync) / minimum(base), 1.5);
    CloseDocumentFile(bd.doc.FFileHandle);
}

void saveZipped(Context& ctx) {
    BenchDocument bd;
    loadCorpus(bd, ctx.path(kPlainCorpus));
    bd.doc.UseZip = true;
    const std::string target = ctx.scratch("save-zipped.lkp");
    const TextBuffer content = WriteDocument(bd.doc.tree(), bd.doc.FFileInfo);
    auto save = [&] {
        if (!bd.doc.SaveDocument(target)) throw std::runtime_error("save failed: " + bd.ui.errors.back());
    };
    std::size_t packed = 0;
    auto baseline = [&] {
        z_stream zs{};
        deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
        const std::size_t bound = deflateBound(&zs, static_cast<uLong>(content.size() + 4));
        auto out = std::make_unique_for_overwrite<unsigned char[]>(bound);
        const std::uint32_t n = static_cast<std::uint32_t>(content.size());
        unsigned char len[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
        zs.next_out = out.get();
        zs.avail_out = static_cast<uInt>(bound);
        zs.next_in = len;
        zs.avail_in = 4;
        deflate(&zs, Z_NO_FLUSH);
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
        zs.avail_in = static_cast<uInt>(content.size());
        if (deflate(&zs, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate failed");
        packed = zs.total_out;
        deflateEnd(&zs);
    };
    const int reps = std::min(ctx.reps, 3);
    std::vector<double> saved, base;
    for (int i = 0; i < reps; ++i) {
        base.push_back(timeIt(baseline));
        saved.push_back(timeIt(save));
    }
    note("save " + ms(minimum(saved)) + ", deflate " + ms(minimum(base)) + " (" +
         formatNumber(static_cast<double>(content.size()) / 1e6, "%.1f MB -> ") +
         formatNumber(static_cast<double>(packed) / 1e6, "%.1f MB)"));
    printFigure("save_zipped", minimum(saved) / minimum(base), 1.1);
    CloseDocumentFile(bd.doc.FFileHandle);
}

LARK_BENCH_CASE(10, "load_plain", loadPlain);
LARK_BENCH_CASE(11, "load_zipped", loadZipped);
LARK_BENCH_CASE(20, "save_plain", savePlain);
LARK_BENCH_CASE(21, "save_zipped", saveZipped);

}  // namespace
}  // namespace lark::bench
