// The renderer's view of the record buffer: text appended at the current
// position as far as the room allows, cut where it does not fit, with the
// number forms of the argument lines.
#ifndef VRTRACE_RENDER_OUT_H
#define VRTRACE_RENDER_OUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

class RenderOut {
 public:
  RenderOut(char* data, size_t room) : data_(data), room_(data != nullptr ? room : 0) {}
  RenderOut(const RenderOut&) = delete;
  RenderOut& operator=(const RenderOut&) = delete;

  size_t length() const { return length_; }
  size_t room() const { return room_ - length_; }
  char* end() { return data_ + length_; }
  // After a renderer wrote `n` characters at end() itself.
  void advance(size_t n) { length_ += n < room() ? n : room(); }

  void append(std::string_view text) {
    const size_t n = text.size() < room() ? text.size() : room();
    if (n > 0) std::memcpy(data_ + length_, text.data(), n);
    length_ += n;
  }
  void append(char c) {
    if (length_ < room_) data_[length_++] = c;
  }

  // Decimal, right-aligned in `width` characters ("%8hu", "%10ld").
  void appendUnsigned(uint64_t value, size_t width = 0) { appendNumber(false, value, width); }
  void appendSigned(int64_t value, size_t width = 0) {
    const bool negative = value < 0;
    appendNumber(negative, negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value), width);
  }

  // "0x%016p": 0x and 16 upper-case hexadecimal digits.
  void appendAddress(uint64_t value) {
    append("0x");
    appendHex(value, 16, true);
  }

  // `digits` hexadecimal digits of the low bits of `value`.
  void appendHex(uint64_t value, size_t digits, bool upper) {
    const char* const set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char text[16];
    for (size_t i = digits; i > 0; --i, value >>= 4) text[i - 1] = set[value & 0xF];
    append(std::string_view(text, digits));
  }

 private:
  void appendNumber(bool negative, uint64_t magnitude, size_t width) {
    char text[21];
    size_t n = 0;
    do {
      text[sizeof text - ++n] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (negative) text[sizeof text - ++n] = '-';
    for (size_t pad = n; pad < width && room() > 0; ++pad) append(' ');
    append(std::string_view(text + sizeof text - n, n));
  }

  char* data_;
  size_t room_;
  size_t length_ = 0;
};

#endif  // VRTRACE_RENDER_OUT_H
