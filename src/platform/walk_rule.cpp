#include "platform/walk_rule.h"

namespace zek {
namespace {

// The search of a pass lists an entry unless it has one of these attributes
// that the pass's attribute mask lacks.
bool PassLists(int passAttr, int attr) {
  return (attr & ~passAttr & (faHidden | faSysFile | faVolumeID | faDirectory)) == 0;
}

}  // namespace

bool IsDotEntry(std::string_view name) { return name == "." || name == ".."; }

bool IsHiddenName(std::string_view name) { return name.size() > 1 && name[0] == '.' && name != ".."; }

bool TakesUpFile(std::string_view name, int attr) {
  return PassLists(kFilePassAttr, attr) && (attr & (faDirectory | faVolumeID)) == 0 && !IsDotEntry(name);
}

bool EntersDirectory(std::string_view name, int attr) {
  return PassLists(kSubdirectoryPassAttr, attr) && (attr & faDirectory) != 0 && (attr & faVolumeID) == 0 &&
         !IsDotEntry(name);
}

}  // namespace zek
