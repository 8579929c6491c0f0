#pragma once
// The settings file: the main window's bounds, its path fields and sub-directory
// box, and every option, stored key by key in an INI file.
#include <string>

#include "engine/run_interfaces.h"
#include "settings/ini_file.h"

namespace zek {

// The settings file's name as the program passes it; ResolveSettingsPath says
// where a bare name like this one lives.
inline constexpr const char* kSettingsFileName = "zek32.ini";

enum class WindowState { Normal,
                         Minimized,
                         Maximized };

// The main window's frame as the settings file sees it: its bounds and state.
class ISettingsFrame {
 public:
  virtual ~ISettingsFrame() = default;
  virtual int Left() const = 0;
  virtual int Top() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetLeft(int value) = 0;
  virtual void SetTop(int value) = 0;
  virtual void SetWidth(int value) = 0;
  virtual void SetHeight(int value) = 0;
  virtual WindowState State() const = 0;
  virtual void SetState(WindowState state) = 0;
  virtual void ProcessMessages() = 0;
  virtual void Close() = 0;
};

// The main window's sub-directory box and path fields as the settings file
// sees them; batch mode, which has no window, has these alone.
class ISettingsFields {
 public:
  virtual ~ISettingsFields() = default;
  virtual bool IncludeSubDir() const = 0;
  virtual void SetIncludeSubDir(bool checked) = 0;
  virtual std::string Path1() const = 0;
  virtual void SetPath1(const std::string& text) = 0;
  virtual std::string Path2() const = 0;
  virtual void SetPath2(const std::string& text) = 0;
};

// The main window as the settings file sees it.
class ISettingsWindow : public ISettingsFrame, public ISettingsFields {};

// Loads keys 1-4 and 7-25; a missing file, section or key (or a malformed
// value) leaves its control as it is.
void ReadSettings(const std::string& fileName, ISettingsWindow& window, IOptionControls& options);
// The same from an accessor whose caller reads further keys of the same load.
void ReadSettings(const TIniFile& ini, ISettingsWindow& window, IOptionControls& options);
// Keys 7-25 alone, for a caller without a window frame.
void ReadFieldsAndOptions(const TIniFile& ini, ISettingsFields& fields, IOptionControls& options);
// Writes all 25 keys; raises EIniWriteError when a write fails.
void WriteSettings(const std::string& fileName, bool closing, ISettingsWindow& window, IOptionControls& options);
// WriteSettings("zek32.ini", true), then closes the window (not after a failed write).
void SaveSettingsAndClose(ISettingsWindow& window, IOptionControls& options);

}  // namespace zek
