#pragma once
// The option set: start values, the rules of the options dialog, and the keys
// under which each option is stored. TOptionSet holds the options for batch mode
// and the tests; the Qt dialog applies the same rules to its controls.
#include <array>
#include <optional>
#include <string>

#include "engine/run_interfaces.h"

namespace zek {

constexpr int kCompNrMin = 0;
constexpr int kCompNrMax = 10000;
constexpr int kCompNrStart = 10;
// "c:zek.log" names the file in drive C's current directory; Linux has no
// drives, and there it is relative to the current directory.
#ifdef _WIN32
inline constexpr const char* kLogNameStart = "c:zek.log";
#else
inline constexpr const char* kLogNameStart = "zek.log";
#endif

bool OptionStartValue(Option option);
int ClampCompNr(int value);

// The two comparison modes exclude each other: when `changed` has just become
// checked and the other mode is checked too, the other one is to be unchecked.
std::optional<Option> ModeToUncheck(Option changed, bool onlyTimeDateSize, bool compareDifferentSize);

// The options as stored in the settings file, in write order ("Options" section).
enum class OptionValueKind { Check,
                             CompNr,
                             LogName };
struct OptionKey {
  const char* Key;
  OptionValueKind Kind;
  Option Box;  // for Kind == Check
};
extern const std::array<OptionKey, 16> kOptionKeys;
// Case-insensitive lookup; nullptr for an unknown key.
const OptionKey* FindOptionKey(const std::string& key);

// The one place that tells the kinds of value apart: hands the option's check
// box to onCheck, or calls onCompNr or onLogName.
template <class OnCheck, class OnCompNr, class OnLogName>
void VisitOptionValue(const OptionKey& option, OnCheck onCheck, OnCompNr onCompNr, OnLogName onLogName) {
  switch (option.Kind) {
    case OptionValueKind::Check:
      onCheck(option.Box);
      break;
    case OptionValueKind::CompNr:
      onCompNr();
      break;
    case OptionValueKind::LogName:
      onLogName();
      break;
  }
}

class TOptionSet : public IOptionControls {
 public:
  TOptionSet();
  bool Checked(Option option) const override;
  void SetChecked(Option option, bool checked) override;
  int CompNr() const override { return compNr_; }
  void SetCompNr(int value) override { compNr_ = ClampCompNr(value); }
  std::string LogName() const override { return logName_; }
  void SetLogName(const std::string& name) override { logName_ = name; }

 private:
  std::array<bool, kOptionCount> checked_{};
  int compNr_ = kCompNrStart;
  std::string logName_ = kLogNameStart;
};

}  // namespace zek
