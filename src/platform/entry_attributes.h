#pragma once
// The DOS attributes that a directory search on a POSIX system reports for an
// entry: from its type (links followed), its name and its owner's write bit.
// The search and the read-ahead's walk both take them from here.
#include <sys/stat.h>

#include <string>

#include "platform/file_access.h"
#include "platform/walk_rule.h"

namespace zek {

inline int AttributesOf(const std::string& name, const struct stat& st) {
  int attr = 0;
  if (S_ISDIR(st.st_mode)) {
    attr |= faDirectory;
  } else if (S_ISREG(st.st_mode)) {
    attr |= faArchive;
  } else {
    attr |= faSysFile;  // FIFOs, sockets, devices
  }
  if (IsHiddenName(name)) attr |= faHidden;
  if ((st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
  return attr;
}

}  // namespace zek
