// Feeds arbitrary bytes to the UTF-16 attribute-string parser as 16-bit
// units. The first byte picks the separator and whether keys may repeat;
// the rest is the text. Sensitive values are protected; a text that parses
// must give the same attributes (protected ones compared revealed) after it
// is built and parsed again, and buildPlain must fail exactly when one is
// protected.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "julib/crypto.h"
#include "julib/errors.h"
#include "julib/strings.h"
#include "julib/threads.h"
#include "julib/valueparser.h"

namespace {

const uint8_t kKey[8] = {0x5A, 0x17, 0xC3, 0x88, 0x01, 0xFE, 0x42, 0x9D};

void check(bool ok) {
  if (!ok) std::abort();
}

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

Pairs attributesOf(const JuValueParserW& parser, bool* anyProtected) {
  Pairs out;
  for (uint64_t i = 0; i < parser.attributes.count; ++i) {
    const JuSubStringW* key = parser.attributes.keyAt(i);
    const auto* attribute = static_cast<AttributeObject*>(parser.attributes.valueAt(i));
    check((attribute->value == nullptr) != (attribute->protectedValue == nullptr));
    std::u16string value;
    if (attribute->protectedValue != nullptr) {
      *anyProtected = true;
      JuProtectedValue plain;
      check(plain.reveal(*attribute->protectedValue, kKey) == 0);
      value = u"<p>" + std::u16string(reinterpret_cast<const char16_t*>(plain.buffer), plain.length);
    } else {
      value = std::u16string(attribute->value->data, attribute->value->length);
    }
    out.emplace_back(std::u16string(key->data, key->length), value);
  }
  return out;
}

void fuzz(const std::u16string& text, char16_t separator, uint32_t allowDuplicates) {
  JuValueParserW parser(JuSubStringW(text.data(), text.size()), separator, nullptr, allowDuplicates);
  if (parser.parse(kKey, nullptr) != 0) {
    while (parser.nextUnconsumed() != nullptr) {
    }
    return;
  }
  bool anyProtected = false;
  const Pairs first = attributesOf(parser, &anyProtected);
  JuStringWEx built;
  if (parser.build(built, kKey, separator) != 0) {
    check(JuErrorList::lastErrorId() == 2807);
    return;
  }
  const std::u16string again(built.data == nullptr ? u"" : built.data, built.length);
  JuValueParserW reparsed(JuSubStringW(again.data(), again.size()), separator, nullptr, 0);
  check(reparsed.parse(kKey, nullptr) == 0);
  bool unused = false;
  check(attributesOf(reparsed, &unused) == first);

  JuStringW plain;
  const int plainStatus = parser.buildPlain(plain, separator);
  check(!anyProtected || plainStatus == 1);
  if (plainStatus == 0) check(std::u16string(plain.data == nullptr ? u"" : plain.data, plain.length) == again);

  if (parser.attributes.count != 0) {
    const JuSubStringW* key = parser.keyAt(0);
    const std::u16string name(key->data, key->length);
    int found = 0;
    JuProtectedValue copy;
    (void)parser.getProtected(JuSubStringW(name.data(), name.size()), &found, &copy);
    check(parser.addAttribute(u"zz new", text.c_str(), nullptr) == 0);
    check(parser.get(u"ZZ NEW") != nullptr);
    parser.remove(name.c_str());
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
  std::u16string text((size - 1) / 2, u'\0');
  std::memcpy(text.data(), data + 1, text.size() * 2);
  const char16_t separator = (config & 1) != 0 ? u',' : u';';
  const uint32_t allowDuplicates = (config >> 1) & 1;

  JuErrorList errors(0, 1);
  JuErrorList::pushCurrent(&errors);
  fuzz(text, separator, allowDuplicates);
  JuErrorList::popCurrent();
  return 0;
}
