// The threshold method's block passes four samples at a time: the sums behind the baseline estimate
// and the search for the next group of samples that might open a pulse. They work on the exact sample
// words, so they select precisely the samples that the per-sample code would.
//
// Word sets: a channel slot's set is the words w with (w XOR flip) <= last. With flip 0 that is every
// word up to last; with flip -1 (all bits) every word from ~last on, since XOR with all bits reverses
// the order of signed words. Any condition that is monotonic in the word (the detector's conditions are)
// is such a set; SetOfWords finds it.
#pragma once
#include <cstdint>

struct WordSets {
    int32_t flip[2];  // per channel slot: 0 or -1
    int32_t last[2];
};

// The set of words for which `holds` is true, given that holds(w) is monotonic in w: true for small
// words and false for large ones (falling), or the reverse. False when it holds for no word.
bool SetOfWords(bool (*holds)(int32_t word, const void* context), const void* context, bool falling,
                int32_t* flip, int32_t* last);

// Per channel slot of a block of n interleaved B-byte samples (S samples, byteCount bytes): the sum of
// all words, and the count and sum of the words inside the slot's set.
struct SlotSums {
    int64_t sum[2];
    int64_t count[2];
};
SlotSums SumAllWords(const uint8_t* bytes, int64_t samples, int64_t byteCount, int n, int b);
SlotSums SumWordsInSets(const uint8_t* bytes, int64_t samples, int64_t byteCount, int n, int b,
                        const WordSets& sets);

// From sample k (a multiple of n) on, the first k + 4j below `limit` whose group of four samples holds a
// word outside its slot's set (a sample that might open a pulse); `limit` itself, rounded down to a
// group, when there is none; groups that cannot be loaded whole end the search as well.
int64_t SkipQuietGroups(const uint8_t* bytes, int64_t k, int64_t limit, int64_t byteCount, int n, int b,
                        const WordSets& quiet);
