#pragma once
// Which entries of a directory the run's walk takes up and which it enters.
// The run's walk and the read-ahead's walk both decide by these functions, so
// that a change to the walk cannot leave the read-ahead fetching other files.
//
// The walk works depth first, each directory's files before its
// subdirectories, each in the order the system lists the directory. It lists a
// directory twice: the file pass searches the run's mask with kFilePassAttr and
// takes up what TakesUpFile accepts; the subdirectory pass searches
// kSubdirectoryPassMask with kSubdirectoryPassAttr and enters what
// EntersDirectory accepts, unless the walk is inside that directory already
// (a link that leads back up).
#include <string_view>

#include "platform/file_access.h"

namespace zek {

constexpr int kFilePassAttr = faAnyFile;
// Hidden and system entries are left out of the subdirectory pass.
constexpr int kSubdirectoryPassAttr = faDirectory;
constexpr std::string_view kSubdirectoryPassMask = "*.*";

bool IsDotEntry(std::string_view name);
// Where the system keeps no hidden attribute, a name that begins with a dot
// ("." and ".." aside) marks the entry hidden.
bool IsHiddenName(std::string_view name);

// An entry with the attributes the search reports, listed by the file pass
// and compared as a file: no directory and no volume label.
bool TakesUpFile(std::string_view name, int attr);
// An entry listed by the subdirectory pass (neither hidden nor system) that
// the walk enters: a directory, links followed.
bool EntersDirectory(std::string_view name, int attr);

}  // namespace zek
