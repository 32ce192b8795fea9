// A small ODBC application for the tests of the Driver Manager stand-in and
// the trace library: it runs the script of actions given as its arguments,
// one action a word, against unixODBC.
//
//   connect=<DSN>           SQLAllocHandle (environment, ODBC 3), SQLSetEnvAttr,
//                           SQLAllocHandle (connection), SQLConnect
//   connectw=<DSN>          the same with SQLConnectW
//   connect2=<DSN>          SQLAllocEnv, SQLAllocConnect, SQLConnect (ODBC 2)
//   driverconnect=<text>    as connect, with SQLDriverConnect and a connection string
//   driverconnectw=<text>   the same with SQLDriverConnectW
//   attributes              SQLSetConnectAttr and SQLGetConnectAttr (autocommit on),
//                           SQLGetStmtAttr (the row array size); prints both values
//   exec=<SQL>              SQLExecDirect (a statement handle is made when needed)
//   execw=<SQL>             SQLExecDirectW
//   prepare=<SQL>, execute  SQLPrepare, SQLExecute
//   preparew=<SQL>          SQLPrepareW
//   bindint=<n>, bindtext=<text>
//                           SQLBindParameter of the next parameter (counted from
//                           the last prepare) as SQL_C_SLONG / SQL_INTEGER or
//                           SQL_C_CHAR / SQL_VARCHAR
//   describe                SQLNumResultCols, then SQLDescribeCol and SQLColAttribute
//                           (type name and type) of every column; prints nothing
//   fetchas=<types>         as fetch, with SQLGetData of the buffer types listed,
//                           one a column: long, double, char or wchar ("long,char")
//   columns=<table>         SQLColumns of the table, then fetch
//   fetch                   SQLNumResultCols, then SQLFetch and SQLGetData for
//                           every row; prints each row as "a|b|c" (NULL for null)
//   tables                  SQLTables for every table, then fetch
//   getinfo=<type>          SQLGetInfo of a text fact; prints it
//   getinfow=<type>         the same with SQLGetInfoW
//   getinfonum=<type>       SQLGetInfo of a 16-bit fact; prints it
//   numresultcols           SQLNumResultCols alone (prints nothing)
//   rowcount                SQLRowCount (prints nothing)
//   commit                  SQLEndTran (connection, SQL_COMMIT)
//   transact                SQLTransact (connection, SQL_COMMIT)
//   close                   SQLFreeStmt (SQL_CLOSE)
//   disconnect              frees the statement, SQLDisconnect, frees the
//                           connection and the environment
//   atexit=<DSN>            registers an exit handler that connects to the data
//                           source, prints the row of SELECT 'late' and
//                           disconnects (first before any ODBC call, it runs
//                           after the stand-in's own exit handler)
//   forks=<n>               while four threads allocate and free environment
//                           handles, forks n children that exit at once (their
//                           exit handlers run; unixODBC's own locks are not
//                           safe to use in such a child); fails when a child
//                           does not exit within five seconds
//   _exit=<status>          ends the process at once with _exit (no exit
//                           handlers run, nothing is closed)
//   vfork                   makes a child with vfork that ends at once with
//                           _exit; the script goes on in the parent
//   threads=<n>             (first word only) runs the rest of the script on n
//                           threads at once, each with its own handles
//   repeat=<n>              runs the next action n times (stops at a failure)
//   signal=<path>           creates the file (no ODBC call): tells a test
//                           that the script got this far
//   waitfor=<path>          waits, at most a minute, until the file exists
//                           (no ODBC call): lets a test change the set-up
//                           between two parts of the script
//
// A failed action prints its diagnostics to stderr and ends the script with
// status 1, unless the action is written with a leading "?", which lets the
// script go on. Statement texts live in writable memory, as an
// application's usually do.

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A bound parameter's value and length, which must stay where they are
// until the statement has run.
struct Parameter {
  SQLINTEGER number = 0;
  std::string text;
  SQLLEN indicator = 0;
};

