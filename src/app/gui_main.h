#pragma once
#include <optional>
#include <string>
#include <vector>

namespace zek {

// The window's paths from the command line after the program name (and after
// Qt has taken its own options out). An argument that begins with "-" (other
// than a lone "-") before a "--" is a usage error, as in batch mode: nullopt,
// with error saying which. After "--" every argument is a path.
std::optional<std::vector<std::string>> WindowArguments(const std::vector<std::string>& arguments, std::string& error);

// The program with its windows: start-up, the message loop, and the exit code
// of the loop once the main window has closed.
int RunGui(int argc, char** argv);

}  // namespace zek
