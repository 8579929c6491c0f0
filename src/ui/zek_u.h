#pragma once
// The main window: path fields, Compare/Cancel/Quit, status labels, progress bar
// and message window under the main menu. It owns the comparison run and shows
// it, hands it the fields and options it reads, and is the window that the
// settings file stores and restores.
#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "engine/comparison_run.h"
#include "engine/run_interfaces.h"
#include "settings/settings_file.h"
#include "ui/layout.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace zek {

class TfrmBrowse;
class TMessageView;
class TfrmOptions;
class TfrmIntro;
class TfrmHelp;
class TfrmTroubleShooting;

class TfrmZEKMain : public QMainWindow, public IRunView, public IRunInputs, public ISettingsWindow {
  Q_OBJECT
 public:
  // arguments: the command line after the program name. Creating the window
  // shows the intro window modally and loads the settings.
  explicit TfrmZEKMain(std::vector<std::string> arguments);

  // Created by the program entry after the main window; the Help menu shows them.
  TfrmHelp* frmHelp = nullptr;
  TfrmTroubleShooting* frmTroubleShooting = nullptr;

  TComparisonRun& Run() { return run_; }
  // From creation until the window is first activated.
  bool FirstActivation() const { return firstActivation_; }

  // IRunView
  void ClearMessages() override;
  void AppendMessage(const std::string& line) override;
  void SetLabel(StatusLabel label, const std::string& caption) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressPosition(int position) override;
  void Repaint() override;
  void ProcessMessages() override;

  // IRunInputs
  std::string SourcePath() const override;
  std::string TargetPath() const override;
  bool IncludeSubDir() const override;
  IOptionControls& Options() override;

  // ISettingsWindow
  int Left() const override;
  int Top() const override;
  int Width() const override;
  int Height() const override;
  void SetLeft(int value) override;
  void SetTop(int value) override;
  void SetWidth(int value) override;
  void SetHeight(int value) override;
  WindowState State() const override;
  void SetState(WindowState state) override;
  void SetIncludeSubDir(bool checked) override;
  std::string Path1() const override;
  void SetPath1(const std::string& text) override;
  std::string Path2() const override;
  void SetPath2(const std::string& text) override;
  void Close() override;

  QLineEdit* edtPfad1;
  QLineEdit* edtPfad2;
  QCheckBox* cbxIncludeSubDir;
  QPushButton* btnStart;
  QPushButton* btnCancel;
  QPushButton* btnQuit;
  TMessageView* Memo1;
  QProgressBar* ProgressBarOneFile;
  QPushButton* btnBrowse1;
  QPushButton* btnBrowse2;
  QLabel* lblPfad1;
  QLabel* lblPfad2;
  QLabel* lblFile;
  QLabel* lblNichtGefunden;
  QLabel* lblVerschieden;
  QLabel* lblTotal;
  QLabel* lblByteTotal;

  QAction* LoadSettings1;
  QAction* SaveSettings1;
  QAction* Quit1;
  QAction* Options1;
  QAction* HowtouseZEK1;
  QAction* TroubleShooting1;
  QAction* About1;

  TfrmBrowse* frmBrowse;
  TfrmOptions* frmOptions;
  TfrmIntro* frmIntro;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormActivate();
  void FormResize();
  void Button1Click();
  void btnCancelClick();
  void btnQuitClick();
  void Quit1Click();
  void btnBrowse1Click();
  void btnBrowse2Click();
  void BrowseForField(QLineEdit* field);
  void LoadSettings1Click();
  void SaveSettings1Click();
  void Options1Click();
  void HowtouseZEK1Click();
  void TroubleShooting1Click();
  void About1Click();
  QLabel* StatusLabelOf(StatusLabel label) const;
  QString SettingsDialogStart() const;
  // Moves the window onto its screen when stored bounds left it out of reach.
  void KeepReachable();
  void SetOuterBound(int32_t Bounds::*bound, int value);
  // During a run the screen gets a new frame at most every kFrameMs: captions,
  // the bar and new message lines wait here and are shown together.
  bool FrameDue() const;
  void ScheduleFrame();
  void ShowPending();

  std::vector<std::string> arguments_;
  QWidget* client_;
  TComparisonRun run_;
  bool firstActivation_ = false;
  // Quit or the close box came during a run: the program ends when it returns.
  bool closePending_ = false;
  struct PendingView {
    std::array<std::optional<std::string>, 5> captions;  // by StatusLabel
    std::optional<std::pair<int, int>> range;
    std::optional<int> position;
    bool lines = false;  // lines are stored in Memo1 but not yet shown
  } pending_;
  QElapsedTimer lastFrame_;
  QElapsedTimer lastDispatch_;
  unsigned dispatchRequests_ = 0;
  QString settingsDirectory_;  // where settings were last loaded or saved
  QTimer* frameTimer_;
};

}  // namespace zek
