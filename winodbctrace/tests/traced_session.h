// A traced ODBC session for the tests of the stand-in and the trace library
// end to end: a temporary ODBC set-up (the SQLite driver, a data source
// "testdsn", the trace switches of the section "ODBC"), programs run with the
// Driver Manager stand-in in front of unixODBC, and the trace logs read back
// and parsed into records.
#ifndef VRTRACE_TESTS_TRACED_SESSION_H
#define VRTRACE_TESTS_TRACED_SESSION_H

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "export_table.h"

extern char** environ;

namespace vrtest {

namespace fs = std::filesystem;

inline constexpr char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---------------------------------------------------------------------------
// Running programs.
// ---------------------------------------------------------------------------

struct ClientRun {
  int status = -1;  // exit status, or 128 + the signal that ended it
  pid_t pid = 0;
  std::string out;
  std::string err;
};

// How TracedSession::start runs a program.
struct Launch {
  // How the stand-in is put in front of unixODBC: not at all, by its folder
  // first in LD_LIBRARY_PATH (there it is the libodbc.so.2 that every load
  // of unixODBC by name finds), or preloaded.
  enum class StandIn { kNone, kFolder, kPreloaded };
  StandIn standIn = StandIn::kFolder;
  // An interpreter (Python, Perl, PHP, Tcl) leaves its memory to the system
  // at exit, which the sanitizers' leak check would report.
  bool interpreter = false;
  // The program loads libraries with RTLD_DEEPBIND (PHP), which the
  // sanitizers' runtime refuses in its process: in their build such a
  // program gets the stand-in and the trace library built without them.
  bool deepBind = false;
};

// The environment entries that put the stand-in in front of unixODBC as
// `launch` says (in the sanitizers' build, with their runtime preloaded
// first); `libraryPath` is the LD_LIBRARY_PATH the program had.
inline std::vector<std::string> standInEnvironment(const Launch& launch, const std::string& libraryPath = "") {
  const std::string runtime = launch.deepBind ? "" : VRTRACE_SANITIZER_RUNTIME;
  const std::string folder = launch.deepBind ? VRDMHOST_PLAIN_FOLDER : VRDMHOST_FOLDER;
  const std::string more = libraryPath.empty() ? "" : ":" + libraryPath;
  switch (launch.standIn) {
    case Launch::StandIn::kNone:
      return {};
    case Launch::StandIn::kFolder:
      if (runtime.empty()) return {"LD_LIBRARY_PATH=" + folder + more};
      return {"LD_LIBRARY_PATH=" + folder + more, "LD_PRELOAD=" + runtime};
    case Launch::StandIn::kPreloaded:
      return {"LD_PRELOAD=" + (runtime.empty() ? "" : runtime + " ") + VRDMHOST_LIBRARY};
  }
  return {};
}

// A program started by TracedSession::start, not yet waited for.
struct StartedClient {
  pid_t pid = 0;
  fs::path outPath;
  fs::path errPath;
};

// ---------------------------------------------------------------------------
// The set-up.
// ---------------------------------------------------------------------------

// A temporary folder with odbcinst.ini (the SQLite driver) and, once
// writeOdbcIni ran, odbc.ini; removed with all it holds at the end.
class TracedSession {
 public:
  TracedSession() {
    char pattern[] = "/tmp/vrtrace_session_XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    std::ofstream(dir_ / "odbcinst.ini") << "[SQLite3]\nDescription=SQLite 3\nDriver=" << kSqliteDriver << "\n";
  }
  ~TracedSession() {
    std::error_code ignored;
    // A test may have taken the write permission away.
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }
  TracedSession(const TracedSession&) = delete;
  TracedSession& operator=(const TracedSession&) = delete;

  // False when the folder could not be made or the driver is missing.
  bool usable() const { return !dir_.empty() && fs::exists(kSqliteDriver); }
  const fs::path& dir() const { return dir_; }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  // The "TraceFile" most tests use.
  std::string logPath() const { return path("SQL.LOG"); }

  // odbc.ini with these lines in its section "ODBC" and the data source
  // "testdsn" on a database file in the folder.
  void writeOdbcIni(const std::vector<std::string>& traceLines) const {
    std::ofstream ini(dir_ / "odbc.ini");
    ini << "[ODBC]\n";
    for (const std::string& line : traceLines) ini << line << "\n";
    ini << "\n[testdsn]\nDriver=SQLite3\nDatabase=" << (dir_ / "test.db").string() << "\n";
  }

