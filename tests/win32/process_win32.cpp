// Runs a program on Windows: its output goes to temporary files, read back
// once it has ended.
#include <windows.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "support/process.h"

namespace zek::test {
namespace {

// One argument as the C runtime splits the command line again: quoted, with
// the backslashes before a quote (or the closing one) doubled.
std::string Quote(const std::string& arg) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

HANDLE Inheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                               FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  return h;
}

// The text a program wrote on a standard stream. Windows' text streams end
// each line in CR LF; it is "\n" here, as on POSIX, so that one expectation
// serves both systems.
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  std::string text = content.str();
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeoutSeconds) {
  char temp[MAX_PATH + 1];
  GetTempPathA(sizeof temp, temp);
  const std::string stem = std::string(temp) + "zek32-run-" + std::to_string(GetCurrentProcessId());
  const std::string outPath = stem + ".out";
  const std::string errPath = stem + ".err";
  const HANDLE in = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
  const HANDLE out = Inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
  const HANDLE err = Inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);

  std::string commandLine;
  for (const std::string& arg : argv) commandLine += (commandLine.empty() ? "" : " ") + Quote(arg);
  // The child inherits the environment; the additions hold only for it.
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  for (const std::string& e : env) {
    const size_t eq = e.find('=');
    const std::string name = e.substr(0, eq);
    char old[32767];
    const DWORD n = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
    saved.emplace_back(name, n > 0 && n < sizeof old ? std::optional<std::string>(std::string(old, n)) : std::nullopt);
    SetEnvironmentVariableA(name.c_str(), e.substr(eq + 1).c_str());
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  // No application name: a bare program name is looked for beside this
  // program first, where the tests' zek32.exe is.
  const BOOL started =
      CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  for (const auto& [name, value] : saved) SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  ProcessResult result;
  if (started) {
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, INFINITE);
    } else {
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      result.ExitCode = static_cast<int>(code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  result.Out = Slurp(outPath);
  result.Err = Slurp(errPath);
  DeleteFileA(outPath.c_str());
  DeleteFileA(errPath.c_str());
  if (!started) throw std::runtime_error("cannot start " + argv[0]);
  return result;
}

}  // namespace zek::test
