// The context model of PPMd variant I, revision 1 (Shkarin's var.I as 7-Zip and WinZip write
// it in ZIP files): contexts of up to `maxOrder` preceding symbols, each with the states
// (symbol, frequency, successor) seen after it; binary contexts with adaptive probabilities;
// secondary escape estimation (SEE) for contexts whose symbols were partly excluded. When its
// memory runs out the model either starts afresh or cuts off its oldest branches, as the data
// declares.
//
// The decoder must repeat every step of the encoder's model, frequencies, sorting, memory
// layout and all, or the ranges stop matching; where the design is odd it is kept odd.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zip/codecs/PpmdAllocator.h"
#include "zip/codecs/PpmdRangeDecoder.h"

namespace zip::ppmd {

constexpr unsigned minOrder = 2;
constexpr unsigned maxOrder = 16;

enum class Restoration { restart, cutOff };

enum class Stop {
  none,       // stopped for output or input
  endMarker,  // the encoder's end marker: an escape beyond the order-0 context
  corrupt,
};

class Model {
public:
  // memory: in bytes, at least 1 MiB.
  Model(unsigned order, uint32_t memory, Restoration restoration);
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // Decodes up to `count` symbols into `out`, but starts none once the range decoder has
  // read beyond `limit`. Returns how many it decoded; `stop` tells why it stopped early.
  size_t decode(RangeDecoder& rc, uint8_t* out, size_t count, const uint8_t* limit, Stop& stop);

private:
  struct See {
    uint16_t summ;  // the escape frequency, scaled by 2^shift
    uint8_t shift;
    uint8_t count;  // symbols until the shift grows
  };

  static constexpr int endMarker = -1;
  static constexpr int corrupt = -2;
  static constexpr int escaped = -3;  // not in this context: on to a shorter one

  int decodeSymbol(RangeDecoder& rc);
  int decodeInContext(RangeDecoder& rc);
  int decodeInBinaryContext(RangeDecoder& rc);
  int decodeAfterEscape(RangeDecoder& rc);
  uint8_t* shorterContext(uint8_t* context, unsigned masked);
  uint32_t maskedSum(const uint8_t* states, unsigned stateCount, uint32_t* blockSums,
                     unsigned& blocks) const;
  See* makeEscapeFrequency(unsigned masked, uint32_t& escapeFrequency);
  void update1();
  void update1First();
  void update2();
  void updateBinary();
  void nextContext();
  // What every shorter context learns of a symbol found in minContext_.
  struct NewSymbol {
    uint8_t symbol;
    unsigned foundFreq;   // its frequency where it was found
    uint32_t successor;   // the context that follows it
    unsigned foundStats;  // the states of that context, less one
    unsigned othersFreq;  // the frequencies of the others there, less one for each
  };

  void updateModel();
  uint8_t* raiseInSuffix(uint8_t symbol);
  bool addSymbol(uint8_t* context, const NewSymbol& added);
  void rescale();
  uint8_t* createSuccessors(bool skip, uint8_t* suffixState, uint8_t* context);
  uint8_t* reduceOrder(uint8_t* suffixState, uint8_t* context);
  void restoreModel(uint8_t* failedContext);
  void refresh(uint8_t* context, unsigned oldUnits, unsigned scale);
  uint32_t cutOff(uint8_t* context, unsigned order);
  void restart();

  uint8_t* at(uint32_t offset) const { return memory_.at(offset); }
  uint32_t offsetOf(const uint8_t* p) const { return memory_.offsetOf(p); }

  Allocator memory_;
  const unsigned maxOrder_;
  const Restoration restoration_;

  uint8_t* minContext_ = nullptr;  // the context a symbol is looked for in
  uint8_t* maxContext_ = nullptr;  // the longest context of the text so far
  uint8_t* foundState_ = nullptr;  // the state of the symbol last decoded
  unsigned orderFall_ = 0;
  unsigned initEscape_ = 0;
  unsigned prevSuccess_ = 0;
  int32_t runLength_ = 0;
  int32_t initRunLength_ = 0;

  See see_[24][32];
  See dummySee_;
  // Rows by the binary state's frequency: 25 are used, the rest keep any frequency inside.
  uint16_t binSumm_[27][64];
  uint8_t charMask_[256];
};

}  // namespace zip::ppmd
