// Helpers for the tests of julib and of the components above it.

#include "testing/ju_test.h"

#include "platform/ansi.h"
#include "platform/utf16.h"

namespace jutest {

ScopedCodePage::ScopedCodePage(uint32_t codePage) : saved_(platform::ansiCodePage()) {
  EXPECT_TRUE(platform::setAnsiCodePage(codePage));
}

ScopedCodePage::~ScopedCodePage() { platform::setAnsiCodePage(saved_); }

std::vector<uint16_t> ScopedErrorList::ids() {
  std::vector<uint16_t> out;
  for (uint64_t i = 0; i < list_.count; ++i) out.push_back(static_cast<JuError*>(list_.pointerAt(i))->messageId);
  if (list_.pendingOutOfMemory) out.push_back(kJuMsgOutOfMemory);
  return out;
}

std::string ScopedErrorList::message(uint64_t index) {
  JuError* error = list_.at(index);
  if (error == nullptr) return "<none>";
  const char16_t* text = error->messageW();
  if (text == nullptr) return "";
  size_t n = 0;
  while (text[n] != 0) ++n;
  return toUtf8(text, n);
}

std::string toUtf8(const char16_t* text, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = text[i];
    if (platform::utf16::isHighSurrogate(c) && i + 1 < n && platform::utf16::isLowSurrogate(text[i + 1])) {
      c = platform::utf16::joinSurrogates(c, text[i + 1]);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string toUtf8(const std::u16string& text) { return toUtf8(text.data(), text.size()); }

}  // namespace jutest
