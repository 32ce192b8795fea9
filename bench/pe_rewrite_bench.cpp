// Rewriting the version resource of a 20 MiB DLL (the fixture big.dll: a
// 20 MiB data section ahead of its resources, relocations after them)
// beside copying the same file with cp, in one run. The rewrite runs in
// this process and in a child process of its own, whose peak resident
// memory is reported against the file's size (peak_to_file). The rewrite
// syncs its new file to the disk before the rename; cp does not sync. A
// resource that fits is also rewritten in a file whose writer holds its
// headers and resource section and knows its checksum, as the branding
// tool's copy does: nothing is read from the file then.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/pe/image.h"
#include "platform/pe/resources.h"
#include "platform/pe/update.h"

extern char** environ;

namespace {

namespace pe = platform::pe;

const pe::ResourceId kVersion = pe::ResourceId::fromId(pe::kResourceTypeVersion);

std::string fixture() { return std::string(JU_PE_FIXTURES) + "/big.dll"; }

std::string scratch(const char* name) {
  const char* base = std::getenv("TMPDIR");
  return std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pe_rewrite_bench_" +
         std::to_string(getpid()) + "_" + name;
}

void copyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
}

// Runs a program to its end; its peak resident set in bytes to *peak.
bool run(const char* const argv[], long* peak = nullptr) {
  pid_t pid;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return false;
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  if (peak != nullptr) *peak = usage.ru_maxrss * 1024L;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The file's version resource with one byte changed: what the branding
// tool writes back is about the same size. With `held`, from and into the
// writer's held bytes, `sum` being the file's.
int rewriteOnce(const char* path, const pe::HeldFile* held = nullptr, const pe::PeChecksum* sum = nullptr) {
  pe::ResourceFile file;
  pe::ResourceNames names;
  pe::ResourceBytes bytes;
  if ((held != nullptr ? file.openHeld(*held) : file.open(path)) != platform::kErrorNone ||
      file.names(kVersion, &names) != platform::kErrorNone ||
      file.read(kVersion, names[0], 1033, &bytes) != platform::kErrorNone) {
    std::fprintf(stderr, "%s: %s\n", path, file.errorText());
    return 1;
  }
  std::string version(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  version[version.size() / 2] ^= 1;
  pe::ResourceUpdate update;
  if ((held != nullptr ? update.beginHeld(*held) : update.begin(path)) != platform::kErrorNone) {
    std::fprintf(stderr, "%s: %s\n", path, update.errorText());
    return 1;
  }
  if (sum != nullptr) update.setFileSum(*sum);
  if (update.replace(kVersion, names[0], 1033, version.data(), version.size()) != platform::kErrorNone ||
      update.commit() != platform::kErrorNone) {
    std::fprintf(stderr, "%s: %s\n", path, update.errorText());
    return 1;
  }
  return 0;
}

void BM_RewriteVersion20MiB(benchmark::State& state) {
  const std::string path = scratch("inprocess.dll");
  copyFile(fixture(), path);
  for (auto _ : state) {
    if (rewriteOnce(path.c_str()) != 0) state.SkipWithError("rewrite failed");
  }
  struct stat st;
  stat(path.c_str(), &st);
  state.SetBytesProcessed(state.iterations() * st.st_size);
  std::remove(path.c_str());
}
BENCHMARK(BM_RewriteVersion20MiB)->Unit(benchmark::kMillisecond);

void BM_RewriteVersion20MiBHeld(benchmark::State& state) {
  const std::string path = scratch("held.dll");
  copyFile(fixture(), path);
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  std::string bytes;
  for (auto _ : state) {
    // What the writer holds: the file as the last rewrite left it.
    state.PauseTiming();
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    pe::ImageHeaders h;
    if (pe::parseImageHeaders(data, bytes.size(), bytes.size(), &h) != nullptr) state.SkipWithError("not a PE file");
    const pe::Section& rsrc = h.sections[pe::sectionOfAddress(h, h.directories[pe::kDirectoryResource].address)];
    const pe::HeldSpan spans[] = {{0, data, h.headersEnd}, {rsrc.rawOffset, data + rsrc.rawOffset, rsrc.rawSize}};
    const pe::HeldFile held{fd, path.c_str(), bytes.size(), spans, 2};
    pe::PeChecksum sum;
    sum.add(data, bytes.size());
    state.ResumeTiming();
    if (rewriteOnce(path.c_str(), &held, &sum) != 0) state.SkipWithError("rewrite failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
  close(fd);
  std::remove(path.c_str());
}
// Each round re-reads the file untimed: a fixed count keeps the run short.
BENCHMARK(BM_RewriteVersion20MiBHeld)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_RewriteVersion20MiBChildProcess(benchmark::State& state) {
  const std::string path = scratch("child.dll");
  copyFile(fixture(), path);
  struct stat st;
  stat(path.c_str(), &st);
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  self[length > 0 ? length : 0] = '\0';
  const char* argv[] = {self, "--rewrite-once", path.c_str(), nullptr};
  long peak = 0;
  for (auto _ : state) {
    long runPeak = 0;
    if (!run(argv, &runPeak)) state.SkipWithError("rewrite failed");
    if (runPeak > peak) peak = runPeak;
  }
  state.counters["peak_MiB"] = static_cast<double>(peak) / (1 << 20);
  state.counters["peak_to_file"] = static_cast<double>(peak) / static_cast<double>(st.st_size);
  std::remove(path.c_str());
}
BENCHMARK(BM_RewriteVersion20MiBChildProcess)->Unit(benchmark::kMillisecond);

void BM_CopyWithCp20MiB(benchmark::State& state) {
  const std::string source = fixture();
  const std::string target = scratch("cp.dll");
  const char* argv[] = {"/bin/cp", source.c_str(), target.c_str(), nullptr};
  long peak = 0;
  for (auto _ : state) {
    if (!run(argv, &peak)) state.SkipWithError("cp failed");
  }
  state.counters["peak_MiB"] = static_cast<double>(peak) / (1 << 20);
  std::remove(target.c_str());
}
BENCHMARK(BM_CopyWithCp20MiB)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--rewrite-once") == 0) return rewriteOnce(argv[2]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
