// JuValueParserW: UTF-16 connect strings, protected sensitive values, the
// two builders, and wiping.

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "julib/crypto.h"
#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "julib/strings.h"
#include "julib/valueparser.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"
#include "value_parser_cases.h"

namespace {

using jutest::JuTest;
using jutest::Pairs;

const uint8_t kKey[8] = {0x13, 0x57, 0x9B, 0xDF, 0x02, 0x46, 0x8A, 0xCE};

std::u16string widen(const std::string& s) {
  std::u16string out;
  for (char c : s) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out;
}

std::u16string text(const JuSubStringW* view) {
  return view == nullptr || view->data == nullptr ? std::u16string() : std::u16string(view->data, view->length);
}

std::u16string revealed(const JuProtectedValue& value) {
  JuProtectedValue plain;
  EXPECT_EQ(plain.reveal(value, kKey), 0);
  return std::u16string(reinterpret_cast<const char16_t*>(plain.buffer), plain.length);
}

// Attributes as (key, value) with a protected value shown as "<p>" + text.
using PairsW = std::vector<std::pair<std::u16string, std::u16string>>;

PairsW attributesOf(const JuValueParserW& parser) {
  PairsW out;
  for (uint64_t i = 0; i < parser.attributes.count; ++i) {
    const auto* attribute = static_cast<AttributeObject*>(parser.attributes.valueAt(i));
    EXPECT_TRUE((attribute->value == nullptr) != (attribute->protectedValue == nullptr));
    const std::u16string value =
        attribute->protectedValue != nullptr ? u"<p>" + revealed(*attribute->protectedValue) : text(attribute->value);
    out.emplace_back(text(parser.attributes.keyAt(i)), value);
  }
  return out;
}

struct Parsed {
  explicit Parsed(std::u16string source, uint32_t allowDuplicates = 0, char16_t separator = u';',
                  const char16_t* name = nullptr)
      : text(std::move(source)), parser(JuSubStringW(text.data(), text.size()), separator, name, allowDuplicates) {}
  std::u16string text;
  JuValueParserW parser;
};

std::u16string built(JuValueParserW& parser, char16_t separator = u';') {
  JuStringW out;
  EXPECT_EQ(parser.build(out, kKey, separator), 0);
  return text(&out);
}

// ---------------------------------------------------------------------------
// Parsing: the shared table
// ---------------------------------------------------------------------------

using ValueParserWParse = JuTest;

TEST_F(ValueParserWParse, TableOfConnectStrings) {
  for (const jutest::ParseCase& row : jutest::parseCases()) {
    SCOPED_TRACE(std::string(row.note) + ": " + row.text);
    jutest::ScopedErrorList errors;
    Parsed p(widen(row.text), row.allowDuplicates);
    const int status = p.parser.parse(kKey, nullptr);
    if (row.errors.empty()) {
      EXPECT_EQ(status, 0);
      PairsW expected;
      for (const auto& [key, value] : row.attributes) {
        expected.emplace_back(widen(key), (jutest::isSensitiveName(key) ? u"<p>" : u"") + widen(value));
      }
      EXPECT_EQ(attributesOf(p.parser), expected);
      EXPECT_TRUE(errors.ids().empty());
    } else {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(errors.ids(), row.errors);
      EXPECT_EQ(errors.message(0).rfind("Error parsing connect string at offset " + std::to_string(row.offset) + ". ", 0),
                0u)
          << errors.message(0);
    }
  }
}

TEST_F(ValueParserWParse, NumberDoesNotStartAWideKey) {
  Parsed p(u"1A=2");
  EXPECT_EQ(p.parser.parse(kKey, nullptr), 1);
  EXPECT_EQ(errors_.message(0), "Error parsing connect string at offset 0. ");
}

TEST_F(ValueParserWParse, TextNameAndDuplicateMessage) {
  Parsed p(u"A=1;a=2", 0, u';', u"the options");
  EXPECT_EQ(p.parser.parse(kKey, nullptr), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{2705}));
  EXPECT_EQ(errors_.message(0), "Error parsing the options at offset 5. Attribute 'a' specified more than once.");
}

