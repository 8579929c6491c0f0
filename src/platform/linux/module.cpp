#include "platform/module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

namespace zek {

std::string ProgramDirectory() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<size_t>(n));
      const size_t slash = path.rfind('/');
      return slash == std::string::npos ? std::string() : slash == 0 ? std::string("/")
                                                                     : path.substr(0, slash);
    }
    buffer.resize(buffer.size() * 2);
  }
}

void* LoadModuleFunction(const std::string& path, const char* name, std::string& error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    error = dlerror();
    return nullptr;
  }
  void* function = dlsym(module, name);
  if (function == nullptr) error = dlerror();
  return function;
}

}  // namespace zek
