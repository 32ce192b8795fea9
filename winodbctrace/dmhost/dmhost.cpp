// The Driver Manager stand-in: reads the trace switches of ODBC.INI, loads
// the trace library and opens its log on the first ODBC call, closes the log
// at exit, and carries each call through the trace library and unixODBC.
//
// It reaches an application in one of two ways. Its folder first in
// LD_LIBRARY_PATH makes it the "libodbc.so.2" (and "libodbc.so") that every
// load of unixODBC by name finds: a program linked with it, an extension
// module that needs it (however it was loaded, RTLD_DEEPBIND included), and
// a program that opens it itself and binds each function from that handle.
// Preloaded (LD_PRELOAD), it reaches only the programs whose calls go
// through the process's global scope or an extension's own dependencies.

#include "dmhost.h"

#include <dlfcn.h>
#include <odbcinst.h>
#include <pthread.h>
#include <sched.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/utf16.h"
#include "trace.h"

namespace dmhost {
namespace {

constexpr char kTraceLibraryName[] = "libvrtrc28.so";
constexpr char kDriverManagerName[] = "libodbc.so.2";
// unixODBC's library by its path on the system the stand-in was built for.
constexpr char kDriverManagerPath[] = VRDMHOST_UNIXODBC;
constexpr size_t kSettingBytes = 1024;
constexpr size_t kMessageUnits = 1024;

using OpenLogFileFunction = decltype(&TraceOpenLogFile);
using CloseLogFileFunction = decltype(&TraceCloseLogFile);
using ReturnFunction = decltype(&TraceReturn);

// ---------------------------------------------------------------------------
// Process-wide state.
// ---------------------------------------------------------------------------

pthread_once_t setUpOnce = PTHREAD_ONCE_INIT;

// Set once every function of unixODBC is bound.
std::atomic<bool> realBound{false};
// Where unixODBC's library lies in memory, set before `realBound`.
std::atomic<uintptr_t> driverManagerStart{0};
std::atomic<uintptr_t> driverManagerEnd{0};

// Bound at set-up, before `tracing` is first set; never unbound, since a
// thread may still be inside the trace library while the process ends.
ReturnFunction traceReturn = nullptr;
CloseLogFileFunction traceCloseLogFile = nullptr;

// On from a successful open of the log until the exit handler closes it.
std::atomic<bool> tracing{false};
// Threads inside a trace export or TraceReturn: the exit handler waits for
// them before it closes the log.
std::atomic<int> traceUsers{0};

thread_local bool insideCall = false;   // this thread is in an ODBC function
thread_local bool insideTrace = false;  // ... and in the trace library

// ---------------------------------------------------------------------------
// Text.
// ---------------------------------------------------------------------------

void report(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

// ---------------------------------------------------------------------------
// Settings and loading.
// ---------------------------------------------------------------------------

// A key of the section "ODBC" of ODBC.INI, as the Windows Driver Manager
// reads its trace switches.
std::string readSetting(const char* key) {
  char buffer[kSettingBytes] = {};
  const int length = SQLGetPrivateProfileString("ODBC", key, "", buffer, sizeof buffer, "ODBC.INI");
  if (length <= 0) return std::string();
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

bool isOn(const std::string& value) {
  for (const char* word : {"yes", "1", "on"}) {
    if (strcasecmp(value.c_str(), word) == 0) return true;
  }
  return false;
}

// The file of this library, links followed: through its folder it is
// loaded by one of unixODBC's names.
std::string thisLibraryFile() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&thisLibraryFile), &info) == 0 || info.dli_fname == nullptr) return {};
  char* resolved = realpath(info.dli_fname, nullptr);
  if (resolved == nullptr) return info.dli_fname;
  std::string file = resolved;
  std::free(resolved);
  return file;
}

// The trace library beside this one, else the name for the loader's search.
std::string defaultTraceLibrary() {
  const std::string self = thisLibraryFile();
  const size_t slash = self.rfind('/');
  if (slash != std::string::npos) {
    const std::string beside = self.substr(0, slash + 1) + kTraceLibraryName;
    if (access(beside.c_str(), F_OK) == 0) return beside;
  }
  return kTraceLibraryName;
}

// Whether a library handle leads to this library's own functions.
bool isThisLibrary(void* library) {
  Dl_info own{}, found{};
  void* function = dlsym(library, functions[0].odbcName);
  return function != nullptr && dladdr(function, &found) != 0 &&
         dladdr(reinterpret_cast<void*>(&isThisLibrary), &own) != 0 && found.dli_fbase == own.dli_fbase;
}

