#include "display/page_buffer.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qz {

namespace {
constexpr std::size_t kAlignment = 4096;
[[maybe_unused]] constexpr std::size_t kHugePage = std::size_t{2} << 20;
std::size_t round_up(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }
}  // namespace

PageBuffer::PageBuffer(std::size_t bytes, Sharing sharing) : size_(bytes) {
  length_ = round_up(std::max<std::size_t>(bytes, 1), kAlignment);
#if defined(__linux__)
  if (sharing == Sharing::kPrivate && length_ >= kHugePage) {
    // Reserve a huge page more than needed and keep the aligned part.
    length_ = round_up(length_, kHugePage);
    void* p = mmap(nullptr, length_ + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    auto base = reinterpret_cast<std::uintptr_t>(p);
    std::uintptr_t aligned = round_up(base, kHugePage);
    if (aligned > base) munmap(p, aligned - base);
    if (std::uintptr_t tail = base + kHugePage - aligned; tail > 0)
      munmap(reinterpret_cast<void*>(aligned + length_), tail);
    madvise(reinterpret_cast<void*>(aligned), length_, MADV_HUGEPAGE);
    data_ = reinterpret_cast<std::uint8_t*>(aligned);
    kind_ = Kind::kMapped;
    return;
  }
  if (sharing == Sharing::kShareable) {
    const int fd = memfd_create("qzgfx-page", MFD_CLOEXEC);
    void* p = fd >= 0 && ftruncate(fd, off_t(length_)) == 0
                  ? mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                  : MAP_FAILED;
    if (p != MAP_FAILED) {
#if defined(MADV_POPULATE_WRITE)
      // One call maps every page instead of a fault per 4 KiB page on the
      // first clear (shared memory gets no huge pages); a kernel without it
      // refuses, and the faults come as before.
      madvise(p, length_, MADV_POPULATE_WRITE);
#endif
      data_ = static_cast<std::uint8_t*>(p);
      share_fd_ = fd;
      kind_ = Kind::kShared;
      return;
    }
    if (fd >= 0) close(fd);
  }
  void* p = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t*>(p);
  kind_ = Kind::kMapped;
#else
  (void)sharing;
  data_ = static_cast<std::uint8_t*>(::operator new(length_, std::align_val_t(kAlignment)));
  std::fill_n(data_, length_, std::uint8_t{0});
  kind_ = Kind::kHeap;
#endif
}

PageBuffer::~PageBuffer() { release(); }

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      length_(std::exchange(other.length_, 0)),
      share_fd_(std::exchange(other.share_fd_, -1)),
      kind_(std::exchange(other.kind_, Kind::kNone)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    length_ = std::exchange(other.length_, 0);
    share_fd_ = std::exchange(other.share_fd_, -1);
    kind_ = std::exchange(other.kind_, Kind::kNone);
  }
  return *this;
}

void PageBuffer::release() {
  switch (kind_) {
#if defined(__linux__)
    case Kind::kShared:
      munmap(data_, length_);
      close(share_fd_);
      break;
    case Kind::kMapped: munmap(data_, length_); break;
#endif
    case Kind::kHeap: ::operator delete(data_, std::align_val_t(kAlignment)); break;
    default: break;
  }
  data_ = nullptr;
  kind_ = Kind::kNone;
  share_fd_ = -1;
}

}  // namespace qz
