// Mode-A SZDD encoder with an optimal parse.
//
// The decoder keeps a 4096-byte ring that starts full of spaces, with its
// write position at 4080. We model that as a "virtual text": 4096 spaces
// followed by the data. A byte at virtual index v sits at ring position
// (v - 16) & 0xFFF, and while the byte at index p is being produced the ring
// still holds virtual indices p - 4096 .. p - 1. So a copy at p may use any
// source s with 1 <= p - s <= 4096, including the initial spaces, the oldest
// ring byte (distance 4096) and sources that overlap the copy itself.
//
// Every copy costs 17 bits and every literal 9 bits, whatever the length or
// distance, so only the longest match at each position matters: any length
// from 3 up to it can be taken from the same source. The stream's size in
// bytes is its bit total divided by 8 and rounded up (the unused bits of the
// last flag byte), so a shortest path in bits is also a shortest file.
//
// Longest matches are found without chain walks: positions are sorted by
// their next 18 bytes, and the longest match of p among the window is with
// the window member next to p in that order, below or above. A small tree of
// bitsets over sort ranks gives those neighbours in constant time, so the
// cost is a sort plus O(1) work per byte, whatever the input looks like.

#include "szdd.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace szdd {
namespace {

constexpr uint32_t kRingSize = 4096;
constexpr uint32_t kRingMask = kRingSize - 1;
// Ring position of virtual index 0: the decoder's first write goes to
// 4080, and virtual index 4096 is the first data byte.
constexpr uint32_t kRingStart = kRingSize - 16;
constexpr uint32_t kMinCopy = 3;
constexpr uint32_t kMaxCopy = 18;
constexpr uint32_t kLiteralBits = 9;
constexpr uint32_t kCopyBits = 17;
// Zero bytes after the text, so that 18-byte keys and 8-byte loads may run
// past its end.
constexpr uint32_t kPadding = 24;

constexpr uint8_t kSignature[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};

uint64_t LoadLe64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

uint64_t LoadBe64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

// Length of the common prefix of a and b, at most `cap` (<= kMaxCopy).
uint32_t CommonPrefix(const uint8_t* a, const uint8_t* b, uint32_t cap) {
  for (uint32_t n = 0; n < cap; n += 8) {
    uint64_t diff = LoadLe64(a + n) ^ LoadLe64(b + n);
    if (diff != 0) return std::min(cap, n + static_cast<uint32_t>(std::countr_zero(diff)) / 8);
  }
  return cap;
}

// Orders virtual positions by the 18 bytes that start there.
struct KeyLess {
  const uint8_t* text;
  bool operator()(uint32_t a, uint32_t b) const {
    uint64_t x = LoadBe64(text + a), y = LoadBe64(text + b);
    if (x != y) return x < y;
    x = LoadBe64(text + a + 8), y = LoadBe64(text + b + 8);
    if (x != y) return x < y;
    return (text[a + 16] << 8 | text[a + 17]) < (text[b + 16] << 8 | text[b + 17]);
  }
};

// Sorts positions begin .. end-1 by key into `out`: a counting sort on the
// first byte, then a comparison sort inside each bucket.
void SortBlock(const uint8_t* text, uint32_t begin, uint32_t end, std::vector<uint32_t>& out) {
  uint32_t start[257] = {};
  for (uint32_t p = begin; p < end; ++p) ++start[text[p] + 1];
  for (int b = 1; b <= 256; ++b) start[b] += start[b - 1];
  uint32_t fill[256];
  std::copy(start, start + 256, fill);
  out.resize(end - begin);
  for (uint32_t p = begin; p < end; ++p) out[fill[text[p]]++] = p;
  for (int b = 0; b < 256; ++b) {
    if (start[b + 1] - start[b] > 1) {
      std::sort(out.begin() + start[b], out.begin() + start[b + 1], KeyLess{text});
    }
  }
}

// A set of integers in [0, n) with neighbour queries, as a tree of 64-bit
// words: a bit at one level says whether the word below it is non-empty.
class NeighbourSet {
 public:
  static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

  explicit NeighbourSet(uint32_t n) {
    do {
      n = (n + 63) / 64;
      levels_.emplace_back(n, 0);
    } while (n > 1);
  }

  void Insert(uint32_t i) {
    for (auto& words : levels_) {
      words[i / 64] |= uint64_t{1} << (i % 64);
      i /= 64;
    }
  }

  void Erase(uint32_t i) {
    for (auto& words : levels_) {
      words[i / 64] &= ~(uint64_t{1} << (i % 64));
      if (words[i / 64] != 0) return;
      i /= 64;
    }
  }

  // Smallest member greater than i, or kNone.
  uint32_t Above(uint32_t i) const {
    for (size_t level = 0; level < levels_.size(); ++level, i /= 64) {
      uint32_t bit = i % 64;
      uint64_t word = bit == 63 ? 0 : levels_[level][i / 64] & (~uint64_t{0} << (bit + 1));
      if (word != 0) return Descend(level, (i / 64) * 64 + std::countr_zero(word), false);
    }
    return kNone;
  }

  // Largest member less than i, or kNone.
  uint32_t Below(uint32_t i) const {
    for (size_t level = 0; level < levels_.size(); ++level, i /= 64) {
      uint64_t word = levels_[level][i / 64] & ((uint64_t{1} << (i % 64)) - 1);
      if (word != 0) return Descend(level, (i / 64) * 64 + 63 - std::countl_zero(word), true);
    }
    return kNone;
  }