// unixODBC as the process has it. Language bindings load it after start-up
// and into a local scope, as the dependency of an extension module, where
// neither RTLD_NEXT nor the global scope reaches; by its name the loader
// finds that copy wherever it sits. When the name leads here (the stand-in
// sits in unixODBC's place) or nothing has loaded unixODBC yet, the stand-in
// loads it by its path, into a scope of its own: the application called the
// Driver Manager and must get its answer, and a later load of that path by
// anyone gets this same copy, never a second one. Kept loaded for as long as
// calls may come.
void* driverManager() {
  void* library = dlopen(kDriverManagerName, RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
  if (library != nullptr && !isThisLibrary(library)) return library;
  if (library != nullptr) dlclose(library);
  return dlopen(kDriverManagerPath, RTLD_LAZY | RTLD_LOCAL);
}

// Binds every function of unixODBC through unixODBC's own handle (a lookup
// in the global scope finds this library's wrappers first). Threads that
// bind at once store the same addresses; when unixODBC cannot be loaded,
// the next call tries again.
void bindReal() {
  void* library = driverManager();
  if (library == nullptr) return;
  for (size_t i = 0; i < kFunctionCount; ++i) {
    functions[i].real.store(dlsym(library, functions[i].odbcName), std::memory_order_relaxed);
  }
  dl_find_object found{};
  void* known = functions[0].real.load(std::memory_order_relaxed);
  if (known != nullptr && _dl_find_object(known, &found) == 0) {
    driverManagerStart.store(reinterpret_cast<uintptr_t>(found.dlfo_map_start), std::memory_order_relaxed);
    driverManagerEnd.store(reinterpret_cast<uintptr_t>(found.dlfo_map_end), std::memory_order_relaxed);
  }
  realBound.store(true, std::memory_order_release);
}

// Whether a call comes from inside unixODBC: it calls some of its own
// functions through their exported names (its SQLEndTran asks SQLGetInfo),
// which lead here even when the application's call that they serve went to
// unixODBC past the stand-in (a program that takes each function from its
// own handle of unixODBC, with the stand-in preloaded).
bool fromDriverManager(const void* caller) {
  const auto address = reinterpret_cast<uintptr_t>(caller);
  return address >= driverManagerStart.load(std::memory_order_relaxed) &&
         address < driverManagerEnd.load(std::memory_order_relaxed);
}

// At exit: stops tracing, waits for the threads inside the trace library to
// leave it, and closes the log. The library stays loaded, since a thread may
// still be on its way out of one of its functions.
void closeTrace() {
  tracing.store(false);
  const int own = insideTrace ? 1 : 0;
  while (traceUsers.load() > own) sched_yield();
  traceCloseLogFile();
}

// A forked child has only the thread that forked: the parent's other
// threads inside the trace library are not there to leave it.
void forgetOtherUsers() { traceUsers.store(insideTrace ? 1 : 0); }

// Registered at load: a handler that set-up registered while another thread
// forks would miss that fork.
[[maybe_unused]] const bool forkHandled = pthread_atfork(nullptr, nullptr, forgetOtherUsers) == 0;

void setUp() {
  if (!isOn(readSetting("Trace"))) return;
  std::string path = readSetting("TraceDll");
  if (path.empty()) path = defaultTraceLibrary();
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    report("Unable to load the ODBC trace library " + path + ": " + (reason ? reason : ""));
    return;
  }
  const auto open = reinterpret_cast<OpenLogFileFunction>(dlsym(library, "TraceOpenLogFile"));
  const auto close = reinterpret_cast<CloseLogFileFunction>(dlsym(library, "TraceCloseLogFile"));
  const auto ret = reinterpret_cast<ReturnFunction>(dlsym(library, "TraceReturn"));
  if (open == nullptr || close == nullptr || ret == nullptr) {
    report("The ODBC trace library " + path + " lacks TraceOpenLogFile, TraceReturn or TraceCloseLogFile");
    return;
  }
  // A missing export leaves its function untraced.
  for (size_t i = 0; i < kFunctionCount; ++i) {
    if (functions[i].traceName != nullptr) functions[i].trace = dlsym(library, functions[i].traceName);
  }
  traceReturn = ret;
  traceCloseLogFile = close;

  const std::string file = readSetting("TraceFile");
  const std::u16string name = platform::utf16::fromUtf8(file);
  char16_t message[kMessageUnits] = {};
  // No file name: the library reads "TraceFile" itself when it opens lazily.
  // A log that cannot be opened now (its folder is not there yet) is said
  // so, and traced all the same: the library tries the open again.
  if (open(file.empty() ? nullptr : name.c_str(), message, sizeof message) != 0) {
    message[kMessageUnits - 1] = 0;
    report(platform::utf16::toUtf8(message));
  }
  // Registered after the trace library was loaded, so it runs before that
  // library's own static destructors.
  std::atexit(closeTrace);
  tracing.store(true);
}

// Counts this thread among the trace library's users while tracing is on.
bool enterTrace() {
  traceUsers.fetch_add(1);
  if (!tracing.load()) {
    traceUsers.fetch_sub(1);
    return false;
  }
  insideTrace = true;
  return true;
}

void leaveTrace() {
  insideTrace = false;
  traceUsers.fetch_sub(1);
}

}  // namespace

void endTracingAtQuickExit() {
  // A thread inside the trace library (a signal handler that ends the
  // process) would close the log in the middle of a record.
  if (tracing.load() && !insideTrace) closeTrace();
}

Call::Call(size_t index, const void* caller) : index_(index), applicationErrno_(errno) {
  if (insideCall) return;
  insideCall = true;
  outermost_ = true;
  pthread_once(&setUpOnce, setUp);
  if (!realBound.load(std::memory_order_acquire)) bindReal();
  if (fromDriverManager(caller)) return;
  void* trace = functions[index].trace;
  if (trace != nullptr && enterTrace()) trace_ = trace;
}

Call::~Call() {
  if (outermost_) insideCall = false;
}

void* Call::real() const {
  if (!realBound.load(std::memory_order_acquire)) bindReal();
  void* function = functions[index_].real.load(std::memory_order_relaxed);
  errno = applicationErrno_;
  return function;
}

void Call::entered(int16_t handle) {
  handle_ = handle;
  leaveTrace();
}

int16_t Call::returned(int16_t returnCode) {
  const int realErrno = errno;
  if (trace_ != nullptr && enterTrace()) {
    traceReturn(handle_, returnCode);
    leaveTrace();
  }
  errno = realErrno;
  return returnCode;
}

}  // namespace dmhost
