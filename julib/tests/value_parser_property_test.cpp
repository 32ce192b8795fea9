// Round trips of both parsers over seeded random input: a random connect
// string that parses must parse to the same attributes after it is built
// again, and a random attribute list with awkward values must come back
// unchanged from build and parse.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "julib/codepage.h"
#include "julib/crypto.h"
#include "julib/strings.h"
#include "julib/valueparser.h"
#include "testing/ju_test.h"

namespace {

using jutest::JuTest;

constexpr uint32_t kSeed = 20240611;
constexpr int kCases = 3000;
const uint8_t kKey[8] = {1, 2, 3, 4, 5, 6, 7, 8};

// ---------------------------------------------------------------------------
// The two widths behind one interface
// ---------------------------------------------------------------------------

struct Narrow {
  using Str = std::string;
  using Parser = JuValueParser;
  static Str from(const std::string& ascii) { return ascii; }

  static int parse(Parser& p) { return p.parse(); }
  static Parser* make(const Str& text, uint32_t allowDuplicates, JuCodePageKind kind) {
    return new Parser(JuSubString(text.data(), text.size(), kind), ';', nullptr, allowDuplicates);
  }
  static std::vector<std::pair<Str, Str>> attributes(const Parser& p) {
    std::vector<std::pair<Str, Str>> out;
    for (uint64_t i = 0; i < p.attributes.count; ++i) {
      const JuSubString* key = p.attributes.keyAt(i);
      const auto* value = static_cast<JuString*>(p.attributes.valueAt(i));
      out.emplace_back(Str(key->data, key->length), value->data == nullptr ? Str() : Str(value->data, value->length));
    }
    return out;
  }
  static int build(Parser& p, Str* out) {
    JuString s;
    const int status = p.build(s, ';');
    *out = s.data == nullptr ? Str() : Str(s.data, s.length);
    return status;
  }
  // Entered directly, so that no quoting of addAttribute changes them.
  static void add(Parser& p, const Str& key, const Str& value) {
    auto* k = new JuString(p.kind);
    auto* v = new JuString(p.kind);
    ASSERT_EQ(k->assign(key.data(), key.size(), p.kind), 0);
    ASSERT_EQ(v->assign(value.data(), value.size(), p.kind), 0);
    ASSERT_EQ(p.attributes.add(k, v), 0);
  }
};

struct Wide {
  using Str = std::u16string;
  using Parser = JuValueParserW;
  static Str from(const std::string& ascii) { return Str(ascii.begin(), ascii.end()); }

