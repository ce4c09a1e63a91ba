#include "zip/codecs/PpmdModel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "zip/ZipError.h"

// The decoding loop keeps the range decoder in registers only when the symbol's decoding is
// part of it, and the updates after a symbol found at once are part of that.
#if defined(__GNUC__)
#define PPMD_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define PPMD_ALWAYS_INLINE inline
#endif

namespace zip::ppmd {
namespace {

// A state is 6 bytes: symbol, frequency, successor (an offset: a context, or the text where
// one is yet to be made). A context is one unit: number of states - 1, flags, then either the
// total frequency and the offset of its states, or (with one state) that state itself;
// last the offset of its suffix, the context one symbol shorter.
constexpr unsigned stateSize = 6;

inline unsigned freqOf(const uint8_t* state) {
  return state[1];
}
inline void setFreq(uint8_t* state, unsigned freq) {
  state[1] = static_cast<uint8_t>(freq);
}
inline uint32_t successorOf(const uint8_t* state) {
  return load32(state + 2);
}
inline void setSuccessor(uint8_t* state, uint32_t successor) {
  store32(state + 2, successor);
}
inline void copyState(uint8_t* to, const uint8_t* from) {
  std::memcpy(to, from, stateSize);
}
inline void swapStates(uint8_t* a, uint8_t* b) {
  uint8_t held[stateSize];
  copyState(held, a);
  copyState(a, b);
  copyState(b, held);
}

inline unsigned numStatsOf(const uint8_t* context) {
  return context[0];
}
inline void setNumStats(uint8_t* context, unsigned numStats) {
  context[0] = static_cast<uint8_t>(numStats);
}
inline unsigned flagsOf(const uint8_t* context) {
  return context[1];
}
inline void setFlags(uint8_t* context, unsigned flags) {
  context[1] = static_cast<uint8_t>(flags);
}
inline unsigned summFreqOf(const uint8_t* context) {
  return load16(context + 2);
}
inline void setSummFreq(uint8_t* context, uint32_t summFreq) {
  store16(context + 2, summFreq);
}
inline uint32_t statsOf(const uint8_t* context) {
  return load32(context + 4);
}
inline void setStats(uint8_t* context, uint32_t stats) {
  store32(context + 4, stats);
}
inline uint32_t suffixOf(const uint8_t* context) {
  return load32(context + 8);
}
inline void setSuffix(uint8_t* context, uint32_t suffix) {
  store32(context + 8, suffix);
}
inline uint8_t* oneStateOf(uint8_t* context) {
  return context + 2;
}

// Context flags: its frequencies were halved; one of its symbols is 0x40 or above; the
// symbol that led to it is.
constexpr unsigned flagRescaled = 0x04;
constexpr unsigned flagHigh = 0x08;
constexpr unsigned flagPrevHigh = 0x10;
inline unsigned highFlag(unsigned symbol) {
  return symbol >= 0x40 ? flagHigh : 0;
}
inline unsigned prevHighFlag(unsigned symbol) {
  return symbol >= 0x40 ? flagPrevHigh : 0;
}

constexpr unsigned maxFreq = 124;
constexpr unsigned intBits = 7;
constexpr unsigned periodBits = 7;
constexpr unsigned binScale = 1 << (intBits + periodBits);

constexpr std::array<uint8_t, 16> expEscape = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr std::array<uint16_t, 8> initBinEscape = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                                   0x64A1, 0x5ABC, 0x6632, 0x6051};

struct Tables {
  // Contexts grouped by their number of states, for SEE and the binary probabilities.
  std::array<uint8_t, 260> ns2Index{};
  std::array<uint8_t, 256> ns2BinIndex{};
  // The row of a binary context's probabilities, by its state's frequency.
  std::array<uint8_t, 256> binRow{};
};

constexpr Tables makeTables() {
  Tables tables;
  tables.ns2BinIndex[0] = 0;
  tables.ns2BinIndex[1] = 2;
  for (unsigned i = 2; i < 11; ++i) tables.ns2BinIndex[i] = 4;
  for (unsigned i = 11; i < 256; ++i) tables.ns2BinIndex[i] = 6;
  unsigned i = 0;
  for (; i < 5; ++i) tables.ns2Index[i] = static_cast<uint8_t>(i);
  for (unsigned group = i, left = 1; i < 260; ++i) {
    tables.ns2Index[i] = static_cast<uint8_t>(group);
    if (--left == 0) left = ++group - 4;
  }
  for (unsigned freq = 1; freq < 256; ++freq) tables.binRow[freq] = tables.ns2Index[freq - 1];
  return tables;
}
constexpr Tables tables = makeTables();
static_assert(tables.binRow[255] < 27);

inline unsigned probabilityMean(unsigned probability) {
  return (probability + (1 << (periodBits - 2))) >> periodBits;
}

[[noreturn]] void brokenModel() {
  throw ZipError("corrupt PPMd data: the model is inconsistent");
}

// The state of `symbol` in a context of several states. The model looks up symbols in long
// state arrays whenever it adds to its contexts; on x86-64 eight states are compared at once.
// That reads up to 47 bytes past the array, which the allocator's block leaves room for.
uint8_t* findState(uint8_t* states, unsigned numStats, uint8_t symbol) {
  const unsigned count = numStats + 1;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(symbol));
  for (unsigned first = 0; first < count; first += 8) {
    const uint8_t* block = states + first * stateSize;
    const auto compare = [&](unsigned offset) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + offset));
      return static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
    };
    // The symbols of eight states lie at bytes 0, 6, ..., 42.
    const uint64_t hits =
        (compare(0) & 0x1041) | (compare(16) & 0x4104) << 16 | (compare(32) & 0x0410) << 32;
    if (hits != 0) {
      const unsigned index = first + static_cast<unsigned>(std::countr_zero(hits)) / stateSize;
      if (index >= count) break;
      return states + index * stateSize;
    }
  }
