// The library's hot primitives beside their C library counterparts, in one
// run: number formatting and parsing, C-string length and search, and string
// append and find.

#include <benchmark/benchmark.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/strings.h"
#include "julib/threads.h"

namespace {

std::vector<int64_t> numbers() {
  std::vector<int64_t> out;
  uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 1024; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    out.push_back(static_cast<int64_t>(x) >> (i % 60));
  }
  return out;
}

std::vector<std::string> numberTexts() {
  std::vector<std::string> out;
  for (int64_t v : numbers()) out.push_back(std::to_string(v));
  return out;
}

// --- Numbers ----------------------------------------------------------------

void BM_FormatInt64Ju(benchmark::State& state) {
  const std::vector<int64_t> values = numbers();
  char buffer[kJuNumberBufferSize];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(juFormatInt64(buffer, values[i++ & 1023]));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FormatInt64Ju);

void BM_FormatInt64Snprintf(benchmark::State& state) {
  const std::vector<int64_t> values = numbers();
  char buffer[kJuNumberBufferSize];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "%" PRId64, values[i++ & 1023]));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FormatInt64Snprintf);

void BM_ParseInt64Ju(benchmark::State& state) {
  const std::vector<std::string> texts = numberTexts();
  size_t i = 0;
  int64_t value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(juStrToInt64(texts[i++ & 1023].c_str(), &value));
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_ParseInt64Ju);

void BM_ParseInt64Strtoll(benchmark::State& state) {
  const std::vector<std::string> texts = numberTexts();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtoll(texts[i++ & 1023].c_str(), nullptr, 10));
}
BENCHMARK(BM_ParseInt64Strtoll);

// --- C strings ----------------------------------------------------------------

std::string text(size_t n) {
  std::string s(n, 'a');
  for (size_t i = 0; i < n; i += 7) s[i] = static_cast<char>('b' + i % 20);
  return s;
}

void BM_StrLenJu(benchmark::State& state) {
  const std::string s = text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(juStrLen(s.c_str()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StrLenJu)->Range(8, 64 << 10);

void BM_StrLenLibc(benchmark::State& state) {
  const std::string s = text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(std::strlen(s.c_str()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StrLenLibc)->Range(8, 64 << 10);

void BM_FindCharJu(benchmark::State& state) {
  std::string s = text(static_cast<size_t>(state.range(0)));
  s.back() = '!';
  for (auto _ : state) benchmark::DoNotOptimize(juStrFindChar(s.c_str(), '!', JuCodePageKind::kAnsi));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FindCharJu)->Range(8, 64 << 10);

void BM_FindCharMemchr(benchmark::State& state) {
  std::string s = text(static_cast<size_t>(state.range(0)));
  s.back() = '!';
  for (auto _ : state) benchmark::DoNotOptimize(std::memchr(s.data(), '!', s.size()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FindCharMemchr)->Range(8, 64 << 10);

// --- Strings ------------------------------------------------------------------

void BM_StringAppendJu(benchmark::State& state) {
  const std::string piece = "name=value;";
  for (auto _ : state) {
    JuString s;
    for (int64_t i = 0; i < state.range(0); ++i) (void)s.append(piece.data(), piece.size());
    benchmark::DoNotOptimize(s.data);
  }
}
BENCHMARK(BM_StringAppendJu)->Range(8, 4096);

void BM_StringAppendStd(benchmark::State& state) {
  const std::string piece = "name=value;";
  for (auto _ : state) {
    std::string s;
    for (int64_t i = 0; i < state.range(0); ++i) s.append(piece);
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_StringAppendStd)->Range(8, 4096);

void BM_StringWAppendJu(benchmark::State& state) {
  const std::u16string piece = u"name=value;";
  for (auto _ : state) {
    JuStringW s;
    for (int64_t i = 0; i < state.range(0); ++i) (void)s.append(piece.data(), piece.size());
    benchmark::DoNotOptimize(s.data);
  }
}
BENCHMARK(BM_StringWAppendJu)->Range(8, 4096);

void BM_StringWAppendStd(benchmark::State& state) {
  const std::u16string piece = u"name=value;";
  for (auto _ : state) {
    std::u16string s;
    for (int64_t i = 0; i < state.range(0); ++i) s.append(piece);
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_StringWAppendStd)->Range(8, 4096);

void BM_StringFindJu(benchmark::State& state) {
  std::string s = text(static_cast<size_t>(state.range(0)));
  s += "needle";
  JuString js;
  (void)js.assign(s.c_str(), s.size());
  for (auto _ : state) benchmark::DoNotOptimize(js.find("needle", 0));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StringFindJu)->Range(8, 64 << 10);

void BM_StringFindStd(benchmark::State& state) {
  std::string s = text(static_cast<size_t>(state.range(0)));
  s += "needle";
  for (auto _ : state) benchmark::DoNotOptimize(s.find("needle"));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StringFindStd)->Range(8, 64 << 10);

void BM_StringWFindJu(benchmark::State& state) {
  std::u16string s(static_cast<size_t>(state.range(0)), u'a');
  s += u"needle";
  JuStringW js;
  (void)js.assign(s.c_str(), s.size());
  for (auto _ : state) benchmark::DoNotOptimize(js.find(u"needle", 0));
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_StringWFindJu)->Range(8, 64 << 10);

void BM_StringWFindStd(benchmark::State& state) {
  std::u16string s(static_cast<size_t>(state.range(0)), u'a');
  s += u"needle";
  for (auto _ : state) benchmark::DoNotOptimize(s.find(u"needle"));
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_StringWFindStd)->Range(8, 64 << 10);

}  // namespace
