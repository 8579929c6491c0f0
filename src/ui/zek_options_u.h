#pragma once
// The options dialog. Its controls are the option set itself: the engine and the
// settings file read and write them directly, at the moment of use.
#include <QDialog>
#include <QSpinBox>
#include <array>

#include "engine/run_interfaces.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zek {

// The spin edit of "Stop comparing after ... different bytes.": it takes only
// digits, signs and the decimal separator, beeps at any other character, and
// reads text that is no whole number as 0.
class TCompNrEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit TCompNrEdit(QWidget* parent);
  QValidator::State validate(QString& text, int& pos) const override;
  int valueFromText(const QString& text) const override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool IsAllowed(QChar c) const;
};

class TfrmOptions : public QDialog, public IOptionControls {
  Q_OBJECT
 public:
  explicit TfrmOptions(QWidget* owner);

  // Options1Click: places the dialog over the centre of the owner window,
  // frames included, and shows it modally.
  void ShowOver(const QWidget* owner);

  bool Checked(Option option) const override;
  void SetChecked(Option option, bool checked) override;
  int CompNr() const override;
  void SetCompNr(int value) override;
  std::string LogName() const override;
  void SetLogName(const std::string& name) override;

  QCheckBox* Box(Option option) const { return boxes_[static_cast<int>(option)]; }

  QGroupBox* gbxMessage;
  QCheckBox* cbxFilesEqual;
  QCheckBox* cbxCouldNotOpenSource;
  QCheckBox* cbxCouldNotOpenTarget;
  QCheckBox* cbxTargetNotFound;
  QCheckBox* cbxDifferentSize;
  QCheckBox* cbxDifferentTime;
  QCheckBox* cbxDoNotMatch;
  QCheckBox* cbxDifferAt;
  QCheckBox* cbxShowDir;
  QGroupBox* gbxLOGFile;
  QCheckBox* cbxWriteLog;
  QLabel* Label1;
  QLineEdit* edtLogName;
  QPushButton* btnBrowse;
  QGroupBox* gbxCompare;
  QCheckBox* cbxOnlyTimeDateSize;
  QCheckBox* cbxCompareDifferentSize;
  QLabel* lblCompNr1;
  TCompNrEdit* speCompNr;
  QLabel* lblCompNr2;
  QPushButton* btnOK;
  QGroupBox* GroupBox1;
  QCheckBox* cbxHighSpeed;
  QCheckBox* cbxWarpSpeed;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormActivate();
  void btnOKClick();
  void btnBrowseClick();
  // The click rule of the two comparison modes, run on every change of state.
  void ModeClick(Option changed);

  std::array<QCheckBox*, kOptionCount> boxes_{};
};

}  // namespace zek
