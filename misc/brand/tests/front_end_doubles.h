// Test support of the branding tool: stand-ins that record what the engine
// asks of the dialog front end (until it exists),
// standard input and output for a scope, and the fixture of the tests.
#ifndef BRAND_TESTS_FRONT_END_DOUBLES_H
#define BRAND_TESTS_FRONT_END_DOUBLES_H

#include <cstdint>
#include <string>
#include <vector>

#include "brand.h"
#include "testing/ju_test.h"

namespace branddoubles {

struct Box {
  std::string text;  // UTF-8
  std::string caption;
  uint32_t style;
};

// What the stand-ins saw, and what they answer.
struct Record {
  std::vector<Box> boxes;
  std::vector<uint32_t> beeps;
  int32_t answer = 7;  // the message boxes' answer (No)
};
extern Record record;

// Feeds `input` to standard input for a scope (then the end of the input).
class ScopedStdin {
 public:
  explicit ScopedStdin(const std::string& input);
  ~ScopedStdin();
  ScopedStdin(const ScopedStdin&) = delete;
  ScopedStdin& operator=(const ScopedStdin&) = delete;

 private:
  int saved_;
};

// The entries of a list of texts.
inline std::vector<std::string> entries(const JuArrayPVoid& list) {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < list.count; ++i) out.emplace_back(static_cast<const char*>(list.pointerAt(i)));
  return out;
}

// Runs `action` and returns what it wrote to standard output.
template <typename Action>
std::string consoleOf(Action action) {
  ::testing::internal::CaptureStdout();
  action();
  return ::testing::internal::GetCapturedStdout();
}

// Each test: its own error list, the tool's catalogue, fresh records.
class BrandTest : public jutest::JuTest {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  platform::ModuleHandle savedModule_ = nullptr;
};

}  // namespace branddoubles

#endif  // BRAND_TESTS_FRONT_END_DOUBLES_H
