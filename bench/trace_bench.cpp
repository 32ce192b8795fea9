// What tracing costs an ODBC application: the same workload against SQLite
// (statements run directly, each fetched to its end with SQLGetData) in four
// configurations:
//
//   untraced      unixODBC alone
//   vrtrc_file    libvrtrc28.so through the preloaded Driver Manager
//                 stand-in, file sink (ODBCTraceMode=0, the other settings
//                 at their defaults: a flush after every record)
//   vrtrc_memory  the same with the memory sink (ODBCTraceMode=2)
//   vrtrc_memory_heap  the same, with the application's buffers (statement
//                 text, values, lengths) on the heap rather than its stack
//   unixodbc      unixODBC's own tracing (Trace=Yes in the section "ODBC"
//                 of ODBCINST.INI), the stand-in not preloaded
//
// Tracing is chosen when a process starts (the preload, the ini files), so
// every run is a child process: this program runs itself with --workload
// in the configuration's environment, and the child measures its own
// statements (connecting, loading the libraries and closing the log stay
// outside) and prints the time. Each configuration runs several times, the
// runs of the configurations interleaved; the table after the benchmark's
// own shows each median as a ratio to the untraced one. (The Time column is
// the children's workload; the CPU column is the driver's own waiting.)
//
//   trace_bench [benchmark flags]
//   trace_bench --workload <DSN> <statements> [heap]   (a child)
//   trace_bench --create <DSN> <rows>              (makes the table)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr char kDsn[] = "benchdsn";
constexpr int kStatements = 10000;
constexpr int kRows = 1000;
constexpr int kRepetitions = 5;

// ===========================================================================
// The child: an ODBC application.
// ===========================================================================

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Prints the diagnostics of a failed call and ends the child.
[[noreturn]] void fail(const char* what, SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {};
  SQLCHAR text[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  std::fprintf(stderr, "%s failed\n", what);
  for (SQLSMALLINT i = 1; handle != nullptr &&
                          succeeded(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length));
       ++i) {
    std::fprintf(stderr, "  %s %s\n", reinterpret_cast<char*>(state), reinterpret_cast<char*>(text));
  }
  std::exit(1);
}

struct Connection {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;

  explicit Connection(const char* dsn) {
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) fail("SQLAllocHandle", 0, nullptr);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) fail("SQLAllocHandle", SQL_HANDLE_ENV, env);
    std::string name = dsn;
    if (!succeeded(SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(name.data()), SQL_NTS, nullptr, 0, nullptr, 0))) {
      fail("SQLConnect", SQL_HANDLE_DBC, dbc);
    }
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) fail("SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  }
  ~Connection() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }

  void exec(const std::string& sql) {
    std::string text = sql;  // applications pass writable text
    if (!succeeded(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
      fail(sql.c_str(), SQL_HANDLE_STMT, stmt);
    }
  }
};

// The table the statements read: `rows` rows of four columns.
int createTable(const char* dsn, int rows) {
  Connection c(dsn);
  c.exec("CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, price REAL, quantity INTEGER)");
  c.exec("BEGIN");
  for (int id = 1; id <= rows; ++id) {
    c.exec("INSERT INTO items VALUES (" + std::to_string(id) + ", 'item " + std::to_string(id) + "', " +
           std::to_string(id % 97) + ".25, " + std::to_string(id * 7 % 1000) + ")");
  }
  c.exec("COMMIT");
  return 0;
}

// Whether the trace library is mapped into this process.
bool traceLibraryLoaded() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("libvrtrc28.so") != std::string::npos) return true;
  }
  return false;
}

// The application's buffers: on its stack, or on the heap.
struct Buffers {
  char sql[128];
  char value[256];
  SQLSMALLINT columns;
  SQLLEN indicator;
};

// The workload: `statements` SELECTs of one row by its key, each executed
// directly, its columns counted, fetched to the end with SQLGetData, and
// closed. Prints "<nanoseconds> <1 when libvrtrc28.so is loaded, else 0>".
int runWorkload(const char* dsn, int statements, bool heap) {
  Connection c(dsn);
  Buffers onStack;
  const std::unique_ptr<Buffers> onHeap(heap ? new Buffers : nullptr);
  Buffers& b = heap ? *onHeap : onStack;
  char* const sql = b.sql;
  char* const value = b.value;
  SQLSMALLINT& columns = b.columns;
  SQLLEN& indicator = b.indicator;
  int64_t checksum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < statements; ++i) {
    std::snprintf(sql, sizeof b.sql, "SELECT id, name, price, quantity FROM items WHERE id = %d", i % kRows + 1);
    if (!succeeded(SQLExecDirect(c.stmt, reinterpret_cast<SQLCHAR*>(sql), SQL_NTS))) {
      fail("SQLExecDirect", SQL_HANDLE_STMT, c.stmt);
    }
    columns = 0;
    if (!succeeded(SQLNumResultCols(c.stmt, &columns))) fail("SQLNumResultCols", SQL_HANDLE_STMT, c.stmt);
    for (;;) {
      const SQLRETURN rc = SQLFetch(c.stmt);
      if (rc == SQL_NO_DATA) break;
      if (!succeeded(rc)) fail("SQLFetch", SQL_HANDLE_STMT, c.stmt);
      for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(columns); ++column) {
        indicator = 0;
        if (!succeeded(SQLGetData(c.stmt, column, SQL_C_CHAR, value, sizeof b.value, &indicator))) {
          fail("SQLGetData", SQL_HANDLE_STMT, c.stmt);
        }
        checksum += indicator;
      }
    }
    if (!succeeded(SQLFreeStmt(c.stmt, SQL_CLOSE))) fail("SQLFreeStmt", SQL_HANDLE_STMT, c.stmt);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (checksum <= 0) {
    std::fprintf(stderr, "the statements returned no rows\n");
    return 1;
  }
  std::printf("%" PRId64 " %d\n",
              static_cast<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()),
              traceLibraryLoaded() ? 1 : 0);
  return 0;
}

