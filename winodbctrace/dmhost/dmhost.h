// The Driver Manager stand-in: what its generated ODBC functions use to
// trace a call (the trace library's export, unixODBC's function, then
// TraceReturn) or to pass it straight to unixODBC.
#ifndef VRDMHOST_DMHOST_H
#define VRDMHOST_DMHOST_H

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace dmhost {

// One function of unixODBC's library: those of the export table in the
// table's order, then the others (generated).
struct Function {
  const char* odbcName;     // "SQLExecDirect", "SQLExecDirectA"
  const char* traceName;    // "TraceSQLExecDirect"; null: never traced
  std::atomic<void*> real;  // unixODBC's function, bound on the first call
  void* trace;              // the trace library's export, bound at set-up
};
extern Function functions[];
extern const size_t kFunctionCount;

// One call of an ODBC function, on the stack of its wrapper:
//
//   Call call(index, __builtin_return_address(0));
//   if (trace = call.traceExport()) call.entered(trace(args...));
//   real = call.real();  // null when unixODBC has no such function
//   return call.returned(real ? real(args...) : SQL_ERROR);
//
// The first call in the process reads the trace settings and loads the trace
// library; calls on other threads wait for it. Tracing that cannot be set up
// leaves the call untraced, never failed. Only the application's calls are
// traced: unixODBC's functions call each other through their exported names,
// which may lead back here, and those calls go to unixODBC as they are, as
// do all calls a thread makes while it is inside one (the trace library's,
// a driver's).
//
// The application sees errno as unixODBC leaves it: the real function finds
// the application's errno, and the application finds the real function's,
// whatever the set-up and the trace library did to it in between.
class Call {
 public:
  // `caller`: where the call comes from.
  Call(size_t index, const void* caller);
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  // unixODBC's function, bound on the first call that needs it (and again
  // on later calls while unixODBC cannot be loaded); null when it has no such
  // function. Puts the application's errno back, so it comes last before
  // the real function runs.
  void* real() const;
  // The trace export to call first, or null when this call is not traced.
  void* traceExport() const { return trace_; }
  // The trace handle the export returned.
  void entered(int16_t handle);
  // Hands the call's return code to TraceReturn when the call is traced, and
  // returns it with errno as the real function left it.
  int16_t returned(int16_t returnCode);

 private:
  size_t index_;
  int applicationErrno_;
  void* trace_ = nullptr;
  int16_t handle_ = 0;
  bool outermost_ = false;
};

// Closes the log as the exit handler does, for the process's quick ends
// (_exit, _Exit), which run no exit handlers: records the trace library
// holds in memory reach the file. Nothing while tracing is off, or on a
// thread inside the trace library.
void endTracingAtQuickExit();

}  // namespace dmhost

#endif  // VRDMHOST_DMHOST_H
