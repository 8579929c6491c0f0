#include "settings/option_set.h"

#include <strings.h>

namespace zek {

const std::array<OptionKey, 16> kOptionKeys = {{
    {"MsgEqual", OptionValueKind::Check, Option::FilesEqual},
    {"MsgCouldNotOpenSource", OptionValueKind::Check, Option::CouldNotOpenSource},
    {"MsgCouldNotOpenTarget", OptionValueKind::Check, Option::CouldNotOpenTarget},
    {"MsgTargetNotFound", OptionValueKind::Check, Option::TargetNotFound},
    {"MsgDifferentSize", OptionValueKind::Check, Option::DifferentSize},
    {"MsgDifferentTime", OptionValueKind::Check, Option::DifferentTime},
    {"MsgDoNotMatch", OptionValueKind::Check, Option::DoNotMatch},
    {"MsgDifferAt", OptionValueKind::Check, Option::DifferAt},
    {"MsgSwitchDir", OptionValueKind::Check, Option::ShowDir},
    {"CompareOnlyTimeDateSize", OptionValueKind::Check, Option::OnlyTimeDateSize},
    {"CompareDifferentSize", OptionValueKind::Check, Option::CompareDifferentSize},
    {"StopAfterBytes", OptionValueKind::CompNr, Option::FilesEqual},
    {"writelog", OptionValueKind::Check, Option::WriteLog},
    {"logfilename", OptionValueKind::LogName, Option::FilesEqual},
    {"HighSpeed", OptionValueKind::Check, Option::HighSpeed},
    {"WarpSpeed", OptionValueKind::Check, Option::WarpSpeed},
}};

bool OptionStartValue(Option option) {
  switch (option) {
    case Option::CouldNotOpenSource:
    case Option::CouldNotOpenTarget:
    case Option::TargetNotFound:
    case Option::DifferentSize:
    case Option::DifferentTime:
    case Option::DoNotMatch:
      return true;
    default:
      return false;
  }
}

int ClampCompNr(int value) { return value < kCompNrMin ? kCompNrMin : value > kCompNrMax ? kCompNrMax
                                                                                         : value; }

std::optional<Option> ModeToUncheck(Option changed, bool onlyTimeDateSize, bool compareDifferentSize) {
  if (!onlyTimeDateSize || !compareDifferentSize) return std::nullopt;
  if (changed == Option::OnlyTimeDateSize) return Option::CompareDifferentSize;
  if (changed == Option::CompareDifferentSize) return Option::OnlyTimeDateSize;
  return std::nullopt;
}

const OptionKey* FindOptionKey(const std::string& key) {
  for (const OptionKey& k : kOptionKeys)
    if (strcasecmp(k.Key, key.c_str()) == 0) return &k;
  return nullptr;
}

TOptionSet::TOptionSet() {
  for (int i = 0; i < kOptionCount; ++i) checked_[i] = OptionStartValue(static_cast<Option>(i));
}

bool TOptionSet::Checked(Option option) const { return checked_[static_cast<int>(option)]; }

void TOptionSet::SetChecked(Option option, bool checked) {
  bool& box = checked_[static_cast<int>(option)];
  if (box == checked) return;  // the click rule runs only on a change
  box = checked;
  if (auto other = ModeToUncheck(option, Checked(Option::OnlyTimeDateSize), Checked(Option::CompareDifferentSize)))
    SetChecked(*other, false);
}

}  // namespace zek
