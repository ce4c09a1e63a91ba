#include "platform/LargeBlock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace platform {
namespace {

// Mappings come in whole pages; the size is rounded so that the cuts below fall on pages too
// and a release names exactly what was mapped.
std::size_t wholePages(std::size_t bytes) {
  static const auto pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return (bytes == 0 ? 1 : bytes + pageSize - 1) / pageSize * pageSize;
}

#if defined(__linux__)
constexpr std::size_t hugePageSize = std::size_t{2} << 20;

// Huge pages need a start aligned to their size: the mapping is made one huge page larger and
// cut to the aligned block.
void* mapAlignedForHugePages(std::size_t bytes) {
  const std::size_t mapped = bytes + hugePageSize;
  void* block = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  auto* start = static_cast<std::uint8_t*>(block);
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  std::uint8_t* aligned = start + (hugePageSize - address % hugePageSize) % hugePageSize;
  if (aligned != start) ::munmap(start, static_cast<std::size_t>(aligned - start));
  const auto tail = static_cast<std::size_t>(start + mapped - (aligned + bytes));
  if (tail != 0) ::munmap(aligned + bytes, tail);
  ::madvise(aligned, bytes, MADV_HUGEPAGE);  // a request, not a condition
  return aligned;
}
#endif

}  // namespace

void* allocateLargeBlock(std::size_t bytes, PageUse use) {
  bytes = wholePages(bytes);
#if defined(__linux__)
  if (use == PageUse::Scattered) return mapAlignedForHugePages(bytes);
#else
  (void)use;
#endif
  void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void releaseLargeBlock(void* block, std::size_t bytes) noexcept {
  if (block != nullptr) ::munmap(block, wholePages(bytes));
}

}  // namespace platform