struct Session {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  bool odbc2 = false;
  std::deque<Parameter> parameters;
};

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

void printDiagnostics(const char* action, SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {};
  SQLCHAR text[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  std::fprintf(stderr, "%s failed\n", action);
  if (handle == nullptr) return;
  for (SQLSMALLINT i = 1; succeeded(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length)); ++i) {
    std::fprintf(stderr, "  %s %s\n", reinterpret_cast<char*>(state), reinterpret_cast<char*>(text));
  }
}

std::u16string widen(const std::string& text) {
  // The tests' texts are ASCII.
  return std::u16string(text.begin(), text.end());
}

SQLWCHAR* wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }
SQLCHAR* narrow(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }

bool allocateConnection(Session& s) {
  s.odbc2 = false;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &s.env))) return false;
  SQLSetEnvAttr(s.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  return succeeded(SQLAllocHandle(SQL_HANDLE_DBC, s.env, &s.dbc));
}

bool ensureStatement(Session& s) {
  if (s.stmt != SQL_NULL_HSTMT) return true;
  return succeeded(SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, &s.stmt));
}

// Fetches every row, reading column c with the buffer type of types[c - 1]
// ("long", "double", "char", "wchar"); prints each row as "a|b|c".
bool fetchRowsAs(Session& s, const std::vector<std::string>& types) {
  for (;;) {
    const SQLRETURN rc = SQLFetch(s.stmt);
    if (rc == SQL_NO_DATA) return true;
    if (!succeeded(rc)) return false;
    std::string row;
    for (size_t i = 0; i < types.size(); ++i) {
      const auto column = static_cast<SQLUSMALLINT>(i + 1);
      SQLLEN indicator = 0;
      char text[1024] = "";
      if (types[i] == "long") {
        SQLINTEGER value = 0;
        if (!succeeded(SQLGetData(s.stmt, column, SQL_C_SLONG, &value, 0, &indicator))) return false;
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
      } else if (types[i] == "double") {
        double value = 0;
        if (!succeeded(SQLGetData(s.stmt, column, SQL_C_DOUBLE, &value, 0, &indicator))) return false;
        std::snprintf(text, sizeof text, "%g", value);
      } else if (types[i] == "char") {
        if (!succeeded(SQLGetData(s.stmt, column, SQL_C_CHAR, text, sizeof text, &indicator))) return false;
      } else {
        SQLWCHAR value[128] = {};
        if (!succeeded(SQLGetData(s.stmt, column, SQL_C_WCHAR, value, sizeof value, &indicator))) return false;
        size_t n = 0;
        for (; n + 1 < sizeof text && value[n] != 0; ++n) text[n] = static_cast<char>(value[n]);  // ASCII
        text[n] = '\0';
      }
      if (i > 0) row += '|';
      row += indicator == SQL_NULL_DATA ? "NULL" : text;
    }
    row += '\n';
    std::fwrite(row.data(), 1, row.size(), stdout);
  }
}

// SQLNumResultCols, then every row with each column read as text.
bool fetchRows(Session& s) {
  SQLSMALLINT columns = 0;
  if (!succeeded(SQLNumResultCols(s.stmt, &columns))) return false;
  return fetchRowsAs(s, std::vector<std::string>(static_cast<size_t>(columns > 0 ? columns : 0), "char"));
}

// SQLDescribeCol and two SQLColAttribute calls for every column.
bool describeColumns(Session& s) {
  SQLSMALLINT columns = 0;
  if (!succeeded(SQLNumResultCols(s.stmt, &columns))) return false;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
    SQLCHAR name[64] = {};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    if (!succeeded(SQLDescribeCol(s.stmt, c, name, sizeof name, &nameLength, &type, &size, &digits, &nullable))) {
      return false;
    }
    SQLCHAR typeName[64] = {};
    SQLSMALLINT typeNameLength = 0;
    SQLLEN number = 0;
    if (!succeeded(SQLColAttribute(s.stmt, c, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeNameLength,
                                   nullptr)) ||
        !succeeded(SQLColAttribute(s.stmt, c, SQL_DESC_TYPE, nullptr, 0, nullptr, &number))) {
      return false;
    }
  }
  return true;
}

