// The process-wide objects: four locks and the two static errors, built in a
// fixed order before any other code of the program runs and torn down in the
// reverse order at exit.

#include <cstdlib>

#include "julib/errors.h"
#include "julib/threads.h"

namespace {

// Storage that the start-up and exit routines manage, never the compiler: a
// lock is constant-initialised and usable from load time; an error is
// zero-filled until its start-up routine builds it.
template <class T>
union Static {
  constexpr Static() : zero{} {}
  constexpr explicit Static(uint32_t noLock) : object(noLock) {}
  ~Static() {}
  unsigned char zero[sizeof(T)];
  T object;
};

Static<JuCriticalSection> profileLock(0);
Static<JuCriticalSection> threadListLock(0);
Static<JuCriticalSection> spareLock(0);
Static<JuCriticalSection> pageCacheLock(0);
Static<JuError> outOfMemoryError;
Static<JuError> nullError;

void initLock(JuCriticalSection& lock) { lock.initialised = lock.noLock == 0 ? 1 : 0; }

// The lock stays usable after exit: only its flag records that it was torn
// down (see ~JuCriticalSection).
void destroyLock(JuCriticalSection& lock) { lock.initialised = 0; }

// The static errors stay valid objects through exit, since other modules'
// exit code may still post; tearing one down releases what it holds.
void destroyError(JuError& error) { error.messageText.release(); }

struct StartUp {
  StartUp() {
    juInitProfileLock();
    std::atexit(juDestroyProfileLock);
    juInitOutOfMemoryError();
    std::atexit(juDestroyOutOfMemoryError);
    juInitNullError();
    std::atexit(juDestroyNullError);
    juInitThreadListLock();
    std::atexit(juDestroyThreadListLock);
    juInitSpareLock();
    std::atexit(juDestroySpareLock);
    juInitPageCacheLock();
    std::atexit(juDestroyPageCacheLock);
    juInitForkHandlers();
  }
};

// Before every other static initialiser of the program.
__attribute__((init_priority(101))) StartUp startUp;

}  // namespace

JuCriticalSection& juProfileLock = profileLock.object;
JuCriticalSection& juThreadListLock = threadListLock.object;
JuCriticalSection& juSpareLock = spareLock.object;
JuCriticalSection& juPageCacheLock = pageCacheLock.object;

void juInitProfileLock() { initLock(profileLock.object); }
void juInitThreadListLock() { initLock(threadListLock.object); }
void juInitSpareLock() { initLock(spareLock.object); }
void juInitPageCacheLock() { initLock(pageCacheLock.object); }
void juDestroyProfileLock() { destroyLock(profileLock.object); }
void juDestroyThreadListLock() { destroyLock(threadListLock.object); }
void juDestroySpareLock() { destroyLock(spareLock.object); }
void juDestroyPageCacheLock() { destroyLock(pageCacheLock.object); }

void juInitOutOfMemoryError() { new (&outOfMemoryError.object) JuError(JuError::StaticKind::kOutOfMemory); }
void juInitNullError() { new (&nullError.object) JuError(JuError::StaticKind::kNull); }
void juDestroyOutOfMemoryError() { destroyError(outOfMemoryError.object); }
void juDestroyNullError() { destroyError(nullError.object); }

JuError* juOutOfMemoryError() { return &outOfMemoryError.object; }
JuError* juNullError() { return &nullError.object; }

void juDisableGlobalLocks() {
  threadListLock.object.noLock = 1;
  pageCacheLock.object.noLock = 1;
  spareLock.object.noLock = 1;
}
