// Four samples at a time: the detector's sample words (the 32-bit little-endian word that ends with each
// sample's last byte) loaded as one vector, compared lane by lane and summed. GCC and clang vector
// extensions (SSE2 on x86-64, NEON on ARM); other compilers get the same lane operations as plain loops.
#pragma once
#include <cstdint>
#include <cstring>

#if defined(__GNUC__) || defined(__clang__)
using Words4 = int32_t __attribute__((vector_size(16)));
using Halves8 = uint16_t __attribute__((vector_size(16)));
#define TIK_SAMPLE_VECTORS 1
#else
#define TIK_SAMPLE_VECTORS 0
struct Words4 {
    int32_t lane[4];
    int32_t& operator[](int i) { return lane[i]; }
    int32_t operator[](int i) const { return lane[i]; }
};
#define TIK_LANE_OPERATOR(op, expression)                  \
    inline Words4 operator op(Words4 a, Words4 b) {         \
        Words4 r;                                           \
        for (int i = 0; i < 4; ++i) r.lane[i] = expression; \
        return r;                                           \
    }
TIK_LANE_OPERATOR(^, a.lane[i] ^ b.lane[i])
TIK_LANE_OPERATOR(&, a.lane[i] & b.lane[i])
TIK_LANE_OPERATOR(+, static_cast<int32_t>(static_cast<uint32_t>(a.lane[i]) + static_cast<uint32_t>(b.lane[i])))
TIK_LANE_OPERATOR(<=, a.lane[i] <= b.lane[i] ? -1 : 0)
TIK_LANE_OPERATOR(>>, a.lane[i] >> b.lane[i])
#undef TIK_LANE_OPERATOR
#endif

inline Words4 Splat4(int32_t even, int32_t odd) { return Words4{even, odd, even, odd}; }

// The word of sample k: the 4 bytes that end with the sample's last byte; for the first sample of a
// 16- or 24-bit block the low-order bytes lie before the block and count as zero.
template <int B>
inline int32_t SampleWord(const uint8_t* bytes, int64_t k) {
    int64_t end = (k + 1) * B;
    uint32_t word = 0;
    if (B == 4 || end >= 4) {
        std::memcpy(&word, bytes + end - 4, 4);
    } else {
        for (int64_t i = 0; i < end; ++i) word |= static_cast<uint32_t>(bytes[i]) << (8 * (4 - end + i));
    }
    return static_cast<int32_t>(word);
}

// Whether LoadWords4 may load samples k to k + 3 of a block of byteCount bytes: it reads the 16 bytes
// from (k + 1) x B - 4 on.
template <int B>
inline bool WordsLoadable(int64_t k, int64_t byteCount) {
    return (k + 1) * B >= 4 && (k + 1) * B + 12 <= byteCount;
}

// The words of samples k to k + 3.
template <int B>
inline Words4 LoadWords4(const uint8_t* bytes, int64_t k) {
    const uint8_t* first = bytes + (k + 1) * B - 4;
    Words4 words;
    if constexpr (B == 4) {
        std::memcpy(&words, first, 16);
        return words;
    }
#if TIK_SAMPLE_VECTORS
    if constexpr (B == 2) {
        // Word k is sample k above sample k - 1: the halves at k - 1 and k, paired.
        Halves8 halves;
        std::memcpy(&halves, first, 16);
        Halves8 paired = __builtin_shufflevector(halves, halves, 0, 1, 1, 2, 2, 3, 3, 4);
        std::memcpy(&words, &paired, 16);
        return words;
    } else if constexpr (B == 3) {
        // Four overlapping 32-bit loads: cheaper than a byte shuffle without SSSE3.
        int32_t w0, w1, w2, w3;
        std::memcpy(&w0, first, 4);
        std::memcpy(&w1, first + 3, 4);
        std::memcpy(&w2, first + 6, 4);
        std::memcpy(&w3, first + 9, 4);
        return Words4{w0, w1, w2, w3};
    }
#endif
    int32_t lanes[4];
    for (int i = 0; i < 4; ++i) std::memcpy(&lanes[i], first + i * B, 4);
    std::memcpy(&words, lanes, 16);
    return words;
}

// Whether LoadWords8 may load samples k to k + 7.
template <int B>
inline bool EightWordsLoadable(int64_t k, int64_t byteCount) {
    return (k + 1) * B >= 4 && (k + 5) * B + 12 <= byteCount;
}

// The words of samples k to k + 3 and k + 4 to k + 7: for 16-bit samples two loads and two interleaves.
template <int B>
inline void LoadWords8(const uint8_t* bytes, int64_t k, Words4& first, Words4& second) {
#if TIK_SAMPLE_VECTORS
    if constexpr (B == 2) {
        Halves8 below, above;  // the samples from k - 1 on and from k on
        std::memcpy(&below, bytes + 2 * k - 2, 16);
        std::memcpy(&above, bytes + 2 * k, 16);
        Halves8 low = __builtin_shufflevector(below, above, 0, 8, 1, 9, 2, 10, 3, 11);
        Halves8 high = __builtin_shufflevector(below, above, 4, 12, 5, 13, 6, 14, 7, 15);
        std::memcpy(&first, &low, 16);
        std::memcpy(&second, &high, 16);
        return;
    }
#endif
    first = LoadWords4<B>(bytes, k);
    second = LoadWords4<B>(bytes, k + 4);
}

// Lane masks: all ones where (word XOR flip) <= last, else zero.
inline Words4 AtMost(Words4 words, Words4 flip, Words4 last) { return (words ^ flip) <= last; }

// Whether every lane of a mask is set.
inline bool AllSet(Words4 mask) {
    uint64_t halves[2];
    std::memcpy(halves, &mask, 16);
    return (halves[0] & halves[1]) == ~uint64_t{0};
}

// Per-lane sums of words without overflow: the upper and lower 16 bits are summed apart in 32-bit
// lanes and moved into 64-bit totals before they could overflow (Flush at least every ADDS_PER_FLUSH
// additions).
struct LaneSums {
    static constexpr int64_t ADDS_PER_FLUSH = 32767;
    int64_t total[4] = {0, 0, 0, 0};
    Words4 high = Splat4(0, 0), low = Splat4(0, 0);

    void Add(Words4 words) {
        high = high + (words >> Splat4(16, 16));
        low = low + (words & Splat4(0xFFFF, 0xFFFF));
    }
    void Flush() {
        for (int i = 0; i < 4; ++i) total[i] += static_cast<int64_t>(high[i]) * 65536 + low[i];
        high = low = Splat4(0, 0);
    }
};
