#pragma once
// Runs a program and collects what it printed and how it ended.
#include <string>
#include <vector>

namespace zek::test {

struct ProcessResult {
  int ExitCode = -1;  // -1 when it did not exit normally
  std::string Out;
  std::string Err;
};

// argv[0] is the program; env entries "NAME=VALUE" are added to the environment.
// stdin is /dev/null. A program still running after timeoutSeconds is killed.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                         int timeoutSeconds = 60);

}  // namespace zek::test
