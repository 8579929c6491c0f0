#include "settings/settings_file.h"

#include "settings/ini_file.h"
#include "settings/option_set.h"

namespace zek {
namespace {

constexpr const char* kAppearence = "Appearence";  // spelled so in every file out there
constexpr const char* kCompare = "Compare";
constexpr const char* kOptions = "Options";

}  // namespace

void ReadSettings(const std::string& fileName, ISettingsWindow& window, IOptionControls& options) {
  ReadSettings(TIniFile(fileName), window, options);
}

void ReadSettings(const TIniFile& ini, ISettingsWindow& window, IOptionControls& options) {
  // The bounds read are those of the restored window, so restore it first.
  window.SetState(WindowState::Normal);
  window.ProcessMessages();
  window.SetLeft(ini.ReadInteger(kAppearence, "Left", window.Left()));
  window.SetWidth(ini.ReadInteger(kAppearence, "Width", window.Width()));
  window.SetTop(ini.ReadInteger(kAppearence, "Top", window.Top()));
  window.SetHeight(ini.ReadInteger(kAppearence, "Height", window.Height()));
  ReadFieldsAndOptions(ini, window, options);
}

void ReadFieldsAndOptions(const TIniFile& ini, ISettingsFields& fields, IOptionControls& options) {
  fields.SetIncludeSubDir(ini.ReadBool(kCompare, "IncludeSubDir", fields.IncludeSubDir()));
  fields.SetPath1(ini.ReadString(kCompare, "path1", fields.Path1()));
  fields.SetPath2(ini.ReadString(kCompare, "path2", fields.Path2()));

  // Table order matters: each check box runs its click rule, so of the two
  // comparison modes the later key wins when both are set.
  for (const OptionKey& option : kOptionKeys) {
    VisitOptionValue(
        option, [&](Option box) { options.SetChecked(box, ini.ReadBool(kOptions, option.Key, options.Checked(box))); },
        [&] { options.SetCompNr(ini.ReadInteger(kOptions, option.Key, options.CompNr())); },
        [&] { options.SetLogName(ini.ReadString(kOptions, option.Key, options.LogName())); });
  }
}

void WriteSettings(const std::string& fileName, bool closing, ISettingsWindow& window, IOptionControls& options) {
  const TIniFile ini(fileName);
  // Always store the restored bounds; the state goes into its own two keys.
  const WindowState state = window.State();
  window.SetState(WindowState::Normal);
  window.ProcessMessages();
  ini.WriteInteger(kAppearence, "Left", window.Left());
  ini.WriteInteger(kAppearence, "Width", window.Width());
  ini.WriteInteger(kAppearence, "Top", window.Top());
  ini.WriteInteger(kAppearence, "Height", window.Height());
  ini.WriteBool(kAppearence, "Maximized", state == WindowState::Maximized);
  ini.WriteBool(kAppearence, "Minimized", state == WindowState::Minimized);

  ini.WriteBool(kCompare, "IncludeSubDir", window.IncludeSubDir());
  ini.WriteString(kCompare, "path1", window.Path1());
  ini.WriteString(kCompare, "path2", window.Path2());

  for (const OptionKey& option : kOptionKeys) {
    VisitOptionValue(
        option, [&](Option box) { ini.WriteBool(kOptions, option.Key, options.Checked(box)); },
        [&] { ini.WriteInteger(kOptions, option.Key, options.CompNr()); },
        [&] { ini.WriteString(kOptions, option.Key, options.LogName()); });
  }
  if (!closing) window.SetState(state);
}

void SaveSettingsAndClose(ISettingsWindow& window, IOptionControls& options) {
  WriteSettings(kSettingsFileName, true, window, options);
  window.Close();
}

}  // namespace zek
