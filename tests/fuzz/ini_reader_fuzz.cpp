// Fuzz target: the INI reader (and the writer, which has to find its way in the
// same text) on a settings file of arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/linux/ini_text.h"
#include "settings/value_rules.h"

namespace {

std::string Read(std::string_view data, const char* section, const char* key, uint32_t size = 1024) {
  std::string buffer(size, '\x7f');
  const uint32_t count = zek::CopyProfileString(zek::FindIniValue(data, section, key), "default ", buffer.data(), size);
  // The count and the terminating NUL stay inside the buffer.
  if (size > 0 && (count >= size || buffer[count] != '\0')) std::abort();
  return buffer.substr(0, count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto& [section, key] :
       {std::pair{"Options", "MsgEqual"}, std::pair{"Compare", ""}, std::pair{"", "path1"}}) {
    const std::string value = Read(text, section, key);
    zek::ParseIniInteger(value);
    zek::ParseIniBoolean(value);
    Read(text, section, key, 1);
  }
  // A key that was written reads back as written, whatever the file held.
  const std::optional<std::string> written = zek::IniWithValue(text, "Options", "StopAfterBytes", "4711");
  if (Read(written ? *written : text, "Options", "StopAfterBytes") != "4711") std::abort();
  return 0;
}
