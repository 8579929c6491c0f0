#include "settings/ini_file.h"

#include "platform/profile.h"
#include "settings/value_rules.h"

namespace zek {

EIniWriteError::EIniWriteError(const std::string& fileName)
    : std::runtime_error("Kann nicht nach " + fileName + " schreiben") {}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  if (!snapshot_) snapshot_.emplace(fileName_);
  char buffer[1024];
  snapshot_->GetString(section.c_str(), key.c_str(), defaultValue.c_str(), buffer, sizeof buffer);
  // A NUL byte in the file ends the text, as it would for any C string.
  return std::string(buffer);
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) const {
  return ParseIniInteger(ReadString(section, key, "")).value_or(defaultValue);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) const {
  snapshot_.reset();
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName_.c_str()))
    throw EIniWriteError(fileName_);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) const {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) const {
  WriteString(section, key, value ? "1" : "0");
}

}  // namespace zek
