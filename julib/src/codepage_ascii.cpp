// Whether a converter keeps ASCII as it is, so that the narrow-to-narrow
// conversion may copy ASCII bytes past it. EBCDIC, the UTF-16 and UTF-32
// forms, UTF-7, HZ, ISO-2022 and the other stateful or shifting encodings
// do not; the answer is worked out once per converter name and kept.

#include <unicode/ucnv.h>

#include <atomic>
#include <cstring>

#include "codepage_workers.h"
#include "platform/lock.h"

namespace julib::internal {
namespace {

// Only these kinds can map bytes 00-7F one to one onto U+0000..U+007F without
// shift states; the probe below decides for each converter of them.
bool typeMayKeepAscii(UConverterType type) {
  switch (type) {
    case UCNV_SBCS:
    case UCNV_MBCS:
    case UCNV_LATIN_1:
    case UCNV_UTF8:
    case UCNV_US_ASCII:
    case UCNV_CESU8: return true;
    default: return false;
  }
}

// Converts every byte 00-7F alone to UTF-16 and every code point back, on a
// fresh converter of the same name and fallback setting that stops at the
// first problem, so the caller's converter, its state and its callbacks stay
// untouched.
bool probeAscii(const char* name, bool fallback) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name, &error);
  if (U_FAILURE(error)) return false;
  ucnv_setFallback(converter, fallback);
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  bool keeps = U_SUCCESS(error);
  for (int value = 0; keeps && value < 0x80; ++value) {
    const char byte = static_cast<char>(value);
    const char* in = &byte;
    char16_t units[4];
    char16_t* unitsEnd = units;
    ucnv_resetToUnicode(converter);
    ucnv_toUnicode(converter, &unitsEnd, units + 4, &in, &byte + 1, nullptr, true, &error);
    keeps = U_SUCCESS(error) && unitsEnd == units + 1 && units[0] == value;

    const char16_t unit = static_cast<char16_t>(value);
    const char16_t* unitIn = &unit;
    char bytes[8];
    char* bytesEnd = bytes;
    ucnv_resetFromUnicode(converter);
    ucnv_fromUnicode(converter, &bytesEnd, bytes + 8, &unitIn, &unit + 1, nullptr, true, &error);
    keeps = keeps && U_SUCCESS(error) && bytesEnd == bytes + 1 && bytes[0] == byte;
  }
  ucnv_close(converter);
  return keeps;
}

// Answers by converter name, written once and then only read: readers see an
// entry after the count that publishes it.
struct AsciiAnswer {
  char name[96];
  bool fallback;
  bool keepsAscii;
};
constexpr size_t kAnswers = 32;
AsciiAnswer answers[kAnswers];
std::atomic<size_t> answerCount{0};
platform::Lock answerLock;
[[maybe_unused]] const bool answerLockKept = platform::keepAcrossFork(answerLock, platform::ForkStage::kLibrary);

const AsciiAnswer* findAnswer(const char* name, bool fallback, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (answers[i].fallback == fallback && std::strcmp(answers[i].name, name) == 0) return &answers[i];
  }
  return nullptr;
}

void keepAnswer(const char* name, bool fallback, bool keepsAscii) {
  if (std::strlen(name) >= sizeof answers[0].name) return;  // asked again next time
  answerLock.enter();
  const size_t count = answerCount.load(std::memory_order_relaxed);
  if (count < kAnswers && findAnswer(name, fallback, count) == nullptr) {
    AsciiAnswer& answer = answers[count];
    std::strcpy(answer.name, name);
    answer.fallback = fallback;
    answer.keepsAscii = keepsAscii;
    answerCount.store(count + 1, std::memory_order_release);
  }
  answerLock.leave();
}

}  // namespace

bool converterKeepsAscii(UConverter* converter) {
  if (converter == nullptr) return false;
  UErrorCode error = U_ZERO_ERROR;
  if (!typeMayKeepAscii(ucnv_getType(converter))) return false;
  const char* name = ucnv_getName(converter, &error);
  if (U_FAILURE(error) || name == nullptr) return false;
  const bool fallback = ucnv_usesFallback(converter) != 0;
  if (const AsciiAnswer* answer = findAnswer(name, fallback, answerCount.load(std::memory_order_acquire))) {
    return answer->keepsAscii;
  }
  const bool keeps = probeAscii(name, fallback);
  keepAnswer(name, fallback, keeps);
  return keeps;
}

}  // namespace julib::internal
