// Parameter strings, narrow and UTF-16: numbered markers, whole-marker
// matching, parameters that hold marker text, streaming, failures.

#include <string>
#include <vector>

#include "julib/internal/fault.h"
#include "julib/strings.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

namespace {

using jutest::JuTest;
using Ids = std::vector<uint16_t>;

// The narrow and the UTF-16 form behind one interface, so that every rule is
// checked on both.
struct NarrowForm {
  using Param = JuParamString;
  using Char = char;
  using View = JuSubString;
  static std::string make(const std::string& ascii) { return ascii; }
  static std::string text(const Param& p) { return p.length == 0 ? "" : std::string(p.data, p.length); }
};

struct WideForm {
  using Param = JuParamStringW;
  using Char = char16_t;
  using View = JuSubStringW;
  static std::u16string make(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
  static std::string text(const Param& p) { return p.length == 0 ? "" : jutest::toUtf8(p.data, p.length); }
};

template <typename Form>
class ParamString : public JuTest {
 protected:
  using Param = typename Form::Param;
  using Char = typename Form::Char;

  // Sets the template from ASCII text.
  void setTemplate(const std::string& text) { ASSERT_EQ(p_.assign(Form::make(text).c_str()), 0); }
  int add(const std::string& text) { return p_.addParam(Form::make(text).c_str()); }
  std::string text() const { return Form::text(p_); }

  Param p_;
};

using Forms = ::testing::Types<NarrowForm, WideForm>;
TYPED_TEST_SUITE(ParamString, Forms);

TYPED_TEST(ParamString, TextAndNumberShareTheCounter) {
  this->setTemplate("%s1 (%d2)");
  EXPECT_EQ(this->add("abc"), 0);
  EXPECT_EQ(this->p_.addParam(int64_t{42}), 0);
  EXPECT_EQ(this->text(), "abc (42)");
  EXPECT_EQ(this->p_.paramCounter, 2);
}

TYPED_TEST(ParamString, MarkersAreNumberedNotPositional) {
  this->setTemplate("%d2 %s1");
  this->add("first");
  this->p_.addParam(uint64_t{2});
  EXPECT_EQ(this->text(), "2 first");
}

TYPED_TEST(ParamString, EveryOccurrenceIsFilled) {
  this->setTemplate("%s1 and %s1, %s1");
  this->add("x");
  EXPECT_EQ(this->text(), "x and x, x");
}

TYPED_TEST(ParamString, NumbersSignedAndUnsigned) {
  this->setTemplate("%d1|%d2|%d3");
  this->p_.addParam(int64_t{-5});
  this->p_.addParam(UINT64_MAX);
  this->p_.addParam(INT64_MIN);
  EXPECT_EQ(this->text(), "-5|18446744073709551615|-9223372036854775808");
}

TYPED_TEST(ParamString, MarkerlessTemplateTakesAnyNumberOfParameters) {
  this->setTemplate("no markers");
  for (int i = 0; i < 12; ++i) EXPECT_EQ(this->add("p"), 0);
  EXPECT_EQ(this->text(), "no markers");
  EXPECT_EQ(this->p_.paramCounter, 12);
}

TYPED_TEST(ParamString, EmptyAndNullTextsRemoveTheMarker) {
  this->setTemplate("[%s1][%s2]");
  EXPECT_EQ(this->p_.addParam(typename TypeParam::View()), 0);
  EXPECT_EQ(this->p_.addParam(static_cast<const typename TypeParam::Char*>(nullptr)), 0);
  EXPECT_EQ(this->text(), "[][]");
}

TYPED_TEST(ParamString, ViewTextIsTakenByItsLength) {
  this->setTemplate("<%s1>");
  const auto source = TypeParam::make(std::string("ab\0cd", 5));
  EXPECT_EQ(this->p_.addParam(typename TypeParam::View(source.data(), 3)), 0);
  EXPECT_EQ(this->text(), std::string("<ab\0>", 5));
}

// From the tenth parameter on the marker has an "x"; no marker matches the
// start of a longer one.
TYPED_TEST(ParamString, TenthParameterAndLongerMarkers) {
  this->setTemplate("<%sx10> <%s10> <%s1> <%s1x>");
  for (int i = 1; i <= 10; ++i) this->add("P" + std::to_string(i) + ".");
  EXPECT_EQ(this->text(), "<P10.> <%s10> <P1.> <P1.x>");
}

TYPED_TEST(ParamString, HundredthParameterIsNotTheTenthsPrefix) {
  this->setTemplate("<%sx10><%sx100><%dx11>");
  for (int i = 1; i <= 100; ++i) {
    if (i == 11) {
      this->p_.addParam(uint64_t{11});
    } else {
      this->add("P" + std::to_string(i) + ".");
    }
  }
  EXPECT_EQ(this->text(), "<P10.><P100.><11>");
}

// A parameter's own text is never searched for later markers.
TYPED_TEST(ParamString, ParameterTextIsNotExpanded) {
  this->setTemplate("%s1 %s2 %s1");
  this->add("%s2%d2");
  this->add("X");
  EXPECT_EQ(this->text(), "%s2%d2 X %s2%d2");
}

TYPED_TEST(ParamString, MarkerCannotFormAcrossParameterText) {
  // Parameter 1 puts "s2" right after a template "%": the "%s2" that shows
  // is no marker of the template.
  this->setTemplate("<%%s1> %s2");
  this->add("s2");
  this->add("X");
  EXPECT_EQ(this->text(), "<%s2> X");
}

TYPED_TEST(ParamString, MarkerCannotFormAcrossARemovedMarker) {
  this->setTemplate("<%%s1s2> %s2");
  this->add("");
  EXPECT_EQ(this->text(), "<%s2> %s2");
  this->add("X");
  EXPECT_EQ(this->text(), "<%s2> X");
}

// A digit that a parameter put after a marker does not lengthen it.
TYPED_TEST(ParamString, DigitFromAParameterEndsTheMarker) {
  this->setTemplate("%s2%s1");
  this->add("7");
  EXPECT_EQ(this->text(), "%s27");
  this->add("X");
  EXPECT_EQ(this->text(), "X7");
}

TYPED_TEST(ParamString, LaterMarkersAfterLongAndShortReplacements) {
  this->setTemplate("%s1-%s2-%s1-%s3");
  this->add("a much longer text");
  this->add("");
  this->add("Z");
  EXPECT_EQ(this->text(), "a much longer text--a much longer text-Z");
}

TYPED_TEST(ParamString, NewTemplateResetsTheCounter) {
  this->setTemplate("%s1 %s2");
  this->add("a");
  this->add("b");
  this->setTemplate("again %s1");
  EXPECT_EQ(this->p_.paramCounter, 0);
  this->add("c");
  EXPECT_EQ(this->text(), "again c");
}

TYPED_TEST(ParamString, StreamingStopsAtTheFirstFailure) {
  this->setTemplate("%s1 %s2 %s3 %s4");
  this->p_ << TypeParam::make("a").c_str();
  // The texts are made first: test strings allocate through the library too.
  const auto longer = TypeParam::make("a text longer than its marker");
  // The next growth fails: every allocation from here on.
  julib::internal::failAllocation(1, true);
  this->p_ << longer.c_str();
  julib::internal::clearAllocationFault();
  EXPECT_NE(this->p_.flags & TypeParam::Param::kErrorFlag, 0u);
  EXPECT_EQ(this->p_.paramCounter, 2);
  this->p_ << TypeParam::make("c").c_str() << int64_t{4};
  EXPECT_EQ(this->text(), "a %s2 %s3 %s4");
  EXPECT_EQ(this->p_.paramCounter, 2);
  // A direct call still takes the next number.
  EXPECT_EQ(this->add("d"), 0);
  EXPECT_EQ(this->text(), "a %s2 d %s4");
  EXPECT_EQ(this->errors_.ids(), Ids{kJuMsgOutOfMemory});
}

TYPED_TEST(ParamString, QuotedParameter) {
  this->setTemplate("name %s1");
  EXPECT_EQ(this->p_.addQuotedParam(TypeParam::make("it's").c_str(), '\''), 0);
  EXPECT_EQ(this->text(), "name 'it''s'");
}

// Every allocation of a template and three parameters fails in turn; each
// run ends in success or with the error flag set, and leaks nothing.
TYPED_TEST(ParamString, AllocationFaultsEndInTheFlag) {
  // Made first: test strings allocate through the library too.
  const auto pattern = TypeParam::make("%s1 %d2 %s3 %s1");
  const auto first = TypeParam::make("first");
  const auto third = TypeParam::make("third");
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    typename TypeParam::Param p;
    fault.arm();
    const int set = p.assign(pattern.c_str());
    p << first.c_str() << int64_t{-12} << third.c_str();
    if (!fault.disarm()) {
      EXPECT_EQ(set, 0);
      EXPECT_EQ(p.flags, 0u);
      EXPECT_EQ(TypeParam::text(p), "first -12 third first");
      return;
    }
    EXPECT_NE(p.flags & TypeParam::Param::kErrorFlag, 0u);
    EXPECT_EQ(errors.ids(), Ids{kJuMsgOutOfMemory});
  });
}

