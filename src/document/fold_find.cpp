#include "document/fold_find.h"

#include <array>
#include <cstring>

#include "document/cp1251.h"
#include "document/scan_either.h"

namespace lark {

namespace {

// For every lower-case byte, the bytes that fold to it (itself and its capital). The
// table holds two; a byte with more would take the slow path.
struct FoldSources {
    std::array<std::array<unsigned char, 2>, 256> bytes{};
    std::array<unsigned char, 256> count{};
    FoldSources() {
        const unsigned char* lower = cp1251::lowerTable();
        for (int b = 0; b < 256; ++b) {
            const unsigned char f = lower[b];
            if (count[f] < 2) bytes[f][count[f]] = static_cast<unsigned char>(b);
            ++count[f];
        }
    }
};

const FoldSources& foldSources() {
    static const FoldSources sources;
    return sources;
}

}  // namespace

std::size_t FindEitherByte(const char* data, std::size_t size, unsigned char a, unsigned char b) {
    return ScanEither(reinterpret_cast<const unsigned char*>(data), size, 0, a, b, [](std::size_t) { return true; });
}

std::size_t FindFolded(std::string_view haystack, std::string_view needle, std::size_t from) {
    const std::size_t n = haystack.size(), m = needle.size();
    if (m == 0 || from > n || n - from < m) return kNotFound;
    const unsigned char* lower = cp1251::lowerTable();
    const auto* s = reinterpret_cast<const unsigned char*>(haystack.data());
    const auto* t = reinterpret_cast<const unsigned char*>(needle.data());
    const unsigned char first = lower[t[0]];
    const std::size_t last = n - m;  // last start position that still fits

    auto rest = [&](std::size_t p) {
        for (std::size_t j = 1; j < m; ++j)
            if (lower[s[p + j]] != lower[t[j]]) return false;
        return true;
    };

    const FoldSources& src = foldSources();
    if (src.count[first] > 2) {
        for (std::size_t p = from; p <= last; ++p)
            if (lower[s[p]] == first && rest(p)) return p;
        return kNotFound;
    }
    const unsigned char a = src.bytes[first][0];
    const unsigned char b = src.count[first] == 2 ? src.bytes[first][1] : a;
    bool beyond = false;
    const std::size_t p = ScanEither(s, n, from, a, b, [&](std::size_t q) {
        if (q > last) return beyond = true;  // no later start fits either
        return rest(q);
    });
    return beyond ? kNotFound : p;
}

}  // namespace lark
