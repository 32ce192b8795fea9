// Threads, the process, modules and the Windows version the library runs on.
#ifndef PLATFORM_PROCESS_H
#define PLATFORM_PROCESS_H

#include <cstddef>
#include <cstdint>

namespace platform {

struct MessageTable;

// A module as the library sees it: a name, an address inside its code (to find
// its file) and the message tables it carries, searched in order.
struct Module {
  const char* name;
  const void* codeAddress;              // null: the main program
  const MessageTable* tables[4];        // null-terminated
};
using ModuleHandle = const Module*;

// Thread and process ids; never 0 for a live thread.
uint32_t currentThreadId() noexcept;
uint32_t currentProcessId() noexcept;

// Calls `hook(arg)` when the calling thread ends (not for the main thread
// leaving through exit()). One hook per thread: a second call replaces the
// argument. Returns false when the hook could not be registered.
bool setThreadExitHook(void (*hook)(void*), void* arg) noexcept;

// ---------------------------------------------------------------------------
// Fork.
// ---------------------------------------------------------------------------

// What a module does around fork() so that the locks it holds across a step
// of its work are in a known state in the child, whose one thread is a copy
// of the forking thread: `prepare` takes the locks (so no other thread is
// inside such a step when the process is copied), `parent` releases them,
// and `child` releases them and drops what belonged to the parent alone.
// Each is given `context`.
struct ForkHandlers {
  void (*prepare)(void* context);
  void (*parent)(void* context);
  void (*child)(void* context);
  void* context;
};

// The lock order of the layers: a lock that may be taken while another is
// held comes after it. Prepare handlers run stage by stage in this order,
// within a stage in the order they were added; parent and child handlers
// run in the exact reverse. Child handlers see the child's own ids.
enum class ForkStage : uint8_t {
  kDeliverable,     // a deliverable's locks (the trace lock, then its sinks')
  kLibrary,         // the support library's locks
  kPlatform,        // this layer's locks held while it takes others of its
                    // own: the dialog model, a whole-file update
  kPlatformStore,   // the registry store's snapshots, taken inside an update
  kPlatformInner,   // this layer's innermost locks, under which no other
                    // lock is taken (converters, tables, handles, clocks)
};

// Adds handlers for the life of the module that holds this layer (up to 32
// sets). False when there is no room; the caller's locks then stay as a fork
// finds them. Not to be called with a lock held that such handlers take: a
// fork that began meanwhile waits for the adder, the adder for the fork.
[[nodiscard]] bool addForkHandlers(ForkStage stage, const ForkHandlers& handlers) noexcept;

// Writes the file path of `module` (the main program for null) as UTF-8 bytes
// and a NUL into `buffer` of `size` bytes. Returns the bytes written without
// the NUL; a path cut to size - 1 returns size (as GetModuleFileName does),
// 0 on failure or when size is 0.
size_t moduleFileName(ModuleHandle module, char* buffer, size_t size) noexcept;

// The process environment as one block: each "NAME=value" string with its
// NUL, then one more NUL (an empty environment is that NUL alone), copied
// into `buffer` when the whole block fits `size` bytes. Returns the bytes the
// block takes, whether or not it was copied; a caller that sized its buffer
// by an earlier call asks again when the answer grew, since other threads
// may change the environment in between.
//   environmentBlock(buf, 0) -> 14 for {"A=1", "PATH=/bin"}, nothing copied
size_t environmentBlock(char* buffer, size_t size) noexcept;

// Keeps the calling thread's system error number (errno) as it was when the
// scope began: code that a host calls in passing (a trace around each of its
// calls) leaves the host the error its own call left.
//   { SystemErrorScope keep; ...writes that fail... }  // errno as before
class SystemErrorScope {
 public:
  SystemErrorScope() noexcept;
  ~SystemErrorScope();
  SystemErrorScope(const SystemErrorScope&) = delete;
  SystemErrorScope& operator=(const SystemErrorScope&) = delete;

 private:
  int saved_;
};

// The Windows version the library believes it runs on. The stand-in reports a
// current Windows (10.0, service pack 0); tests may report another one.
bool isWindowsVersionAtLeast(uint16_t major, uint16_t minor, uint16_t servicePackMajor) noexcept;
void setReportedWindowsVersionForTesting(uint16_t major, uint16_t minor, uint16_t servicePackMajor) noexcept;

}  // namespace platform

#endif  // PLATFORM_PROCESS_H
