// Helpers for the conversion tests: ICU converters that close themselves,
// and reference conversions done by ICU alone on converters of their own.
#ifndef JULIB_TESTS_CODEPAGE_TEST_UTIL_H
#define JULIB_TESTS_CODEPAGE_TEST_UTIL_H

#include <unicode/ucnv.h>

#include <string>
#include <string_view>

namespace jutest {

// An open converter, closed at the end of the scope.
class Converter {
 public:
  explicit Converter(const char* name) {
    UErrorCode error = U_ZERO_ERROR;
    converter_ = ucnv_open(name, &error);
    if (U_FAILURE(error)) converter_ = nullptr;
  }
  ~Converter() {
    if (converter_ != nullptr) ucnv_close(converter_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  UConverter* get() const { return converter_; }
  operator UConverter*() const { return converter_; }

  // Makes the converter stop at an unconvertible or ill-formed character
  // instead of substituting it, as a caller that wants to know does.
  Converter& stopOnErrors() {
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter_, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    ucnv_setFromUCallBack(converter_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    return *this;
  }

 private:
  UConverter* converter_ = nullptr;
};

// `text` in the code page `name`, converted by ICU alone.
inline std::string icuEncode(const char* name, std::u16string_view text) {
  Converter converter(name);
  UErrorCode error = U_ZERO_ERROR;
  const int32_t n = ucnv_fromUChars(converter, nullptr, 0, text.data(), static_cast<int32_t>(text.size()), &error);
  std::string out(static_cast<size_t>(n), '\0');
  error = U_ZERO_ERROR;
  ucnv_fromUChars(converter, out.data(), n, text.data(), static_cast<int32_t>(text.size()), &error);
  return out;
}

// Bytes of the code page `name` as UTF-16, converted by ICU alone.
inline std::u16string icuDecode(const char* name, std::string_view bytes) {
  Converter converter(name);
  UErrorCode error = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(converter, nullptr, 0, bytes.data(), static_cast<int32_t>(bytes.size()), &error);
  std::u16string out(static_cast<size_t>(n), u'\0');
  error = U_ZERO_ERROR;
  ucnv_toUChars(converter, out.data(), n, bytes.data(), static_cast<int32_t>(bytes.size()), &error);
  return out;
}

inline std::u16string swapped(std::u16string text) {
  for (char16_t& unit : text) unit = static_cast<char16_t>((unit << 8) | (unit >> 8));
  return text;
}

}  // namespace jutest

#endif  // JULIB_TESTS_CODEPAGE_TEST_UTIL_H
