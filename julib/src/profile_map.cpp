// Mapping an INI name to its route: the nine known names, explicit registry
// paths, and plain INI files.

#include <array>
#include <string_view>

#include "julib/cstring.h"
#include "profile_internal.h"

namespace julib::profile {
namespace {

using platform::registry::Root;

struct Row {
  std::string_view name;
  Root root;
  std::string_view prefix;  // ends in '\': the section is appended directly
  JuProfileRoute route;
};

constexpr Row kRows[] = {
    {"ODBC.INI", Root::kCurrentUser, "SOFTWARE\\ODBC\\ODBC.INI\\", kJuProfileRouteInstaller},
    {"ODBCINST.INI", Root::kLocalMachine, "SOFTWARE\\ODBC\\ODBCINST.INI\\", kJuProfileRouteRegistry},
    {"CONTROL.INI", Root::kCurrentUser, "Control Panel\\", kJuProfileRouteRegistry},
    {"EXCHANGE.INI", Root::kCurrentUser, "SOFTWARE\\Volmaresk\\EXCHANGE.INI\\", kJuProfileRouteRegistry},
    {"EXCHINST.INI", Root::kLocalMachine, "SOFTWARE\\Volmaresk\\EXCHINST.INI\\", kJuProfileRouteRegistry},
    {"VREXP15.INI", Root::kCurrentUser, "SOFTWARE\\Volmaresk\\VREXP15.INI\\", kJuProfileRouteRegistry},
    {"JULIB.INI", Root::kCurrentUser, "SOFTWARE\\Volmaresk\\JULIB.INI\\", kJuProfileRouteRegistry},
    {"Volmaresk.INI", Root::kLocalMachine, "SOFTWARE\\Volmaresk\\", kJuProfileRouteRegistry},
    {"BRISKLANE.INI", Root::kLocalMachine, "SOFTWARE\\Brisklane\\", kJuProfileRouteRegistry},
};
constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];

// The names as one text, single blanks between them, in both widths; the
// search runs over it, so that a leading part of a name finds its row.
constexpr size_t namesSize() {
  size_t n = 0;
  for (const Row& row : kRows) n += row.name.size() + 1;
  return n;  // the last blank's place holds the terminator
}

template <typename Char>
constexpr std::array<Char, namesSize()> joinNames() {
  std::array<Char, namesSize()> out{};
  size_t at = 0;
  for (const Row& row : kRows) {
    for (char c : row.name) out[at++] = static_cast<Char>(c);
    out[at++] = ' ';
  }
  out[at - 1] = 0;
  return out;
}

constexpr size_t kPrefixChars = 40;

template <typename Char>
constexpr std::array<std::array<Char, kPrefixChars>, kRowCount> widenPrefixes() {
  std::array<std::array<Char, kPrefixChars>, kRowCount> out{};
  for (size_t i = 0; i < kRowCount; ++i) {
    for (size_t j = 0; j < kRows[i].prefix.size(); ++j) out[i][j] = static_cast<Char>(kRows[i].prefix[j]);
  }
  return out;
}

constexpr bool prefixesFit() {
  for (const Row& row : kRows) {
    if (row.prefix.size() >= kPrefixChars) return false;
  }
  return true;
}
static_assert(prefixesFit(), "a key prefix does not fit its table");

template <typename Char>
struct Tables {
  static constexpr std::array<Char, namesSize()> names = joinNames<Char>();
  static constexpr std::array<std::array<Char, kPrefixChars>, kRowCount> prefixes = widenPrefixes<Char>();
};
static_assert(std::string_view(Tables<char>::names.data()) ==
                  "ODBC.INI ODBCINST.INI CONTROL.INI EXCHANGE.INI EXCHINST.INI VREXP15.INI JULIB.INI "
                  "Volmaresk.INI BRISKLANE.INI",
              "the name text");

// The width-dependent steps.
const char* findInNames(const char* part) {
  return juStrFind(Tables<char>::names.data(), part, JuCodePageKind::kAnsi);
}
const char16_t* findInNames(const char16_t* part) {
  return juWStrFind(Tables<char16_t>::names.data(), part, textLength(part));
}
const char* findBackslash(const char* name) { return juStrFindChar(name, '\\', JuCodePageKind::kAnsi); }
const char16_t* findBackslash(const char16_t* name) { return juWStrFindChar(name, u'\\'); }

// The part after the last '\' or '/', stepping whole characters (a trail
// byte of a double-byte character may look like '\').
template <typename Char>
const Char* fileNamePart(const Char* name) {
  const Char* part = name;
  for (const Char* p = name; *p != 0; p += julib::files::charLength(p)) {
    if (julib::files::isSeparator(static_cast<uint32_t>(*p))) part = p + 1;
  }
  return part;
}

template <typename Char>
bool beginsWith(const Char* text, std::string_view ascii) {
  for (size_t i = 0; i < ascii.size(); ++i) {
    if (text[i] != static_cast<Char>(ascii[i])) return false;  // also stops at the terminator
  }
  return true;
}

template <typename Char>
ProfileTarget<Char> rowTarget(size_t row) {
  ProfileTarget<Char> target;
  target.route = kRows[row].route;
  target.root = platform::registry::rootKey(kRows[row].root);
  target.prefix = Tables<Char>::prefixes[row].data();
  target.prefixLength = kRows[row].prefix.size();
  return target;
}

template <typename Char>
ProfileTarget<Char> mapName(const Char* name, uint32_t pathsAllowed) {
  ProfileTarget<Char> target;
  if (isEmpty(name)) return target;
  const Char* part = fileNamePart(name);
  // An empty part (a name ending in a separator) names no row.
  if (const Char* found = *part != 0 ? findInNames(part) : nullptr) {
    size_t start = 0;
    const size_t offset = static_cast<size_t>(found - Tables<Char>::names.data());
    for (size_t row = 0; row < kRowCount; ++row) {
      if (start == offset) return rowTarget<Char>(row);
      start += kRows[row].name.size() + 1;
    }
  }
  if (pathsAllowed == 0) return target;
  const Char* backslash = findBackslash(name);
  if (backslash == nullptr) return target;
  if (beginsWith(name, "HKEY_LOCAL_MACHINE")) {
    target.root = platform::registry::rootKey(Root::kLocalMachine);
  } else if (beginsWith(name, "HKEY_CURRENT_USER")) {
    target.root = platform::registry::rootKey(Root::kCurrentUser);
  } else {
    return target;
  }
  target.route = kJuProfileRouteRegistry;
  target.prefix = backslash + 1;
  target.prefixLength = textLength(target.prefix);
  return target;
}

template <typename Char>
JuProfileRoute mapToRegistry(JuRegKey* root, Char* keyPath, size_t keyPathSize, const Char* iniName,
                             uint32_t pathsAllowed) {
  const ProfileTarget<Char> target = mapName(iniName, pathsAllowed);
  if (target.route == kJuProfileRouteIniFile) return target.route;
  if (root != nullptr) *root = target.root;
  if (keyPath != nullptr && keyPathSize > 0) copyValue(keyPath, keyPathSize, target.prefix, target.prefixLength);
  return target.route;
}

}  // namespace

ProfileTarget<char> mapProfile(const char* name, uint32_t pathsAllowed) { return mapName(name, pathsAllowed); }
ProfileTarget<char16_t> mapProfile(const char16_t* name, uint32_t pathsAllowed) {
  return mapName(name, pathsAllowed);
}

}  // namespace julib::profile

JuProfileRoute juMapProfileToRegistry(JuRegKey* root, char* keyPath, size_t keyPathSize, const char* iniName,
                                      uint32_t pathsAllowed) {
  return julib::profile::mapToRegistry(root, keyPath, keyPathSize, iniName, pathsAllowed);
}

JuProfileRoute juMapProfileToRegistryW(JuRegKey* root, char16_t* keyPath, size_t keyPathSize,
                                       const char16_t* iniName, uint32_t pathsAllowed) {
  return julib::profile::mapToRegistry(root, keyPath, keyPathSize, iniName, pathsAllowed);
}
