// The threshold method's block passes on vectors of four sample words: baseline sums and quiet skips.
#include "acquisition/detector_vectors.h"

#include <limits>

#include "acquisition/sample_vectors.h"

namespace {
constexpr int64_t WORD_MIN = std::numeric_limits<int32_t>::min();
constexpr int64_t WORD_MAX = std::numeric_limits<int32_t>::max();

// The first sample of a block that starts a loadable group on a frame boundary.
template <int B, int N>
int64_t FirstGroup() {
    int64_t k = 0;
    while ((k + 1) * B < 4) k += N;
    return k;
}

template <int B, int N>
SlotSums SumWords(const uint8_t* bytes, int64_t samples, int64_t byteCount, const WordSets* sets) {
    SlotSums sums{{0, 0}, {0, 0}};
    auto addOne = [&](int64_t k) {
        int slot = N == 1 ? 0 : static_cast<int>(k & 1);
        int32_t word = SampleWord<B>(bytes, k);
        if (sets && (word ^ sets->flip[slot]) > sets->last[slot]) return;
        sums.sum[slot] += word;
        sums.count[slot] += 1;
    };
    int64_t k = 0;
    int64_t first = FirstGroup<B, N>();
    for (; k < first && k < samples; ++k) addOne(k);
    LaneSums words;
    Words4 counted = Splat4(0, 0);
    Words4 flip = Splat4(0, 0), last = Splat4(-1, -1);
    if (sets) {
        flip = Splat4(sets->flip[0], sets->flip[N - 1]);
        last = Splat4(sets->last[0], sets->last[N - 1]);
    }
    // Eight samples per step, in runs short enough for the 32-bit lane sums.
    while (k + 8 <= samples && EightWordsLoadable<B>(k, byteCount)) {
        for (int64_t step = 0; step < LaneSums::ADDS_PER_FLUSH / 2 && k + 8 <= samples && EightWordsLoadable<B>(k, byteCount);
             ++step, k += 8) {
            Words4 w0, w1;
            LoadWords8<B>(bytes, k, w0, w1);
            if (sets) {
                Words4 inside0 = AtMost(w0, flip, last), inside1 = AtMost(w1, flip, last);
                w0 = w0 & inside0;
                w1 = w1 & inside1;
                counted = counted + (inside0 & Splat4(1, 1)) + (inside1 & Splat4(1, 1));
            }
            words.Add(w0);
            words.Add(w1);
        }
        words.Flush();
    }
    for (int lane = 0; lane < 4; ++lane) {
        int slot = lane % N;
        sums.sum[slot] += words.total[lane];
        sums.count[slot] += counted[lane];
    }
    for (; k < samples; ++k) addOne(k);
    if (!sets) {
        sums.count[0] = (samples + N - 1) / N;
        sums.count[1] = N == 2 ? samples / 2 : 0;
    }
    return sums;
}

template <int B, int N>
int64_t SkipGroups(const uint8_t* bytes, int64_t k, int64_t limit, int64_t byteCount, const WordSets& quiet) {
    Words4 flip = Splat4(quiet.flip[0], quiet.flip[N - 1]);
    Words4 last = Splat4(quiet.last[0], quiet.last[N - 1]);
    // Sixteen samples per test while the stretch is quiet, then group by group.
    while (k + 16 <= limit && EightWordsLoadable<B>(k, byteCount) && EightWordsLoadable<B>(k + 8, byteCount)) {
        Words4 w0, w1, w2, w3;
        LoadWords8<B>(bytes, k, w0, w1);
        LoadWords8<B>(bytes, k + 8, w2, w3);
        Words4 all = AtMost(w0, flip, last) & AtMost(w1, flip, last) & AtMost(w2, flip, last) & AtMost(w3, flip, last);
        if (!AllSet(all)) break;
        k += 16;
    }
    while (k + 4 <= limit && WordsLoadable<B>(k, byteCount)) {
        if (!AllSet(AtMost(LoadWords4<B>(bytes, k), flip, last))) break;
        k += 4;
    }
    return k;
}

template <int N>
SlotSums SumWordsOfWidth(const uint8_t* bytes, int64_t samples, int64_t byteCount, int b, const WordSets* sets) {
    if (b == 2) return SumWords<2, N>(bytes, samples, byteCount, sets);
    if (b == 3) return SumWords<3, N>(bytes, samples, byteCount, sets);
    return SumWords<4, N>(bytes, samples, byteCount, sets);
}
}  // namespace

bool SetOfWords(bool (*holds)(int32_t word, const void* context), const void* context, bool falling,
                int32_t* flip, int32_t* last) {
    if (falling) {
        // The largest word that holds, knowing that all smaller ones hold as well.
        if (!holds(static_cast<int32_t>(WORD_MIN), context)) return false;
        int64_t low = WORD_MIN, high = WORD_MAX + 1;  // holds at low, not at high
        while (high - low > 1) {
            int64_t middle = low + (high - low) / 2;
            if (holds(static_cast<int32_t>(middle), context))
                low = middle;
            else
                high = middle;
        }
        *flip = 0;
        *last = static_cast<int32_t>(low);
        return true;
    }
    // The smallest word that holds, knowing that all larger ones hold as well.
    if (!holds(static_cast<int32_t>(WORD_MAX), context)) return false;
    int64_t low = WORD_MIN - 1, high = WORD_MAX;  // not at low, holds at high
    while (high - low > 1) {
        int64_t middle = low + (high - low) / 2;
        if (holds(static_cast<int32_t>(middle), context))
            high = middle;
        else
            low = middle;
    }
    *flip = -1;
    *last = ~static_cast<int32_t>(high);
    return true;
}

SlotSums SumAllWords(const uint8_t* bytes, int64_t samples, int64_t byteCount, int n, int b) {
    return n == 1 ? SumWordsOfWidth<1>(bytes, samples, byteCount, b, nullptr)
                  : SumWordsOfWidth<2>(bytes, samples, byteCount, b, nullptr);
}

SlotSums SumWordsInSets(const uint8_t* bytes, int64_t samples, int64_t byteCount, int n, int b,
                        const WordSets& sets) {
    return n == 1 ? SumWordsOfWidth<1>(bytes, samples, byteCount, b, &sets)
                  : SumWordsOfWidth<2>(bytes, samples, byteCount, b, &sets);
}

int64_t SkipQuietGroups(const uint8_t* bytes, int64_t k, int64_t limit, int64_t byteCount, int n, int b,
                        const WordSets& quiet) {
    if (n == 1) {
        if (b == 2) return SkipGroups<2, 1>(bytes, k, limit, byteCount, quiet);
        if (b == 3) return SkipGroups<3, 1>(bytes, k, limit, byteCount, quiet);
        return SkipGroups<4, 1>(bytes, k, limit, byteCount, quiet);
    }
    if (b == 2) return SkipGroups<2, 2>(bytes, k, limit, byteCount, quiet);
    if (b == 3) return SkipGroups<3, 2>(bytes, k, limit, byteCount, quiet);
    return SkipGroups<4, 2>(bytes, k, limit, byteCount, quiet);
}
