#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <new>

#include "bench/bench_registry.h"
#include "bench/null_screen.h"

// The machine's limits for the frame's 7,056,000 bytes, measured in the same
// run as the drawing: memset and memcpy with the bytes in cache (warm) and
// after the cache was flooded by another buffer (cold), and the first write
// to freshly allocated memory, where page faults dominate.

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Three times this machine's 32 MiB last-level cache.
constexpr std::size_t kFloodBytes = std::size_t{96} << 20;
// Cold iterations cost a flood each: a fixed count keeps the run short.
constexpr int kColdIterations = 20;

// An anonymous private mapping, released on destruction.
class Mapping {
 public:
  explicit Mapping(std::size_t bytes, int extra_flags = 0) : bytes_(bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | extra_flags, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(p);
  }
  ~Mapping() { munmap(data_, bytes_); }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  std::uint8_t* data() const { return data_; }

 private:
  std::uint8_t* data_;
  std::size_t bytes_;
};

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Reads one byte per cache line of a buffer much larger than the cache, so
// that the frame's lines are gone when the timed copy starts.
void flood_cache(const Mapping& flood) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < kFloodBytes; i += 64) sum += flood.data()[i];
  benchmark::DoNotOptimize(sum);
}

// Faults every page in before timing starts.
void prefault(const Mapping& m, std::size_t bytes) { std::memset(m.data(), 1, bytes); }

template <typename Op>
void time_op(benchmark::State& state, const Mapping* flood, Op&& op) {
  for (auto _ : state) {
    if (flood) flood_cache(*flood);
    auto start = Clock::now();
    op();
    benchmark::ClobberMemory();
    state.SetIterationTime(seconds_since(start));
  }
}

void memset_frame(benchmark::State& state, bool cold) {
  Mapping frame(kFrameBytes), flood(cold ? kFloodBytes : 4096);
  prefault(frame, kFrameBytes);
  prefault(flood, cold ? kFloodBytes : 4096);
  time_op(state, cold ? &flood : nullptr, [&] {
    std::memset(frame.data(), 0xD2, kFrameBytes);
    benchmark::DoNotOptimize(frame.data());
  });
}

void memcpy_frame(benchmark::State& state, bool cold) {
  Mapping from(kFrameBytes), to(kFrameBytes), flood(cold ? kFloodBytes : 4096);
  prefault(from, kFrameBytes);
  prefault(to, kFrameBytes);
  prefault(flood, cold ? kFloodBytes : 4096);
  time_op(state, cold ? &flood : nullptr, [&] {
    std::memcpy(to.data(), from.data(), kFrameBytes);
    benchmark::DoNotOptimize(to.data());
  });
}

// First touch: allocation and the first write of every byte timed together;
// the release is not timed.
void first_touch_private(benchmark::State& state) {
  for (auto _ : state) {
    auto start = Clock::now();
    Mapping m(kFrameBytes);
    std::memset(m.data(), 0xD2, kFrameBytes);
    benchmark::DoNotOptimize(m.data());
    state.SetIterationTime(seconds_since(start));
  }
}

void first_touch_populated(benchmark::State& state) {
  for (auto _ : state) {
    auto start = Clock::now();
    Mapping m(kFrameBytes, MAP_POPULATE);
    std::memset(m.data(), 0xD2, kFrameBytes);
    benchmark::DoNotOptimize(m.data());
    state.SetIterationTime(seconds_since(start));
  }
}

// Huge pages on request: the frame rounded up to 2 MiB pages inside a
// mapping aligned on a 2 MiB boundary.
void first_touch_huge(benchmark::State& state) {
  constexpr std::size_t kRounded = (kFrameBytes + kHugePage - 1) / kHugePage * kHugePage;
  for (auto _ : state) {
    auto start = Clock::now();
    Mapping m(kRounded + kHugePage);
    auto base = reinterpret_cast<std::uintptr_t>(m.data());
    auto* aligned = reinterpret_cast<std::uint8_t*>((base + kHugePage - 1) & ~(kHugePage - 1));
    madvise(aligned, kRounded, MADV_HUGEPAGE);
    std::memset(aligned, 0xD2, kFrameBytes);
    benchmark::DoNotOptimize(aligned);
    state.SetIterationTime(seconds_since(start));
  }
}

// The kind of memory the framebuffer pages are today: a shared-memory file.
void first_touch_shm(benchmark::State& state) {
  for (auto _ : state) {
    auto start = Clock::now();
    const int fd = memfd_create("bench-page", MFD_CLOEXEC);
    void* p = fd >= 0 && ftruncate(fd, off_t(kFrameBytes)) == 0
                  ? mmap(nullptr, kFrameBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                  : MAP_FAILED;
    if (p == MAP_FAILED) {
      if (fd >= 0) close(fd);
      state.SkipWithError("no shared-memory file");
      break;
    }
    std::memset(p, 0xD2, kFrameBytes);
    benchmark::DoNotOptimize(p);
    state.SetIterationTime(seconds_since(start));
    munmap(p, kFrameBytes);
    close(fd);
  }
}

}  // namespace

void register_limit_benchmarks() {
  with_report_settings(benchmark::RegisterBenchmark("limit/memset_warm", memset_frame, false));
  with_report_settings(benchmark::RegisterBenchmark("limit/memset_cold", memset_frame, true))
      ->Iterations(kColdIterations);
  with_report_settings(benchmark::RegisterBenchmark("limit/memcpy_warm", memcpy_frame, false));
  with_report_settings(benchmark::RegisterBenchmark("limit/memcpy_cold", memcpy_frame, true))
      ->Iterations(kColdIterations);
  with_report_settings(benchmark::RegisterBenchmark("limit/first_touch_4k", first_touch_private))
      ->Iterations(kColdIterations);
  with_report_settings(benchmark::RegisterBenchmark("limit/first_touch_populate", first_touch_populated))
      ->Iterations(kColdIterations);
  with_report_settings(benchmark::RegisterBenchmark("limit/first_touch_hugepage", first_touch_huge))
      ->Iterations(kColdIterations);
  with_report_settings(benchmark::RegisterBenchmark("limit/first_touch_shm", first_touch_shm))
      ->Iterations(kColdIterations);
}
