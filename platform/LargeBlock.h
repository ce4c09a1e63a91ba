// Memory for one large block (a codec's dictionary or model) taken from the system on its own
// rather than from the heap, and given back to it as soon as it is released.
//
// Why not the heap: glibc's allocator, once a large block has been freed, keeps serving the
// next ones from memory it holds (it raises its mapping threshold after each freed mapping), so
// that one entry after another would hold a freed dictionary besides the one in use. A block
// of its own costs a system call or two, which only pays for blocks of a megabyte or more.
#pragma once

#include <cstddef>

namespace platform {

enum class PageUse {
  Sequential,  // read and written mostly in order: ordinary pages
  Scattered,   // jumped all over: huge pages where the system gives them on request
};

// A block of at least `bytes` bytes, zero-filled, its pages untouched until used (only what is
// used becomes resident). With PageUse::Scattered on Linux it starts on a 2 MiB boundary and
// asks for transparent huge pages, which spare a TLB miss on nearly every access of a model
// that jumps through its memory. Returns nullptr when the system refuses.
void* allocateLargeBlock(std::size_t bytes, PageUse use);

// Gives a block of allocateLargeBlock, with the same size, back to the system. Nothing for
// nullptr.
void releaseLargeBlock(void* block, std::size_t bytes) noexcept;

}  // namespace platform