#else
  for (unsigned i = 0; i < count; ++i, states += stateSize) {
    if (states[0] == symbol) return states;
  }
#endif
  brokenModel();
}

}  // namespace

Model::Model(unsigned order, uint32_t memory, Restoration restoration)
    : memory_(memory), maxOrder_(order), restoration_(restoration) {
  restart();
}

void Model::restart() {
  memory_.restart();
  orderFall_ = maxOrder_;
  runLength_ = initRunLength_ = -static_cast<int32_t>(std::min(maxOrder_, 12u)) - 1;
  prevSuccess_ = 0;

  // The order-0 context, with every symbol once, is the top unit.
  uint8_t* context = memory_.hiUnit -= unitSize;
  uint8_t* states = memory_.loUnit;
  memory_.loUnit += 256 / 2 * unitSize;
  minContext_ = maxContext_ = context;
  foundState_ = states;
  setNumStats(context, 255);
  setFlags(context, 0);
  setSummFreq(context, 256 + 1);
  setStats(context, offsetOf(states));
  setSuffix(context, 0);
  for (unsigned symbol = 0; symbol < 256; ++symbol) {
    uint8_t* state = states + symbol * stateSize;
    state[0] = static_cast<uint8_t>(symbol);
    setFreq(state, 1);
    setSuccessor(state, 0);
  }

  for (auto& row : binSumm_) std::fill(std::begin(row), std::end(row), binScale / 2);
  for (unsigned i = 0, row = 0; row < 25; ++row) {
    while (tables.ns2Index[i] == row) ++i;
    for (unsigned k = 0; k < 8; ++k) {
      const auto value = static_cast<uint16_t>(binScale - initBinEscape[k] / (i + 1));
      for (unsigned column = k; column < 64; column += 8) binSumm_[row][column] = value;
    }
  }
  for (unsigned i = 0, row = 0; row < 24; ++row) {
    while (tables.ns2Index[i + 3] == row + 3) ++i;
    const auto summ = static_cast<uint16_t>((2 * i + 5) << (periodBits - 4));
    for (See& see : see_[row]) see = {summ, periodBits - 4, 7};
  }
  dummySee_ = {0, periodBits, 64};
}

Model::See* Model::makeEscapeFrequency(unsigned masked, uint32_t& escapeFrequency) {
  const uint8_t* context = minContext_;
  const unsigned numStats = numStatsOf(context);
  if (numStats == 255) {
    escapeFrequency = 1;
    return &dummySee_;
  }
  const unsigned column = (summFreqOf(context) > 11 * (numStats + 1) ? 1 : 0) +
                          (2 * numStats < numStatsOf(at(suffixOf(context))) + masked ? 2 : 0) +
                          flagsOf(context);
  See* see = &see_[tables.ns2Index[numStats + 2] - 3][column];
  const unsigned summ = see->summ;
  const unsigned mean = summ >> see->shift;
  see->summ = static_cast<uint16_t>(summ - mean);
  escapeFrequency = mean + (mean == 0 ? 1 : 0);
  return see;
}

// A symbol is looked for in the current context first; when it is not there (an escape), in
// ever shorter contexts with the symbols already refused masked out.
PPMD_ALWAYS_INLINE int Model::decodeSymbol(RangeDecoder& rc) {
  const int symbol = numStatsOf(minContext_) != 0 ? decodeInContext(rc) : decodeInBinaryContext(rc);
  return symbol == escaped ? decodeAfterEscape(rc) : symbol;
}

