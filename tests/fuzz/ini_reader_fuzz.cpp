// Fuzz target: the INI reader (and the writer, which has to find its way in the
// same file) on a settings file of arbitrary bytes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/profile.h"
#include "settings/value_rules.h"

namespace {

// One scratch file per process, removed at exit.
const std::string& ScratchFile() {
  static const std::string path = [] {
    std::string pattern =
        std::string(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp") + "/zek32-ini-fuzz-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    static const std::string removeAtExit = pattern;
    std::atexit([] { unlink(removeAtExit.c_str()); });
    return pattern;
  }();
  return path;
}

void Store(const uint8_t* data, size_t size) {
  const int fd = open(ScratchFile().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  close(fd);
}

std::string Read(const char* section, const char* key, uint32_t size = 1024) {
  std::string buffer(size, '\x7f');
  const uint32_t count =
      zek::GetPrivateProfileStringA(section, key, "default ", buffer.data(), size, ScratchFile().c_str());
  // The count and the terminating NUL stay inside the buffer.
  if (size > 0 && (count >= size || buffer[count] != '\0')) std::abort();
  return buffer.substr(0, count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Store(data, size);
  // Each read opens the file anew, as the profile functions do: a few are enough.
  for (const auto& [section, key] :
       {std::pair{"Options", "MsgEqual"}, std::pair{"Compare", ""}, std::pair{"", "path1"}}) {
    const std::string value = Read(section, key);
    zek::ParseIniInteger(value);
    zek::ParseIniBoolean(value);
    Read(section, key, 1);
  }
  // A key that was written reads back as written, whatever the file held.
  if (zek::WritePrivateProfileStringA("Options", "StopAfterBytes", "4711", ScratchFile().c_str()) &&
      Read("Options", "StopAfterBytes") != "4711")
    std::abort();
  return 0;
}
