#pragma once
// The scan under the case-folded finds: the first element equal to one of two values
// (a letter's small and capital form) that a caller's check accepts. One implementation
// for the notebook's bytes and for the editor's UTF-16 characters, with SSE2 when the
// target has it.
#include <cstddef>
#include <type_traits>

#include "document/fold_find.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lark {

namespace scan_detail {

#if defined(__SSE2__)
// One bit per element of the 32 bytes at `s`: set where the element is a or b.
inline unsigned eitherMask(const unsigned char* s, unsigned char a, unsigned char b) {
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    const __m128i m0 = _mm_or_si128(_mm_cmpeq_epi8(x0, va), _mm_cmpeq_epi8(x0, vb));
    const __m128i m1 = _mm_or_si128(_mm_cmpeq_epi8(x1, va), _mm_cmpeq_epi8(x1, vb));
    return static_cast<unsigned>(_mm_movemask_epi8(m0)) | (static_cast<unsigned>(_mm_movemask_epi8(m1)) << 16);
}

inline unsigned eitherMask(const char16_t* s, char16_t a, char16_t b) {
    const __m128i va = _mm_set1_epi16(static_cast<short>(a));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
    const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8));
    // Each 16-bit result is 0 or -1; packing keeps that, one byte per element.
    const __m128i m = _mm_packs_epi16(_mm_or_si128(_mm_cmpeq_epi16(x0, va), _mm_cmpeq_epi16(x0, vb)),
                                      _mm_or_si128(_mm_cmpeq_epi16(x1, va), _mm_cmpeq_epi16(x1, vb)));
    return static_cast<unsigned>(_mm_movemask_epi8(m));
}
#endif

}  // namespace scan_detail

// Calls check(position) for every element of s[from, n) equal to a or b, in order, until
// check returns true; returns that position, or kNotFound when check never does.
template <class Char, class Check>
std::size_t ScanEither(const Char* s, std::size_t n, std::size_t from, Char a, Char b, Check&& check) {
    static_assert(std::is_same_v<Char, unsigned char> || std::is_same_v<Char, char16_t>);
    std::size_t i = from;
#if defined(__SSE2__)
    constexpr std::size_t kStep = 32 / sizeof(Char);  // 32 bytes a round
    while (i + kStep <= n) {
        unsigned mask = scan_detail::eitherMask(s + i, a, b);
        while (mask != 0) {
            const std::size_t p = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (check(p)) return p;
            mask &= mask - 1;
        }
        i += kStep;
    }
#endif
    for (; i < n; ++i)
        if ((s[i] == a || s[i] == b) && check(i)) return i;
    return kNotFound;
}

}  // namespace lark