// ===========================================================================
// The driver.
// ===========================================================================

struct Configuration {
  const char* name;
  bool preloadStandIn;
  bool unixOdbcTrace;
  const char* traceMode;  // ODBCTraceMode in ODBC.INI; null: no trace section
  bool heapBuffers;       // the workload's buffers on the heap
};

const Configuration kConfigurations[] = {
    {"untraced", false, false, nullptr, false},
    {"vrtrc_file", true, false, "0", false},
    {"vrtrc_memory", true, false, "2", false},
    {"unixodbc", false, true, nullptr, false},
    {"vrtrc_memory_heap", true, false, "2", true},
};

struct ChildRun {
  bool ok = false;
  std::string error;
  std::string out;
};

// What a workload child printed.
struct WorkloadResult {
  double seconds = 0;
  bool traceLibraryLoaded = false;
};

bool readWorkloadResult(const std::string& out, WorkloadResult* result) {
  int64_t nanoseconds = 0;
  int loaded = 0;
  if (std::sscanf(out.c_str(), "%" SCNd64 " %d", &nanoseconds, &loaded) != 2 || nanoseconds <= 0) return false;
  result->seconds = static_cast<double>(nanoseconds) / 1e9;
  result->traceLibraryLoaded = loaded != 0;
  return true;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A temporary directory with the database and, per configuration, its own
// ODBCSYSINI directory (odbcinst.ini, odbc.ini) and log directory.
class Setup {
 public:
  static Setup& get() {
    static Setup setup;
    return setup;
  }

  const std::string& error() const { return error_; }
  fs::path configurationDir(const Configuration& c) const { return dir_ / c.name; }
  fs::path logDir(const Configuration& c) const { return configurationDir(c) / "logs"; }

  ~Setup() {
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

  // Runs this program with `words` in configuration `c`'s environment.
  ChildRun runChild(const Configuration& c, const std::vector<std::string>& words) const {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string key = entry.substr(0, entry.find('='));
      if (key != "ODBCSYSINI" && key != "ODBCINI" && key != "HOME" && key != "LD_PRELOAD") env.push_back(entry);
    }
    if (c.preloadStandIn) env.push_back(std::string("LD_PRELOAD=") + VRDMHOST_LIBRARY);
    env.push_back("ODBCSYSINI=" + configurationDir(c).string());
    env.push_back("HOME=" + configurationDir(c).string());

    std::vector<std::string> args = {self_.string()};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outPath = (dir_ / "child.out").string();
    const std::string errPath = (dir_ / "child.err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ChildRun run;
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
      waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = readFile(outPath);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      run.error = std::string(c.name) + ": the child failed: " + readFile(errPath);
      return run;
    }
    run.ok = true;
    return run;
  }

 private:
  Setup() {
    char pattern[] = "/tmp/trace_bench_XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      error_ = "cannot make a temporary directory";
      return;
    }
    dir_ = pattern;
    std::error_code failed;
    self_ = fs::read_symlink("/proc/self/exe", failed);
    if (failed) {
      error_ = "cannot find this program's own file";
      return;
    }
    if (!fs::exists(kSqliteDriver, failed)) {
      error_ = std::string("the SQLite ODBC driver is not installed: ") + kSqliteDriver;
      return;
    }
    if (!fs::exists(VRDMHOST_LIBRARY, failed)) {
      error_ = std::string("the Driver Manager stand-in is not built: ") + VRDMHOST_LIBRARY;
      return;
    }
    for (const Configuration& c : kConfigurations) {
      if (!writeConfiguration(c)) {
        error_ = "cannot write the ini files in " + configurationDir(c).string();
        return;
      }
    }
    const ChildRun created = runChild(kConfigurations[0], {"--create", kDsn, std::to_string(kRows)});
    if (!created.ok) error_ = created.error;
  }

  bool writeConfiguration(const Configuration& c) {
    std::error_code failed;
    fs::create_directories(logDir(c), failed);
    if (failed) return false;
    std::ofstream odbcinst(configurationDir(c) / "odbcinst.ini");
    if (c.unixOdbcTrace) {
      odbcinst << "[ODBC]\nTrace=Yes\nTraceFile=" << (logDir(c) / "unixodbc.log").string() << "\n\n";
    }
    odbcinst << "[SQLite3]\nDescription=SQLite 3\nDriver=" << kSqliteDriver << "\n";
    std::ofstream odbc(configurationDir(c) / "odbc.ini");
    if (c.traceMode != nullptr) {
      odbc << "[ODBC]\nTrace=Yes\nTraceFile=" << (logDir(c) / "SQL.LOG").string()
           << "\nODBCTraceMode=" << c.traceMode << "\n\n";
    }
    odbc << "[" << kDsn << "]\nDriver=SQLite3\nDatabase=" << (dir_ / "bench.db").string() << "\n";
    return static_cast<bool>(odbcinst.flush()) && static_cast<bool>(odbc.flush());
  }

  fs::path dir_;
  fs::path self_;
  std::string error_;
};