// A context of several states: the first is tried alone, being by far the likeliest.
PPMD_ALWAYS_INLINE int Model::decodeInContext(RangeDecoder& rc) {
  const uint8_t* context = minContext_;
  uint8_t* state = at(statsOf(context));
  const unsigned summFreq = summFreqOf(context);
  uint32_t count;
  if (!rc.threshold(summFreq, count)) return corrupt;
  uint32_t high = freqOf(state);
  if (count < high) {
    rc.decode(0, high);
    foundState_ = state;
    const uint8_t symbol = state[0];
    update1First();
    return symbol;
  }
  prevSuccess_ = 0;
  for (unsigned i = numStatsOf(context); i != 0; --i) {
    state += stateSize;
    high += freqOf(state);
    if (high > count) {
      rc.decode(high - freqOf(state), freqOf(state));
      foundState_ = state;
      const uint8_t symbol = state[0];
      update1();
      return symbol;
    }
  }
  if (count >= summFreq) return corrupt;
  rc.decode(high, summFreq - high);
  std::memset(charMask_, 0xFF, sizeof charMask_);
  const uint8_t* states = at(statsOf(context));
  for (unsigned i = 0; i <= numStatsOf(context); ++i) charMask_[states[i * stateSize]] = 0;
  return escaped;
}

// A context of one state: its probability comes from the binary table.
PPMD_ALWAYS_INLINE int Model::decodeInBinaryContext(RangeDecoder& rc) {
  uint8_t* context = minContext_;
  uint8_t* state = oneStateOf(context);
  const unsigned column = tables.ns2BinIndex[numStatsOf(at(suffixOf(context)))] + prevSuccess_ +
                          flagsOf(context) + ((runLength_ >> 26) & 0x20);
  uint16_t& probability = binSumm_[tables.binRow[freqOf(state)]][column & 63];
  if (rc.binaryThreshold() < probability) {
    rc.decode(0, probability);
    probability =
        static_cast<uint16_t>(probability + (1 << intBits) - probabilityMean(probability));
    foundState_ = state;
    const uint8_t symbol = state[0];
    updateBinary();
    return symbol;
  }
  rc.decode(probability, binScale - probability);
  probability = static_cast<uint16_t>(probability - probabilityMean(probability));
  initEscape_ = expEscape[probability >> 10];
  std::memset(charMask_, 0xFF, sizeof charMask_);
  charMask_[state[0]] = 0;
  prevSuccess_ = 0;
  return escaped;
}

// The next shorter context with more states than the `masked` ones already refused, or nullptr
// past the order-0 context (the end marker). Each has more states than the last, so there are
// at most 256 steps.
PPMD_ALWAYS_INLINE uint8_t* Model::shorterContext(uint8_t* context, unsigned masked) {
  unsigned steps = 0;
  do {
    ++orderFall_;
    const uint32_t suffix = suffixOf(context);
    if (suffix == 0) return nullptr;
    context = at(suffix);
    if (++steps > 256) brokenModel();
  } while (numStatsOf(context) == masked);
  if (numStatsOf(context) < masked) brokenModel();
  return context;
}

// The sum of the unmasked states' frequencies. The running sum is kept every 16 states in
// blockSums (blocks of them), so that the symbol is then looked for in one block of them.
PPMD_ALWAYS_INLINE uint32_t Model::maskedSum(const uint8_t* states, unsigned stateCount,
                                             uint32_t* blockSums, unsigned& blocks) const {
  blocks = 0;
  uint32_t high = 0;
  const uint8_t* state = states;
  for (; blocks < stateCount / 16; ++blocks, state += 16 * stateSize) {
    uint32_t even = 0;
    uint32_t odd = 0;
    for (unsigned k = 0; k < 16 * stateSize; k += 2 * stateSize) {
      even += freqOf(state + k) & charMask_[state[k]];
      odd += freqOf(state + k + stateSize) & charMask_[state[k + stateSize]];
    }
    high += even + odd;
    blockSums[blocks] = high;
  }
  for (unsigned k = 0; k < stateCount % 16; ++k, state += stateSize) {
    high += freqOf(state) & charMask_[state[0]];
  }
  return high;
}

