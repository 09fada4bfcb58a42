// The buffers the compositor reads: two of the window's size (device pixels) in one
// anonymous shared-memory file (memfd), so that one can be written while the
// compositor holds the other. The framebuffer pages are never handed over,
// even where their layout is the compositor's: the compositor reads a buffer
// whenever it repaints, and the program draws into its pages at any time.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "display/wayland/wayland_state.h"

namespace qz {

namespace {

void on_release(void* data, wl_buffer*) { static_cast<WaylandBuffer*>(data)->busy = false; }
const wl_buffer_listener kBufferListener = {on_release};

}  // namespace

void RowRange::add(RowRange other) {
  if (other.empty()) return;
  if (empty()) {
    *this = other;
    return;
  }
  first = first < other.first ? first : other.first;
  last = last > other.last ? last : other.last;
}

int wayland_create_buffers(int width, int height) {
  WaylandState& w = wayland();
  w.stride = width * 4;
  const std::size_t one = std::size_t(w.stride) * std::size_t(height);
  w.memory_size = one * w.buffers.size();
  w.memory_fd = memfd_create("qzgfx-window", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (w.memory_fd < 0 || ftruncate(w.memory_fd, off_t(w.memory_size)) != 0) {
    w.failure = "no shared memory for the window's buffers";
    return -1;
  }
  // The compositor can rely on the size staying.
  fcntl(w.memory_fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
  void* memory = mmap(nullptr, w.memory_size, PROT_READ | PROT_WRITE, MAP_SHARED, w.memory_fd, 0);
  if (memory == MAP_FAILED) {
    w.failure = "no shared memory for the window's buffers";
    return -1;
  }
  w.memory = static_cast<std::uint8_t*>(memory);
  w.pool = wl_shm_create_pool(w.shm, w.memory_fd, std::int32_t(w.memory_size));
  for (std::size_t i = 0; i < w.buffers.size(); ++i) {
    WaylandBuffer& b = w.buffers[i];
    b = WaylandBuffer{};
    b.buffer = wl_shm_pool_create_buffer(w.pool, std::int32_t(i * one), width, height, w.stride,
                                         WL_SHM_FORMAT_XRGB8888);
    b.pixels = w.memory + i * one;
    wl_buffer_add_listener(b.buffer, &kBufferListener, &b);
  }
  return 0;
}

wl_buffer* wayland_buffer_over(const PageBuffer& memory, int width, int height, int stride) {
  // The buffer keeps the pool's memory; the pool itself is not needed again.
  const auto bytes = std::int32_t(std::size_t(stride) * std::size_t(height));
  wl_shm_pool* pool = wl_shm_create_pool(wayland().shm, memory.share_fd(), bytes);
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  return buffer;
}

void wayland_destroy_buffers() {
  WaylandState& w = wayland();
  for (WaylandBuffer& b : w.buffers) {
    if (b.buffer) wl_buffer_destroy(b.buffer);
    b = WaylandBuffer{};
  }
  if (w.pool) wl_shm_pool_destroy(w.pool);
  if (w.memory) munmap(w.memory, w.memory_size);
  if (w.memory_fd >= 0) close(w.memory_fd);
  w.pool = nullptr;
  w.memory = nullptr;
  w.memory_size = 0;
  w.memory_fd = -1;
}

void wayland_prefault_first_buffer() {
  WaylandState& w = wayland();
  if (!w.memory) return;
  // The second buffer gets its pages when first written: a compositor that
  // copies each buffer and releases it at once (GL renderers) never needs it.
  const std::size_t size = w.memory_size / w.buffers.size();
#if defined(MADV_POPULATE_WRITE)
  if (madvise(w.buffers[0].pixels, size, MADV_POPULATE_WRITE) == 0) return;
#endif
  // Older kernels: one write a page (the pages are zero, so is the write).
  const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
  for (std::size_t at = 0; at < size; at += page) w.buffers[0].pixels[at] = 0;
}

WaylandBuffer* wayland_free_buffer() {
  for (WaylandBuffer& b : wayland().buffers)
    if (!b.busy) return &b;
  return nullptr;
}

}  // namespace qz
