// The text form of a registry root's file: a tree written as text, and text
// read back into a tree. Pure: no file is touched here.
//
// The file is UTF-8 text a person can read and edit:
//
//   vrtools-registry 1
//   "RootValue"="text"
//
//   [SOFTWARE\ODBC\ODBC.INI\My Source]
//   "Driver"="/usr/lib/libsqlite3odbc.so"
//
//   end
//
// Every key gets its own "[path]" line (a person may leave out the parents),
// parent first, subkeys and values in the order they were created, so
// reading a file back keeps that order. A UTF-16 unit that cannot
// stand as it is (controls, '%', '"', '[', ']', a lone surrogate, and in key
// names '\' and '/') is written as '%' and four hex digits. Blank lines and
// lines starting with ';' are ignored. The "end" line tells a complete file
// from a cut one: a file without it is reported, never taken as empty.
#ifndef PLATFORM_SRC_PROFILE_REGISTRY_FORMAT_H
#define PLATFORM_SRC_PROFILE_REGISTRY_FORMAT_H

#include <cstdint>
#include <string_view>

#include "growable_buffer.h"
#include "profile/registry_tree.h"

namespace platform::registry::internal {

// Appends the whole text of `tree` to `out`: root values, then every key
// parent first (depth first, in creation order). False when out of memory.
//   a tree with the value "v"="1" -> "vrtools-registry 1\n\"v\"=\"1\"\n\nend\n"
[[nodiscard]] bool serialize(const Tree& tree, platform::internal::Buffer<char>* out);

enum class ParseResult : uint8_t {
  kOk,
  kCorrupt,   // not a whole file of this form: the tree is to be dropped
  kNoMemory,  // the tree is incomplete
};

// Reads `text` into the empty `tree`. A "[path]" line makes its key and the
// missing keys above it; a value name given twice in a key keeps the last
// data; blanks may stand around '=' and after a value; a '\r' before a line
// break is ignored.
//   parse("vrtools-registry 1\n[A]\nend\n", &tree) -> kOk, key "A"
//   parse("vrtools-registry 1\n[A]\n", &tree)      -> kCorrupt (cut: no end line)
[[nodiscard]] ParseResult parse(std::string_view text, Tree* tree);

}  // namespace platform::registry::internal

#endif  // PLATFORM_SRC_PROFILE_REGISTRY_FORMAT_H