// Escapes: on to shorter contexts, with the symbols already refused masked out. The masked sum
// is taken first without remembering the states (cheaper than keeping a pointer to each
// unmasked one); the states are walked again only to find the symbol or to mask them.
PPMD_ALWAYS_INLINE int Model::decodeAfterEscape(RangeDecoder& rc) {
  uint8_t* context = minContext_;
  for (;;) {
    const unsigned masked = numStatsOf(context);
    context = shorterContext(context, masked);
    if (context == nullptr) return endMarker;
    minContext_ = context;

    uint8_t* const states = at(statsOf(context));
    const unsigned stateCount = numStatsOf(context) + 1;
    uint32_t blockSums[256 / 16];
    unsigned blocks;
    const uint32_t high = maskedSum(states, stateCount, blockSums, blocks);

    uint32_t escapeFrequency;
    See* see = makeEscapeFrequency(masked, escapeFrequency);
    const uint32_t total = escapeFrequency + high;
    uint32_t count;
    if (!rc.threshold(total, count)) return corrupt;
    if (count < high) {
      unsigned block = 0;
      while (block < blocks && blockSums[block] <= count) ++block;
      uint32_t cumulative = block > 0 ? blockSums[block - 1] : 0;
      uint8_t* state = states + block * 16 * stateSize;
      for (;; state += stateSize) {
        cumulative += freqOf(state) & charMask_[state[0]];
        if (cumulative > count) break;
      }
      rc.decode(cumulative - freqOf(state), freqOf(state));
      if (see->shift < periodBits && --see->count == 0) {
        see->summ = static_cast<uint16_t>(see->summ << 1);
        see->count = static_cast<uint8_t>(3 << see->shift++);
      }
      foundState_ = state;
      const uint8_t symbol = state[0];
      update2();
      return symbol;
    }
    if (count >= total) return corrupt;
    rc.decode(high, total - high);
    see->summ = static_cast<uint16_t>(see->summ + total);
    for (unsigned k = 0; k < stateCount; ++k) charMask_[states[k * stateSize]] = 0;
  }
}

size_t Model::decode(RangeDecoder& rc, uint8_t* out, size_t count, const uint8_t* limit,
                     Stop& stop) {
  RangeDecoder local = rc;
  size_t decoded = 0;
  stop = Stop::none;
  while (decoded < count && local.next <= limit) {
    const int symbol = decodeSymbol(local);
    if (symbol < 0) {
      stop = symbol == endMarker ? Stop::endMarker : Stop::corrupt;
      break;
    }
    out[decoded++] = static_cast<uint8_t>(symbol);
  }
  rc = local;
  return decoded;
}

// The first state of a context of several was decoded.
PPMD_ALWAYS_INLINE void Model::update1First() {
  uint8_t* state = foundState_;
  uint8_t* context = minContext_;
  const unsigned summFreq = summFreqOf(context);
  unsigned freq = freqOf(state);
  prevSuccess_ = 2 * freq >= summFreq ? 1 : 0;
  runLength_ += static_cast<int32_t>(prevSuccess_);
  setSummFreq(context, summFreq + 4);
  freq += 4;
  setFreq(state, freq);
  if (freq > maxFreq) rescale();
  nextContext();
}

// Another state of a context of several: it moves up one place when it outgrew the one before.
PPMD_ALWAYS_INLINE void Model::update1() {
  uint8_t* state = foundState_;
  uint8_t* context = minContext_;
  const unsigned freq = freqOf(state) + 4;
  setSummFreq(context, summFreqOf(context) + 4);
  setFreq(state, freq);
  if (freq > freqOf(state - stateSize)) {
    swapStates(state, state - stateSize);
    foundState_ = state - stateSize;
    if (freq > maxFreq) rescale();
  }
  nextContext();
}

// A state found after escapes.
void Model::update2() {
  uint8_t* state = foundState_;
  const unsigned freq = freqOf(state) + 4;
  runLength_ = initRunLength_;
  setSummFreq(minContext_, summFreqOf(minContext_) + 4);
  setFreq(state, freq);
  if (freq > maxFreq) rescale();
  updateModel();
  minContext_ = maxContext_;
}

PPMD_ALWAYS_INLINE void Model::updateBinary() {
  const unsigned freq = freqOf(foundState_);
  setFreq(foundState_, freq + (freq < 196 ? 1 : 0));
  prevSuccess_ = 1;
  ++runLength_;
  nextContext();
}

PPMD_ALWAYS_INLINE void Model::nextContext() {
  uint8_t* successor = at(successorOf(foundState_));
  if (orderFall_ == 0 && successor >= memory_.unitsStart) {
    maxContext_ = minContext_ = successor;
  } else {
    updateModel();
    minContext_ = maxContext_;
  }
}