// Binds the next parameter of the prepared statement.
bool bindParameter(Session& s, bool text, const std::string& argument) {
  Parameter& p = s.parameters.emplace_back();
  const auto number = static_cast<SQLUSMALLINT>(s.parameters.size());
  if (!text) {
    p.number = static_cast<SQLINTEGER>(std::strtol(argument.c_str(), nullptr, 10));
    return succeeded(SQLBindParameter(s.stmt, number, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &p.number, 0,
                                      &p.indicator));
  }
  p.text = argument;
  p.indicator = SQL_NTS;
  return succeeded(SQLBindParameter(s.stmt, number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, p.text.size(), 0,
                                    p.text.data(), static_cast<SQLLEN>(p.text.size() + 1), &p.indicator));
}

// Sets autocommit on and reads it back, and reads the statement's row
// array size; prints "autocommit=1 rowarraysize=1".
bool attributes(Session& s) {
  if (!succeeded(SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0)) ||
      !ensureStatement(s)) {
    return false;
  }
  SQLUINTEGER autocommit = 99;
  SQLULEN rowArraySize = 99;
  if (!succeeded(SQLGetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)) ||
      !succeeded(SQLGetStmtAttr(s.stmt, SQL_ATTR_ROW_ARRAY_SIZE, &rowArraySize, 0, nullptr))) {
    return false;
  }
  std::printf("autocommit=%u rowarraysize=%lu\n", static_cast<unsigned>(autocommit),
              static_cast<unsigned long>(rowArraySize));
  return true;
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
    items.push_back(text.substr(start, comma - start));
  }
  items.push_back(text.substr(start));
  return items;
}

void disconnect(Session& s) {
  if (s.stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, s.stmt);
  s.stmt = SQL_NULL_HSTMT;
  if (s.dbc != SQL_NULL_HDBC) {
    SQLDisconnect(s.dbc);
    if (s.odbc2) {
      SQLFreeConnect(s.dbc);
    } else {
      SQLFreeHandle(SQL_HANDLE_DBC, s.dbc);
    }
  }
  s.dbc = SQL_NULL_HDBC;
  if (s.env != SQL_NULL_HENV) {
    if (s.odbc2) {
      SQLFreeEnv(s.env);
    } else {
      SQLFreeHandle(SQL_HANDLE_ENV, s.env);
    }
  }
  s.env = SQL_NULL_HENV;
  s.odbc2 = false;
}

bool waitFor(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (access(path.c_str(), F_OK) != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The data source of the exit handler.
std::string atExitSource;
void runAtExit();

// Runs one action; false when it failed.
// One environment handle allocated and freed.
bool allocateAndFree() {
  SQLHENV env = SQL_NULL_HENV;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return false;
  return succeeded(SQLFreeHandle(SQL_HANDLE_ENV, env));
}

bool exitsWithin(pid_t child, int seconds) {
  int status = 0;
  for (int ms = 0; waitpid(child, &status, WNOHANG) == 0; ++ms) {
    if (ms == seconds * 1000) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool forkWhileBusy(unsigned long children) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&stop] {
      while (!stop.load()) allocateAndFree();
    });
  }
  bool ok = true;
  for (unsigned long i = 0; i < children && ok; ++i) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) std::exit(0);
    ok = child > 0 && exitsWithin(child, 5);
    if (!ok) std::fprintf(stderr, "child %lu did not exit\n", i);
  }
  stop.store(true);
  for (std::thread& thread : threads) thread.join();
  return ok;
}

