// A whole SQLite session traced end to end, read for what its arguments
// show: the test client connects through SQLDriverConnect and
// SQLDriverConnectW, prepares, binds, executes, fetches, reads data,
// describes columns, runs catalog functions and reads the diagnostics of a
// failed statement, with the Driver Manager stand-in preloaded; the log must
// show every argument rendered, constants by name, outputs only after
// success and no password, and the INFO file the facts of both connections.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "core_test_util.h"
#include "export_table.h"
#include "traced_session.h"

namespace {

using coretest::countOf;
using vrtest::ClientRun;
using vrtest::LogRecord;
using vrtest::ParsedLog;

const vrtest::ExportTable& exportTable() {
  static const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  return table;
}

// A pattern for one argument line: literal text, where "%A" stands for an
// address (0x and 16 upper-case hexadecimal digits) and "%*" for any text.
bool matchesPattern(const std::string& text, const std::string& pattern) {
  std::string expression;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "%A") == 0) {
      expression += "0x[0-9A-F]{16}";
      ++i;
    } else if (pattern.compare(i, 2, "%*") == 0) {
      expression += ".*";
      ++i;
    } else {
      if (std::string("\\^$.|?*+()[]{}").find(pattern[i]) != std::string::npos) expression += '\\';
      expression += pattern[i];
    }
  }
  return std::regex_match(text, std::regex(expression));
}

// The records of one kind and function, in the order written.
std::vector<const LogRecord*> recordsOf(const ParsedLog& log, const std::string& kind, const std::string& function) {
  std::vector<const LogRecord*> found;
  for (const LogRecord& r : log.records) {
    if (r.kind == kind && r.function == function) found.push_back(&r);
  }
  return found;
}

class RenderedSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.usable()) << "no temporary folder, or the SQLite ODBC driver is not installed";
    ASSERT_EQ(exportTable().error, "");
    session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath()});
  }

  vrtest::TracedSession session_;
};

