// The conversion workers beside ICU's own calls on the same data in one run:
// UTF-8 to UTF-16 (juUtf8ToUtf16 against u_strFromUTF8) and windows-1252 to
// UTF-16 (juConvToUnicode against ucnv_toUChars and ucnv_convert), over
// mostly-ASCII text with some Latin-1, CJK and emoji, up to 64 MiB.

#include <benchmark/benchmark.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "julib/codepage.h"

namespace {

constexpr int64_t kMaxBytes = int64_t{64} << 20;

// A fixed pseudo-random sequence, so every run converts the same text.
struct Random {
  uint64_t state = 88172645463325252ull;
  uint32_t next() {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return static_cast<uint32_t>(state >> 32);
  }
};

// Words of ASCII letters; about one character in 20 Latin-1, one in 40 CJK
// and one in 400 an emoji.
const std::string& mixedUtf8() {
  static const std::string text = [] {
    static const char* const latin1[] = {"\xC3\xA9", "\xC3\xBC", "\xC3\xB1", "\xC3\x9F", "\xC3\xA5"};
    static const char* const cjk[] = {"\xE4\xB8\xAD", "\xE6\x96\x87", "\xE6\x97\xA5", "\xE6\x9C\xAC"};
    static const char* const emoji[] = {"\xF0\x9F\x98\x80", "\xF0\x9F\x8E\x89"};
    std::string out;
    out.reserve(static_cast<size_t>(kMaxBytes) + 8);
    Random random;
    while (static_cast<int64_t>(out.size()) < kMaxBytes) {
      const uint32_t r = random.next() % 400;
      if (r == 0) {
        out += emoji[random.next() % 2];
      } else if (r < 10) {
        out += cjk[random.next() % 4];
      } else if (r < 30) {
        out += latin1[random.next() % 5];
      } else if (r < 90) {
        out += ' ';
      } else {
        out += static_cast<char>('a' + random.next() % 26);
      }
    }
    // Whole characters only.
    while (static_cast<int64_t>(out.size()) > kMaxBytes) out.pop_back();
    while (!out.empty() && (static_cast<uint8_t>(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<uint8_t>(out.back()) >= 0xC0) out.pop_back();
    return out;
  }();
  return text;
}

// Mostly ASCII with about one byte in 20 from 0x80-0xFF.
const std::string& mixedCp1252() {
  static const std::string text = [] {
    std::string out(static_cast<size_t>(kMaxBytes), ' ');
    Random random;
    for (char& c : out) {
      const uint32_t r = random.next() % 100;
      if (r < 5) {
        c = static_cast<char>(0xA0 + random.next() % 0x60);
      } else if (r < 20) {
        c = ' ';
      } else {
        c = static_cast<char>('a' + random.next() % 26);
      }
    }
    return out;
  }();
  return text;
}

// A destination that holds the conversion of the largest input.
std::vector<char16_t>& destination() {
  static std::vector<char16_t> units(static_cast<size_t>(kMaxBytes) + 1);
  return units;
}

void setBytes(benchmark::State& state) { state.SetBytesProcessed(state.iterations() * state.range(0)); }

void sizes(benchmark::internal::Benchmark* b) {
  b->Arg(4 << 10)->Arg(1 << 20)->Arg(kMaxBytes)->Unit(benchmark::kMicrosecond);
}

// --- UTF-8 to UTF-16 ----------------------------------------------------------

void BM_Utf8ToUtf16Ju(benchmark::State& state) {
  const std::string& text = mixedUtf8();
  std::vector<char16_t>& out = destination();
  for (auto _ : state) {
    int64_t written = 0;
    benchmark::DoNotOptimize(
        juUtf8ToUtf16(out.data(), static_cast<int64_t>(out.size()), text.data(), state.range(0), &written, 0));
    benchmark::DoNotOptimize(written);
    benchmark::ClobberMemory();
  }
  setBytes(state);
}
BENCHMARK(BM_Utf8ToUtf16Ju)->Apply(sizes);

void BM_Utf8ToUtf16Icu(benchmark::State& state) {
  const std::string& text = mixedUtf8();
  std::vector<char16_t>& out = destination();
  for (auto _ : state) {
    int32_t written = 0;
    UErrorCode error = U_ZERO_ERROR;
    benchmark::DoNotOptimize(u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &written, text.data(),
                                           static_cast<int32_t>(state.range(0)), &error));
    benchmark::DoNotOptimize(written);
    benchmark::ClobberMemory();
  }
  setBytes(state);
}
BENCHMARK(BM_Utf8ToUtf16Icu)->Apply(sizes);

// --- windows-1252 to UTF-16 -----------------------------------------------------

UConverter* openCp1252() {
  UErrorCode error = U_ZERO_ERROR;
  return ucnv_open("windows-1252", &error);
}

void BM_Cp1252ToUtf16Ju(benchmark::State& state) {
  const std::string& text = mixedCp1252();
  std::vector<char16_t>& out = destination();
  UConverter* converter = openCp1252();
  for (auto _ : state) {
    int64_t written = 0;
    benchmark::DoNotOptimize(juConvToUnicode(out.data(), static_cast<int64_t>(out.size()), text.data(), state.range(0),
                                             &written, nullptr, converter, 0));
    benchmark::DoNotOptimize(written);
    benchmark::ClobberMemory();
  }
  ucnv_close(converter);
  setBytes(state);
}
BENCHMARK(BM_Cp1252ToUtf16Ju)->Apply(sizes);

void BM_Cp1252ToUtf16IcuToUChars(benchmark::State& state) {
  const std::string& text = mixedCp1252();
  std::vector<char16_t>& out = destination();
  UConverter* converter = openCp1252();
  for (auto _ : state) {
    UErrorCode error = U_ZERO_ERROR;
    benchmark::DoNotOptimize(ucnv_toUChars(converter, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                           static_cast<int32_t>(state.range(0)), &error));
    benchmark::ClobberMemory();
  }
  ucnv_close(converter);
  setBytes(state);
}
BENCHMARK(BM_Cp1252ToUtf16IcuToUChars)->Apply(sizes);

// ucnv_convert opens both converters on every call and goes through its own
// pivot; UTF-16LE is this machine's own byte order.
void BM_Cp1252ToUtf16IcuConvert(benchmark::State& state) {
  const std::string& text = mixedCp1252();
  std::vector<char16_t>& out = destination();
  auto* bytes = reinterpret_cast<char*>(out.data());
  const auto capacity = static_cast<int32_t>(std::min<size_t>(out.size() * 2, INT32_MAX));
  for (auto _ : state) {
    UErrorCode error = U_ZERO_ERROR;
    benchmark::DoNotOptimize(ucnv_convert("UTF-16LE", "windows-1252", bytes, capacity, text.data(),
                                          static_cast<int32_t>(state.range(0)), &error));
    benchmark::ClobberMemory();
  }
  setBytes(state);
}
BENCHMARK(BM_Cp1252ToUtf16IcuConvert)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