// Halves the frequencies of the context (found state first, the rest sorted again); states
// that fall to zero leave it.
void Model::rescale() {
  uint8_t* context = minContext_;
  uint8_t* stats = at(statsOf(context));
  uint8_t* state = foundState_;
  if (state != stats) {
    uint8_t held[stateSize];
    copyState(held, state);
    std::memmove(stats + stateSize, stats, static_cast<size_t>(state - stats));
    copyState(stats, held);
    state = stats;
  }
  unsigned escFreq = summFreqOf(context) - freqOf(state);
  const unsigned adder = orderFall_ != 0 ? 1 : 0;
  unsigned sumFreq = (freqOf(state) + 4 + adder) >> 1;
  setFreq(state, sumFreq);
  for (unsigned i = numStatsOf(context); i != 0; --i) {
    state += stateSize;
    unsigned freq = freqOf(state);
    escFreq -= freq;
    freq = (freq + adder) >> 1;
    sumFreq += freq;
    setFreq(state, freq);
    if (freq > freqOf(state - stateSize)) {
      uint8_t held[stateSize];
      copyState(held, state);
      uint8_t* place = state;
      do {
        copyState(place, place - stateSize);
        place -= stateSize;
      } while (place != stats && freq > freqOf(place - stateSize));
      copyState(place, held);
    }
  }

  if (freqOf(state) == 0) {
    unsigned removed = 0;
    do {
      ++removed;
      state -= stateSize;
    } while (freqOf(state) == 0);
    escFreq += removed;
    const unsigned numStats = numStatsOf(context);
    const unsigned newNumStats = numStats - removed;
    setNumStats(context, newNumStats);
    const unsigned oldUnits = (numStats + 2) >> 1;
    if (newNumStats == 0) {
      if (escFreq == 0) brokenModel();
      const unsigned freq = std::min((2 * freqOf(stats) + escFreq - 1) / escFreq, maxFreq / 3);
      setFlags(context, (flagsOf(context) & flagPrevHigh) + highFlag(stats[0]));
      uint8_t* one = oneStateOf(context);
      copyState(one, stats);
      setFreq(one, freq);
      foundState_ = one;
      memory_.freeBlock(stats, indexOf(oldUnits));
      return;
    }
    const unsigned newUnits = (newNumStats + 2) >> 1;
    if (oldUnits != newUnits) {
      setStats(context, offsetOf(memory_.shrinkUnits(stats, oldUnits, newUnits)));
    }
  }
  setSummFreq(context, sumFreq + escFreq - (escFreq >> 1));
  setFlags(context, flagsOf(context) | flagRescaled);
  foundState_ = at(statsOf(context));
}

// Makes the contexts that follow the found symbol in the chain from `context` up: the found
// state (unless skipped) and the suffix states whose successor is still the raw text get one
// new binary context each, chained by suffix. suffixState: the state already found in the
// first suffix, if any. nullptr when memory is exhausted.
uint8_t* Model::createSuccessors(bool skip, uint8_t* suffixState, uint8_t* context) {
  const uint32_t upBranch = successorOf(foundState_);
  const uint8_t symbol = foundState_[0];
  uint8_t* states[maxOrder + 2];
  unsigned count = 0;
  if (!skip) states[count++] = foundState_;
  while (suffixOf(context) != 0) {
    context = at(suffixOf(context));
    uint8_t* state;
    if (suffixState != nullptr) {
      state = suffixState;
      suffixState = nullptr;
    } else if (numStatsOf(context) != 0) {
      state = findState(at(statsOf(context)), numStatsOf(context), symbol);
      if (freqOf(state) < maxFreq - 9) {
        setFreq(state, freqOf(state) + 1);
        setSummFreq(context, summFreqOf(context) + 1);
      }
    } else {
      state = oneStateOf(context);
      const bool binarySuffix = numStatsOf(at(suffixOf(context))) == 0;
      setFreq(state, freqOf(state) + (binarySuffix && freqOf(state) < 24 ? 1 : 0));
    }
    const uint32_t successor = successorOf(state);
    if (successor != upBranch) {
      context = at(successor);
      if (count == 0) return context;
      break;
    }
    if (count == std::size(states)) brokenModel();
    states[count++] = state;
  }

  const uint8_t newSymbol = *at(upBranch);
  const uint32_t newSuccessor = upBranch + 1;
  const unsigned flags = prevHighFlag(symbol) + highFlag(newSymbol);
  unsigned newFreq;
  if (numStatsOf(context) == 0) {
    newFreq = freqOf(oneStateOf(context));
  } else {
    const uint8_t* state = findState(at(statsOf(context)), numStatsOf(context), newSymbol);
    const uint32_t cf = freqOf(state) - 1u;
    const uint32_t s0 = summFreqOf(context) - numStatsOf(context) - cf;
    if (2 * cf <= s0) {
      newFreq = 1 + (5 * cf > s0 ? 1 : 0);
    } else {
      newFreq = 1 + (cf + 2 * s0 - 3) / s0;
    }
  }

  while (count != 0) {
    uint8_t* child = memory_.allocContext();
    if (child == nullptr) return nullptr;
    setFlags(child, flags);
    setNumStats(child, 0);
    uint8_t* one = oneStateOf(child);
    one[0] = newSymbol;
    setFreq(one, newFreq);
    setSuccessor(one, newSuccessor);
    setSuffix(child, offsetOf(context));
    setSuccessor(states[--count], offsetOf(child));
    context = child;
  }
  return context;
}