  static int parse(Parser& p) { return p.parse(kKey, nullptr); }
  static Parser* make(const Str& text, uint32_t allowDuplicates, JuCodePageKind) {
    return new Parser(JuSubStringW(text.data(), text.size()), u';', nullptr, allowDuplicates);
  }
  // A protected value shows as "<p>" and its revealed text.
  static std::vector<std::pair<Str, Str>> attributes(const Parser& p) {
    std::vector<std::pair<Str, Str>> out;
    for (uint64_t i = 0; i < p.attributes.count; ++i) {
      const JuSubStringW* key = p.attributes.keyAt(i);
      const auto* a = static_cast<AttributeObject*>(p.attributes.valueAt(i));
      Str value;
      if (a->protectedValue != nullptr) {
        JuProtectedValue plain;
        EXPECT_EQ(plain.reveal(*a->protectedValue, kKey), 0);
        value = u"<p>" + Str(reinterpret_cast<const char16_t*>(plain.buffer), plain.length);
      } else if (a->value->data != nullptr) {
        value = Str(a->value->data, a->value->length);
      }
      out.emplace_back(Str(key->data, key->length), value);
    }
    return out;
  }
  static int build(Parser& p, Str* out) {
    JuStringW s;
    const int status = p.build(s, kKey, u';');
    *out = s.data == nullptr ? Str() : Str(s.data, s.length);
    return status;
  }
  static void add(Parser& p, const Str& key, const Str& value) {
    JuProtectedValue protectedValue;
    ASSERT_EQ(protectedValue.protect(value.data(), static_cast<int64_t>(value.size()), kKey), 0);
    // A sensitive key gets its value protected, as a parse would store it.
    if (isSensitive(key)) {
      ASSERT_EQ(p.addProtectedAttribute(key.c_str(), protectedValue, nullptr), 0);
      return;
    }
    auto* k = new JuStringW();
    auto* a = new AttributeObject();
    a->value = new JuStringW();
    ASSERT_EQ(k->assign(key.data(), key.size()), 0);
    ASSERT_EQ(a->value->assign(value.data(), value.size()), 0);
    ASSERT_EQ(p.attributes.add(k, a), 0);
  }
  static bool isSensitive(const Str& key) {
    static const char16_t* const kNames[] = {u"PWD", u"PASSWORD", u"UID", u"LOGONID", u"CWPWD", u"USER"};
    for (const char16_t* name : kNames) {
      if (juWStrNIEqual(key.data(), key.size(), name, juWStrLen(name)) != 0) return true;
    }
    return false;
  }
};

// ---------------------------------------------------------------------------
// Generators
// ---------------------------------------------------------------------------

const char* const kKeys[] = {"DSN", "DRIVER", "Driver Name", "UID", "pwd", "Password", "user", "Server", "Port",
                             "x_1", "Option Set Two", "LogonID", "CWPWD", "Database", "Host  Name", "a", "B"};

// Pieces of awkward values: separators, braces, quotes, blanks, "=".
template <typename W>
std::vector<typename W::Str> valuePieces(bool doubleByte);

template <>
std::vector<std::string> valuePieces<Narrow>(bool doubleByte) {
  std::vector<std::string> pieces = {"a", "Z", "0", " ", "\t", ";",  ",",    "{",  "}",   "}}", "'",
                                     "\"", "`", "=", "(", ")",  "\\", "\r\n", "==", "{}", "x y"};
  if (!doubleByte) {
    pieces.emplace_back("\xE9");  // a letter in 1252, a lead byte in 932
  } else {
    // Code page 932: lead bytes with "}" and "@" as trail bytes, and the
    // ideographic space.
    for (const char* s : {"\x83}", "\x81\x40", "\x88\x9F", "\x82{"}) pieces.emplace_back(s);
  }
  return pieces;
}

template <>
std::vector<std::u16string> valuePieces<Wide>(bool) {
  return {u"a",  u"Z",  u"0",  u" ",     u"\t",     u";",        u",",      u"{",          u"}",
          u"}}", u"'",  u"\"", u"`",     u"=",      u"(",        u"\u00E9", u"\U0001F600", u"\u3000",
          u"\u00A0", u"\xDC00", u"\xD800}", u"\xD800;", u"x y",   u"{}"};
}

template <typename W>
class Generator {
 public:
  using Str = typename W::Str;
  explicit Generator(uint32_t seed, bool doubleByte) : random_(seed), pieces_(valuePieces<W>(doubleByte)) {}

  size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  bool chance(size_t percent) { return below(100) < percent; }

  Str value() {
    Str out;
    const size_t n = below(6);
    for (size_t i = 0; i < n; ++i) out += pieces_[below(pieces_.size())];
    return out;
  }

  Str key() { return W::from(kKeys[below(std::size(kKeys))]); }

  // A connect string built from pairs in the forms a person might write.
  Str connectString() {
    Str out;
    const size_t pairs = below(8);
    for (size_t i = 0; i < pairs; ++i) {
      if (i != 0 || chance(10)) out += W::from(chance(15) ? ";;" : ";");
      if (chance(5)) {
        out += W::from(chance(50) ? "ODBC" : " odbc ");
        continue;
      }
      out += key();
      static const char* const kEquals[] = {"=", " = ", "==", "=>", "= "};
      out += W::from(kEquals[below(std::size(kEquals))]);
      const Str v = value();
      switch (below(3)) {
        case 0:
          out += v;
          break;
        case 1:
          out += W::from("{") + doubled(v, '}') + W::from("}");
          break;
        default:
          out += W::from("'") + doubled(v, '\'') + W::from("'");
          break;
      }
      if (chance(20)) out += W::from(" ");
    }
    return out;
  }

