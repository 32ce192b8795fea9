// What branding a large driver file costs, against copying it with cp.
//
// The driver is a real library (the PE fixture with a version resource)
// with 100 MiB of data behind it: pseudo-random bytes with the names,
// CLSIDs, versions and message prefixes the branding replaces sprinkled
// through it, some across the reads' boundaries. Three measurements, one
// run each, the file warm in the page cache for all:
//
//   BM_BrandFile/1     brand::brandFile with message-prefix mode: the copy
//                      through the rewriters, then the version resource
//                      rewritten in the copy
//   BM_BrandFile/0     the copy through the name rewriter alone
//   BM_CopyWithCp      /bin/cp of the same file
//   BM_BrandDirectory  brand::run on a directory of 2,000 small libraries
//                      (the fixture library under 2,000 names), message
//                      prefix and version resources included
//   BM_CopyDirectoryWithCp  cp -r of that directory
//
// Each run writes a new file: the previous one's output is removed before
// the clock starts, since replacing a large file costs the file system its
// own work (freeing the old blocks), for the branding and for cp alike; and
// what the last run wrote goes to the disk first (sync), so no run pays for
// another's write-back.
//
// The lines after the table give each branding as a ratio to its cp.
//
//   brand_bench [benchmark flags]

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/brand.h"
#include "app/brand_module.h"
#include "julib/errors.h"
#include "julib/object.h"

extern char** environ;

namespace {

constexpr size_t kDataBytes = size_t{100} << 20;
constexpr int kSmallFiles = 2000;

struct Folder {
  std::string path;
  Folder() {
    char pattern[] = "/tmp/brandbenchXXXXXX";
    if (mkdtemp(pattern) != nullptr) path = pattern;
  }
  ~Folder() {
    for (const char* name : {"abora28.dll", "xyora28.dll", "cp.dll"}) std::remove((path + "/" + name).c_str());
    for (const char* directory : {"/many", "/many-cp", "/many-work"}) (void)run({"rm", "-rf", path + directory});
    rmdir(path.c_str());
  }

  // Runs a program with `words`; true when it ended with 0.
  static bool run(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = -1;
    return posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0 &&
           waitpid(child, &status, 0) == child && status == 0;
  }
};

Folder* folder = nullptr;
// brand without, brand with the prefix, cp; the directory's brand and cp -r
double secondsOf[5] = {0, 0, 0, 0, 0};

std::string source() { return folder->path + "/abora28.dll"; }

// The library, then the data with a text to replace every 48 KiB or so.
bool writeDriver() {
  std::ifstream in(JU_PE_FIXTURES "/last.dll", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return false;
  const size_t start = bytes.size();
  bytes.resize(start + kDataBytes);
  uint64_t state = 0x9E3779B97F4A7C15u;
  for (size_t i = start; i < bytes.size(); ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    bytes[i] = static_cast<char>(state);
  }
  const std::string texts[] = {std::string("[Brisklane][ODBC \0", 18), "ABORA28.DLL", std::string("abora28.dll\0", 12),
                               "{0A1B2C3D-1111-ABCD-2222-333344445555}", "08.02.0293",
                               std::string("Brisklane Closed XML ADO Provider\0", 34)};
  size_t n = 0;
  for (size_t at = start + 1000; at + 64 < bytes.size(); at += 49999) {
    const std::string& text = texts[n++ % std::size(texts)];
    bytes.replace(at, text.size(), text);
  }
  std::ofstream out(source(), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

void addEntry(JuArrayPVoid& list, const char* text) { (void)list.insertAt(juStrNDup(text, std::strlen(text)), list.count); }

void BM_BrandFile(benchmark::State& state) {
  brand object(folder->path.c_str());
  object.silent = 1;
  object.messagePrefixMode = static_cast<uint32_t>(state.range(0));
  object.setFilePrefix("XY");
  object.setCompanyName(u"Acme Data");
  object.setMessagePrefix(u"ACME");
  (void)object.setVersion(u"09.01");
  object.versionMode = 1;
  std::strcpy(object.driverVersionCode, "28");
  juFree(object.xmlProviderName);
  object.xmlProviderName = juStrNDup("Acme XML Provider", 17);
  for (const char* entry : {"abora28", "abdb228", "absql28", "{0a1b2c3d-1111-abcd-2222-333344445555}",
                            "{0a1b2c3d-1111-abcd-2222-333344445556}", "brisklane closed xml ado provider", "08.02.0293"}) {
    addEntry(object.searchList, entry);
  }
  addEntry(object.mainFileList, "abora28.dll");
  const std::string target = folder->path + "/xyora28.dll";
  double best = 1e30;
  for (auto _ : state) {
    std::remove(target.c_str());
    sync();  // each run starts with nothing of the last one's left to write back
    const auto begin = std::chrono::steady_clock::now();
    if (object.brandFile(0) != 1) state.SkipWithError("the branding failed");
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  }
  secondsOf[state.range(0)] = best;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDataBytes));
}
BENCHMARK(BM_BrandFile)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CopyWithCp(benchmark::State& state) {
  const std::string to = folder->path + "/cp.dll";
  double best = 1e30;
  for (auto _ : state) {
    std::remove(to.c_str());
    sync();  // each run starts with nothing of the last one's left to write back
    const auto begin = std::chrono::steady_clock::now();
    if (!Folder::run({"cp", source(), to})) state.SkipWithError("cp failed");
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  }
  secondsOf[2] = best;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDataBytes));
}
BENCHMARK(BM_CopyWithCp)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The small libraries' names: ab0000_28.dll to ab1999_28.dll.
std::string smallName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "ab%04d_28.dll", i);
  return name;
}