  // Starts `program` with `args` as `launch` says and with this set-up's
  // files; standard input from `input` (empty: /dev/null).
  StartedClient start(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input = std::string(), const Launch& launch = Launch()) {
    std::vector<std::string> env;
    std::string libraryPath;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string key = entry.substr(0, entry.find('='));
      if (key == "LD_LIBRARY_PATH") {
        libraryPath = entry.substr(key.size() + 1);
      } else if (key != "ODBCSYSINI" && key != "ODBCINI" && key != "HOME" && key != "LD_PRELOAD" &&
                 !(launch.interpreter && key == "ASAN_OPTIONS")) {
        env.push_back(entry);
      }
    }
    const std::vector<std::string> standIn = standInEnvironment(launch, libraryPath);
    env.insert(env.end(), standIn.begin(), standIn.end());
    if (launch.standIn == Launch::StandIn::kNone && !libraryPath.empty()) {
      env.push_back("LD_LIBRARY_PATH=" + libraryPath);
    }
    if (launch.interpreter) env.push_back("ASAN_OPTIONS=detect_leaks=0");
    env.push_back("ODBCSYSINI=" + dir_.string());
    env.push_back("HOME=" + dir_.string());

    std::vector<std::string> argvText = {program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (std::string& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    ++runs_;
    StartedClient started;
    started.outPath = dir_ / ("client" + std::to_string(runs_) + ".out");
    started.errPath = dir_ / ("client" + std::to_string(runs_) + ".err");
    std::string inPath = "/dev/null";
    if (!input.empty()) {
      inPath = (dir_ / ("client" + std::to_string(runs_) + ".in")).string();
      std::ofstream(inPath, std::ios::binary) << input;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, started.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, started.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&started.pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) started.pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    return started;
  }

  // Waits for a started program; its status and output.
  ClientRun wait(const StartedClient& started) {
    ClientRun run;
    run.pid = started.pid;
    if (started.pid != 0) {
      int status = 0;
      waitpid(started.pid, &status, 0);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.out = readFile(started.outPath);
    run.err = readFile(started.errPath);
    std::error_code ignored;
    fs::remove(started.outPath, ignored);
    fs::remove(started.errPath, ignored);
    return run;
  }

  ClientRun run(const std::string& program, const std::vector<std::string>& args,
                const std::string& input = std::string(), const Launch& launch = Launch()) {
    return wait(start(program, args, input, launch));
  }

  // The test client with a script of actions (see odbc_client.cpp).
  StartedClient startClient(const std::vector<std::string>& words) { return start(VRTRACE_ODBC_CLIENT, words); }
  ClientRun runClient(const std::vector<std::string>& words) { return run(VRTRACE_ODBC_CLIENT, words); }

  // The trace logs below the folder whose names start with `prefix`, sorted
  // by name (the INFO side file is not among them).
  std::vector<fs::path> logFiles(const std::string& prefix = "SQL") const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) == 0 && name.find("INFO") == std::string::npos &&
          (entry.is_regular_file() || entry.is_symlink())) {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  // Their names alone.
  std::vector<std::string> logNames(const std::string& prefix = "SQL") const {
    std::vector<std::string> names;
    for (const fs::path& file : logFiles(prefix)) names.push_back(file.filename().string());
    return names;
  }
  // All of them, one after the other in name order.
  std::string logText(const std::string& prefix = "SQL") const {
    std::string text;
    for (const fs::path& file : logFiles(prefix)) text += readFile(file);
    return text;
  }
  void removeLogs() const {
    for (const fs::path& file : logFiles()) fs::remove(file);
  }

 private:
  fs::path dir_;
  int runs_ = 0;
};

// Waits up to a minute for a file that a running client creates.
inline bool waitForFile(const fs::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// ---------------------------------------------------------------------------
// The trace library called directly, as a Driver Manager would.
// ---------------------------------------------------------------------------

// The exports of libvrtrc28.so that such tests call.
struct TraceLibrary {
  int16_t (*openLogFile)(const char16_t* name, char16_t* message, uint32_t messageBytes) = nullptr;
  int16_t (*closeLogFile)() = nullptr;
  void (*traceReturn)(int16_t handle, int16_t returnCode) = nullptr;
  int16_t (*traceFetch)(void* statement) = nullptr;  // TraceSQLFetch

  // Loads the library and binds the exports; false (the reason on stderr)
  // when one is missing.
  bool load() {
    void* library = dlopen(VRTRACE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      std::fprintf(stderr, "dlopen: %s\n", dlerror());
      return false;
    }
    openLogFile = reinterpret_cast<decltype(openLogFile)>(dlsym(library, "TraceOpenLogFile"));
    closeLogFile = reinterpret_cast<decltype(closeLogFile)>(dlsym(library, "TraceCloseLogFile"));
    traceReturn = reinterpret_cast<decltype(traceReturn)>(dlsym(library, "TraceReturn"));
    traceFetch = reinterpret_cast<decltype(traceFetch)>(dlsym(library, "TraceSQLFetch"));
    if (openLogFile != nullptr && closeLogFile != nullptr && traceReturn != nullptr && traceFetch != nullptr) {
      return true;
    }
    std::fprintf(stderr, "an export is missing\n");
    return false;
  }
};

// Runs `body` in a child process whose ODBC.INI is the session's (the
// trace library's state is process-wide, so each such test starts afresh);
// the child's exit status, or -1 when it did not exit.
template <typename Body>
int runInChild(const TracedSession& session, Body body) {
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child == -1) return -1;
  if (child == 0) {
    setenv("ODBCSYSINI", session.dir().c_str(), 1);
    const int status = body();
    std::fflush(stderr);
    std::_Exit(status);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// ---------------------------------------------------------------------------
// Records.
// ---------------------------------------------------------------------------

// One ENTER or EXIT record of a log. The views point into the log text,
// which must outlive the record.
struct LogRecord {
  std::string_view kind;               // "ENTER" or "EXIT"
  std::string_view function;           // "SQLExecDirect"
  std::string_view thread;             // "pid=1234:tid=5678"; empty in forms without it
  int returnCode = 0;                  // EXIT only
  std::string_view returnName;         // EXIT only: "SQL_SUCCESS"
  std::vector<std::string_view> args;  // each argument, without its two tabs
  size_t offset = 0;                   // where the record starts in the text
  size_t length = 0;                   // its bytes
};

struct ParsedLog {
  std::vector<LogRecord> records;
  std::string error;  // the first fault of form found, empty when none
};

namespace detail {

inline bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The header line of a record: "<prefix> \tENTER SQLFetch " or, in the bare
// form, "ENTER SQLFetch"; EXIT headers end in " with return code 0
// (SQL_SUCCESS)". False when the line is no header.
inline bool parseHeader(std::string_view line, LogRecord& record) {
  size_t at = line.find("\tENTER ");
  size_t word = at + 1;
  if (at == std::string_view::npos) at = line.find("\tEXIT  "), word = at + 1;
  if (at == std::string_view::npos) {
    if (!startsWith(line, "ENTER ") && !startsWith(line, "EXIT ")) return false;
    at = 0, word = 0;
  }
  const std::string_view prefix = line.substr(0, at);
  const size_t pid = prefix.find("pid=");
  if (pid != std::string_view::npos) {
    const size_t end = prefix.find(' ', pid);
    record.thread = prefix.substr(pid, end == std::string_view::npos ? std::string_view::npos : end - pid);
  }
  std::string_view rest = line.substr(word);
  record.kind = rest.substr(0, rest[1] == 'N' ? 5 : 4);
  rest.remove_prefix(record.kind.size());
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  const size_t nameEnd = rest.find(' ');
  record.function = rest.substr(0, nameEnd);
  if (record.function.empty()) return false;
  rest = nameEnd == std::string_view::npos ? std::string_view() : rest.substr(nameEnd);
  // The prefixed forms end the name with a blank, the bare form does not.
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (record.kind == "ENTER") return rest.empty();
  constexpr std::string_view kCode = "with return code ";
  if (!startsWith(rest, kCode)) return false;
  rest.remove_prefix(kCode.size());
  const size_t open = rest.find(" (");
  if (open == std::string_view::npos || rest.back() != ')') return false;
  record.returnCode = std::atoi(std::string(rest.substr(0, open)).c_str());
  record.returnName = rest.substr(open + 2, rest.size() - open - 3);
  return true;
}

// An argument's label and value without what the value points to: a
// handle pointer shows the handle it points to only in the EXIT record of
// a successful call ("HENV *              0x... ( 0x...)").
inline std::string_view argumentAddress(std::string_view arg) { return arg.substr(0, arg.find(" (")); }

}  // namespace detail

// Splits a log (or one file of it) into records, and checks their form: the
// text is whole records only, each one or more line breaks, a header line
// and exactly one argument per argument of its function (as the export
// table counts them), each a line of its own that starts with two tabs
// (quoted text shows a tab as an escape, so none can hide a second
// argument). A record cut off, split across two texts or mixed with
// another is a fault of form.
inline ParsedLog parseLog(std::string_view text, const ExportTable& table) {
  ParsedLog log;
  std::map<std::string_view, size_t> argCounts;
  for (const TableExport& e : table.exports) argCounts[e.function] = e.args.size();
  auto fail = [&](size_t offset, const std::string& what) {
    log.error = what + " at byte " + std::to_string(offset) + ": \"" + std::string(text.substr(offset, 120)) + "\"";
  };
  constexpr std::string_view kArgStart = "\t\t";
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    // Every text starts with a record's line break.
    if (pos == 0 && text[0] != '\n') {
      fail(pos, "text outside a record");
      break;
    }
    while (pos < text.size() && text[pos] == '\n') ++pos;
    const size_t headerEnd = text.find('\n', pos);
    if (headerEnd == std::string_view::npos) {
      fail(start, "record cut off in its header");
      break;
    }
    LogRecord record;
    record.offset = start;
    if (!detail::parseHeader(text.substr(pos, headerEnd - pos), record)) {
      fail(pos, "no record header");
      break;
    }
    pos = headerEnd + 1;
    const auto count = argCounts.find(record.function);
    if (count == argCounts.end()) {
      fail(start, "unknown function " + std::string(record.function));
      break;
    }
    // The argument lines.
    while (detail::startsWith(text.substr(pos), kArgStart)) {
      const size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) {
        fail(pos, "record cut off in an argument");
        break;
      }
      const std::string_view line = text.substr(pos + kArgStart.size(), end - pos - kArgStart.size());
      if (line.find('\t') != std::string_view::npos) {
        fail(pos, "two arguments on one line");
        break;
      }
      record.args.push_back(line);
      pos = end + 1;
    }
    if (!log.error.empty()) break;
    if (record.args.size() != count->second) {
      fail(start, std::to_string(record.args.size()) + " arguments of " + std::string(record.function));
      break;
    }
    record.length = pos - start;
    log.records.push_back(std::move(record));
  }
  return log;
}

// "" when, on every thread, each ENTER is followed by the EXIT of the same
// function and the same first argument (its address: what it points to may
// differ) before anything else; else the first record that breaks the
// rule. Calls still outstanding at the end break it too.
inline std::string checkEnterExitPairs(const std::vector<LogRecord>& records) {
  std::map<std::string_view, const LogRecord*> open;  // by thread
  auto where = [&](size_t i) {
    const LogRecord& r = records[i];
    return "record " + std::to_string(i) + " (" + std::string(r.kind) + " " + std::string(r.function) + " on " +
           std::string(r.thread) + ")";
  };
  for (size_t i = 0; i < records.size(); ++i) {
    const LogRecord& r = records[i];
    const LogRecord*& entered = open[r.thread];
    if (r.kind == "ENTER") {
      if (entered != nullptr) return where(i) + " while " + std::string(entered->function) + " is outstanding";
      entered = &r;
      continue;
    }
    if (entered == nullptr) return where(i) + " without its ENTER";
    if (entered->function != r.function || entered->args.empty() || r.args.empty() ||
        detail::argumentAddress(entered->args[0]) != detail::argumentAddress(r.args[0])) {
      return where(i) + " does not close " + std::string(entered->function);
    }
    entered = nullptr;
  }
  for (const auto& [thread, entered] : open) {
    if (entered != nullptr) {
      return "ENTER " + std::string(entered->function) + " on " + std::string(thread) + " has no EXIT";
    }
  }
  return std::string();
}

// "ENTER SQLFetch", "EXIT SQLFetch", ... in the order written.
inline std::vector<std::string> recordWords(const std::vector<LogRecord>& records) {
  std::vector<std::string> words;
  for (const LogRecord& r : records) words.push_back(std::string(r.kind) + " " + std::string(r.function));
  return words;
}

// The functions of the records of one kind, in the order written.
inline std::vector<std::string> recordNames(const std::vector<LogRecord>& records, std::string_view kind) {
  std::vector<std::string> names;
  for (const LogRecord& r : records) {
    if (r.kind == kind) names.emplace_back(r.function);
  }
  return names;
}

// Whether `tail` is the end of `whole`.
inline bool endsWith(const std::vector<std::string>& whole, const std::vector<std::string>& tail) {
  return tail.size() <= whole.size() &&
         std::equal(tail.begin(), tail.end(), whole.end() - static_cast<std::ptrdiff_t>(tail.size()));
}

// The record words of a run of the test client's `script` logged whole to
// one file ("REF.LOG", removed again), for comparison with runs under other
// settings; empty when the run failed or its log did not parse. Leaves
// odbc.ini for the caller to write again.
inline std::vector<std::string> referenceWords(TracedSession& session, const std::vector<std::string>& script,
                                               const ExportTable& table) {
  session.writeOdbcIni({"Trace=Yes", "TraceFile=" + session.path("REF.LOG")});
  const ClientRun run = session.runClient(script);
  const std::string text = session.logText("REF");
  for (const fs::path& file : session.logFiles("REF")) fs::remove(file);
  const ParsedLog parsed = parseLog(text, table);
  if (run.status != 0 || !parsed.error.empty()) return {};
  return recordWords(parsed.records);
}

}  // namespace vrtest

#endif  // VRTRACE_TESTS_TRACED_SESSION_H