// The found state has no successor yet: it and the suffix states without one point at the
// text, and the first suffix state with a successor gives the context to go on from.
uint8_t* Model::reduceOrder(uint8_t* suffixState, uint8_t* context) {
  uint8_t* const first = context;
  const uint32_t upBranch = offsetOf(memory_.text);
  const uint8_t symbol = foundState_[0];
  setSuccessor(foundState_, upBranch);
  ++orderFall_;
  uint8_t* state;
  for (;;) {
    if (suffixState != nullptr) {
      context = at(suffixOf(context));
      state = suffixState;
      suffixState = nullptr;
    } else {
      if (suffixOf(context) == 0) return context;
      context = at(suffixOf(context));
      if (numStatsOf(context) != 0) {
        state = findState(at(statsOf(context)), numStatsOf(context), symbol);
        if (freqOf(state) < maxFreq - 9) {
          setFreq(state, freqOf(state) + 2);
          setSummFreq(context, summFreqOf(context) + 2);
        }
      } else {
        state = oneStateOf(context);
        setFreq(state, freqOf(state) + (freqOf(state) < 32 ? 1 : 0));
      }
    }
    if (successorOf(state) != 0) break;
    setSuccessor(state, upBranch);
    ++orderFall_;
  }
  if (successorOf(state) <= upBranch) {
    uint8_t* const found = foundState_;
    foundState_ = state;
    uint8_t* successor = createSuccessors(false, nullptr, context);
    setSuccessor(state, successor != nullptr ? offsetOf(successor) : 0);
    foundState_ = found;
  }
  const uint32_t successor = successorOf(state);
  if (orderFall_ == 1 && first == maxContext_) {
    setSuccessor(foundState_, successor);
    --memory_.text;
  }
  return successor != 0 ? at(successor) : nullptr;
}

// Adds the found symbol to the contexts from the longest down to where it was found, and
// moves on to the context that follows it.
void Model::updateModel() {
  uint8_t* const found = foundState_;
  const uint8_t symbol = found[0];
  const unsigned foundFreq = freqOf(found);
  uint32_t minSuccessor = successorOf(found);

  uint8_t* const suffixState = foundFreq < maxFreq / 4 ? raiseInSuffix(symbol) : nullptr;

  uint8_t* context = maxContext_;
  if (orderFall_ == 0 && minSuccessor != 0) {
    uint8_t* successor = createSuccessors(true, suffixState, minContext_);
    if (successor == nullptr) {
      setSuccessor(foundState_, 0);
      restoreModel(context);
      return;
    }
    setSuccessor(foundState_, offsetOf(successor));
    maxContext_ = successor;
    return;
  }

  *memory_.text++ = symbol;
  if (memory_.text >= memory_.unitsStart) {
    restoreModel(context);
    return;
  }
  uint32_t maxSuccessor = offsetOf(memory_.text);
  if (minSuccessor == 0) {
    uint8_t* successor = reduceOrder(suffixState, minContext_);
    if (successor == nullptr) {
      restoreModel(context);
      return;
    }
    minSuccessor = offsetOf(successor);
  } else if (at(minSuccessor) < memory_.unitsStart) {
    uint8_t* successor = createSuccessors(false, suffixState, minContext_);
    if (successor == nullptr) {
      restoreModel(context);
      return;
    }
    minSuccessor = offsetOf(successor);
  }
  if (--orderFall_ == 0) {
    maxSuccessor = minSuccessor;
    if (maxContext_ != minContext_) --memory_.text;
  }

  const unsigned numStats = numStatsOf(minContext_);
  const unsigned s0 = summFreqOf(minContext_) - numStats - foundFreq;
  const NewSymbol added{symbol, foundFreq, maxSuccessor, numStats, s0};
  for (; context != minContext_; context = at(suffixOf(context))) {
    if (!addSymbol(context, added)) {
      restoreModel(context);
      return;
    }
  }
  maxContext_ = minContext_ = at(minSuccessor);
}

