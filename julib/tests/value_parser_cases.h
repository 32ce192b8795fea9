// Connect strings and the attributes both parsers must give for them, shared
// by the narrow and the UTF-16 parser tests. Texts are ASCII, so the UTF-16
// test widens them unit for unit.
#ifndef JULIB_TESTS_VALUE_PARSER_CASES_H
#define JULIB_TESTS_VALUE_PARSER_CASES_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace jutest {

struct ParseCase {
  std::string text;
  uint32_t allowDuplicates;
  // Expected attributes in order, or, for a failing parse, none.
  std::vector<std::pair<std::string, std::string>> attributes;
  // Failing parse: the message ids posted and the offset in the first one.
  std::vector<uint16_t> errors;
  size_t offset;
  const char* note;
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

inline const std::vector<ParseCase>& parseCases() {
  static const std::vector<ParseCase> cases = {
      // --- Plain pairs, empty pairs, blanks -------------------------------------
      {"DSN=abc;UID=me", 0, Pairs{{"DSN", "abc"}, {"UID", "me"}}, {}, 0, "two pairs in order"},
      {";;DSN=abc;;", 0, Pairs{{"DSN", "abc"}}, {}, 0, "empty pairs skipped"},
      {"", 0, Pairs{}, {}, 0, "empty text"},
      {"  \t ", 0, Pairs{}, {}, 0, "only blanks"},
      {"A=1;;;B=2;", 0, Pairs{{"A", "1"}, {"B", "2"}}, {}, 0, "runs of separators"},
      {"DSN= a b ;X=1", 0, Pairs{{"DSN", "a b"}, {"X", "1"}}, {}, 0, "value trimmed, inner blank kept"},
      {"A=\t x \t;B=1", 0, Pairs{{"A", "x"}, {"B", "1"}}, {}, 0, "tabs trimmed"},
      {"A = 1", 0, Pairs{{"A", "1"}}, {}, 0, "blanks around ="},
      {"A=x\ty", 0, Pairs{{"A", "x\ty"}}, {}, 0, "inner tab kept"},
      {"A=1 B=2", 0, Pairs{{"A", "1 B=2"}}, {}, 0, "value runs to the separator"},
      {"A=", 0, Pairs{{"A", ""}}, {}, 0, "empty value at the end"},
      {"A=;B=2", 0, Pairs{{"A", ""}, {"B", "2"}}, {}, 0, "empty value before a separator"},
      {"A==1", 0, Pairs{{"A", "=1"}}, {}, 0, "== counts as = and the rest is value"},
      {"A=>1", 0, Pairs{{"A", ">1"}}, {}, 0, "=> counts as ="},
      {"A= =x", 0, Pairs{{"A", "=x"}}, {}, 0, "= after blanks is value"},

      // --- Braces -----------------------------------------------------------------
      {"PWD={a;b}}c};X=1", 0, Pairs{{"PWD", "a;b}c"}, {"X", "1"}}, {}, 0, "braces hold ; and }}"},
      {"A={}", 0, Pairs{{"A", ""}}, {}, 0, "empty braces"},
      {"A={}}}", 0, Pairs{{"A", "}"}}, {}, 0, "only a doubled }"},
      {"A={ x }", 0, Pairs{{"A", " x "}}, {}, 0, "blanks inside braces kept"},
      {"A={{z}}}", 0, Pairs{{"A", "{z}"}}, {}, 0, "braced value that is braced"},
      {"A={'x};B=1", 0, Pairs{{"A", "'x"}, {"B", "1"}}, {}, 0, "quote inside braces is plain"},
      {"A= {x} ;B=1", 0, Pairs{{"A", "x"}, {"B", "1"}}, {}, 0, "blanks around braces"},
      {"A=x{y};B=1", 0, Pairs{{"A", "x{y}"}, {"B", "1"}}, {}, 0, "brace not first is plain"},
      {"PWD={abc}def", 0, Pairs{}, {2704}, 9, "text after the closing brace"},
      {"A={x} y", 0, Pairs{}, {2704}, 6, "word after the closing brace"},
      {"A={", 0, Pairs{}, {2704}, 2, "unterminated brace at the end"},
      {"A={x;B=2", 0, Pairs{}, {2704}, 2, "unterminated brace does not swallow pairs"},
      {"A={x}};B=2", 0, Pairs{}, {2704}, 2, "doubled } does not close"},
      {"A=1;B={x", 0, Pairs{}, {2704}, 6, "unterminated brace later in the text"},

      // --- Quotes -------------------------------------------------------------------
      {"DSN='a;b'", 0, Pairs{{"DSN", "'a;b'"}}, {}, 0, "single quotes kept, ; inside"},
      {"DSN=\"a;b\";X=1", 0, Pairs{{"DSN", "\"a;b\""}, {"X", "1"}}, {}, 0, "double quotes"},
      {"DSN=`a;b`", 0, Pairs{{"DSN", "`a;b`"}}, {}, 0, "back quotes"},
      {"A=a'b'c;D=1", 0, Pairs{{"A", "a'b'c"}, {"D", "1"}}, {}, 0, "quotes inside a value"},
      {"A='x;B=2", 0, Pairs{{"A", "'x;B=2"}}, {}, 0, "unterminated quote runs to the end"},
      {"A='it''s';B=1", 0, Pairs{{"A", "'it''s'"}, {"B", "1"}}, {}, 0, "doubled quote"},

      // --- Keys -----------------------------------------------------------------------
      {"Driver Name=x", 0, Pairs{{"Driver Name", "x"}}, {}, 0, "two-word key"},
      {"Driver  Name =x", 0, Pairs{{"Driver  Name", "x"}}, {}, 0, "inner blanks of a key kept"},
      {"My Long Key Name=1;k=2", 0, Pairs{{"My Long Key Name", "1"}, {"k", "2"}}, {}, 0, "four-word key"},
      {"_a_b=1", 0, Pairs{{"_a_b", "1"}}, {}, 0, "underscore starts a key"},
      {"a1b2=1", 0, Pairs{{"a1b2", "1"}}, {}, 0, "digits continue a key"},
      {"=1", 0, Pairs{}, {2704}, 0, "no key"},
      {"A=1;B", 0, Pairs{}, {2704}, 5, "key without = at the end"},
      {"A=1;B C", 0, Pairs{}, {2704}, 7, "multi-word key without ="},
      {"A=(x;y)", 0, Pairs{}, {2704}, 6, "parentheses do not group"},
      {"[A]=1", 0, Pairs{}, {2704}, 0, "bracket does not start a key"},
      {"A-B=1", 0, Pairs{}, {2704}, 1, "operator inside a key"},

      // --- The bare ODBC ------------------------------------------------------------
      {"ODBC;DSN=x", 0, Pairs{{"DSN", "x"}}, {}, 0, "bare ODBC dropped"},
      {"odbc ; DSN=x", 0, Pairs{{"DSN", "x"}}, {}, 0, "bare odbc in lower case"},
      {"A=1;  ODBC  ;B=2", 0, Pairs{{"A", "1"}, {"B", "2"}}, {}, 0, "bare ODBC in the middle"},
      {"DSN=x;ODBC", 0, Pairs{{"DSN", "x"}}, {}, 0, "bare ODBC at the end"},
      {"ODBC=x", 0, Pairs{}, {2704}, 4, "ODBC takes no value"},
      {"ODBC X=1", 0, Pairs{{"ODBC X", "1"}}, {}, 0, "ODBC as the first word of a key"},

      // --- DSN and DRIVER ---------------------------------------------------------------
      {"DSN=x;DRIVER=y", 0, Pairs{{"DSN", "x"}}, {}, 0, "DSN first keeps DSN"},
      {"DRIVER=y;DSN=x", 0, Pairs{{"DRIVER", "y"}}, {}, 0, "DRIVER first keeps DRIVER"},
      {"dsn=x;A=1;driver={y;z}", 0, Pairs{{"dsn", "x"}, {"A", "1"}}, {}, 0, "DRIVER dropped in any case"},
      {"A=1;Driver=y;B=2;Dsn=x", 0, Pairs{{"A", "1"}, {"Driver", "y"}, {"B", "2"}}, {}, 0,
       "the first of the two decides"},
      {"DSN=x;DRIVER=y;DRIVER=z", 0, Pairs{{"DSN", "x"}}, {}, 0, "a dropped DRIVER is no duplicate"},

      // --- Duplicates -------------------------------------------------------------------
      {"A=1;a=2", 0, Pairs{}, {2704}, 5, "duplicate not allowed (2706 appended)"},
      {"A=1;a=2", 1, Pairs{{"A", "1"}}, {}, 0, "duplicate allowed: first wins"},
      {"DSN=x;DSN=y", 0, Pairs{}, {2704}, 9, "repeated DSN"},
      {"dsn=x;DSN={y}", 1, Pairs{{"dsn", "x"}}, {}, 0, "repeated DSN allowed"},
      {"Driver=x;Driver=y", 0, Pairs{{"Driver", "x"}}, {}, 0, "repeated Driver always accepted"},
      {"DRIVER=x;driver=y;A=1", 0, Pairs{{"DRIVER", "x"}, {"A", "1"}}, {}, 0, "Driver in any case"},
      {"Driver Name=x;driver name=y", 0, Pairs{}, {2704}, 25, "only the key Driver itself may repeat"},

      // --- Sensitive keys in both cases (protected by the UTF-16 parser) ----------------------
      {"PWD=a;PASSWORD=b;UID=c;LOGONID=d;CWPWD=e;CREDENTIALSWALLETPASSWORD=f;USER=g;DSN=h", 0,
       Pairs{{"PWD", "a"},
             {"PASSWORD", "b"},
             {"UID", "c"},
             {"LOGONID", "d"},
             {"CWPWD", "e"},
             {"CREDENTIALSWALLETPASSWORD", "f"},
             {"USER", "g"},
             {"DSN", "h"}},
       {}, 0, "sensitive keys in upper case"},
      {"pwd=a;password=b;uid=c;logonid=d;cwpwd=e;credentialswalletpassword=f;user=g;dsn=h", 0,
       Pairs{{"pwd", "a"},
             {"password", "b"},
             {"uid", "c"},
             {"logonid", "d"},
             {"cwpwd", "e"},
             {"credentialswalletpassword", "f"},
             {"user", "g"},
             {"dsn", "h"}},
       {}, 0, "sensitive keys in lower case"},
      {"PWD={se;cr}}et};Pwd=x", 1, Pairs{{"PWD", "se;cr}et"}}, {}, 0, "braced sensitive value"},
      {"PWD=;UID= ", 0, Pairs{{"PWD", ""}, {"UID", ""}}, {}, 0, "empty sensitive values"},
      {"USER ID=a;PWDX=b", 0, Pairs{{"USER ID", "a"}, {"PWDX", "b"}}, {}, 0, "near-miss names are plain"},
  };
  return cases;
}

// The keys above that the UTF-16 parser protects.
inline bool isSensitiveName(const std::string& key) {
  static const char* const kNames[] = {"PWD", "PASSWORD", "UID", "LOGONID", "CWPWD", "CREDENTIALSWALLETPASSWORD", "USER"};
  for (const char* name : kNames) {
    if (key.size() != std::string(name).size()) continue;
    bool same = true;
    for (size_t i = 0; i < key.size(); ++i) {
      const char c = key[i] >= 'a' && key[i] <= 'z' ? static_cast<char>(key[i] - 32) : key[i];
      if (c != name[i]) same = false;
    }
    if (same) return true;
  }
  return false;
}

}  // namespace jutest

#endif  // JULIB_TESTS_VALUE_PARSER_CASES_H