TEST_F(ValueParserWParse, SensitiveKeyTestAddsKeys) {
  Parsed p(u"Secret=s;PWD=p;Other=o;token=t");
  const JuSensitiveKeyTest test = [](const JuSubStringW& key) {
    return key.length > 0 && (key.data[0] == u'S' || key.data[0] == u't') ? 1 : 0;
  };
  ASSERT_EQ(p.parser.parse(kKey, test), 0);
  EXPECT_EQ(attributesOf(p.parser),
            (PairsW{{u"Secret", u"<p>s"}, {u"PWD", u"<p>p"}, {u"Other", u"o"}, {u"token", u"<p>t"}}));
  EXPECT_EQ(p.parser.sensitiveKeyTest, test);
}

TEST_F(ValueParserWParse, SurrogatePairs) {
  // A supplementary letter in a key; a pair whose low half is no "}".
  const std::u16string key = u"K\U00010400";
  Parsed p(key + u"=v;B={x\U0001F600}};y}");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  EXPECT_EQ(attributesOf(p.parser), (PairsW{{key, u"v"}, {u"B", u"x\U0001F600};y"}}));
  // A high surrogate takes the unit after it, a "}" too: the braces stay open.
  Parsed open(u"A={x\xD800}");
  EXPECT_EQ(open.parser.parse(kKey, nullptr), 1);
  EXPECT_EQ(errors_.message(0), "Error parsing connect string at offset 2. ");
}