// The found symbol's state in the next shorter context gains in frequency, moved ahead of its
// neighbour when it passes it; returns that state, or nullptr in the order-0 context.
uint8_t* Model::raiseInSuffix(uint8_t symbol) {
  if (suffixOf(minContext_) == 0) return nullptr;
  uint8_t* context = at(suffixOf(minContext_));
  if (numStatsOf(context) == 0) {
    uint8_t* state = oneStateOf(context);
    if (freqOf(state) < 32) setFreq(state, freqOf(state) + 1);
    return state;
  }
  uint8_t* stats = at(statsOf(context));
  uint8_t* state = stats;
  if (state[0] != symbol) {
    state = findState(stats, numStatsOf(context), symbol);
    if (freqOf(state) >= freqOf(state - stateSize)) {
      swapStates(state, state - stateSize);
      state -= stateSize;
    }
  }
  if (freqOf(state) < maxFreq - 9) {
    setFreq(state, freqOf(state) + 2);
    setSummFreq(context, summFreqOf(context) + 2);
  }
  return state;
}

// Adds the symbol to a context that lacked it, with a first frequency estimated from how often
// it came in the context it was found in. False when memory ran out (nothing added).
bool Model::addSymbol(uint8_t* context, const NewSymbol& added) {
  const unsigned contextStats = numStatsOf(context);
  uint32_t sum;
  if (contextStats != 0) {
    if ((contextStats & 1) != 0) {
      uint8_t* grown = memory_.growUnits(at(statsOf(context)), (contextStats + 1) >> 1);
      if (grown == nullptr) return false;
      setStats(context, offsetOf(grown));
    }
    sum = summFreqOf(context) + (3 * contextStats + 1 < added.foundStats ? 1 : 0);
  } else {
    uint8_t* states = memory_.allocUnits(0);
    if (states == nullptr) return false;
    uint8_t* one = oneStateOf(context);
    unsigned freq = freqOf(one);
    copyState(states, one);
    setStats(context, offsetOf(states));
    freq = freq < maxFreq / 4 - 1 ? freq * 2 : maxFreq - 4;
    setFreq(states, freq);
    sum = freq + initEscape_ + (added.foundStats > 2 ? 1 : 0);
  }

  uint8_t* state = at(statsOf(context)) + (contextStats + 1) * stateSize;
  uint32_t cf = 2 * (sum + 6) * added.foundFreq;
  const uint32_t sf = added.othersFreq + sum;
  state[0] = added.symbol;
  setNumStats(context, contextStats + 1);
  setSuccessor(state, added.successor);
  setFlags(context, flagsOf(context) | highFlag(added.symbol));
  if (cf < 6 * sf) {
    cf = 1 + (cf > sf ? 1 : 0) + (cf >= 4 * sf ? 1 : 0);
    sum += 4;
  } else {
    cf = 4 + (cf > 9 * sf ? 1 : 0) + (cf > 12 * sf ? 1 : 0) + (cf > 15 * sf ? 1 : 0);
    sum += cf;
  }
  setSummFreq(context, sum);
  setFreq(state, cf);
  return true;
}

// Memory ran out while the contexts from the longest to failedContext had the new symbol
// added: it is taken back from them, then the model starts afresh or is cut down, as the data
// declared (cut down only while it still fills half its memory).
void Model::restoreModel(uint8_t* failedContext) {
  memory_.text = at(0);
  uint8_t* context = maxContext_;
  for (; context != failedContext; context = at(suffixOf(context))) {
    const unsigned numStats = numStatsOf(context) - 1;
    setNumStats(context, numStats);
    if (numStats == 0) {
      uint8_t* stats = at(statsOf(context));
      setFlags(context, (flagsOf(context) & flagPrevHigh) + highFlag(stats[0]));
      uint8_t* one = oneStateOf(context);
      one[0] = stats[0];
      setFreq(one, (freqOf(stats) + 11) >> 3);
      setSuccessor(one, successorOf(stats));
      memory_.freeUnit(stats);
    } else {
      refresh(context, (numStats + 3) >> 1, 0);
    }
  }
  for (; context != minContext_; context = at(suffixOf(context))) {
    if (numStatsOf(context) == 0) {
      uint8_t* one = oneStateOf(context);
      setFreq(one, (freqOf(one) + 1) >> 1);
    } else {
      const auto summFreq = static_cast<uint16_t>(summFreqOf(context) + 4);
      setSummFreq(context, summFreq);
      if (summFreq > 128 + 4 * numStatsOf(context)) {
        refresh(context, (numStatsOf(context) + 2) >> 1, 1);
      }
    }
  }

  if (restoration_ == Restoration::restart || memory_.usedMemory() < (memory_.size() >> 1)) {
    restart();
    return;
  }
  while (suffixOf(maxContext_) != 0) maxContext_ = at(suffixOf(maxContext_));
  // Each round frees what the last left without successors; a model that will not shrink
  // could not have been written.
  unsigned rounds = 0;
  do {
    if (++rounds > 64) brokenModel();
    cutOff(maxContext_, 0);
    memory_.expandTextArea();
  } while (memory_.usedMemory() > 3 * (memory_.size() >> 2));
  memory_.glueCount = 0;
  orderFall_ = maxOrder_;
}