 private:
  // From bit `i` of `level` (a non-empty word below), down to its lowest or
  // highest member.
  uint32_t Descend(size_t level, uint32_t i, bool highest) const {
    while (level-- > 0) {
      uint64_t word = levels_[level][i];
      i = i * 64 + (highest ? 63 - std::countl_zero(word) : std::countr_zero(word));
    }
    return i;
  }

  std::vector<std::vector<uint64_t>> levels_;
};

struct Match {
  uint8_t length;     // 0 when no copy of kMinCopy bytes or more exists
  uint16_t ring_pos;  // where the decoder's ring holds the source
};

// For each data byte, the longest copy the decoder could make there.
//
// The text is cut into blocks of 4096 positions (block 0 is the initial
// spaces). Every window of a position in block k lies within blocks k-1 and
// k, so one sorted merge of those two blocks serves the whole of block k, and
// all the work stays in small, cache-resident arrays.
std::vector<Match> FindLongestMatches(const std::vector<uint8_t>& text, uint32_t n) {
  const uint8_t* t = text.data();
  std::vector<Match> matches(n - kRingSize);
  std::vector<uint32_t> prev, cur, merged;
  std::vector<uint16_t> rank(2 * kRingSize);  // by position - first
  SortBlock(t, 0, kRingSize, prev);
  for (uint32_t base = kRingSize; base < n; base += kRingSize) {
    const uint32_t first = base - kRingSize, end = std::min(n, base + kRingSize);
    SortBlock(t, base, end, cur);
    merged.resize(prev.size() + cur.size());
    std::merge(prev.begin(), prev.end(), cur.begin(), cur.end(), merged.begin(), KeyLess{t});
    for (uint32_t r = 0; r < merged.size(); ++r) rank[merged[r] - first] = static_cast<uint16_t>(r);

    NeighbourSet window(static_cast<uint32_t>(merged.size()));
    for (uint32_t s = first; s < base; ++s) window.Insert(rank[s - first]);
    for (uint32_t p = base; p < end; ++p) {
      // The window holds p - 4096 .. p - 1.
      const uint32_t cap = std::min(kMaxCopy, n - p), rp = rank[p - first];
      uint32_t best_len = 0, best_src = 0;
      for (uint32_t r : {window.Below(rp), window.Above(rp)}) {
        if (r == NeighbourSet::kNone) continue;
        uint32_t src = merged[r];
        uint32_t len = CommonPrefix(t + src, t + p, cap);
        if (len > best_len) best_len = len, best_src = src;
      }
      if (best_len >= kMinCopy) {
        matches[p - kRingSize] = {static_cast<uint8_t>(best_len),
                                  static_cast<uint16_t>((best_src + kRingStart) & kRingMask)};
      }
      window.Insert(rp);
      window.Erase(rank[p - kRingSize - first]);
    }
    prev.swap(cur);
  }
  return matches;
}

}  // namespace

std::vector<uint8_t> Compress(const uint8_t* data, size_t size) {
  // Positions in the virtual text are 32-bit; the header's size field is too.
  if (size > std::numeric_limits<uint32_t>::max() - 2 * kRingSize) {
    throw std::length_error("szdd: input too large");
  }
  const uint32_t n = static_cast<uint32_t>(size);

  std::vector<uint8_t> out(std::begin(kSignature), std::end(kSignature));
  out.push_back('A');
  out.push_back(0);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(n >> shift));
  if (n == 0) return out;

  std::vector<uint8_t> text(kRingSize + n + kPadding, 0);
  std::memset(text.data(), ' ', kRingSize);
  std::memcpy(text.data() + kRingSize, data, n);
  std::vector<Match> matches = FindLongestMatches(text, kRingSize + n);

  // Cheapest encoding of data[i..] in bits, and the step that achieves it:
  // 1 for a literal, else the copy length. Ties go to the longer step.
  std::vector<uint64_t> cost(n + 1, 0);
  std::vector<uint8_t> step(n);
  for (uint32_t i = n; i-- > 0;) {
    uint64_t best = kLiteralBits + cost[i + 1];
    uint8_t best_step = 1;
    for (uint32_t len = kMinCopy; len <= matches[i].length; ++len) {
      if (kCopyBits + cost[i + len] <= best) best = kCopyBits + cost[i + len], best_step = len;
    }
    cost[i] = best;
    step[i] = best_step;
  }

  out.reserve(kHeaderSize + (cost[0] + 7) / 8);
  size_t flag_at = 0;
  int items_in_group = 8;
  for (uint32_t i = 0; i < n; i += step[i]) {
    if (items_in_group == 8) {
      flag_at = out.size();
      out.push_back(0);
      items_in_group = 0;
    }
    if (step[i] == 1) {
      out[flag_at] |= 1 << items_in_group;
      out.push_back(data[i]);
    } else {
      uint16_t pos = matches[i].ring_pos;
      out.push_back(static_cast<uint8_t>(pos));
      out.push_back(static_cast<uint8_t>(((pos >> 4) & 0xF0) | (step[i] - kMinCopy)));
    }
    ++items_in_group;
  }
  return out;
}

}  // namespace szdd
