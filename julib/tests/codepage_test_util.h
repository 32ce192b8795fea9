// Helpers for the conversion tests: ICU converters that close themselves,
// and reference conversions done by ICU alone on converters of their own.
#ifndef JULIB_TESTS_CODEPAGE_TEST_UTIL_H
#define JULIB_TESTS_CODEPAGE_TEST_UTIL_H

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <functional>
#include <set>
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

// Where the characters of `text` end in the code page `name`, in units of
// `unitSize` bytes, 0 included.
inline std::set<int64_t> characterEnds(const char* name, std::u16string_view text, size_t unitSize = 1) {
  std::set<int64_t> ends{0};
  int64_t end = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    U16_FWD_1(text.data(), i, text.size());
    end += static_cast<int64_t>(icuEncode(name, text.substr(start, i - start)).size() / unitSize);
    ends.insert(end);
  }
  return ends;
}

// A conversion that reports what it wrote and consumed.
template <typename Out, typename In>
using CountedConversion =
    std::function<void(Out* dst, int64_t size, const In* src, int64_t length, int64_t* written, int64_t* consumed)>;

// Converts `source` into destinations of every size from 0 to the whole
// output + 1. Each time the destination must hold `written` units of the
// whole output that end between two of its characters, `consumed` must end
// between two source characters, and converting the source from `consumed`
// on must give exactly the rest: nothing lost, nothing repeated.
template <typename Out, typename In>
void expectCutsBetweenCharacters(const CountedConversion<Out, In>& convert, const std::basic_string<In>& source,
                                 const std::set<int64_t>& sourceEnds, const std::basic_string<Out>& whole,
                                 const std::set<int64_t>& wholeEnds) {
  const auto length = static_cast<int64_t>(source.size());
  for (int64_t size = 0; size <= static_cast<int64_t>(whole.size()) + 1; ++size) {
    SCOPED_TRACE("size " + std::to_string(size));
    std::basic_string<Out> dst(static_cast<size_t>(size) + 1, Out('#'));
    int64_t written = 0;
    int64_t consumed = 0;
    convert(dst.data(), size, source.data(), length, &written, &consumed);
    ASSERT_TRUE(wholeEnds.count(written) == 1 && written <= size) << "written " << written;
    ASSERT_TRUE(sourceEnds.count(consumed) == 1) << "consumed " << consumed;
    EXPECT_EQ(dst.substr(0, static_cast<size_t>(written)), whole.substr(0, static_cast<size_t>(written)));
    std::basic_string<Out> rest(whole.size() + 2, Out('#'));
    int64_t restWritten = 0;
    int64_t restConsumed = 0;
    convert(rest.data(), static_cast<int64_t>(rest.size()), source.data() + consumed, length - consumed, &restWritten,
            &restConsumed);
    EXPECT_EQ(restConsumed, length - consumed);
    EXPECT_EQ(dst.substr(0, static_cast<size_t>(written)) + rest.substr(0, static_cast<size_t>(restWritten)), whole);
  }
}

}  // namespace jutest

#endif  // JULIB_TESTS_CODEPAGE_TEST_UTIL_H
