// The attribute-string parsers on a 12-attribute connect string: parsing,
// building, and both in a row, narrow and UTF-16 (whose sensitive values are
// protected and revealed on the way).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "julib/crypto.h"
#include "julib/errors.h"
#include "julib/strings.h"
#include "julib/threads.h"
#include "julib/valueparser.h"

namespace {

const uint8_t kKey[8] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x58, 0x97, 0x93};

// Twelve attributes of a typical connect string: braces, quotes, blanks, a
// multi-word key, and two sensitive values.
const char kConnect[] =
    "DRIVER={Vendor ODBC Driver 17};SERVER=db01.example.net;PORT=1433;DATABASE=Sales Archive;"
    "UID=report_user;PWD={p@ss;w}}rd};Encrypt=yes;TrustServerCertificate=no;"
    "Application Name='Monthly Report';Connection Timeout=30;Login Timeout = 15 ;Option Set={a;b;c}";

std::u16string wide(const char* text) {
  std::u16string out;
  for (const char* p = text; *p != '\0'; ++p) out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  return out;
}

void BM_ParseNarrow(benchmark::State& state) {
  const std::string text = kConnect;
  for (auto _ : state) {
    JuValueParser parser(JuSubString(text.data(), text.size()), ';', nullptr, 0);
    benchmark::DoNotOptimize(parser.parse());
    benchmark::DoNotOptimize(parser.attributes.count);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseNarrow);

void BM_ParseWide(benchmark::State& state) {
  const std::u16string text = wide(kConnect);
  for (auto _ : state) {
    JuValueParserW parser(JuSubStringW(text.data(), text.size()), u';', nullptr, 0);
    benchmark::DoNotOptimize(parser.parse(kKey, nullptr));
    benchmark::DoNotOptimize(parser.attributes.count);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseWide);

void BM_BuildNarrow(benchmark::State& state) {
  const std::string text = kConnect;
  JuValueParser parser(JuSubString(text.data(), text.size()), ';', nullptr, 0);
  if (parser.parse() != 0) state.SkipWithError("parse failed");
  for (auto _ : state) {
    JuString out;
    benchmark::DoNotOptimize(parser.build(out, ';'));
    benchmark::DoNotOptimize(out.data);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildNarrow);

void BM_BuildWide(benchmark::State& state) {
  const std::u16string text = wide(kConnect);
  JuValueParserW parser(JuSubStringW(text.data(), text.size()), u';', nullptr, 0);
  if (parser.parse(kKey, nullptr) != 0) state.SkipWithError("parse failed");
  for (auto _ : state) {
    JuStringW out;
    benchmark::DoNotOptimize(parser.build(out, kKey, u';'));
    benchmark::DoNotOptimize(out.data);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildWide);

void BM_ParseBuildNarrow(benchmark::State& state) {
  const std::string text = kConnect;
  for (auto _ : state) {
    JuValueParser parser(JuSubString(text.data(), text.size()), ';', nullptr, 0);
    JuString out;
    benchmark::DoNotOptimize(parser.parse());
    benchmark::DoNotOptimize(parser.build(out, ';'));
    benchmark::DoNotOptimize(out.data);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseBuildNarrow);

void BM_ParseBuildWide(benchmark::State& state) {
  const std::u16string text = wide(kConnect);
  for (auto _ : state) {
    JuValueParserW parser(JuSubStringW(text.data(), text.size()), u';', nullptr, 0);
    JuStringW out;
    benchmark::DoNotOptimize(parser.parse(kKey, nullptr));
    benchmark::DoNotOptimize(parser.build(out, kKey, u';'));
    benchmark::DoNotOptimize(out.data);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseBuildWide);

}  // namespace
