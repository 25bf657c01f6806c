// Load and save of the corpus notebook sealed with a password, against the bare
// crypto_secretstream pass over the same bytes plus the plain load or save.
//
//   load_sealed   LoadDocument of the sealed corpus / bare secretstream pull of its bytes
//                 + LoadDocument of the plain corpus, each in a fresh process
//   save_sealed   SaveDocument of a sealed notebook / bare secretstream push of its
//                 content + SaveDocument of the plain notebook
//
// The key derivation is not part of either side: it is timed on its own and reported on
// stderr (it must stay within a second here).
#include <sodium.h>

#include <memory>

#include "../bench_util.h"
#include "corpus.h"
#include "document/file_replace.h"
#include "document/format.h"
#include "document/seal_key.h"
#include "document/sealed_envelope.h"

namespace lark::bench {
namespace {

constexpr const char* kPassword = "bench password";
constexpr const char* kSealedCorpus = "corpus-sealed.lkp";

std::string ms(double seconds) { return formatNumber(seconds * 1000, "%.1f ms"); }

std::string readWhole(const std::string& path) {
    const TextBuffer bytes = ReadFileUnlocked(path);
    return std::string(bytes.view());
}

std::shared_ptr<const SealKey> keyOf(const std::string& sealed) {
    return SealKey::derive(kPassword, ReadSealParams(std::string_view(sealed).substr(0, kSealHeaderSize)));
}

// LoadDocument of the sealed file; the derivation comes first and is not timed.
int childLoadSealed(const std::vector<std::string>& args) {
    const std::string& path = args.at(0);
    const auto key = keyOf(readWhole(path));
    auto* bd = new BenchDocument;  // left to the process's end
    bool ok = false;
    const double t = timeIt([&] { ok = bd->doc.LoadDocument(path, true, key); });
    if (!ok) {
        std::fprintf(stderr, "load failed: %s\n", bd->ui.errors.empty() ? "?" : bd->ui.errors.back().c_str());
        _exit(1);
    }
    std::printf("seconds=%.9f sections=%d\n", t, bd->doc.tree().count());
    std::fflush(stdout);
    _exit(0);
}

// The bare pull: every chunk of the sealed bytes decrypted into one buffer.
int childPull(const std::vector<std::string>& args) {
    const std::string sealed = readWhole(args.at(0));
    const auto key = keyOf(sealed);
    std::unique_ptr<unsigned char[]> out;
    const double t = timeIt([&] {
        crypto_secretstream_xchacha20poly1305_state st;
        const auto* in = reinterpret_cast<const unsigned char*>(sealed.data());
        if (crypto_secretstream_xchacha20poly1305_init_pull(&st, in + kSealAuthenticated, key->bytes()) != 0)
            throw std::runtime_error("bad header");
        out = std::make_unique_for_overwrite<unsigned char[]>(sealed.size());
        std::size_t at = kSealHeaderSize, put = 0;
        while (at < sealed.size()) {
            const std::size_t len = std::min(sealed.size() - at, kSealChunk + kSealChunkOverhead);
            unsigned long long got = 0;
            unsigned char tag = 0;
            const bool first = at == kSealHeaderSize;
            if (crypto_secretstream_xchacha20poly1305_pull(&st, out.get() + put, &got, &tag, in + at, len,
                                                           first ? in : nullptr, first ? kSealAuthenticated : 0) != 0)
                throw std::runtime_error("pull failed");
            at += len;
            put += got;
        }
    });
    std::printf("seconds=%.9f\n", t);
    std::fflush(stdout);
    _exit(0);
}

LARK_BENCH_COMMAND("child-load-sealed", childLoadSealed);
LARK_BENCH_COMMAND("child-pull", childPull);

// The sealed corpus under the default derivation, written once per run; the derivation timed.
std::shared_ptr<const SealKey> sealCorpus(Context& ctx) {
    static std::shared_ptr<const SealKey> key;
    if (key) return key;
    const double t = timeIt([&] { key = SealKey::derive(kPassword, FreshSealParams()); });
    note("key derivation " + ms(t) + " (Argon2id, ops " + std::to_string(kDefaultSealOps) + ", " +
         std::to_string(kDefaultSealMemory >> 20) + " MiB; limit 1000 ms)");
    const std::string plain = readWhole(ctx.path(kPlainCorpus));
    const TextBuffer sealed = SealBytes(plain, *key);
    ReplaceFileContents(ctx.scratch(kSealedCorpus), sealed.view());
    return key;
}

void loadSealed(Context& ctx) {
    sealCorpus(ctx);
    const std::string sealed = ctx.scratch(kSealedCorpus), plain = ctx.path(kPlainCorpus);
    (void)readWhole(sealed);
    (void)readWhole(plain);
    std::vector<double> load, pull, plainLoad;
    for (int i = 0; i < ctx.reps; ++i) {
        pull.push_back(runChild("child-pull", {sealed})["seconds"]);
        plainLoad.push_back(runChild("child-load", {plain})["seconds"]);
        load.push_back(runChild("child-load-sealed", {sealed})["seconds"]);
    }
    note("sealed load " + ms(minimum(load)) + ", pull " + ms(minimum(pull)) + " + plain load " +
         ms(minimum(plainLoad)));
    printFigure("load_sealed", minimum(load) / (minimum(pull) + minimum(plainLoad)), 1.15);
}

void saveSealed(Context& ctx) {
    const auto key = sealCorpus(ctx);
    BenchDocument bd;
    if (!bd.doc.LoadDocument(ctx.path(kPlainCorpus), true)) throw std::runtime_error("cannot load the corpus");
    bd.doc.StoreActiveSection();
    const std::string target = ctx.scratch("save-sealed.lkp"), plainTarget = ctx.scratch("save-sealed-plain.lkp");
    auto save = [&](const std::string& path) {
        if (!bd.doc.SaveDocument(path)) throw std::runtime_error("save failed: " + bd.ui.errors.back());
    };
    const TextBuffer content = WriteDocument(bd.doc.tree(), bd.doc.FFileInfo);
    // The bare push: every chunk encrypted into a buffer reserved for the whole.
    auto push = [&] {
        const std::size_t chunks = content.size() / kSealChunk + 1;
        auto out = std::make_unique_for_overwrite<unsigned char[]>(kSealHeaderSize + content.size() +
                                                                   chunks * kSealChunkOverhead);
        crypto_secretstream_xchacha20poly1305_state st;
        crypto_secretstream_xchacha20poly1305_init_push(&st, out.get() + kSealAuthenticated, key->bytes());
        const auto* in = reinterpret_cast<const unsigned char*>(content.data());
        std::size_t at = 0, put = kSealHeaderSize;
        do {
            const std::size_t len = std::min(content.size() - at, kSealChunk);
            const bool last = at + len == content.size();
            unsigned long long written = 0;
            crypto_secretstream_xchacha20poly1305_push(&st, out.get() + put, &written, in + at, len, nullptr, 0,
                                                       last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                                            : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
            at += len;
            put += written;
        } while (at < content.size());
    };
    std::vector<double> saved, pushed, plainSaved;
    for (int i = 0; i < std::min(ctx.reps, 3); ++i) {
        bd.doc.sealKey = nullptr;
        plainSaved.push_back(timeIt([&] { save(plainTarget); }));
        pushed.push_back(timeIt(push));
        bd.doc.sealKey = key;
        saved.push_back(timeIt([&] { save(target); }));
    }
    note("sealed save " + ms(minimum(saved)) + ", push " + ms(minimum(pushed)) + " + plain save " +
         ms(minimum(plainSaved)));
    printFigure("save_sealed", minimum(saved) / (minimum(pushed) + minimum(plainSaved)), 1.15);
    CloseDocumentFile(bd.doc.FFileHandle);
}

LARK_BENCH_CASE(12, "load_sealed", loadSealed);
LARK_BENCH_CASE(22, "save_sealed", saveSealed);

}  // namespace
}  // namespace lark::bench
