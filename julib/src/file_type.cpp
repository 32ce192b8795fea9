// File-name extensions and the type of a path in the file system.
//
// Both '\' and '/' separate path parts on input. Paths are looked up as
// given: file names are case-sensitive here, so they are never upper-cased.

#include "julib/cstring.h"
#include "platform/files.h"

#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

namespace {

// The classic path limit: a longer path is looked up cut to 259 characters.
constexpr size_t kPathUnits = 260;
// Each UTF-16 unit of such a path needs at most three UTF-8 bytes.
constexpr size_t kPathUtf8Bytes = kPathUnits * 3;

bool isSeparator(uint32_t c) { return c == '\\' || c == '/'; }

// File codes by platform::FileKind, in the order of its values.
constexpr int32_t kFileCodes[] = {kJuFileMissing, kJuFileRegular, kJuFileDirectory, kJuFileReadOnly};
static_assert(std::size(kFileCodes) == static_cast<size_t>(platform::FileKind::kReadOnlyFile) + 1);

int32_t fileCode(platform::FileKind kind) { return kFileCodes[static_cast<size_t>(kind)]; }

}  // namespace

const char* juStrNFindExtension(const char* path, size_t n, JuCodePageKind kind) {
  const char* dot = nullptr;
  // Only one-byte characters count: a trail byte may look like '\'.
  for (size_t i = 0; i < n;) {
    const size_t length = juCharLen(path + i, kind);
    if (length == 1) {
      if (isSeparator(static_cast<unsigned char>(path[i]))) {
        dot = nullptr;
      } else if (path[i] == '.') {
        dot = path + i;
      }
    }
    i += length;
  }
  return dot;
}

const char* juStrFindExtension(const char* path, JuCodePageKind kind) {
  return juStrNFindExtension(path, juStrLen(path), kind);
}

const char16_t* juWStrFindExtension(const char16_t* path) {
  // Surrogates never equal '.' or a separator, so the walk back goes by unit.
  for (size_t i = std::char_traits<char16_t>::length(path); i > 0; --i) {
    const char16_t unit = path[i - 1];
    if (unit == u'.') return path + i - 1;
    if (isSeparator(unit)) return nullptr;
  }
  return nullptr;
}

int32_t juGetFileType(const char* path) {
  if (path == nullptr) return kJuFileMissing;
  if (path[0] == '.' && path[1] == '.' && path[2] == '\0') return kJuFileDirectory;
  char buffer[kPathUnits];
  juStrCopyBounded(buffer, sizeof buffer, path);
  return fileCode(platform::fileKind(buffer));
}

int32_t juGetFileTypeW(const char16_t* path) {
  if (path == nullptr) return kJuFileMissing;
  if (path[0] == u'.' && path[1] == u'.' && path[2] == 0) return kJuFileDirectory;
  char16_t wide[kPathUnits];
  juWStrCopyBounded(wide, kPathUnits, path);
  // Names on this system are UTF-8; a path that is not valid UTF-16 cannot
  // name anything.
  char utf8[kPathUtf8Bytes];
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(utf8, static_cast<int32_t>(sizeof utf8), &length, wide, -1, &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING) return kJuFileMissing;
  return fileCode(platform::fileKind(utf8));
}