bool run(Session& s, const std::string& action, std::string argument) {
  if (action == "connect" || action == "connectw") {
    if (!allocateConnection(s)) return false;
    if (action == "connect") return succeeded(SQLConnect(s.dbc, narrow(argument), SQL_NTS, nullptr, 0, nullptr, 0));
    std::u16string name = widen(argument);
    return succeeded(SQLConnectW(s.dbc, wide(name), SQL_NTS, nullptr, 0, nullptr, 0));
  }
  if (action == "connect2") {
    s.odbc2 = true;
    if (!succeeded(SQLAllocEnv(&s.env)) || !succeeded(SQLAllocConnect(s.env, &s.dbc))) return false;
    return succeeded(SQLConnect(s.dbc, narrow(argument), SQL_NTS, nullptr, 0, nullptr, 0));
  }
  if (action == "driverconnect") {
    if (!allocateConnection(s)) return false;
    SQLCHAR out[1024] = {};
    SQLSMALLINT length = 0;
    return succeeded(SQLDriverConnect(s.dbc, nullptr, narrow(argument), SQL_NTS, out, sizeof out, &length,
                                      SQL_DRIVER_NOPROMPT));
  }
  if (action == "driverconnectw") {
    if (!allocateConnection(s)) return false;
    std::u16string text = widen(argument);
    SQLWCHAR out[1024] = {};
    SQLSMALLINT length = 0;
    return succeeded(SQLDriverConnectW(s.dbc, nullptr, wide(text), SQL_NTS, out, sizeof out / sizeof out[0], &length,
                                       SQL_DRIVER_NOPROMPT));
  }
  if (action == "attributes") return attributes(s);
  if (action == "bindint" || action == "bindtext") return bindParameter(s, action == "bindtext", argument);
  if (action == "describe") return describeColumns(s);
  if (action == "fetchas") return fetchRowsAs(s, splitList(argument));
  if (action == "columns") {
    if (!ensureStatement(s)) return false;
    return succeeded(SQLColumns(s.stmt, nullptr, 0, nullptr, 0, narrow(argument), SQL_NTS, nullptr, 0)) &&
           fetchRows(s);
  }
  if (action == "getinfonum") {
    SQLUSMALLINT value = 0;
    const auto type = static_cast<SQLUSMALLINT>(std::strtoul(argument.c_str(), nullptr, 10));
    if (!succeeded(SQLGetInfo(s.dbc, type, &value, sizeof value, nullptr))) return false;
    std::printf("%u\n", static_cast<unsigned>(value));
    return true;
  }
  if (action == "exec" || action == "execw" || action == "prepare" || action == "preparew") {
    if (!ensureStatement(s)) return false;
    if (action == "exec") return succeeded(SQLExecDirect(s.stmt, narrow(argument), SQL_NTS));
    if (!s.parameters.empty() && (action == "prepare" || action == "preparew")) {
      // A new statement: the bound values may go.
      SQLFreeStmt(s.stmt, SQL_RESET_PARAMS);
      s.parameters.clear();
    }
    if (action == "prepare") return succeeded(SQLPrepare(s.stmt, narrow(argument), SQL_NTS));
    std::u16string text = widen(argument);
    if (action == "preparew") return succeeded(SQLPrepareW(s.stmt, wide(text), SQL_NTS));
    return succeeded(SQLExecDirectW(s.stmt, wide(text), SQL_NTS));
  }
  if (action == "execute") return succeeded(SQLExecute(s.stmt));
  if (action == "fetch") return fetchRows(s);
  if (action == "tables") {
    if (!ensureStatement(s)) return false;
    return succeeded(SQLTables(s.stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)) && fetchRows(s);
  }
  if (action == "getinfo") {
    char value[512] = {};
    SQLSMALLINT length = 0;
    const auto type = static_cast<SQLUSMALLINT>(std::strtoul(argument.c_str(), nullptr, 10));
    if (!succeeded(SQLGetInfo(s.dbc, type, value, sizeof value, &length))) return false;
    std::printf("%s\n", value);
    return true;
  }
  if (action == "getinfow") {
    SQLWCHAR value[512] = {};
    SQLSMALLINT length = 0;
    const auto type = static_cast<SQLUSMALLINT>(std::strtoul(argument.c_str(), nullptr, 10));
    if (!succeeded(SQLGetInfoW(s.dbc, type, value, sizeof value, &length))) return false;
    // The facts the tests ask for are ASCII.
    std::string text;
    for (size_t i = 0; i < sizeof value / sizeof value[0] && value[i] != 0; ++i) {
      text += static_cast<char>(value[i]);
    }
    std::printf("%s\n", text.c_str());
    return true;
  }
  if (action == "numresultcols") {
    SQLSMALLINT columns = 0;
    return succeeded(SQLNumResultCols(s.stmt, &columns));
  }
  if (action == "rowcount") {
    SQLLEN rows = 0;
    return succeeded(SQLRowCount(s.stmt, &rows));
  }
  if (action == "signal") return static_cast<bool>(std::ofstream(argument));
  if (action == "waitfor") return waitFor(argument);
  if (action == "commit") return succeeded(SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT));
  if (action == "transact") return succeeded(SQLTransact(SQL_NULL_HENV, s.dbc, SQL_COMMIT));
  if (action == "close") return succeeded(SQLFreeStmt(s.stmt, SQL_CLOSE));
  if (action == "atexit") {
    atExitSource = argument;
    return std::atexit(runAtExit) == 0;
  }
  if (action == "forks") return forkWhileBusy(std::strtoul(argument.c_str(), nullptr, 10));
  if (action == "_exit") {
    std::fflush(stdout);
    _exit(std::atoi(argument.c_str()));
  }
  if (action == "vfork") {
    const pid_t child = vfork();
    if (child == 0) _exit(0);
    int status = -1;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (action == "disconnect") {
    disconnect(s);
    return true;
  }
  std::fprintf(stderr, "unknown action %s\n", action.c_str());
  return false;
}

