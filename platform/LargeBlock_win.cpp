#include "platform/LargeBlock.h"

#include <windows.h>

namespace platform {

// Committed pages are zero-filled and become resident only when touched. Large pages need a
// privilege that ordinary users lack, so every block gets ordinary pages.
void* allocateLargeBlock(std::size_t bytes, PageUse) {
  return VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseLargeBlock(void* block, std::size_t) noexcept {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace platform