TEST_F(ValueParserWParse, ProtectedValueIsNotAString) {
  Parsed p(u"DSN=abc;PWD={a;b}}c}");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  EXPECT_EQ(p.parser.get(u"PWD"), nullptr);
  EXPECT_EQ(p.parser.countUnconsumed(), 1);  // get marks it all the same
  int found = -1;
  JuProtectedValue copy;
  EXPECT_EQ(p.parser.getProtected(JuSubStringW(u"pwd"), &found, &copy), 0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(revealed(copy), u"a;b}c");
  // The DES form: nothing of the text in the protected bytes.
  const auto* attribute = static_cast<AttributeObject*>(p.parser.attributes.valueAt(1));
  const std::u16string plain = u"a;b}c";
  EXPECT_EQ(memmem(attribute->protectedValue->buffer, attribute->protectedValue->byteSize, plain.data(),
                        plain.size() * 2),
            nullptr);
  EXPECT_EQ(p.parser.getProtected(JuSubStringW(u"DSN"), &found, &copy), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{2808}));
  EXPECT_EQ(p.parser.getProtected(JuSubStringW(u"none"), &found, &copy), 0);
  EXPECT_EQ(found, 0);
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

using ValueParserWRead = JuTest;

TEST_F(ValueParserWRead, GetEitherWarnsOnEqualValues) {
  struct Row {
    std::u16string text;
    int status;
    std::u16string value;  // u"<none>" for null
    std::vector<uint16_t> errors;
    bool warning;
  };
  const Row rows[] = {
      {u"DB=u", 0, u"u", {}, false},
      {u"DATABASE=i", 0, u"i", {}, false},
      {u"X=1", 0, u"<none>", {}, false},
      {u"DB=x;DATABASE=x", 0, u"x", {2704}, true},  // equal: only a warning
      {u"DB=x;DATABASE=y", 1, u"<none>", {2704}, false},
      {u"DB=;DATABASE=", 0, u"", {2704}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(jutest::toUtf8(row.text));
    jutest::ScopedErrorList errors;
    Parsed p(row.text);
    ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
    JuStringW* value = nullptr;
    EXPECT_EQ(p.parser.getEither(u"DB", u"DATABASE", &value), row.status);
    EXPECT_EQ(value == nullptr ? u"<none>" : text(value), row.value);
    EXPECT_EQ(errors.ids(), row.errors);
    if (!row.errors.empty()) {
      EXPECT_EQ(errors->last()->isWarning(), row.warning);
      EXPECT_EQ(errors.message(0), "Error parsing connect string at offset " + std::to_string(row.text.size()) +
                                       ".  Attribute specified twice using keywords 'DB' and 'DATABASE'.");
    }
    EXPECT_EQ(p.parser.countUnconsumed(), row.text == u"X=1" ? 1 : 0);
  }
}

TEST_F(ValueParserWRead, GetProtectedEither) {
  struct Row {
    std::u16string text;
    int status;
    int found;
    std::u16string value;
    uint16_t unconsumed;
  };
  const Row rows[] = {
      {u"PWD=a", 0, 1, u"a", 0},
      {u"PASSWORD=b", 0, 1, u"b", 0},
      {u"X=1", 0, 0, u"", 1},
      {u"PWD=a;PASSWORD=a", 1, 1, u"", 0},  // both present, even with equal values
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(jutest::toUtf8(row.text));
    jutest::ScopedErrorList errors;
    Parsed p(row.text);
    ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
    int found = -1;
    JuProtectedValue out;
    EXPECT_EQ(p.parser.getProtectedEither(u"PWD", u"PASSWORD", &found, &out), row.status);
    EXPECT_EQ(found, row.found);
    if (row.status == 0 && row.found == 1) {
      EXPECT_EQ(revealed(out), row.value);
    }
    EXPECT_EQ(errors.ids(), row.status == 0 ? std::vector<uint16_t>{} : std::vector<uint16_t>{2704});
    EXPECT_EQ(p.parser.countUnconsumed(), row.unconsumed);
  }
}

TEST_F(ValueParserWRead, IndexOfContainsAndKeys) {
  Parsed p(u"DSN=x;PWD=y;Z=1");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  EXPECT_EQ(p.parser.indexOf(u"pwdXX", 3), 1u);
  EXPECT_EQ(p.parser.indexOf(u"pwdXX", 4), UINT64_MAX);
  EXPECT_EQ(p.parser.contains(u"z"), 1);
  EXPECT_EQ(p.parser.contains(u"y"), 0);
  EXPECT_EQ(p.parser.countUnconsumed(), 3);
  EXPECT_EQ(text(p.parser.nextUnconsumed()), u"DSN");
  EXPECT_EQ(text(p.parser.keyAt(2)), u"Z");
  EXPECT_EQ(p.parser.keyAt(3), nullptr);
}

// ---------------------------------------------------------------------------
// Adding and removing
// ---------------------------------------------------------------------------

using ValueParserWAdd = JuTest;

TEST_F(ValueParserWAdd, AddProtectedLeavesTheSourceAlone) {
  Parsed p(u"DSN=x;PASSWORD=old");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  JuProtectedValue source;
  ASSERT_EQ(source.protect(u"n;ew", -3, kKey), 0);
  const std::vector<uint8_t> before(source.buffer, source.buffer + source.byteSize);
  ASSERT_EQ(p.parser.addProtectedAttribute(u"PWD", source, u"PASSWORD"), 0);  // replaces PASSWORD
  ASSERT_EQ(p.parser.addProtectedAttribute(u"CWPWD", source, nullptr), 0);    // appends
  EXPECT_EQ(attributesOf(p.parser), (PairsW{{u"DSN", u"x"}, {u"PASSWORD", u"<p>n;ew"}, {u"CWPWD", u"<p>n;ew"}}));
  EXPECT_EQ(std::vector<uint8_t>(source.buffer, source.buffer + source.byteSize), before);
  EXPECT_EQ(built(p.parser), u"DSN=x;PASSWORD={n;ew};CWPWD={n;ew}");
  // A revealed source cannot be copied.
  JuProtectedValue plain;
  ASSERT_EQ(plain.reveal(source, kKey), 0);
  EXPECT_EQ(p.parser.addProtectedAttribute(u"PWD", plain, nullptr), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{2809}));
}

TEST_F(ValueParserWAdd, AddAttributeQuotesAndRemoveKeepsMarks) {
  Parsed p(u"A=1;B=2");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  ASSERT_EQ(p.parser.addAttribute(u"c", u"x;'y'", nullptr), 0);
  ASSERT_EQ(p.parser.addAttribute(u"PWD", u"plain", nullptr), 0);
  ASSERT_EQ(p.parser.addAttribute(u"AX", 1, u"9", 1, nullptr, 0), 0);
  EXPECT_EQ(attributesOf(p.parser), (PairsW{{u"A", u"9"}, {u"B", u"2"}, {u"c", u"'x;''y'''"}, {u"PWD", u"plain"}}));
  EXPECT_EQ(text(p.parser.get(u"PWD")), u"plain");  // grows the marks
  p.parser.get(u"B");
  p.parser.remove(u"A");
  EXPECT_EQ(p.parser.countUnconsumed(), 1);
  EXPECT_EQ(text(p.parser.nextUnconsumed()), u"c");
  EXPECT_EQ(p.parser.nextUnconsumed(), nullptr);
}

// ---------------------------------------------------------------------------
// Building
// ---------------------------------------------------------------------------

using ValueParserWBuild = JuTest;

TEST_F(ValueParserWBuild, BuildRevealsAndBracesSoundly) {
  Parsed p(u"DSN=x;PWD={a;b}}c};A={{z}}};UID= me ;E=");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  const std::u16string out = built(p.parser);
  EXPECT_EQ(out, u"DSN=x;PWD={a;b}}c};A={{z}}};UID=me;E=");
  Parsed again(out);
  ASSERT_EQ(again.parser.parse(kKey, nullptr), 0);
  EXPECT_EQ(attributesOf(again.parser), attributesOf(p.parser));
}

TEST_F(ValueParserWBuild, BuildPlainStopsAtAProtectedValue) {
  Parsed p(u"DSN=x;A={{z}}}");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  JuStringW out;
  ASSERT_EQ(p.parser.buildPlain(out, u';'), 0);
  // Braced and doubled like build, so the text parses back the same.
  EXPECT_EQ(text(&out), u"DSN=x;A={{z}}}");
  Parsed secret(u"DSN=x;pwd=s");
  ASSERT_EQ(secret.parser.parse(kKey, nullptr), 0);
  EXPECT_EQ(secret.parser.buildPlain(out, u';'), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{2807}));
  EXPECT_STREQ(errors_->last()->sqlState(), "HY000");
  EXPECT_EQ(errors_->last()->sqlStateCode, kJuSqlStateGeneral);
}