// After states were removed from a context: its states move to a block of their size and
// their frequencies are halved when `scale` is 1; the escape frequency takes what left.
void Model::refresh(uint8_t* context, unsigned oldUnits, unsigned scale) {
  unsigned i = numStatsOf(context);
  uint8_t* state = memory_.shrinkUnits(at(statsOf(context)), oldUnits, (i + 2) >> 1);
  setStats(context, offsetOf(state));
  // A total this large would strain the range coder: it is halved as well.
  scale |= summFreqOf(context) >= (1u << 15) ? 1 : 0;

  unsigned high = state[0] >= 0x40 ? 1 : 0;
  unsigned freq = freqOf(state);
  unsigned escFreq = summFreqOf(context) - freq;
  freq = (freq + scale) >> scale;
  unsigned sumFreq = freq;
  setFreq(state, freq);
  do {
    state += stateSize;
    freq = freqOf(state);
    escFreq -= freq;
    freq = (freq + scale) >> scale;
    sumFreq += freq;
    setFreq(state, freq);
    high |= state[0] >= 0x40 ? 1 : 0;
  } while (--i != 0);
  setSummFreq(context, sumFreq + ((escFreq + scale) >> scale));
  setFlags(context,
           (flagsOf(context) & (flagPrevHigh + flagRescaled * scale)) + (high != 0 ? flagHigh : 0));
}

// Cuts the tree below `context` down: successors into the text and beyond the model's order
// go, contexts left with no successor above order 9 go, and state arrays near the bottom of
// the units move up so the text can take the space back. Returns the context's offset, or 0
// when it went.
uint32_t Model::cutOff(uint8_t* context, unsigned order) {
  int numStats = static_cast<int>(numStatsOf(context));
  if (numStats == 0) {
    uint8_t* state = oneStateOf(context);
    uint32_t successor = successorOf(state);
    if (at(successor) >= memory_.unitsStart) {
      successor = order < maxOrder_ ? cutOff(at(successor), order + 1) : 0;
      setSuccessor(state, successor);
      if (successor != 0 || order <= 9) return offsetOf(context);
    }
    memory_.freeUnit(context);
    return 0;
  }

  const unsigned units = (static_cast<unsigned>(numStats) + 2) >> 1;
  uint8_t* stats = memory_.moveUnitsUp(at(statsOf(context)), units);
  setStats(context, offsetOf(stats));
  for (int i = numStats; i >= 0; --i) {
    uint8_t* state = stats + i * stateSize;
    const uint32_t successor = successorOf(state);
    if (at(successor) < memory_.unitsStart) {
      // The last state kept takes its place; the order-0 context keeps every symbol.
      uint8_t* last = stats + (numStats--) * stateSize;
      if (order != 0) {
        if (state != last) copyState(state, last);
      } else {
        swapStates(state, last);
        setSuccessor(last, 0);
      }
    } else {
      setSuccessor(state, order < maxOrder_ ? cutOff(at(successor), order + 1) : 0);
    }
  }

  if (numStats != static_cast<int>(numStatsOf(context)) && order != 0) {
    if (numStats < 0) {
      memory_.freeUnits(stats, units);
      memory_.freeUnit(context);
      return 0;
    }
    setNumStats(context, static_cast<unsigned>(numStats));
    if (numStats == 0) {
      setFlags(context, (flagsOf(context) & flagPrevHigh) + highFlag(stats[0]));
      uint8_t* one = oneStateOf(context);
      one[0] = stats[0];
      setFreq(one, (freqOf(stats) + 11) >> 3);
      setSuccessor(one, successorOf(stats));
      memory_.freeUnits(stats, units);
    } else {
      refresh(context, units, summFreqOf(context) > 16 * static_cast<unsigned>(numStats) ? 1 : 0);
    }
  }
  return offsetOf(context);
}

}  // namespace zip::ppmd
