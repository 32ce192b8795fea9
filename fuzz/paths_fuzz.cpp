// Arbitrary paths to the pure path rules: adapting into a buffer of every
// size around the path's length, full paths in buffers of exactly the given
// size, splitting into base and extension buffers of the sizes the input
// chooses (each a block of exactly that size, so a byte written past it is
// caught), and the safe-relative test against a plain reference. Narrow
// paths run on the single-byte page 1252 and the double-byte page 932.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "julib/errors.h"
#include "julib/files.h"
#include "julib/threads.h"
#include "platform/ansi.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

template <typename Unit>
size_t unitLength(const Unit* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

template <typename Unit>
bool terminatedWithin(const Unit* text, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (text[i] == 0) return true;
  }
  return false;
}

// Splits into exactly-sized blocks; without a cut, directory, base, '.' and
// extension give the path back.
template <typename Unit, typename Split>
void fuzzSplit(const std::basic_string<Unit>& path, size_t baseSize, size_t extensionSize, Split split) {
  std::unique_ptr<Unit[]> copy(new Unit[path.size() + 1]);
  std::memcpy(copy.get(), path.c_str(), (path.size() + 1) * sizeof(Unit));
  std::unique_ptr<Unit[]> base(new Unit[baseSize == 0 ? 1 : baseSize]);
  std::unique_ptr<Unit[]> extension(new Unit[extensionSize == 0 ? 1 : extensionSize]);
  const int result = split(copy.get(), baseSize == 0 ? nullptr : base.get(), baseSize,
                           extensionSize == 0 ? nullptr : extension.get(), extensionSize, 1);
  check(result == 0 || result == 1);
  const std::basic_string<Unit> directory(copy.get());
  check(path.compare(0, directory.size(), directory) == 0);
  if (baseSize == 0 || extensionSize == 0 || result != 0) return;
  check(terminatedWithin(base.get(), baseSize) && terminatedWithin(extension.get(), extensionSize));
  const std::basic_string<Unit> baseText(base.get());
  const std::basic_string<Unit> extensionText(extension.get());
  // Without a cut of the base, the directory and the base are the path up
  // to the first dot of the name; the extension is what follows, cut on a
  // character boundary to its buffer.
  const size_t stem = directory.size() + baseText.size();
  check(path.compare(directory.size(), baseText.size(), baseText) == 0);
  if (stem == path.size()) {
    check(extensionText.empty());
    return;
  }
  check(path[stem] == static_cast<Unit>('.'));
  const size_t rest = path.size() - stem - 1;
  check(path.compare(stem + 1, extensionText.size(), extensionText) == 0);
  check(extensionText.size() <= rest && extensionText.size() < extensionSize);
  if (rest < extensionSize) check(extensionText.size() == rest);
}

template <typename Unit, typename Full>
void fuzzFullPath(const std::basic_string<Unit>& path, size_t size, Full full) {
  if (size <= path.size()) size = path.size() + 1;
  std::unique_ptr<Unit[]> buffer(new Unit[size]);
  std::memcpy(buffer.get(), path.c_str(), (path.size() + 1) * sizeof(Unit));
  full(buffer.get(), size);
  check(terminatedWithin(buffer.get(), size));
  const size_t n = unitLength(buffer.get());
  check(n <= path.size() || n <= kJuPathChars - 1);
}

template <typename Unit, typename Adapt>
void fuzzAdapt(const std::basic_string<Unit>& path, Adapt adapt) {
  for (size_t size : {path.size(), path.size() + 1}) {
    std::unique_ptr<Unit[]> buffer(new Unit[size == 0 ? 1 : size]);
    const int result = adapt(path.c_str(), buffer.get(), size, 1);
    check(result == (path.size() < size ? 0 : 1));
    if (result == 0) check(path == buffer.get());
  }
}

bool isSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

int referenceSafe(const std::u16string& path) {
  size_t start = 0;
  while (start < path.size() && path[start] == u' ') ++start;
  const std::u16string p = path.substr(start);
  if (!p.empty() && isSeparator(p[0])) return 0;
  if (p.size() >= 2 && p[1] == u':' && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'))) return 0;
  size_t segment = 0;
  for (size_t i = 0; i <= p.size(); ++i) {
    if (i == p.size() || isSeparator(p[i])) {
      if (p.compare(segment, i - segment, u"..") == 0) return 0;
      segment = i + 1;
    }
  }
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  juStartProgram(&juLibraryModule, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  JuErrorList errors(0, 1);
  JuErrorList::pushCurrent(&errors);
  const uint8_t control = data[0];
  const size_t baseSize = data[1] % 40;
  const size_t extensionSize = data[2] % 40;
  data += 3;
  size -= 3;
  platform::setAnsiCodePage((control & 1) != 0 ? 932 : 1252);

  std::string narrow(reinterpret_cast<const char*>(data), size);
  narrow.resize(std::strlen(narrow.c_str()));
  std::u16string wide;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == 0) break;
    wide += unit;
  }
  const size_t fullSize = (control >> 1) * 3;

  fuzzAdapt(narrow, juAdaptPathToVolume);
  fuzzAdapt(wide, juAdaptPathToVolumeW);
  fuzzFullPath(narrow, fullSize, [](char* p, size_t n) { juMakeFullPath(p, 1, n); });
  fuzzFullPath(wide, fullSize, juMakeFullPathW);
  fuzzSplit(narrow, baseSize, extensionSize, juSplitFileName);
  fuzzSplit(wide, baseSize, extensionSize, juSplitFileNameW);
  check(juIsSafeRelativePathW(wide.c_str()) == referenceSafe(wide));

  platform::setAnsiCodePage(1252);
  JuErrorList::popCurrent();
  return 0;
}