TEST_F(RenderedSessionTest, EveryArgumentIsRenderedWithConstantsByName) {
  const ClientRun run = session_.runClient({
      "driverconnect=DSN=testdsn;UID=vruser;PWD=vr-secret-1",
      "attributes",
      "getinfonum=46",  // SQL_TXN_CAPABLE
      "getinfo=17",     // SQL_DBMS_NAME
      "exec=CREATE TABLE t(a INTEGER, b TEXT, c REAL)",
      "prepare=INSERT INTO t VALUES(?, ?, 2.5)",
      "bindint=7",
      "bindtext=h\xC3\xA9llo",
      "execute",
      "exec=SELECT a, b, c FROM t",
      "describe",
      "fetchas=long,char,double",
      "close",
      "tables",
      "columns=t",
      "?exec=SELEKT 1",
      "disconnect",
      "driverconnectw=DSN=testdsn;PWD={vr;secret}}2}",
      "execw=SELECT b FROM t",
      "fetchas=wchar",
      "disconnect",
  });
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> out;
  for (size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1) {
    out.push_back(run.out.substr(at, end - at));
  }
  ASSERT_GE(out.size(), 4u) << run.out;
  EXPECT_EQ(out[0], "autocommit=1 rowarraysize=1");
  const std::string txnCapable = out[1];
  EXPECT_EQ(out[2], "SQLite");
  EXPECT_EQ(out[3], "7|h\xC3\xA9llo|2.5");
  EXPECT_NE(run.err.find("SELEKT"), std::string::npos) << run.err;

  const std::string text = session_.logText();
  const ParsedLog log = vrtest::parseLog(text, exportTable());
  ASSERT_EQ(log.error, "");
  EXPECT_EQ(vrtest::checkEnterExitPairs(log.records), "");

  // Passwords never reach the log, whether given or completed by the
  // driver, narrow or wide; the user name does.
  EXPECT_EQ(countOf(text, "vr-secret"), 0u);
  EXPECT_EQ(countOf(text, "secret}"), 0u);
  EXPECT_NE(text.find("UID=vruser;PWD=********\\x00\""), std::string::npos);
  EXPECT_NE(text.find("\"DSN=testdsn;PWD=********\\x00\""), std::string::npos);

  struct Expected {
    const char* kind;
    const char* function;
    int occurrence;  // among the records of that kind and function; -1 the last
    size_t argument;
    std::string pattern;
  };
  const std::vector<Expected> expected = {
      // Environment and connection.
      {"ENTER", "SQLAllocHandle", 0, 0, "SQLSMALLINT                  1 <SQL_HANDLE_ENV>"},
      {"ENTER", "SQLAllocHandle", 0, 2, "SQLHANDLE *         %A"},
      {"EXIT", "SQLAllocHandle", 0, 2, "SQLHANDLE *         %A ( %A)"},
      {"ENTER", "SQLAllocHandle", 1, 0, "SQLSMALLINT                  2 <SQL_HANDLE_DBC>"},
      {"ENTER", "SQLSetEnvAttr", 0, 1, "SQLINTEGER                 200 <SQL_ATTR_ODBC_VERSION>"},
      {"ENTER", "SQLSetEnvAttr", 0, 2, "SQLPOINTER                   3"},
      {"ENTER", "SQLDriverConnect", 0, 2,
       "UCHAR *             %A [      -3] \"DSN=testdsn;UID=vruser;PWD=********\\x00\""},
      {"ENTER", "SQLDriverConnect", 0, 4, "UCHAR *             %A "},
      {"ENTER", "SQLDriverConnect", 0, 7, "UWORD                        0 <SQL_DRIVER_NOPROMPT>"},
      {"EXIT", "SQLDriverConnect", 0, 2, "UCHAR *             %A "},
      {"EXIT", "SQLDriverConnect", 0, 4, "UCHAR *             %A [     %*] \"DSN=testdsn;%*PWD=********%*\""},
      {"EXIT", "SQLDriverConnect", 0, 6, "SWORD *             %A (%*)"},
      // Attributes and facts: what the call returned, read from its buffer.
      {"ENTER", "SQLSetConnectAttr", 0, 1, "SQLINTEGER                 102 <SQL_ATTR_AUTOCOMMIT>"},
      {"ENTER", "SQLSetConnectAttr", 0, 2, "SQLPOINTER                   1"},
      {"ENTER", "SQLGetConnectAttr", 0, 2, "SQLPOINTER          %A"},
      {"EXIT", "SQLGetConnectAttr", 0, 2, "SQLPOINTER          %A (1)"},
      {"EXIT", "SQLGetInfo", 0, 1, "UWORD                       46 <SQL_TXN_CAPABLE>"},
      {"EXIT", "SQLGetInfo", 0, 2, "PTR                 %A (" + txnCapable + ")"},
      {"ENTER", "SQLGetInfo", 1, 2, "PTR                 %A "},
      {"EXIT", "SQLGetInfo", 1, 1, "UWORD                       17 <SQL_DBMS_NAME>"},
      {"EXIT", "SQLGetInfo", 1, 2, "PTR                 %A [      -3] \"SQLite\\x00\""},
      {"EXIT", "SQLGetInfo", 1, 4, "SWORD *             %A (6)"},
      // Statements: input text at ENTER only.
      {"ENTER", "SQLExecDirect", 0, 1,
       "UCHAR *             %A [      -3] \"CREATE TABLE t(a INTEGER, b TEXT, c REAL)\\x00\""},
      {"ENTER", "SQLExecDirect", 0, 2, "SDWORD                      -3"},
      {"EXIT", "SQLExecDirect", 0, 1, "UCHAR *             %A "},
      {"ENTER", "SQLPrepare", 0, 1, "UCHAR *             %A [      -3] \"INSERT INTO t VALUES(?, ?, 2.5)\\x00\""},
      {"ENTER", "SQLBindParameter", 0, 1, "UWORD                        1 "},
      {"ENTER", "SQLBindParameter", 0, 2, "SWORD                        1 <SQL_PARAM_INPUT>"},
      {"ENTER", "SQLBindParameter", 0, 3, "SWORD                      -16 <SQL_C_SLONG>"},
      {"ENTER", "SQLBindParameter", 0, 4, "SWORD                        4 <SQL_INTEGER>"},
      {"ENTER", "SQLBindParameter", 1, 3, "SWORD                        1 <SQL_C_CHAR>"},
      {"ENTER", "SQLBindParameter", 1, 4, "SWORD                       12 <SQL_VARCHAR>"},
      {"ENTER", "SQLBindParameter", 1, 9, "SQLLEN *            %A (-3)"},
      // Result columns: outputs after success only.
      {"EXIT", "SQLNumResultCols", 0, 1, "SWORD *             %A (3)"},
      {"ENTER", "SQLDescribeCol", 0, 2, "UCHAR *             %A "},
      {"EXIT", "SQLDescribeCol", 0, 2, "UCHAR *             %A [       1] \"a\""},
      {"EXIT", "SQLDescribeCol", 0, 5, "SWORD *             %A (4)"},
      {"EXIT", "SQLDescribeCol", 1, 2, "UCHAR *             %A [       1] \"b\""},
      {"EXIT", "SQLColAttribute", 0, 2, "SQLSMALLINT                 14 <SQL_DESC_TYPE_NAME>"},
      {"ENTER", "SQLColAttribute", 0, 3, "SQLPOINTER          %A "},
      {"EXIT", "SQLColAttribute", 0, 3, "SQLPOINTER          %A [      -3] \"INTEGER\\x00\""},
      {"EXIT", "SQLColAttribute", 2, 3, "SQLPOINTER          %A [      -3] \"TEXT\\x00\""},
      {"EXIT", "SQLColAttribute", 1, 2, "SQLSMALLINT               1002 <SQL_DESC_TYPE>"},
      // Data by its buffer type.
      {"EXIT", "SQLGetData", 0, 2, "SWORD                      -16 <SQL_C_SLONG>"},
      {"ENTER", "SQLGetData", 0, 3, "PTR                 %A"},
      {"EXIT", "SQLGetData", 0, 3, "PTR                 %A (7)"},
      {"EXIT", "SQLGetData", 0, 5, "SDWORD *            %A (4)"},
      {"EXIT", "SQLGetData", 1, 2, "SWORD                        1 <SQL_C_CHAR>"},
      {"EXIT", "SQLGetData", 1, 3, "PTR                 %A [       6] \"h\\xffffffc3\\xffffffa9llo\""},
      {"EXIT", "SQLGetData", 2, 2, "SWORD                        8 <SQL_C_DOUBLE>"},
      {"EXIT", "SQLFreeStmt", 0, 1, "UWORD                        0 <SQL_CLOSE>"},
      // Catalog functions: absent names are null texts.
      {"ENTER", "SQLTables", 0, 1, "UCHAR *             %A [      -3] <empty string>"},
      {"ENTER", "SQLColumns", 0, 5, "UCHAR *             %A [      -3] \"t\\x00\""},
      {"ENTER", "SQLColumns", 0, 6, "SWORD                       -3 "},
      // The failed statement shows its text in its EXIT, its diagnostics
      // are read after it.
      {"EXIT", "SQLExecDirect", 2, 1, "UCHAR *             %A [      -3] \"SELEKT 1\\x00\""},
      {"ENTER", "SQLGetDiagRec", 0, 3, "SQLCHAR *           %A "},
      {"EXIT", "SQLGetDiagRec", 0, 3, "SQLCHAR *           %A [      -3] \"HY000\\x00\""},
      {"EXIT", "SQLGetDiagRec", 0, 5, "SQLCHAR *           %A [      -3] \"%*SELEKT%*\\x00\""},
      {"EXIT", "SQLGetDiagRec", 1, 5, "SQLCHAR *           %A "},
      {"ENTER", "SQLFreeHandle", 0, 0, "SQLSMALLINT                  3 <SQL_HANDLE_STMT>"},
      // The wide functions: text in the ANSI code page.
      {"ENTER", "SQLDriverConnectW", 0, 2, "WCHAR *             %A [      -3] \"DSN=testdsn;PWD=********\\x00\""},
      {"EXIT", "SQLDriverConnectW", 0, 4, "WCHAR *             %A [     %*] \"DSN=testdsn;%*PWD=********%*\""},
      {"ENTER", "SQLExecDirectW", 0, 1, "WCHAR *             %A [      -3] \"SELECT b FROM t\\x00\""},
      {"EXIT", "SQLGetData", -1, 2, "SWORD                       -8 <SQL_C_WCHAR>"},
      {"EXIT", "SQLGetData", -1, 3, "PTR                 %A [      10] \"h\\xffffffe9llo\""},
  };
  for (const Expected& e : expected) {
    const std::vector<const LogRecord*> records = recordsOf(log, e.kind, e.function);
    SCOPED_TRACE(std::string(e.kind) + " " + e.function + " #" + std::to_string(e.occurrence) + " argument " +
                 std::to_string(e.argument));
    const size_t index = e.occurrence >= 0 ? static_cast<size_t>(e.occurrence) : records.size() - 1;
    ASSERT_LT(index, records.size());
    const LogRecord& record = *records[index];
    ASSERT_LT(e.argument, record.args.size());
    EXPECT_TRUE(matchesPattern(std::string(record.args[e.argument]), e.pattern))
        << "\"" << record.args[e.argument] << "\" is not \"" << e.pattern << "\"";
  }

  // The INFO file: the facts of both connections and the environment, no
  // connection string.
  const std::string info = vrtest::readFile(session_.dir() / "SQLINFO.LOG");
  EXPECT_EQ(countOf(info, "\nSQL_DBMS_NAME: SQLite\r\n"), 2u) << info.substr(0, 400);
  EXPECT_EQ(countOf(info, "\nSQL_DRIVER_NAME: "), 2u);
  EXPECT_EQ(countOf(info, "***************** Environment Variables ****************\n"), 2u);
  EXPECT_EQ(countOf(info, "\nODBCSYSINI=" + session_.dir().string() + "\n"), 2u);
  EXPECT_EQ(countOf(info, "secret"), 0u);
}

}  // namespace
