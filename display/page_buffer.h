#pragma once

#include <cstddef>
#include <cstdint>

namespace qz {

// One framebuffer page: zero-filled memory whose start lies on a page (so
// also 16-byte) boundary.
//
// A page that a display server may read is, on Linux, an anonymous shared
// memory file (memfd) when the system grants one, so that the X11 back end
// can hand its descriptor to the server (MIT-SHM), which then reads the
// pixels without a copy. A Wayland compositor is never given a page (it
// reads whenever it repaints, while the program draws): it gets copies, and
// our title bar's own buffer. The file goes away with the last mapping and
// descriptor, even if the process dies. A private page asks for huge pages
// instead, which makes its first touch several times cheaper (shared memory
// gets none here).
class PageBuffer {
 public:
  enum class Sharing { kPrivate, kShareable };

  PageBuffer() = default;
  explicit PageBuffer(std::size_t bytes, Sharing sharing = Sharing::kShareable);
  ~PageBuffer();
  PageBuffer(PageBuffer&& other) noexcept;
  PageBuffer& operator=(PageBuffer&& other) noexcept;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  // The shared-memory file the page is mapped from, or -1 when the page is
  // private memory. The page owns it; users pass on duplicates.
  int share_fd() const { return share_fd_; }

 private:
  enum class Kind { kNone, kShared, kMapped, kHeap };
  void release();
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t length_ = 0;  // bytes reserved
  int share_fd_ = -1;
  Kind kind_ = Kind::kNone;
};

}  // namespace qz
