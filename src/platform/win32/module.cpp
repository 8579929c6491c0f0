#include "platform/module.h"

#include <windows.h>

#include <vector>

namespace zek {

std::string ProgramDirectory() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      const std::string path(buffer.data(), n);
      const size_t slash = path.find_last_of("\\/");
      return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }
    buffer.resize(buffer.size() * 2);
  }
}

void* LoadModuleFunction(const std::string& path, const char* name, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  void* function = reinterpret_cast<void*>(GetProcAddress(module, name));
  if (function == nullptr) error = std::string("no ") + name + " in " + path;
  return function;
}

}  // namespace zek
