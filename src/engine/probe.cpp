#include "engine/probe.h"

#include "engine/path_rules.h"
#include "platform/file_access.h"

namespace zek {

bool ProbeFileName(const std::string& name) {
  const std::string path = RemoveDoubleBackslashes(name);
  FileAccess& files = Files();
  if (files.FileExists(path)) return true;
  if (path.empty()) return false;
  // Erase only what this probe created: a name that appeared meanwhile (or a
  // dangling link) makes the exclusive create fail, and is left alone.
  if (!files.CreateNew(path).Ok()) return false;
  return files.Erase(path).Ok();
}

}  // namespace zek
