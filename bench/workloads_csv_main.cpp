#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/workloads.h"

// qz_workloads_csv [SEED]: prints the workload items as CSV, the text whose
// SHA-256 checks a generator against the published one.
int main(int argc, char** argv) {
  std::uint64_t seed = kDefaultWorkloadSeed;
  if (argc > 2 || (argc == 2 && !*argv[1])) {
    std::fprintf(stderr, "usage: qz_workloads_csv [SEED]\n");
    return 2;
  }
  if (argc == 2) {
    char* end = nullptr;
    seed = std::strtoull(argv[1], &end, 10);
    if (*end) {
      std::fprintf(stderr, "qz_workloads_csv: SEED is a whole number\n");
      return 2;
    }
  }
  std::string text = workloads_csv(make_workloads(seed));
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0 : 1;
}
