#include "zip/codecs/PpmdAllocator.h"

#include <cstdint>
#include <new>

#include "zip/ZipError.h"

#include "platform/LargeBlock.h"

namespace zip::ppmd {
namespace {

void copyUnits(uint8_t* to, const uint8_t* from, unsigned units) {
  std::memmove(to, from, size_t{units} * unitSize);
}

[[noreturn]] void brokenModel() {
  throw ZipError("corrupt PPMd data: the model's memory is inconsistent");
}

}  // namespace

// The block is taken from the system on its own (platform::LargeBlock): glibc's heap, once a
// large block has been freed, serves the next models from memory it keeps, so that one
// extraction after another would hold a freed model besides the one in use. Only what the
// model uses becomes resident. The slack after the block lets the model compare a state array
// a vector at a time.
//
// The model jumps all over its memory, and with pages of 4 KiB nearly every context costs a
// TLB miss and every new page a fault: it asks for huge pages (transparent ones on Linux, where
// the system gives them on request, as Debian does; 7-Zip asks for them too). Text decoded
// nearly a tenth faster here.
namespace {

size_t blockBytes(uint32_t size) {
  return size_t{size} + Allocator::slack;
}

}  // namespace

uint8_t* Allocator::allocate(size_t bytes) {
  void* block = platform::allocateLargeBlock(bytes, platform::PageUse::Scattered);
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<uint8_t*>(block);
}
void Allocator::Release::operator()(uint8_t* block) const {
  platform::releaseLargeBlock(block, bytes);
}

Allocator::Allocator(uint32_t size)
    : size_(size), base_(allocate(blockBytes(size)), Release{blockBytes(size)}) {}

void Allocator::restart() {
  freeList_.fill(0);
  stamps_.fill(0);
  text = at(0);
  hiUnit = text + size_;
  loUnit = unitsStart = hiUnit - size_ / 8 / unitSize * 7 * unitSize;
  glueCount = 0;
}

// The rest of a block cut to a smaller size is freed as one block, or two when no size fits.
void Allocator::splitBlock(uint8_t* block, unsigned oldIndex, unsigned newIndex) {
  const unsigned rest = unitsOf(oldIndex) - unitsOf(newIndex);
  uint8_t* tail = block + unitsOf(newIndex) * unitSize;
  unsigned index = indexOf(rest);
  if (unitsOf(index) != rest) {
    const unsigned units = unitsOf(--index);
    insertNode(tail + units * unitSize, rest - units - 1);
  }
  insertNode(tail, index);
}

void Allocator::insertRun(uint8_t* node, uint32_t units) {
  for (; units > maxUnits; units -= maxUnits, node += maxUnits * unitSize) {
    insertNode(node, indexCount - 1);
  }
  unsigned index = indexOf(units);
  if (unitsOf(index) != units) {
    const unsigned first = unitsOf(--index);
    insertNode(node + first * unitSize, units - first - 1);
  }
  insertNode(node, index);
}

// Joins neighbouring free blocks into runs and lists the runs again. The lists are walked
// from the smallest size up and each run keeps the place of its first block, as the encoder
// does, since the order of the lists decides where later blocks land.
void Allocator::glueFreeBlocks() {
  glueCount = 1 << 13;
  stamps_.fill(0);
  // A guard at the start of the free space stops runs there; the top unit is always the
  // order-0 context, which stops them at the end of the block.
  if (loUnit != hiUnit) store32(loUnit, 0);

  const uint8_t* end = at(size_);
  uint8_t head[4];
  uint8_t* link = head;
  for (unsigned index = 0; index < indexCount; ++index) {
    uint32_t offset = freeList_[index];
    freeList_[index] = 0;
    while (offset != 0) {
      uint8_t* node = at(offset);
      uint32_t units = nodeUnits(node);
      store32(link, offset);
      offset = next(node);
      if (units == 0) continue;  // taken into a run already
      link = node + 4;
      for (;;) {
        uint8_t* neighbour = node + size_t{units} * unitSize;
        if (neighbour >= end) brokenModel();
        if (stamp(neighbour) != emptyStamp) break;
        units += nodeUnits(neighbour);
        store32(neighbour + 8, 0);
        store32(node + 8, units);
      }
    }
  }
  store32(link, 0);

  for (uint32_t offset = load32(head); offset != 0;) {
    uint8_t* node = at(offset);
    const uint32_t units = nodeUnits(node);
    offset = next(node);
    if (units != 0) insertRun(node, units);
  }
}

uint8_t* Allocator::allocUnitsRare(unsigned index) {
  if (glueCount == 0) {
    glueFreeBlocks();
    if (freeList_[index] != 0) return removeNode(index);
  }
  unsigned larger = index;
  do {
    if (++larger == indexCount) {
      // No free block is large enough: the units grow down into the text, if there is room.
      const uint32_t bytes = unitsOf(index) * unitSize;
      --glueCount;
      if (static_cast<uint32_t>(unitsStart - text) <= bytes) return nullptr;
      return unitsStart -= bytes;
    }
  } while (freeList_[larger] == 0);
  uint8_t* block = removeNode(larger);
  splitBlock(block, larger, index);
  return block;
}

uint8_t* Allocator::growUnits(uint8_t* block, unsigned units) {
  const unsigned index = indexOf(units);
  if (index == indexOf(units + 1)) return block;
  uint8_t* grown = allocUnits(index + 1);
  if (grown == nullptr) return nullptr;
  copyUnits(grown, block, units);
  insertNode(block, index);
  return grown;
}

uint8_t* Allocator::shrinkUnits(uint8_t* block, unsigned oldUnits, unsigned newUnits) {
  const unsigned oldIndex = indexOf(oldUnits);
  const unsigned newIndex = indexOf(newUnits);
  if (oldIndex == newIndex) return block;
  if (freeList_[newIndex] != 0) {
    uint8_t* moved = removeNode(newIndex);
    copyUnits(moved, block, newUnits);
    insertNode(block, oldIndex);
    return moved;
  }
  splitBlock(block, oldIndex, newIndex);
  return block;
}

uint8_t* Allocator::moveUnitsUp(uint8_t* block, unsigned units) {
  const unsigned index = indexOf(units);
  if (static_cast<uint32_t>(block - unitsStart) > (1 << 14) || offsetOf(block) > freeList_[index]) {
    return block;
  }
  uint8_t* moved = removeNode(index);
  copyUnits(moved, block, units);
  if (block != unitsStart) {
    insertNode(block, index);
  } else {
    unitsStart += unitsOf(index) * unitSize;
  }
  return moved;
}

void Allocator::expandTextArea() {
  std::array<uint32_t, indexCount> count{};
  if (loUnit != hiUnit) store32(loUnit, 0);
  uint8_t* node = unitsStart;
  while (stamp(node) == emptyStamp) {
    const uint32_t units = nodeUnits(node);
    if (units == 0 || units > maxUnits) brokenModel();
    store32(node, 0);
    ++count[indexOf(units)];
    node += units * unitSize;
  }
  unitsStart = node;

  // Those blocks, now marked by a zero stamp, leave their lists.
  for (unsigned index = 0; index < indexCount; ++index) {
    uint32_t left = count[index];
    if (left == 0) continue;
    stamps_[index] -= left;
    uint8_t* link = reinterpret_cast<uint8_t*>(&freeList_[index]);
    uint32_t offset = freeList_[index];
    for (;;) {
      if (offset == 0) brokenModel();
      uint8_t* listed = at(offset);
      offset = next(listed);
      if (stamp(listed) != 0) {
        link = listed + 4;
        continue;
      }
      store32(link, offset);
      if (--left == 0) break;
    }
  }
}

uint32_t Allocator::usedMemory() const {
  uint32_t freeUnits = 0;
  for (unsigned index = 0; index < indexCount; ++index)
    freeUnits += stamps_[index] * unitsOf(index);
  return size_ - static_cast<uint32_t>(hiUnit - loUnit) - static_cast<uint32_t>(unitsStart - text) -
         freeUnits * unitSize;
}

}  // namespace zip::ppmd
