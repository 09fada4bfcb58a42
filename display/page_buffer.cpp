#include "display/page_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {
constexpr std::size_t kHugePage = 2u << 20;
constexpr std::size_t kAlignment = 4096;
}  // namespace

PageBuffer::PageBuffer(std::size_t bytes) : size_(bytes) {
  if (bytes == 0) bytes = 1;
#if defined(__linux__)
  if (bytes >= kHugePage) {
    // Round up to whole huge pages so the kernel can back all of it with them.
    std::size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    // Trim to a huge-page-aligned window of `length` bytes.
    auto base = reinterpret_cast<std::uintptr_t>(p);
    std::uintptr_t aligned = (base + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > base) munmap(p, aligned - base);
    std::size_t tail = (base + length + kHugePage) - (aligned + length);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    data_ = reinterpret_cast<std::uint8_t*>(aligned);
    mapped_ = length;
    return;
  }
#endif
  std::size_t length = (bytes + kAlignment - 1) / kAlignment * kAlignment;
  data_ = static_cast<std::uint8_t*>(::operator new(length, std::align_val_t(kAlignment)));
  std::fill_n(data_, length, std::uint8_t{0});
}

PageBuffer::~PageBuffer() { release(); }

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

void PageBuffer::release() {
  if (!data_) return;
#if defined(__linux__)
  if (mapped_) {
    munmap(data_, mapped_);
    data_ = nullptr;
    return;
  }
#endif
  ::operator delete(data_, std::align_val_t(kAlignment));
  data_ = nullptr;
}
