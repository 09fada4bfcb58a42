// The process-wide key queue between the window's thread (the only writer)
// and the program's thread (the readers).
//
// Readers take the screen lock, whose outermost level is the host lock that
// the writer holds while it puts, so a read never interleaves with a put on
// the window back ends. The queue keeps a small mutex of its own as well:
// back ends without a host lock (Null) and mode changes would otherwise
// leave put and get unordered, and the ring must never be torn.

#include "input/key_queue.h"

#include <mutex>

#include "gfx/screen_lock.h"

namespace qz {

namespace {

constexpr std::int32_t kSlotCount = 16;

// Never destroyed, nor is the queue (it has no destructor): the window's
// thread may put a key until the exit path has stopped it.
std::mutex& queue_guard() {
  static std::mutex& guard = *new std::mutex;
  return guard;
}

// A reader's hold: the screen lock, then the queue's own guard. Leaving
// marks no row, so reading keys causes no repaint.
class ReaderLock {
 public:
  ReaderLock() {
    screen_lock();
    queue_guard().lock();
  }
  ~ReaderLock() {
    queue_guard().unlock();
    screen_unlock(1, 0);
  }
  ReaderLock(const ReaderLock&) = delete;
  ReaderLock& operator=(const ReaderLock&) = delete;
};

// Both run with queue_guard held.
std::int32_t take_key_arrived_locked(KeyQueue& q) {
  const std::int32_t v = q.key_arrived;
  q.key_arrived = 0;
  return v;
}

std::int32_t take_code_locked(KeyQueue& q) {
  if (q.read_index == q.write_index) return 0;
  const std::int32_t code = q.slots[q.read_index];
  q.read_index = (q.read_index + 1) % kSlotCount;
  return code;
}

}  // namespace

KeyQueue& key_queue() {
  static KeyQueue queue;
  return queue;
}

void key_queue_put(std::int32_t code) {
  std::lock_guard<std::mutex> hold(queue_guard());
  KeyQueue& q = key_queue();
  q.slots[q.write_index] = code;
  const std::int32_t next = (q.write_index + 1) % kSlotCount;
  // One slot always stays free so that full and empty differ; a full ring
  // loses its oldest code rather than making the writer wait.
  if (next == q.read_index) q.read_index = (next + 1) % kSlotCount;
  q.write_index = next;
  q.key_arrived = 1;
}

std::int32_t key_queue_get() {
  ReaderLock hold;
  const std::int32_t code = take_code_locked(key_queue());
  // Every read consumes the wake-up, whether or not a code was there.
  take_key_arrived_locked(key_queue());
  return code;
}

std::int32_t take_key_arrived() {
  ReaderLock hold;
  return take_key_arrived_locked(key_queue());
}

std::int32_t key_queue_pending() {
  ReaderLock hold;
  return key_queue().read_index != key_queue().write_index ? 1 : 0;
}

std::string key_code_to_string(std::int32_t code) {
  std::string s;
  s.push_back(static_cast<char>(code & 0xFF));
  if (code > 255) s.push_back(static_cast<char>((code >> 8) & 0xFF));
  return s;
}

}  // namespace qz