// Bytes in the configuration's log directory; emptied for the next run.
uint64_t takeLogBytes(const fs::path& dir) {
  std::vector<fs::path> entries;
  std::error_code failed;
  for (fs::directory_iterator it(dir, failed), end; !failed && it != end; it.increment(failed)) {
    entries.push_back(it->path());
  }
  uint64_t bytes = 0;
  for (const fs::path& entry : entries) {
    const uintmax_t size = fs::file_size(entry, failed);
    if (!failed) bytes += size;
    fs::remove_all(entry, failed);
  }
  return bytes;
}

// What a run of each configuration must show, so that no figure is taken
// from a run that traced nothing, or traced twice.
std::string checkRun(const Configuration& c, const WorkloadResult& run, uint64_t logBytes) {
  if (run.traceLibraryLoaded != c.preloadStandIn) {
    return std::string(c.name) + (run.traceLibraryLoaded ? ": libvrtrc28.so was loaded"
                                                         : ": libvrtrc28.so was not loaded");
  }
  const bool writesFile = c.unixOdbcTrace || (c.traceMode != nullptr && std::strcmp(c.traceMode, "0") == 0);
  if (writesFile && logBytes == 0) return std::string(c.name) + ": no log was written";
  const bool traced = c.unixOdbcTrace || c.traceMode != nullptr;
  if (!traced && logBytes != 0) return std::string(c.name) + ": a log was written";
  return std::string();
}

void BM_TracedWorkload(benchmark::State& state) {
  const Configuration& c = kConfigurations[state.range(0)];
  state.SetLabel(c.name);
  Setup& setup = Setup::get();
  if (!setup.error().empty()) {
    state.SkipWithError(setup.error().c_str());
    return;
  }
  uint64_t logBytes = 0;
  for (auto _ : state) {
    std::vector<std::string> words = {"--workload", kDsn, std::to_string(kStatements)};
    if (c.heapBuffers) words.push_back("heap");
    const ChildRun run = setup.runChild(c, words);
    logBytes = takeLogBytes(setup.logDir(c));
    WorkloadResult result;
    std::string problem = run.error;
    if (run.ok) {
      problem = readWorkloadResult(run.out, &result)
                    ? checkRun(c, result, logBytes)
                    : std::string(c.name) + ": the child printed no time: " + run.out;
    }
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
    state.SetIterationTime(result.seconds);
  }
  state.counters["log_MiB"] = static_cast<double>(logBytes) / (1024.0 * 1024.0);
  state.counters["statements"] = kStatements;
}
BENCHMARK(BM_TracedWorkload)
    ->DenseRange(0, static_cast<int>(std::size(kConfigurations)) - 1)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->DisplayAggregatesOnly(true);

// The console report, and each configuration's median kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred) {
        medians_[run.report_label] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(reports);
  }

  void printRatios() const {
    const auto base = medians_.find("untraced");
    if (base == medians_.end() || base->second <= 0) return;
    std::printf("\nMedian workload time as a ratio to the untraced run (%d statements):\n", kStatements);
    for (const Configuration& c : kConfigurations) {
      const auto it = medians_.find(c.name);
      if (it != medians_.end()) std::printf("  %-14s %6.2f\n", c.name, it->second / base->second);
    }
    const auto ours = medians_.find("vrtrc_file");
    const auto theirs = medians_.find("unixodbc");
    if (ours != medians_.end() && theirs != medians_.end()) {
      std::printf("File sink %s unixODBC's own tracing.\n",
                  ours->second < theirs->second ? "is faster than" : "is not faster than");
    }
  }

 private:
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--workload") == 0) {
    return runWorkload(argv[2], std::atoi(argv[3]), argc == 5 && std::strcmp(argv[4], "heap") == 0);
  }
  if (argc == 4 && std::strcmp(argv[1], "--create") == 0) return createTable(argv[2], std::atoi(argv[3]));

  // The configurations' runs interleaved, so that a slow spell of the
  // machine does not fall on one configuration alone.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
