#pragma once
// The benchmark corpus: one large notebook built from a seeded generator, so that every
// run on every machine measures the same bytes.
#include <cstdint>
#include <string>

#include "document/document.h"
#include "document/memory_view.h"

namespace lark::bench {

// Bumped whenever the generator changes; scripts/bench.sh regenerates on a mismatch.
inline constexpr const char* kCorpusVersion = "corpus-v1 sections=100000 seed=20261207";

// splitmix64: small, fast and the same everywhere.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi].
    std::uint64_t range(std::uint64_t lo, std::uint64_t hi) { return lo + next() % (hi - lo + 1); }
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t state_;
};

// A document with in-memory view, editor and UI: what the benchmarks load into.
struct BenchDocument {
    MemoryTreeView view;
    MemoryEditor editor;
    MemoryUi ui;
    Document doc{view, editor, ui};
};

// Fills `doc` with the corpus notebook (about 100 MB of text in 100,000 sections).
void BuildCorpus(Document& doc);

}  // namespace lark::bench
