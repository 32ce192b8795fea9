// Records over application memory that the host treats roughly: a host
// with SIGSEGV handlers of its own, installed before or after the first
// record; pages that another thread unmaps while records read them; and a
// process killed at random points, whose log must keep every record that
// was written before the kill.

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <new>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core_test_util.h"

using coretest::address;
using coretest::countOf;
using coretest::execDirect;
using coretest::memoryLog;
using coretest::setSetting;

namespace {

const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
constexpr uint64_t kStatementHandle = 0x10;
// SQLNumResultCols: its count is an SWORD *, read in every record.
const TraceFunction kNumResultCols{18, "SQLNumResultCols", 2, 0, {6, 12}};

int16_t numResultCols(const void* count) {
  const uint64_t values[] = {kStatementHandle, address(count)};
  return TraceCall(kNumResultCols, values);
}

// ---------------------------------------------------------------------------
// A host with SIGSEGV handlers of its own.
// ---------------------------------------------------------------------------

std::atomic<int> hostFaults{0};
sigjmp_buf hostRecovery;

void plainHostHandler(int) {
  hostFaults.fetch_add(1);
  siglongjmp(hostRecovery, 1);
}

void infoHostHandler(int, siginfo_t*, void*) { plainHostHandler(SIGSEGV); }

// Installs the host's handler; false when it could not.
bool installHostHandler(bool withInfo, struct sigaction* previous) {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = withInfo ? SA_SIGINFO : 0;
  if (withInfo) {
    action.sa_sigaction = infoHostHandler;
  } else {
    action.sa_handler = plainHostHandler;
  }
  return sigaction(SIGSEGV, &action, previous) == 0;
}

// A fault of the host's own, which its handler must receive.
bool hostFaultReachesItsHandler(const char* inaccessible) {
  const int before = hostFaults.load();
  if (sigsetjmp(hostRecovery, 1) == 0) {
    volatile char c = *const_cast<volatile const char*>(inaccessible);
    (void)c;
    return false;
  }
  return hostFaults.load() == before + 1;
}

class ApplicationMemoryTest : public coretest::TraceCoreTest {};

TEST_F(ApplicationMemoryTest, BadPointersNeverReachTheHostsHandler) {
  // An inaccessible page, and an address below the lowest the kernel maps
  // (a page unmapped here could be taken again by the next mapping of any
  // thread; the test below unmaps pages under the reads).
  char* const inaccessible =
      static_cast<char*>(mmap(nullptr, kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(inaccessible, MAP_FAILED);
  const char* const unmapped = reinterpret_cast<const char*>(uintptr_t{0x8000});
  struct Row {
    const char* note;
    bool withInfo;
    bool handlerFirst;  // installed before the log's first record, or after
  } rows[] = {
      {"SA_SIGINFO handler, then records", true, true},
      {"plain handler, then records", false, true},
      {"records, then a SA_SIGINFO handler", true, false},
      {"records, then a plain handler", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    openMemoryLog();
    struct sigaction previous {};
    if (row.handlerFirst) {
      ASSERT_TRUE(installHostHandler(row.withInfo, &previous));
    }
    const char text[] = "SELECT 1";
    TraceReturn(execDirect(kStatementHandle, text), 0);
    if (!row.handlerFirst) {
      ASSERT_TRUE(installHostHandler(row.withInfo, &previous));
    }
    hostFaults.store(0);
    const char* const bads[] = {inaccessible, unmapped, inaccessible + kPage - 1};
    for (const char* bad : bads) {
      TraceReturn(execDirect(kStatementHandle, bad), 0);
      TraceReturn(numResultCols(bad), 0);
    }
    EXPECT_EQ(hostFaults.load(), 0);
    const std::string log = memoryLog();
    EXPECT_EQ(countOf(log, "<Bad null-terminated string!>"), 3u);
    EXPECT_EQ(countOf(log, "(BADMEM)"), 6u) << "ENTER and EXIT of each SQLNumResultCols";
    EXPECT_TRUE(hostFaultReachesItsHandler(inaccessible));
    sigaction(SIGSEGV, &previous, nullptr);
    TraceCloseLogFile();
  }
  munmap(inaccessible, kPage);
}

// ---------------------------------------------------------------------------
// Pages unmapped under the reads.
// ---------------------------------------------------------------------------

// Another thread unmaps and maps again (or protects and opens again) the
// pages that records read: each record shows the text, or why it could
// not, and the process never faults.
TEST_F(ApplicationMemoryTest, PagesUnmappedUnderTheReadsNeverFault) {
  constexpr size_t kPages = 2;
  char* const region = static_cast<char*>(
      mmap(nullptr, kPages * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(region, MAP_FAILED);
  const std::string statement = "SELECT 1 FROM t WHERE a = 'x'";
  // The text runs across the page boundary, so a read may find its start
  // and lose its end.
  char* const text = region + kPage - statement.size() / 2;
  std::memcpy(text, statement.c_str(), statement.size() + 1);
  setSetting("ODBCTraceMemBuffSize", "65536");
  openMemoryLog();

  std::atomic<bool> stop{false};
  std::atomic<bool> lost{false};
  std::thread unmapper([&] {
    for (unsigned i = 0; !stop.load(); ++i) {
      if (i % 2 == 0) {
        munmap(region, kPages * kPage);
        void* back = mmap(region, kPages * kPage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (back != region) {
          // Taken by another mapping meanwhile: nothing more to unmap.
          if (back != MAP_FAILED) munmap(back, kPages * kPage);
          lost.store(true);
          return;
        }
        std::memcpy(text, statement.c_str(), statement.size() + 1);
      } else {
        mprotect(region, kPages * kPage, PROT_NONE);
        mprotect(region, kPages * kPage, PROT_READ | PROT_WRITE);
      }
    }
  });
  constexpr int kThreads = 4;
  constexpr int kCalls = 2000;
  std::vector<std::thread> readers;
  for (int t = 0; t < kThreads; ++t) {
    readers.emplace_back([text] {
      for (int i = 0; i < kCalls; ++i) {
        TraceReturn(execDirect(kStatementHandle, text), 0);
        TraceReturn(numResultCols(text + kPage / 2), 0);
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  stop.store(true);
  unmapper.join();
  if (!lost.load()) munmap(region, kPages * kPage);

  // Each statement line: in an ENTER record the whole text (or its start,
  // when it was being written again) or a failure text; in an EXIT record
  // the address alone.
  const std::string log = memoryLog();
  const std::regex line(
      R"(\t\tUCHAR \* +0x[0-9A-F]{16} (\[      -3\] )"
      R"(("[^"\n]*("|\.\.\.<BAD MEMORY after [^\n]*)|<Bad null-terminated string!>|<Buffer at [^\n]*))?\n)");
  size_t statements = 0;
  for (const std::string& l : coretest::linesOf(log)) {
    if (l.rfind("\t\tUCHAR *", 0) != 0) continue;
    ++statements;
    EXPECT_TRUE(std::regex_match(l, line)) << l;
  }
  EXPECT_GT(statements, 0u);
}

// ---------------------------------------------------------------------------
// A process killed at random points.
// ---------------------------------------------------------------------------

// What the child has done, in memory it shares with the parent.
struct Progress {
  std::atomic<uint64_t> entered;   // exports that returned: ENTER written
  std::atomic<uint64_t> returned;  // TraceReturn calls that returned
};

// Traces calls in a loop into the file sink with its default flush until
// it is killed.
[[noreturn]] void traceUntilKilled(Progress* progress) {
  if (TraceOpenLogFile(nullptr, nullptr, 0) != 0) _exit(2);
  const char text[] = "SELECT id, name FROM items WHERE id = 7";
  for (;;) {
    const int16_t handle = execDirect(kStatementHandle, text);
    progress->entered.fetch_add(1);
    TraceReturn(handle, 0);
    progress->returned.fetch_add(1);
  }
}

TEST_F(ApplicationMemoryTest, AKilledProcessLeavesEveryRecordItWrote) {
  coretest::TempDir dir;
  setSetting("ODBCTraceMode", "0");
  auto* progress = static_cast<Progress*>(
      mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(progress, MAP_FAILED);
  std::mt19937 rng(20261209);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    // Odd rounds: a per-process set.
    const bool perProcess = round % 2 == 1;
    setSetting("TraceFilePerProcess", perProcess ? "1" : "0");
    setSetting("TraceFile", dir / ("k" + std::to_string(round) + ".log"));
    new (progress) Progress{};
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) traceUntilKilled(progress);
    // Until the child has traced a little, then at a random point.
    while (progress->returned.load() < 10) std::this_thread::sleep_for(std::chrono::microseconds(200));
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::string infix = perProcess ? "_" + std::to_string(child) + "_" : "_";
    const std::string text = coretest::readFile(dir / ("k" + std::to_string(round) + infix + "01.log"));
    // Every record written is there, and nothing else: a record cut short
    // may follow them, never a zero byte.
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_GE(countOf(text, "ENTER SQLExecDirect"), progress->entered.load());
    EXPECT_GE(countOf(text, "EXIT  SQLExecDirect"), progress->returned.load());
    EXPECT_LE(countOf(text, "EXIT  SQLExecDirect"), progress->entered.load());
  }
  munmap(progress, sizeof(Progress));
}

}  // namespace
