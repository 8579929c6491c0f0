#pragma once
// The folder browse dialog: a list of the mounted volumes, a directory tree in
// which a click opens a directory at once, and a file mask.
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <map>
#include <string>
#include <vector>

#include "ui/layout.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zek {

// The drive list: one entry per mounted volume that people browse for files,
// the root "/" always among them. Drive() is the selected volume's root path.
class TDriveComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TDriveComboBox(QWidget* parent);
  // Fills the list anew from the volumes mounted now, keeping the selection
  // where that volume is still there; raises no change event.
  void Refresh();
  std::string Drive() const;
  void SetDrive(const std::string& root);
  std::vector<std::string> Roots() const;
};

// The directory tree. Row 0 is the root "/", then every directory on the way
// down to Directory(), then its subdirectories in alphabetical order, without
// hidden ones; each row's icon and name are indented by its depth, open folders
// on the way down, closed ones below. Directory is the process's current
// directory, as on Windows; we also remember the last directory of each volume,
// as Windows keeps one per drive.
class TDirectoryListBox : public QListWidget {
  Q_OBJECT
 public:
  static constexpr int kRowHeight = 16;
  static constexpr int kIndent = 10;  // per level of depth

  TDirectoryListBox(QWidget* parent, std::vector<std::string> volumeRoots);
  const std::string& Directory() const { return directory_; }
  // Enters the directory; one that cannot be entered raises EInOutError and the
  // tree keeps its directory. An empty path is ignored.
  void SetDirectory(const std::string& path);
  // The volume that holds Directory(); setting another one enters that volume's
  // last directory (its root at first).
  std::string Drive() const;
  void SetDrive(const std::string& root);
  // The volumes mounted now; the remembered directories are kept.
  void SetVolumeRoots(std::vector<std::string> roots) { volumeRoots_ = std::move(roots); }
  std::string RowPath(int row) const;
  int DirectoryRow() const { return directoryRow_; }

 signals:
  // A row was chosen, by a click or by moving the selection with the keyboard.
  void Click();
  void DblClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Type-ahead: a letter moves to the next row whose name starts with it.
  void keyboardSearch(const QString& search) override;

 private:
  void Rebuild();

  std::vector<std::string> volumeRoots_;
  std::string directory_;
  std::map<std::string, std::string> lastDirectory_;  // volume root -> directory
  std::vector<std::string> rowPaths_;
  int directoryRow_ = 0;
  // The row that the last press hit: the first click of a double-click opens
  // it and rebuilds the rows, so the second one may find another row, or none,
  // under the pointer.
  std::string pressedPath_;
};

class TfrmBrowse : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmBrowse(QWidget* owner);

  // What btnBrowse1Click and btnBrowse2Click do with their field: place the
  // dialog at the main window's right edge, preset it from the field where the
  // field names a usable directory, and hand the choice back when accepted.
  void BrowseFor(QLineEdit* field, const QWidget* mainWindow);
  std::string SelectedPath() const;

  bool Accepted = false;
  TDriveComboBox* DriveComboBox;
  TDirectoryListBox* DirectoryListBox;
  QLineEdit* Edit;
  QPushButton* btnCancel;
  QPushButton* btnOK;
  QLabel* Label1;

 public slots:
  // The close box and Cancel end the dialog alike: not accepted.
  void reject() override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FormActivate();
  void FormResize();
  void DriveComboBoxChange();
  void DirectoryListBoxClick();
  void DirectoryListBoxDblClick();
  void btnOKClick();
  void btnCancelClick();
};

}  // namespace zek
