// The name a branded file is written under.

#include <cstring>

#include "brand.h"
#include "brand_text.h"

namespace {

bool endsWith(const char* text, size_t n, const char* tail) {
  const size_t m = std::strlen(tail);
  return n >= m && std::memcmp(text + n - m, tail, m) == 0;
}

bool endsWithNoCase(const char* text, size_t n, const char* lowerTail) {
  const size_t m = std::strlen(lowerTail);
  if (n < m) return false;
  for (size_t i = 0; i < m; ++i) {
    char c = text[n - m + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != lowerTail[i]) return false;
  }
  return true;
}

// Replaces in place every "crvn" that has a character behind it by "od";
// returns the new length. A "crvn" that ends the name stays.
size_t replaceCorvaneParts(char* name, size_t n) {
  for (size_t i = 0; i + 5 <= n;) {
    if (std::memcmp(name + i, "crvn", 4) != 0) {
      ++i;
      continue;
    }
    name[i] = 'o';
    name[i + 1] = 'd';
    std::memmove(name + i + 2, name + i + 4, n - (i + 4) + 1);
    n -= 2;
    i += 2;
  }
  return n;
}

}  // namespace

char* brand::newFileName(const char* listedName) const {
  char* name = brandtext::copy(brandtext::orEmpty(listedName));
  if (name == nullptr) return nullptr;
  size_t n = std::strlen(name);
  if (corvane61Mode != 0) n = replaceCorvaneParts(name, n);
  // Executables keep their names: installers look for them by name.
  if (n > 4 && endsWithNoCase(name, n, ".exe")) return name;

  const char* prefix = brandtext::orEmpty(filePrefix);
  if (n > 6 && endsWith(name, n, "kj.dll")) {
    // A sibling product's library: its own prefix stands in front of ".dll".
    for (size_t i = 0; i < 2 && prefix[i] != 0; ++i) name[n - 6 + i] = prefix[i];
  } else {
    for (size_t i = 0; i < 2 && i < n && prefix[i] != 0; ++i) name[i] = prefix[i];
    const char* newSuffix = brandtext::orEmpty(suffix);
    if (suffixMode != 0 && std::strlen(newSuffix) >= 2) {
      // The version code behind the prefix, never the prefix itself.
      for (size_t i = 2; i + 1 < n; ++i) {
        if (isVersionCode(name + i) != 0) {
          name[i] = newSuffix[0];
          name[i + 1] = newSuffix[1];
          break;
        }
      }
    }
  }
  brandtext::lowerUtf8(name);
  return name;
}
