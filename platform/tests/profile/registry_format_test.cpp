// The registry store's text form without a disk: damaged and cut texts are
// rejected, hand-written texts are read as a person means them, and any
// UTF-16 name or value survives writing and reading back.

#include "profile/registry_format.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

namespace reg = platform::registry::internal;
using reg::ParseResult;

// The store's own form of `tree`.
std::string written(const reg::Tree& tree) {
  platform::internal::Buffer<char> out;
  EXPECT_TRUE(reg::serialize(tree, &out));
  return std::string(out.data(), out.size());
}

// The store's own form of what `text` reads as; "<corrupt>" when rejected.
std::string rewritten(std::string_view text) {
  reg::Tree tree;
  const ParseResult result = reg::parse(text, &tree);
  if (result == ParseResult::kCorrupt) return "<corrupt>";
  EXPECT_EQ(result, ParseResult::kOk);
  return written(tree);
}

TEST(RegistryFormat, DamagedTextsAreRejected) {
  const struct {
    std::string_view text;
    const char* note;
  } rows[] = {
      {"", "empty"},
      {"vrtools-registry 1\n", "no end line"},
      {"vrtools-registry 1\n\"a\"=\"b\"\n", "cut after a value"},
      {"vrtools-registry 1\n\"a\"=\"b", "cut inside a value"},
      {"vrtools-registry 2\nend\n", "another format"},
      {"\"a\"=\"b\"\nend\n", "no header line"},
      {"vrtools-registry 1\ngarbage\nend\n", "a line of nothing known"},
      {"vrtools-registry 1\n\"a\"=\"%00G1\"\nend\n", "bad escape"},
      {"vrtools-registry 1\n\"a\"=\"%00\"\nend\n", "escape cut short"},
      {"vrtools-registry 1\n\"a\"=\"\xFF\"\nend\n", "not UTF-8"},
      {"vrtools-registry 1\n\"a\"=\"\xC0\xAF\"\nend\n", "overlong UTF-8"},
      {"vrtools-registry 1\n\"a\"=\"\xED\xA0\x80\"\nend\n", "a surrogate in UTF-8"},
      {"vrtools-registry 1\n\"a\"\"b\"\nend\n", "no '='"},
      {"vrtools-registry 1\n\"a\"=\"b\" x\nend\n", "text after a value"},
      {"vrtools-registry 1\n[A\\]\nend\n", "trailing separator in a key"},
      {"vrtools-registry 1\n[A\\\\B]\nend\n", "empty key name"},
      {"vrtools-registry 1\nend\n[A]\n", "a key after the end"},
      {"vrtools-registry 1\n\"a\"=b\nend\n", "data without quotes"},
      {"vrtools-registry 1\n[A\nend\n", "key line not closed"},
      {"vrtools-registry 1\n\"a\nend\n", "name not closed"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(rewritten(row.text), "<corrupt>");
  }
}

TEST(RegistryFormat, EveryCutOfATextIsRejected) {
  reg::Tree tree;
  bool added = false;
  reg::Node* key = tree.makeKey(tree.makeKey(tree.root(), u"Software", &added), u"Ärger", &added);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(tree.makeValue(key, u"Name", &added)->data.assign(u"Wert \U0001F600"));
  ASSERT_TRUE(tree.makeValue(tree.root(), u"Top", &added)->data.assign(u"%"));
  const std::string whole = written(tree);
  ASSERT_EQ(rewritten(whole), whole);
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    // Only the final line break may go missing without loss.
    EXPECT_EQ(rewritten(whole.substr(0, length)), length == whole.size() - 1 ? whole : "<corrupt>");
  }
}

TEST(RegistryFormat, HandWrittenTextsReadAsMeant) {
  const struct {
    std::string_view text;
    std::string_view expected;  // the store's own form
    const char* note;
  } rows[] = {
      {"vrtools-registry 1\nend\n", "vrtools-registry 1\n\nend\n", "empty"},
      {"vrtools-registry 1\r\n\"a\"=\"b\"\r\nend\r\n", "vrtools-registry 1\n\"a\"=\"b\"\n\nend\n", "CR LF"},
      {"vrtools-registry 1\n; note\n  \n\"a\" \t= \"b\" \t\nend\n\n; after\n",
       "vrtools-registry 1\n\"a\"=\"b\"\n\nend\n", "comments, blank lines, blanks around '='"},
      {"vrtools-registry 1\n[A/B\\C]\nend\n", "vrtools-registry 1\n\n[A]\n\n[A\\B]\n\n[A\\B\\C]\n\nend\n",
       "parents made, '/' separates"},
      {"vrtools-registry 1\n[A]\n\"v\"=\"1\"\n[]\n\"r\"=\"2\"\n[a]\n\"V\"=\"3\"\nend\n",
       "vrtools-registry 1\n\"r\"=\"2\"\n\n[A]\n\"v\"=\"3\"\n\nend\n",
       "[] is the root; a key and a value met again, the last data kept"},
      {"vrtools-registry 1\n\"%00e9t%00E9\"=\"%0025\"\nend\n", "vrtools-registry 1\n\"été\"=\"%0025\"\n\nend\n",
       "escapes in either case; what needs none is written plain"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(rewritten(row.text), row.expected);
  }
}

TEST(RegistryFormat, AnyUtf16ReadsBackAsWritten) {
  const struct {
    std::u16string_view text;
    std::string_view value;  // as the value's line holds it
    std::string_view key;    // as a key's line holds it
  } rows[] = {
      {std::u16string_view(u"nul\0in", 6), "nul%0000in", "nul%0000in"},
      {u"tab\t\x7F", "tab%0009%007F", "tab%0009%007F"},
      {u"100% \"sure\" [x]", "100%0025 %0022sure%0022 %005Bx%005D", "100%0025 %0022sure%0022 %005Bx%005D"},
      {u"back\\slash/", "back\\slash/", "back%005Cslash%002F"},
      {u"lone \xD800 \xDFFF \xDC00\xD800", "lone %D800 %DFFF %DC00%D800", "lone %D800 %DFFF %DC00%D800"},
      {u"pair \U0001F600 \uFFFF", "pair \xF0\x9F\x98\x80 \xEF\xBF\xBF", "pair \xF0\x9F\x98\x80 \xEF\xBF\xBF"},
      {u" end ;[x]=", " end ;%005Bx%005D=", " end ;%005Bx%005D="},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::string(row.value)));
    reg::Tree tree;
    bool added = false;
    reg::Node* key = tree.makeKey(tree.root(), row.text, &added);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(tree.makeValue(key, row.text, &added)->data.assign(row.text));
    const std::string text = written(tree);
    const std::string value = "\"" + std::string(row.value) + "\"";
    EXPECT_EQ(text, "vrtools-registry 1\n\n[" + std::string(row.key) + "]\n" + value + "=" + value + "\n\nend\n");
    reg::Tree back;
    ASSERT_EQ(reg::parse(text, &back), ParseResult::kOk);
    reg::Node* backKey = back.findKey(back.root(), row.text);
    ASSERT_NE(backKey, nullptr);
    EXPECT_EQ(backKey->name.view(), row.text);
    const reg::Value* backValue = back.findValue(backKey, row.text);
    ASSERT_NE(backValue, nullptr);
    EXPECT_EQ(backValue->name.view(), row.text);
    EXPECT_EQ(backValue->data.view(), row.text);
  }
}

}  // namespace