TEST_F(ValueParserWBuild, ValueEndingInAHighSurrogate) {
  Parsed p(u"A=1;B=x\xD800");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  EXPECT_EQ(built(p.parser), u"A=1;B=x\xD800");  // last and unbraced: kept
  ASSERT_EQ(p.parser.addAttribute(u"C", u"2", nullptr), 0);
  JuStringW out;
  EXPECT_EQ(p.parser.build(out, kKey, u';'), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{2807}));
}

TEST_F(ValueParserWBuild, NoKeyMeansZeroKey) {
  Parsed p(u"PWD=s");
  ASSERT_EQ(p.parser.parse(nullptr, nullptr), 0);
  JuStringW out;
  ASSERT_EQ(p.parser.build(out, nullptr, u';'), 0);
  EXPECT_EQ(text(&out), u"PWD=s");
}

// ---------------------------------------------------------------------------
// Wiping: no block freed while a parser works holds a sensitive value
// ---------------------------------------------------------------------------

std::u16string gSecret;
bool gSecretFreed = false;

// Runs inside the library's free: looks at the whole block, allocates nothing.
void scanFreed(const void* block) {
  const size_t size = malloc_usable_size(const_cast<void*>(block));
  if (gSecret.empty() || size < gSecret.size() * 2) return;
  if (memmem(block, size, gSecret.data(), gSecret.size() * 2) != nullptr) gSecretFreed = true;
}

// Runs `body` on a thread of its own whose frees are scanned.
template <typename Body>
bool freesHeldSecret(const std::u16string& secret, Body body) {
  gSecret = secret;
  gSecretFreed = false;
  std::thread thread([&] {
    jutest::ScopedErrorList errors;
    julib::internal::observeFrees(scanFreed);
    body();
    julib::internal::observeFrees(nullptr);
  });
  thread.join();
  return gSecretFreed;
}

