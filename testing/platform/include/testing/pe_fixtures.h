// The test DLLs built by testing/pe/PeFixtures.cmake, and the pefile
// checker testing/pe/pe_check.py (platform level: no component's code).
// Only for targets set up with ju_pe_fixtures(<target>).
#ifndef TESTING_PE_FIXTURES_H
#define TESTING_PE_FIXTURES_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#ifndef JU_PE_FIXTURES
#error "link the test with ju_pe_fixtures(<target>)"
#endif

namespace jutest {

// The path of a fixture: "last.dll", "reloc.dll", "multi.dll",
// "overlay.dll", "strings.dll", "signed.dll", "signed_last.dll", "big.dll".
inline std::string peFixture(const std::string& name) { return std::string(JU_PE_FIXTURES) + "/" + name; }

// Runs "/usr/bin/python3 pe_check.py <args...>" and returns what it printed
// on standard output; *status receives its exit status (-1 when it did not
// run to its end).
inline std::string runPeCheck(const std::vector<std::string>& args, int* status) {
  std::string command = "/usr/bin/python3 '" JU_PE_CHECK "'";
  for (const std::string& arg : args) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += " " + quoted + "'";
  }
  std::string output;
  *status = -1;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return output;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int raw = pclose(pipe);
  if (raw != -1 && WIFEXITED(raw)) *status = WEXITSTATUS(raw);
  return output;
}

// The checker's "dump" of a file, or a failure when it does not run cleanly.
inline std::string peDump(const std::string& path) {
  int status = 0;
  std::string output = runPeCheck({"dump", path}, &status);
  EXPECT_EQ(status, 0) << output;
  return output;
}

}  // namespace jutest

#endif  // TESTING_PE_FIXTURES_H
