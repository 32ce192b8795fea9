// Opening addresses: the test seam here, the opener in unix/browser.inc.

#include "platform/browser.h"

#include "platform/lock.h"

#include <mutex>

namespace platform {
namespace {

// Starts the system's opener for `address` (unix/browser.inc).
bool startOpener(const char* address) noexcept;

struct Recorder {
  Lock lock;
  AddressRecorder recorder = nullptr;
  void* context = nullptr;
};

Recorder addressRecorder;
[[maybe_unused]] const bool addressRecorderKept = keepAcrossFork(addressRecorder.lock, ForkStage::kPlatformInner);

}  // namespace

bool openAddress(const char* address) noexcept {
  if (address == nullptr || address[0] == '\0') return false;
  AddressRecorder record = nullptr;
  void* context = nullptr;
  {
    Recorder& r = addressRecorder;
    std::lock_guard<Lock> guard(r.lock);
    record = r.recorder;
    context = r.context;
  }
  if (record != nullptr) {
    record(address, context);
    return true;
  }
  return startOpener(address);
}

void setAddressRecorderForTesting(AddressRecorder hook, void* context) noexcept {
  Recorder& r = addressRecorder;
  std::lock_guard<Lock> guard(r.lock);
  r.recorder = hook;
  r.context = context;
}

}  // namespace platform

#include "unix/browser.inc"
