// Feeds arbitrary bytes to the narrow attribute-string parser. The first
// byte picks the code-page kind (the ANSI code page 1252 or 932, or UTF-8),
// the separator and whether keys may repeat; the rest is the text. A text
// that parses must give the same attributes after it is built and parsed
// again; the build may refuse only with 2807 (a value that ends inside a
// character and is not written last).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "julib/errors.h"
#include "julib/strings.h"
#include "julib/threads.h"
#include "julib/valueparser.h"
#include "platform/ansi.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs attributesOf(const JuValueParser& parser) {
  Pairs out;
  for (uint64_t i = 0; i < parser.attributes.count; ++i) {
    const JuSubString* key = parser.attributes.keyAt(i);
    const auto* value = static_cast<JuString*>(parser.attributes.valueAt(i));
    out.emplace_back(std::string(key->data, key->length), std::string(value->data, value->length));
  }
  return out;
}

bool lastErrorIs(uint16_t id) { return JuErrorList::lastErrorId() == id; }

void fuzz(const std::string& text, JuCodePageKind kind, char separator, uint32_t allowDuplicates) {
  JuValueParser parser(JuSubString(text.data(), text.size(), kind), separator, nullptr, allowDuplicates);
  if (parser.parse() != 0) {
    // Whatever was read stays usable.
    while (parser.nextUnconsumed() != nullptr) {
    }
    (void)parser.countUnconsumed();
    return;
  }
  JuString built(kind);
  if (parser.build(built, separator) != 0) {
    check(lastErrorIs(2807));
    return;
  }
  const std::string again(built.data == nullptr ? "" : built.data, built.length);
  JuValueParser reparsed(JuSubString(again.data(), again.size(), kind), separator, nullptr, 0);
  check(reparsed.parse() == 0);
  check(attributesOf(reparsed) == attributesOf(parser));

  // Reading and changing must stay in bounds.
  if (parser.attributes.count != 0) {
    const JuSubString* first = parser.keyAt(0);
    const std::string key(first->data, first->length);
    check(parser.get(JuSubString(key.data(), key.size(), kind)) != nullptr);
    check(parser.addAttribute("zz new", 6, text.data(), text.size() < 8 ? text.size() : 8, nullptr, 0) == 0);
    check(parser.get("ZZ NEW") != nullptr);
    parser.remove(key.c_str());
  }
  while (parser.nextUnconsumed() != nullptr) {
  }
  check(parser.resetConsumed() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  juStartProgram(&juLibraryModule, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t config = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  static const JuCodePageKind kKinds[] = {JuCodePageKind::kAnsi, JuCodePageKind::kAnsi, JuCodePageKind::kUtf8,
                                          JuCodePageKind::kBytes};
  const JuCodePageKind kind = kKinds[config & 3];
  const uint32_t codePage = (config & 3) == 1 ? 932 : 1252;
  const char separator = (config & 4) != 0 ? ',' : ';';
  const uint32_t allowDuplicates = (config >> 3) & 1;

  JuErrorList errors(0, 1);
  JuErrorList::pushCurrent(&errors);
  platform::setAnsiCodePage(codePage);
  fuzz(text, kind, separator, allowDuplicates);
  platform::setAnsiCodePage(1252);
  JuErrorList::popCurrent();
  return 0;
}
