#pragma once
// The engine sees the windows only through these two interfaces: what a run
// shows (IRunView) and what it reads, live, at the moment of use (IRunInputs,
// with the option controls behind it). The Qt windows implement them; batch
// mode and the tests use plain objects.
#include <string>

namespace zek {

// The check boxes of the options dialog.
enum class Option {
  FilesEqual,
  CouldNotOpenSource,
  CouldNotOpenTarget,
  TargetNotFound,
  DifferentSize,
  DifferentTime,
  DoNotMatch,
  DifferAt,
  ShowDir,
  WriteLog,
  OnlyTimeDateSize,
  CompareDifferentSize,
  HighSpeed,
  WarpSpeed,
};
constexpr int kOptionCount = static_cast<int>(Option::WarpSpeed) + 1;

// The option controls. Setting a check box behaves as a click by the user
// (it runs the box's click rule); setting the count clamps it into 0..10000.
class IOptionControls {
 public:
  virtual ~IOptionControls() = default;
  virtual bool Checked(Option option) const = 0;
  virtual void SetChecked(Option option, bool checked) = 0;
  virtual int CompNr() const = 0;
  virtual void SetCompNr(int value) = 0;
  virtual std::string LogName() const = 0;
  virtual void SetLogName(const std::string& name) = 0;
};

// What a run reads: the main window's path fields and sub-directory box, and
// the option controls.
class IRunInputs {
 public:
  virtual ~IRunInputs() = default;
  virtual std::string SourcePath() const = 0;  // edtPfad1
  virtual std::string TargetPath() const = 0;  // edtPfad2
  virtual bool IncludeSubDir() const = 0;      // cbxIncludeSubDir
  virtual IOptionControls& Options() = 0;
  // Batch mode's --from-disk: every target file is read from the device, not
  // from pages that an earlier write or read left in the cache.
  virtual bool ReadFromDisk() const { return false; }
};

enum class StatusLabel { NichtGefunden,
                         Verschieden,
                         Total,
                         ByteTotal,
                         File };

// What a run shows.
class IRunView {
 public:
  virtual ~IRunView() = default;
  virtual void ClearMessages() = 0;                         // Memo1
  virtual void AppendMessage(const std::string& line) = 0;  // Memo1
  virtual void SetLabel(StatusLabel label, const std::string& caption) = 0;
  virtual void SetProgressRange(int minimum, int maximum) = 0;  // ProgressBarOneFile
  virtual void SetProgressPosition(int position) = 0;
  virtual void Repaint() = 0;
  // Lets the window system run every pending message (Cancel's click among them).
  virtual void ProcessMessages() = 0;
};

}  // namespace zek
