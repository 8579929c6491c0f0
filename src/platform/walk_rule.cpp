#include "platform/walk_rule.h"

namespace zek {

bool IsDotEntry(std::string_view name) { return name == "." || name == ".."; }

bool IsHiddenName(std::string_view name) { return name.size() > 1 && name[0] == '.' && name != ".."; }

bool TakesUpFile(std::string_view name, int attr) {
  return (attr & (faDirectory | faVolumeID)) == 0 && !IsDotEntry(name);
}

bool EntersDirectory(std::string_view name, int attr) {
  constexpr int kLeftOut = (faHidden | faSysFile | faVolumeID) & ~kSubdirectoryPassAttr;
  return (attr & faDirectory) != 0 && (attr & kLeftOut) == 0 && !IsDotEntry(name);
}

}  // namespace zek
