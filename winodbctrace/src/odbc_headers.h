// The ODBC headers, for the names of ODBC's own constants: function ids
// (SQL_API_SQLEXECDIRECT), info types (SQL_DRIVER_NAME), attributes, buffer
// types and return codes, so that the trace library never types their
// values. unixODBC's sqlext.h also declares a trace plug-in interface of its
// own under the names of our control exports, with other prototypes; those
// declarations are renamed out of the way here.
#ifndef VRTRACE_ODBC_HEADERS_H
#define VRTRACE_ODBC_HEADERS_H

#define TraceOpenLogFile unixOdbcTraceOpenLogFile
#define TraceCloseLogFile unixOdbcTraceCloseLogFile
#define TraceReturn unixOdbcTraceReturn
#define TraceVersion unixOdbcTraceVersion
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#undef TraceOpenLogFile
#undef TraceCloseLogFile
#undef TraceReturn
#undef TraceVersion

#endif  // VRTRACE_ODBC_HEADERS_H
