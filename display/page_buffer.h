#pragma once

#include <cstddef>
#include <cstdint>

// One framebuffer page: zero-filled memory whose start lies on a 16-byte (in
// fact page) boundary. Large pages ask the kernel for huge pages, which saves
// most of the first-touch page faults of a full-screen frame.
class PageBuffer {
 public:
  PageBuffer() = default;
  explicit PageBuffer(std::size_t bytes);
  ~PageBuffer();
  PageBuffer(PageBuffer&& other) noexcept;
  PageBuffer& operator=(PageBuffer&& other) noexcept;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  void release();
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;  // bytes mapped, 0 when heap-allocated
};
