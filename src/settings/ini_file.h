#pragma once
// The INI accessor on one file name. Every write is one call of the profile
// functions; the reads of one load share one reading of the file, taken at the
// first read after the accessor was made or last wrote, so that a load reads
// a big file once and sees one state of it.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/profile.h"

namespace zek {

// A write the platform refused. The text names the file as it was passed (for
// the default settings file the bare "zek32.ini").
class EIniWriteError : public std::runtime_error {
 public:
  explicit EIniWriteError(const std::string& fileName);
};

class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
  const std::string& FileName() const { return fileName_; }

  // At most 1023 characters; the default when the file, section or key is missing.
  std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
  // The default when the value is missing, empty or malformed (see ParseIniInteger).
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

  // These raise EIniWriteError when the write fails.
  void WriteString(const std::string& section, const std::string& key, const std::string& value) const;
  void WriteInteger(const std::string& section, const std::string& key, int32_t value) const;
  void WriteBool(const std::string& section, const std::string& key, bool value) const;

 private:
  std::string fileName_;
  mutable std::optional<TProfileSnapshot> snapshot_;
};

}  // namespace zek