void runAtExit() {
  Session s;
  const bool ok = run(s, "connect", atExitSource) && run(s, "exec", "SELECT 'late'") && run(s, "fetch", "");
  disconnect(s);
  std::fflush(stdout);
  if (!ok) {
    std::fprintf(stderr, "atexit failed\n");
    _exit(1);
  }
}

// The handle whose diagnostics explain a failed action.
void diagnose(const Session& s, const std::string& word) {
  if (s.stmt != SQL_NULL_HSTMT) {
    printDiagnostics(word.c_str(), SQL_HANDLE_STMT, s.stmt);
  } else if (s.dbc != SQL_NULL_HDBC) {
    printDiagnostics(word.c_str(), SQL_HANDLE_DBC, s.dbc);
  } else {
    printDiagnostics(word.c_str(), SQL_HANDLE_ENV, s.env);
  }
}

int runScript(const std::vector<std::string>& words) {
  Session session;
  unsigned long times = 1;
  for (const std::string& word : words) {
    const bool mayFail = !word.empty() && word[0] == '?';
    const std::string body = mayFail ? word.substr(1) : word;
    const size_t equals = body.find('=');
    const std::string action = body.substr(0, equals);
    const std::string argument = equals == std::string::npos ? std::string() : body.substr(equals + 1);
    if (action == "repeat") {
      times = std::strtoul(argument.c_str(), nullptr, 10);
      continue;
    }
    bool ok = true;
    for (; times > 0 && ok; --times) ok = run(session, action, argument);
    times = 1;
    if (!ok) {
      diagnose(session, word);
      if (!mayFail) {
        disconnect(session);
        return 1;
      }
    }
  }
  disconnect(session);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  if (!words.empty() && words[0].rfind("threads=", 0) == 0) {
    const int count = std::atoi(words[0].c_str() + 8);
    words.erase(words.begin());
    std::vector<int> results(count > 0 ? count : 0, 0);
    std::vector<std::thread> threads;
    for (int& result : results) threads.emplace_back([&result, &words] { result = runScript(words); });
    for (std::thread& thread : threads) thread.join();
    for (int result : results) {
      if (result != 0) return result;
    }
    return 0;
  }
  return runScript(words);
}
