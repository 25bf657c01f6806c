#include "document/fold_find.h"

#include <array>
#include <cstring>

#include "document/cp1251.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

inline unsigned ctz(unsigned v) { return static_cast<unsigned>(__builtin_ctz(v)); }

// Calls check(position) for every byte equal to a or b from `from` on, in order, until
// check returns true; returns that position or kNotFound.
template <class Check>
std::size_t scanEither(const unsigned char* s, std::size_t n, std::size_t from, unsigned char a, unsigned char b,
                       Check&& check) {
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    while (i + 32 <= n) {
        const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16));
        const __m128i m0 = _mm_or_si128(_mm_cmpeq_epi8(x0, va), _mm_cmpeq_epi8(x0, vb));
        const __m128i m1 = _mm_or_si128(_mm_cmpeq_epi8(x1, va), _mm_cmpeq_epi8(x1, vb));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(m0)) |
                        (static_cast<unsigned>(_mm_movemask_epi8(m1)) << 16);
        while (mask) {
            const std::size_t p = i + ctz(mask);
            if (check(p)) return p;
            mask &= mask - 1;
        }
        i += 32;
    }
#endif
    for (; i < n; ++i)
        if ((s[i] == a || s[i] == b) && check(i)) return i;
    return kNotFound;
}

}  // namespace

std::size_t FindEitherByte(const char* data, std::size_t size, unsigned char a, unsigned char b) {
    return scanEither(reinterpret_cast<const unsigned char*>(data), size, 0, a, b, [](std::size_t) { return true; });
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
    const std::size_t p = scanEither(s, n, from, a, b, [&](std::size_t q) {
        if (q > last) return beyond = true;  // no later start fits either
        return rest(q);
    });
    return beyond ? kNotFound : p;
}

}  // namespace lark