TEST_F(ValueParserWBuild, SensitiveValuesAreWipedEverywhere) {
  const std::u16string secret = u"Zq7#secretValue";
  const std::u16string source = u"DSN=x;PWD={" + secret + u"};Uid= " + secret + u" ;A=" + secret;
  // The plain attribute A is not sensitive: only its own string may hold it.
  const bool heldSecret = freesHeldSecret(secret, [&] {
    JuValueParserW parser(JuSubStringW(source.data(), source.size()), u';', nullptr, 0);
    EXPECT_EQ(parser.parse(kKey, nullptr), 0);
    parser.remove(u"A");  // frees the one plain copy
    JuStringWEx out;
    EXPECT_EQ(parser.build(out, kKey, u';'), 0);
    EXPECT_EQ(parser.build(out, kKey, u','), 0);  // out grows again
    int found = 0;
    JuProtectedValue copy;
    EXPECT_EQ(parser.getProtected(JuSubStringW(u"PWD"), &found, &copy), 0);
    EXPECT_EQ(parser.addAttribute(u"PASSWORD", secret.c_str(), nullptr), 0);
    EXPECT_EQ(parser.addAttribute(u"Password", u"it's", nullptr), 0);  // replaces the wiping string
    EXPECT_EQ(parser.buildPlain(out, u';'), 1);
  });
  // The plain attribute's string is no wiping one, and the scan sees it: a
  // check that the scan works.
  EXPECT_TRUE(heldSecret);
  // Without it, no freed block may have held the secret.
  const std::u16string sensitiveOnly = u"DSN=x;PWD={" + secret + u"};Uid= " + secret + u" ";
  EXPECT_FALSE(freesHeldSecret(secret, [&] {
    JuValueParserW parser(JuSubStringW(sensitiveOnly.data(), sensitiveOnly.size()), u';', nullptr, 0);
    EXPECT_EQ(parser.parse(kKey, nullptr), 0);
    JuStringWEx out;
    EXPECT_EQ(parser.build(out, kKey, u';'), 0);
    EXPECT_EQ(parser.build(out, kKey, u','), 0);
    int found = 0;
    JuProtectedValue copy;
    EXPECT_EQ(parser.getProtected(JuSubStringW(u"UID"), &found, &copy), 0);
    EXPECT_EQ(parser.addAttribute(u"PASSWORD", secret.c_str(), nullptr), 0);
    EXPECT_EQ(parser.addAttribute(u"Password", u"it's", nullptr), 0);
    EXPECT_EQ(parser.buildPlain(out, u';'), 1);
    parser.remove(u"PWD");
  }));
}

// ---------------------------------------------------------------------------
// Allocation failures
// ---------------------------------------------------------------------------

template <typename Step>
void failEachAllocation(Step step) {
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    fault.arm();
    const int status = step();
    if (!fault.disarm()) {
      EXPECT_EQ(status, 0);
      return;
    }
    EXPECT_EQ(status, 1);
    const std::vector<uint16_t> ids = errors.ids();
    EXPECT_FALSE(ids.empty());
    if (!ids.empty()) {
      EXPECT_EQ(ids.back(), kJuMsgOutOfMemory);
    }
  });
}

using ValueParserWFaults = JuTest;

TEST_F(ValueParserWFaults, ParseAndBuild) {
  const std::u16string source = u"DSN=x;PWD={a;b}}c};Driver Name=y;UID= u ;A=={z};ODBC;DRIVER=z";
  // Parsed first: the first protection of the process binds the system
  // facility, which is tried once and may allocate.
  Parsed p(source);
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  failEachAllocation([&] {
    JuValueParserW parser(JuSubStringW(source.data(), source.size()), u';', nullptr, 0);
    return parser.parse(kKey, nullptr);
  });
  failEachAllocation([&] {
    JuStringW out;
    return p.parser.build(out, kKey, u';');
  });
  Parsed plain(u"DSN=x;A={{z}}};B=");
  ASSERT_EQ(plain.parser.parse(kKey, nullptr), 0);
  failEachAllocation([&] {
    JuStringW out;
    return plain.parser.buildPlain(out, u';');
  });
}

TEST_F(ValueParserWFaults, AddAndGet) {
  Parsed p(u"DSN=x;PWD=p");
  ASSERT_EQ(p.parser.parse(kKey, nullptr), 0);
  JuProtectedValue source;
  ASSERT_EQ(source.protect(u"secret", -3, kKey), 0);
  failEachAllocation([&] {
    return p.parser.addProtectedAttribute(u"CWPWD", source, nullptr) |
           p.parser.addProtectedAttribute(u"pwd", source, nullptr);
  });
  failEachAllocation([&] {
    JuValueParserW q(JuSubStringW(u"A=1"), u';', nullptr, 0);
    if (q.parse(kKey, nullptr) != 0) return 1;
    return q.addAttribute(u"USER", u"it's", nullptr) | q.addAttribute(u"a", u"x;y", nullptr);
  });
  failEachAllocation([&] {
    int found = 0;
    JuProtectedValue out;
    return p.parser.getProtected(JuSubStringW(u"PWD"), &found, &out);
  });
  failEachAllocation([&] {
    int found = 0;
    JuProtectedValue out;
    return p.parser.getProtectedEither(u"UID", u"PWD", &found, &out);
  });
}

}  // namespace
