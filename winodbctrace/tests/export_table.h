// The export table as the tests read it: their own reading of
// exports/exports.txt, independent of the generator's.
#ifndef VRTRACE_TESTS_EXPORT_TABLE_H
#define VRTRACE_TESTS_EXPORT_TABLE_H

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vrtest {

struct TableArg {
  std::string cType;  // "SQLLEN*"
  uint32_t code;
};

struct TableExport {
  std::string function;  // "SQLExecDirect"
  uint32_t functionId;
  uint32_t ordinal;
  std::vector<TableArg> args;
  bool wide() const { return !function.empty() && function.back() == 'W'; }
  std::string name() const { return "Trace" + function; }
};

struct TableControl {
  std::string name;
  uint32_t ordinal;
};

struct ExportTable {
  std::vector<TableControl> controls;
  std::vector<TableExport> exports;
  std::string error;  // what could not be read, empty when all was

  const TableExport* find(const std::string& function) const {
    for (const TableExport& e : exports) {
      if (e.function == function) return &e;
    }
    return nullptr;
  }
};

inline ExportTable readExportTable(const char* path) {
  ExportTable table;
  std::ifstream in(path);
  if (!in) {
    table.error = std::string("cannot open ") + path;
    return table;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream words(line);
    std::string first;
    if (!(words >> first) || first[0] == '#') continue;
    if (first == "control") {
      TableControl control;
      if (!(words >> control.name >> control.ordinal)) table.error = "line " + std::to_string(number);
      table.controls.push_back(control);
      continue;
    }
    TableExport e{first, 0, 0, {}};
    if (!(words >> e.functionId >> e.ordinal)) table.error = "line " + std::to_string(number);
    for (std::string arg; words >> arg;) {
      const size_t colon = arg.rfind(':');
      if (colon == std::string::npos) {
        table.error = "line " + std::to_string(number);
        break;
      }
      e.args.push_back({arg.substr(0, colon), static_cast<uint32_t>(std::stoul(arg.substr(colon + 1)))});
    }
    table.exports.push_back(e);
  }
  return table;
}

// Output of a command, or empty when it could not run.
inline std::string commandOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// The defined dynamic symbols of a shared library: "name type" per symbol,
// from nm -D.
struct DynamicSymbol {
  std::string name;
  char type;
};
inline std::vector<DynamicSymbol> definedDynamicSymbols(const std::string& library) {
  std::vector<DynamicSymbol> symbols;
  std::istringstream lines(commandOutput("nm -D --defined-only '" + library + "'"));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string address, type, name;
    if (words >> address >> type >> name) symbols.push_back({name, type[0]});
  }
  return symbols;
}

// The names of the symbols a shared library takes from others, from
// nm -D ("_ZdlPv", "malloc@GLIBC_2.2.5", ...).
inline std::vector<std::string> undefinedDynamicSymbols(const std::string& library) {
  std::vector<std::string> names;
  std::istringstream lines(commandOutput("nm -D --undefined-only '" + library + "'"));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string type, name;
    if (words >> type >> name) names.push_back(name);
  }
  return names;
}

}  // namespace vrtest

#endif  // VRTRACE_TESTS_EXPORT_TABLE_H