bool writeSmallFiles() {
  const std::string many = folder->path + "/many";
  if (!Folder::run({"mkdir", "-p", many})) return false;
  std::ifstream in(JU_PE_FIXTURES "/last.dll", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (int i = 0; i < kSmallFiles; ++i) {
    std::ofstream out(many + "/" + smallName(i), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return false;
  }
  return !bytes.empty();
}

void BM_BrandDirectory(benchmark::State& state) {
  // Each run brands a fresh copy of the directory, as cp -r writes a fresh
  // one: a directory that files were just removed from costs the file
  // system more to create files in.
  const std::string work = folder->path + "/many-work";
  brand object(work.c_str());
  object.silent = 1;
  object.setFilePrefix("XY");
  object.setCompanyName(u"Acme Data");
  object.setMessagePrefix(u"ACME");
  std::strcpy(object.driverVersionCode, "28");
  for (int i = 0; i < kSmallFiles; ++i) addEntry(object.mainFileList, smallName(i).c_str());
  double best = 1e30;
  for (auto _ : state) {
    if (!Folder::run({"rm", "-rf", work}) || !Folder::run({"cp", "-r", folder->path + "/many", work})) {
      state.SkipWithError("the directory could not be copied");
    }
    sync();  // each run starts with nothing of the last one's left to write back
    const auto begin = std::chrono::steady_clock::now();
    object.status = kBrandStatusSuccess;
    if (object.run() != 1) state.SkipWithError("the branding failed");
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  }
  secondsOf[3] = best;
  (void)Folder::run({"rm", "-rf", work});
}
BENCHMARK(BM_BrandDirectory)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CopyDirectoryWithCp(benchmark::State& state) {
  const std::string to = folder->path + "/many-cp";
  double best = 1e30;
  for (auto _ : state) {
    (void)Folder::run({"rm", "-rf", to});
    sync();  // each run starts with nothing of the last one's left to write back
    const auto begin = std::chrono::steady_clock::now();
    if (!Folder::run({"cp", "-r", folder->path + "/many", to})) state.SkipWithError("cp -r failed");
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  }
  secondsOf[4] = best;
}
BENCHMARK(BM_CopyDirectoryWithCp)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  JuErrorList errors(0, 1);
  juStartProgram(&vrBrandModule, &errors);
  Folder scratch;
  folder = &scratch;
  if (scratch.path.empty() || !writeDriver() || !writeSmallFiles()) {
    std::fprintf(stderr, "cannot write the driver file\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (secondsOf[2] > 0) {
    std::printf("best of each: brand (names) %.3f s, brand (names, prefix, version resource) %.3f s, cp %.3f s; "
                "ratios to cp %.2f and %.2f\n",
                secondsOf[0], secondsOf[1], secondsOf[2], secondsOf[0] / secondsOf[2], secondsOf[1] / secondsOf[2]);
  }
  if (secondsOf[4] > 0) {
    std::printf("best of each: brand a directory of %d small libraries %.3f s, cp -r of it %.3f s; ratio to cp -r %.2f\n",
                kSmallFiles, secondsOf[3], secondsOf[4], secondsOf[3] / secondsOf[4]);
  }
  return 0;
}