// ---------------------------------------------------------------------------
// Form-specific setters.
// ---------------------------------------------------------------------------

class ParamStringSetters : public JuTest {};

TEST_F(ParamStringSetters, NarrowCountedAndKindForms) {
  JuParamString p;
  ASSERT_EQ(p.assign("%s1 tail", 3, JuCodePageKind::kUtf8), 0);
  EXPECT_EQ(p.kind, JuCodePageKind::kUtf8);
  p.addParam("x");
  EXPECT_EQ(std::string(p.data, p.length), "x");
  ASSERT_EQ(p.allocate(16), 0);
  EXPECT_EQ(p.length, 0u);
  EXPECT_EQ(p.paramCounter, 0);
  EXPECT_EQ(p.addParam(int64_t{1}), 0);  // no marker in an empty text
}

TEST_F(ParamStringSetters, WideFromMultiByte) {
  JuParamStringW p;
  ASSERT_EQ(p.assignFromMultiByte("caf\xC3\xA9 %s1", JuCodePageKind::kUtf8), 0);
  p.addParam(u"ok");
  EXPECT_EQ(std::u16string(p.data, p.length), u"caf\u00E9 ok");

  EXPECT_EQ(p.assignFromMultiByte("bad \xC3", JuCodePageKind::kUtf8), 1);
  EXPECT_NE(p.flags & JuParamStringW::kErrorFlag, 0u);
  EXPECT_EQ(p.length, 0u);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgConversionFailed});

  // A successful setter clears the flag again.
  ASSERT_EQ(p.assignFromMultiByte("caf\xE9 %s1", JuCodePageKind::kAnsi), 0);
  EXPECT_EQ(p.flags, 0u);
  p.addParam(u"ok");
  EXPECT_EQ(std::u16string(p.data, p.length), u"caf\u00E9 ok");
}

TEST_F(ParamStringSetters, FailedSetterLeavesNoTemplate) {
  JuParamString p;
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(p.assign("%s1"), 1);
  julib::internal::clearAllocationFault();
  EXPECT_NE(p.flags & JuParamString::kErrorFlag, 0u);
  EXPECT_EQ(p.length, 0u);
  EXPECT_EQ(p.addParam("x"), 0);  // finds no marker
  EXPECT_EQ(p.length, 0u);
}

}  // namespace