  // Distinct keys (ignoring case) with random values; DSN and DRIVER never
  // together, since only the first of them would come back.
  std::vector<std::pair<Str, Str>> attributeList() {
    std::vector<std::pair<Str, Str>> out;
    std::vector<size_t> used;
    const size_t n = below(10);
    for (size_t i = 0; i < n; ++i) {
      const size_t k = below(std::size(kKeys));
      bool taken = false;
      for (size_t u : used) taken = taken || u == k || (k <= 1 && u <= 1);
      if (taken) continue;
      used.push_back(k);
      Str v = value();
      // A value ending in a lone high surrogate cannot be written before
      // anything else (the builder refuses it); keep those to the fuzzer.
      while (!v.empty() && endsInHighSurrogate(v)) v.pop_back();
      out.emplace_back(W::from(kKeys[k]), v);
    }
    return out;
  }

 private:
  static Str doubled(const Str& v, char c) {
    Str out;
    for (auto u : v) {
      out += u;
      if (u == static_cast<typename Str::value_type>(c)) out += u;
    }
    return out;
  }
  static bool endsInHighSurrogate(const Str& v) {
    const auto last = static_cast<uint32_t>(static_cast<std::make_unsigned_t<typename Str::value_type>>(v.back()));
    return sizeof(typename Str::value_type) == 2 && last >= 0xD800 && last <= 0xDBFF;
  }

  std::mt19937 random_;
  std::vector<Str> pieces_;
};

// ---------------------------------------------------------------------------
// The properties
// ---------------------------------------------------------------------------

// parse, build, parse gives the same attributes; returns how many of the
// random strings parsed.
template <typename W>
int parseBuildParse(bool doubleByte) {
  Generator<W> gen(kSeed, doubleByte);
  int parsed = 0;
  for (int i = 0; i < kCases; ++i) {
    const typename W::Str text = gen.connectString();
    const uint32_t allowDuplicates = gen.chance(50) ? 1 : 0;
    SCOPED_TRACE("case " + std::to_string(i));
    jutest::ScopedErrorList errors;
    std::unique_ptr<typename W::Parser> first(W::make(text, allowDuplicates, JuCodePageKind::kAnsi));
    if (W::parse(*first) != 0) continue;
    ++parsed;
    typename W::Str built;
    EXPECT_EQ(W::build(*first, &built), 0);
    std::unique_ptr<typename W::Parser> second(W::make(built, 0, JuCodePageKind::kAnsi));
    EXPECT_EQ(W::parse(*second), 0);
    EXPECT_EQ(W::attributes(*second), W::attributes(*first));
    if (testing::Test::HasFailure()) return parsed;
  }
  return parsed;
}

// An attribute list built and parsed again comes back as it was.
template <typename W>
void buildParse(bool doubleByte) {
  Generator<W> gen(kSeed + 1, doubleByte);
  for (int i = 0; i < kCases; ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    jutest::ScopedErrorList errors;
    const auto list = gen.attributeList();
    std::unique_ptr<typename W::Parser> source(W::make(typename W::Str(), 0, JuCodePageKind::kAnsi));
    ASSERT_EQ(W::parse(*source), 0);
    for (const auto& [key, value] : list) W::add(*source, key, value);
    typename W::Str built;
    ASSERT_EQ(W::build(*source, &built), 0);
    std::unique_ptr<typename W::Parser> again(W::make(built, 0, JuCodePageKind::kAnsi));
    ASSERT_EQ(W::parse(*again), 0);
    EXPECT_EQ(W::attributes(*again), W::attributes(*source));
    if (testing::Test::HasFailure()) return;
  }
}

using ValueParserProperty = JuTest;

TEST_F(ValueParserProperty, NarrowParseBuildParse) {
  // Most random strings parse, so the property is exercised.
  EXPECT_GT(parseBuildParse<Narrow>(false), kCases / 3);
}

TEST_F(ValueParserProperty, NarrowParseBuildParseDoubleByte) {
  jutest::ScopedCodePage cp(932);
  EXPECT_GT(parseBuildParse<Narrow>(true), kCases / 3);
}

TEST_F(ValueParserProperty, WideParseBuildParse) { EXPECT_GT(parseBuildParse<Wide>(false), kCases / 3); }

TEST_F(ValueParserProperty, NarrowBuildParse) { buildParse<Narrow>(false); }

TEST_F(ValueParserProperty, NarrowBuildParseDoubleByte) {
  jutest::ScopedCodePage cp(932);
  buildParse<Narrow>(true);
}

TEST_F(ValueParserProperty, WideBuildParse) { buildParse<Wide>(false); }

}  // namespace
