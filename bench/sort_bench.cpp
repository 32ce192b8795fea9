// The sorter beside std::sort on the same records, in one run: 10 million
// 32-byte records by two keys in a caller's array, and 2 million 256-byte
// records added one by one, which spill to run files and are merged back.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "julib/errors.h"
#include "julib/sort.h"
#include "julib/threads.h"

namespace {

constexpr size_t kArrayRecords = 10'000'000;
constexpr size_t kRunRecords = 2'000'000;

// Two big-endian 4-byte keys at the start of each record: byte order is
// numeric order, so both sorts compare bytes. The first key has few values,
// so the second decides often.
template <size_t Size>
struct Record {
  uint8_t bytes[Size];
};

template <size_t Size>
const std::vector<Record<Size>>& input(size_t count) {
  static std::vector<Record<Size>> records = [count] {
    std::vector<Record<Size>> out(count);
    std::mt19937_64 random(42);
    for (Record<Size>& r : out) {
      for (size_t b = 0; b < Size; b += 8) {
        const uint64_t bits = random();
        std::memcpy(r.bytes + b, &bits, std::min<size_t>(8, Size - b));
      }
      r.bytes[0] = r.bytes[1] = r.bytes[2] = 0;
      r.bytes[3] %= 64;
    }
    return out;
  }();
  return records;
}

template <size_t Size>
bool keyLess(const Record<Size>& a, const Record<Size>& b) {
  return std::memcmp(a.bytes, b.bytes, 8) < 0;
}

void addKeys(JuSort& sorter) {
  if (sorter.addKey(0, 0, 4) != 0 || sorter.addKey(0, 4, 4) != 0) std::abort();
}

// --- 10 million 32-byte records in memory ------------------------------------

void BM_SortArrayJu(benchmark::State& state) {
  const auto& records = input<32>(kArrayRecords);
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Record<32>> copy = records;
    state.ResumeTiming();
    JuSort sorter(32);
    addKeys(sorter);
    sorter.useArray(copy.size(), copy.data());
    if (sorter.sort() != 0) state.SkipWithError("sort failed");
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_SortArrayJu)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_SortArrayStd(benchmark::State& state) {
  const auto& records = input<32>(kArrayRecords);
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Record<32>> copy = records;
    state.ResumeTiming();
    std::sort(copy.begin(), copy.end(), keyLess<32>);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_SortArrayStd)->Unit(benchmark::kMillisecond)->Iterations(2);

// --- 2 million 256-byte records through run files ---------------------------
// Both take every record in, sort, and hand every record out in order.

void BM_SortRunsJu(benchmark::State& state) {
  const auto& records = input<256>(kRunRecords);
  for (auto _ : state) {
    JuSort sorter(256);
    addKeys(sorter);
    for (const Record<256>& r : records) {
      if (sorter.addRecord(&r) != 0) state.SkipWithError("addRecord failed");
    }
    uint64_t sum = 0;
    void* r = nullptr;
    while (sorter.fetch(&r) == 0 && r != nullptr) sum += static_cast<uint8_t*>(r)[7];
    benchmark::DoNotOptimize(sum);
    state.counters["runs"] = static_cast<double>(sorter.runCount);
  }
}
BENCHMARK(BM_SortRunsJu)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_SortRunsStd(benchmark::State& state) {
  const auto& records = input<256>(kRunRecords);
  for (auto _ : state) {
    std::vector<Record<256>> copy;
    copy.reserve(records.size());
    for (const Record<256>& r : records) copy.push_back(r);
    std::sort(copy.begin(), copy.end(), keyLess<256>);
    uint64_t sum = 0;
    for (const Record<256>& r : copy) sum += r.bytes[7];
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_SortRunsStd)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
