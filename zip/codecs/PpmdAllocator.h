// The memory of a PPMd variant I model: one block of the size the data declares, never grown.
// Its bottom holds the text (the symbols seen so far, which raw successors point into), which
// grows upward; the rest is cut into units of 12 bytes, which hold contexts (one unit) and
// arrays of states (two states a unit). Blocks of units come in 38 sizes, each with a list of
// free blocks. Everything in the block refers to everything else by 32-bit offsets from its
// start, 0 standing for none (offset 0 is the start of the text, which nothing refers to).
//
// The encoder runs the same allocator, and where a block lands is part of the model: raw
// successors are told from contexts by their place below the units, and running out of
// memory restarts or cuts the model. So every choice here (which list, which end, when free
// blocks are glued) follows the original design to the unit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace zip::ppmd {

inline uint16_t load16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
inline uint32_t load32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
inline void store16(uint8_t* p, uint32_t value) {
  const auto narrow = static_cast<uint16_t>(value);
  std::memcpy(p, &narrow, sizeof narrow);
}
inline void store32(uint8_t* p, uint32_t value) {
  std::memcpy(p, &value, sizeof value);
}

constexpr uint32_t unitSize = 12;
constexpr unsigned indexCount = 38;
constexpr unsigned maxUnits = 128;

struct UnitTables {
  std::array<uint8_t, indexCount> indexToUnits{};
  std::array<uint8_t, maxUnits> unitsToIndex{};
};

// Sizes of 1 to 4 units, then steps of 2, 3 and at last 4 units up to 128.
constexpr UnitTables makeUnitTables() {
  UnitTables tables;
  unsigned units = 0;
  for (unsigned index = 0; index < indexCount; ++index) {
    const unsigned step = index >= 12 ? 4 : (index >> 2) + 1;
    for (unsigned i = 0; i < step; ++i) tables.unitsToIndex[units++] = static_cast<uint8_t>(index);
    tables.indexToUnits[index] = static_cast<uint8_t>(units);
  }
  return tables;
}
inline constexpr UnitTables unitTables = makeUnitTables();
static_assert(unitTables.indexToUnits[indexCount - 1] == maxUnits);

inline unsigned unitsOf(unsigned index) {
  return unitTables.indexToUnits[index];
}
// The smallest size of at least `units` units (1 to 128).
inline unsigned indexOf(unsigned units) {
  return unitTables.unitsToIndex[units - 1];
}

class Allocator {
public:
  // Bytes after the end of the block that may be read (never written).
  static constexpr uint32_t slack = 64;

  // size: the model's memory in bytes, at most 4 GiB - 1 - slack.
  explicit Allocator(uint32_t size);

  uint32_t size() const { return size_; }
  uint8_t* at(uint32_t offset) const { return base_.get() + offset; }
  uint32_t offsetOf(const uint8_t* p) const { return static_cast<uint32_t>(p - base_.get()); }

  // Empties the block: the text at the bottom, the units above it in the top 7/8.
  void restart();

  // A block of unitsOf(index) units; nullptr when memory is exhausted.
  uint8_t* allocUnits(unsigned index) {
    if (freeList_[index] != 0) return removeNode(index);
    const uint32_t bytes = unitsOf(index) * unitSize;
    if (static_cast<uint32_t>(hiUnit - loUnit) >= bytes) {
      uint8_t* block = loUnit;
      loUnit += bytes;
      return block;
    }
    return allocUnitsRare(index);
  }
  // One unit for a context, taken from the top of the free space first.
  uint8_t* allocContext() {
    if (hiUnit != loUnit) return hiUnit -= unitSize;
    if (freeList_[0] != 0) return removeNode(0);
    return allocUnitsRare(0);
  }
  uint8_t* allocUnitsRare(unsigned index);

  // The states of `units` units moved to a block of `units + 1` when that is of another size;
  // nullptr when memory is exhausted.
  uint8_t* growUnits(uint8_t* block, unsigned units);
  uint8_t* shrinkUnits(uint8_t* block, unsigned oldUnits, unsigned newUnits);
  // A block near the bottom of the units moved up into a free block of its size, so that the
  // bottom can go back to the text after cutting off; else the block itself.
  uint8_t* moveUnitsUp(uint8_t* block, unsigned units);
  void freeUnits(uint8_t* block, unsigned units) { insertNode(block, indexOf(units)); }
  void freeBlock(uint8_t* block, unsigned index) { insertNode(block, index); }
  // Frees one unit; the lowest unit goes back to the text instead.
  void freeUnit(uint8_t* block) {
    if (block != unitsStart) {
      insertNode(block, 0);
    } else {
      unitsStart += unitSize;
    }
  }

  // After cutting off: free blocks at the bottom of the units go back to the text.
  void expandTextArea();
  // Bytes in use by the model, the text included.
  uint32_t usedMemory() const;

  // The bounds within the block, in ascending order: the text grows from the bottom to `text`;
  // units live from `unitsStart` up, free space between `loUnit` and `hiUnit`.
  uint8_t* text = nullptr;
  uint8_t* unitsStart = nullptr;
  uint8_t* loUnit = nullptr;
  uint8_t* hiUnit = nullptr;
  // Failed searches for a large enough block before free blocks are glued again.
  uint32_t glueCount = 0;

private:
  // A free block starts with a node: stamp (all ones), offset of the next free block of its
  // size, its size in units.
  static constexpr uint32_t emptyStamp = 0xFFFFFFFF;
  static uint32_t stamp(const uint8_t* node) { return load32(node); }
  static uint32_t next(const uint8_t* node) { return load32(node + 4); }
  static uint32_t nodeUnits(const uint8_t* node) { return load32(node + 8); }

  void insertNode(uint8_t* node, unsigned index) {
    store32(node, emptyStamp);
    store32(node + 4, freeList_[index]);
    store32(node + 8, unitsOf(index));
    freeList_[index] = offsetOf(node);
    ++stamps_[index];
  }
  uint8_t* removeNode(unsigned index) {
    uint8_t* node = at(freeList_[index]);
    freeList_[index] = next(node);
    --stamps_[index];
    return node;
  }
  static uint8_t* allocate(size_t bytes);
  void splitBlock(uint8_t* block, unsigned oldIndex, unsigned newIndex);
  // Inserts a free run of any number of units as blocks of the listed sizes.
  void insertRun(uint8_t* node, uint32_t units);
  void glueFreeBlocks();

  uint32_t size_;
  struct Release {
    size_t bytes;
    void operator()(uint8_t* block) const;
  };
  std::unique_ptr<uint8_t[], Release> base_;
  std::array<uint32_t, indexCount> freeList_{};
  std::array<uint32_t, indexCount> stamps_{};  // free blocks of each size
};

}  // namespace zip::ppmd
