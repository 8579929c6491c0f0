#include "ui/browse_u.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <set>
#include <strings.h>

#include "engine/path_rules.h"
#include "platform/file_access.h"
#include "platform/io_error.h"
#include "ui/browse_rules.h"
#include "ui/utilities.h"

namespace zek {
namespace {

constexpr int kDepthRole = Qt::UserRole;

// Draws each row, icon and name together, indented by its depth.
class RowIndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem indented = option;
    indented.rect.setLeft(option.rect.left() + index.data(kDepthRole).toInt() * TDirectoryListBox::kIndent);
    QStyledItemDelegate::paint(painter, indented, index);
    // The styles mark the current row by its selection alone; a dotted frame
    // tells a keyboard user that the tree, not the volume list, has the focus.
    if (option.state & QStyle::State_HasFocus) {
      painter->save();
      const bool selected = option.state & QStyle::State_Selected;
      painter->setPen(QPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text), 1, Qt::DotLine));
      painter->setBrush(Qt::NoBrush);
      painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
      painter->restore();
    }
  }
};

QIcon VolumeIcon(VolumeKind kind) {
  const QStyle::StandardPixmap pixmap = kind == VolumeKind::Network     ? QStyle::SP_DriveNetIcon
                                        : kind == VolumeKind::Optical   ? QStyle::SP_DriveCDIcon
                                        : kind == VolumeKind::Removable ? QStyle::SP_DriveFDIcon
                                                                        : QStyle::SP_DriveHDIcon;
  return QApplication::style()->standardIcon(pixmap);
}

std::vector<Volume> MountedVolumes() {
  std::vector<Volume> volumes;
  std::set<std::string> seen;
  for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
    const std::string root = ToNative(storage.rootPath());
    const std::string type = storage.fileSystemType().toStdString();
    // Files bind-mounted on their own (as containers do with /etc/hosts) are no volumes.
    if (!storage.isValid() || !IsBrowsableVolume(root, type) || !Files().DirectoryExists(root) ||
        !seen.insert(root).second)
      continue;
    const std::string device = storage.device().toStdString();
    const std::string label = ToNative(storage.name());
    volumes.push_back({root, label.empty() ? device : label, KindOfVolume(root, type, device)});
  }
  if (seen.count("/") == 0) volumes.push_back({"/", "/", VolumeKind::Fixed});
  std::sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) { return a.Root < b.Root; });
  return volumes;
}

// The directory as the tree shows it: absolute, no doubled or trailing slash.
std::string Normalised(const std::string& path) {
  std::string dir = RemoveDoubleBackslashes(path);
  if (dir.empty() || dir[0] != '/') dir = Files().GetCurrentDir() + "/" + dir;
  dir = RemoveDoubleBackslashes(dir);
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::vector<std::string> Subdirectories(const std::string& dir) {
  std::vector<std::string> names;
  FindRecord record;
  FileAccess& files = Files();
  // Attribute mask 16 leaves hidden and system entries out.
  for (SearchStep found = files.FindFirst(SelectedPath(dir, "*.*"), faDirectory, record); found.Found();
       found = files.FindNext(record)) {
    if ((record.Attr & faDirectory) != 0 && record.Name != "." && record.Name != "..") names.push_back(record.Name);
  }
  files.FindClose(record);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int order = strcasecmp(a.c_str(), b.c_str());
    return order != 0 ? order < 0 : a < b;
  });
  return names;
}

}  // namespace

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) { Refresh(); }

void TDriveComboBox::Refresh() {
  const QSignalBlocker quiet(this);
  const std::string selected = Drive();
  clear();
  for (const Volume& volume : MountedVolumes()) {
    const QString root = FromNative(volume.Root);
    const QString text = volume.Name == volume.Root ? root : root + "  [" + FromNative(volume.Name) + "]";
    addItem(VolumeIcon(volume.Kind), text, root);
  }
  SetDrive(selected);
}

std::string TDriveComboBox::Drive() const { return ToNative(currentData().toString()); }

void TDriveComboBox::SetDrive(const std::string& root) {
  const int index = findData(FromNative(root));
  if (index >= 0) setCurrentIndex(index);
}

std::vector<std::string> TDriveComboBox::Roots() const {
  std::vector<std::string> roots;
  for (int i = 0; i < count(); ++i) roots.push_back(ToNative(itemData(i).toString()));
  return roots;
}

TDirectoryListBox::TDirectoryListBox(QWidget* parent, std::vector<std::string> volumeRoots)
    : QListWidget(parent), volumeRoots_(std::move(volumeRoots)) {
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setItemDelegate(new RowIndentDelegate(this));
  const std::string current = Files().GetCurrentDir();
  directory_ = current.empty() ? "/" : current;
  lastDirectory_[Drive()] = directory_;
  Rebuild();
}

void TDirectoryListBox::SetDirectory(const std::string& path) {
  if (path.empty()) return;
  const std::string dir = Normalised(path);
  Files().SetCurrentDir(dir).OrRaise();
  directory_ = dir;
  lastDirectory_[Drive()] = directory_;
  Rebuild();
}

std::string TDirectoryListBox::Drive() const { return VolumeOf(directory_, volumeRoots_); }

void TDirectoryListBox::SetDrive(const std::string& root) {
  if (root.empty() || root == Drive()) return;
  const auto last = lastDirectory_.find(root);
  SetDirectory(last != lastDirectory_.end() ? last->second : root);
}

std::string TDirectoryListBox::RowPath(int row) const {
  return row >= 0 && static_cast<size_t>(row) < rowPaths_.size() ? rowPaths_[static_cast<size_t>(row)] : std::string();
}

void TDirectoryListBox::Rebuild() {
  clear();
  rowPaths_.clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  auto addRow = [&](const std::string& path, const std::string& name, int depth, const QIcon& icon) {
    auto* item = new QListWidgetItem(icon, FromNative(name), this);
    item->setData(kDepthRole, depth);
    item->setSizeHint(QSize(0, kRowHeight));
    rowPaths_.push_back(path);
  };
  addRow("/", "/", 0, open);
  int depth = 0;
  for (size_t start = 1; start < directory_.size();) {
    size_t end = directory_.find('/', start);
    if (end == std::string::npos) end = directory_.size();
    addRow(directory_.substr(0, end), directory_.substr(start, end - start), ++depth, open);
    start = end + 1;
  }
  directoryRow_ = depth;
  for (const std::string& name : Subdirectories(directory_)) addRow(SelectedPath(directory_, name), name, depth + 1, closed);
  setCurrentRow(directoryRow_);
}

void TDirectoryListBox::mousePressEvent(QMouseEvent* event) {
  // The click opens the row at once; the item under the mouse is gone after that,
  // so the list's own press handling (drag, selection) is not run.
  const int row = indexAt(event->position().toPoint()).row();
  pressedPath_ = RowPath(row);
  if (row < 0) return;
  setFocus(Qt::MouseFocusReason);
  setCurrentRow(row);
  emit Click();
}

void TDirectoryListBox::mouseDoubleClickEvent(QMouseEvent*) {
  // The double-click stands for the row its first click hit, which that click
  // has opened and selected, wherever that row stands now.
  const auto row = std::find(rowPaths_.begin(), rowPaths_.end(), pressedPath_);
  if (pressedPath_.empty() || row == rowPaths_.end()) return;
  setCurrentRow(static_cast<int>(row - rowPaths_.begin()));
  emit DblClick();
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
  const int before = currentRow();
  QListWidget::keyPressEvent(event);
  if (currentRow() != before) emit Click();
}

void TDirectoryListBox::keyboardSearch(const QString& search) {
  if (search.isEmpty() || !search.front().isPrint() || count() == 0) return;
  const QString letter = search.left(1);
  for (int step = 1; step <= count(); ++step) {
    const int row = (currentRow() + step) % count();
    if (item(row)->text().startsWith(letter, Qt::CaseInsensitive)) {
      setCurrentRow(row);
      return;
    }
  }
}

TfrmBrowse::TfrmBrowse(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Browse");
  setFont(WindowsFont(13));
  DriveComboBox = new TDriveComboBox(this);
  DirectoryListBox = new TDirectoryListBox(this, DriveComboBox->Roots());
  Edit = new QLineEdit("*.*", this);
  btnCancel = new QPushButton("Cancel", this);
  btnOK = new QPushButton("OK", this);
  Label1 = new QLabel("File Mask: ", this);
  Label1->setBuddy(Edit);
  Edit->setAccessibleName("File Mask");
  DriveComboBox->setAccessibleName("Volume");
  DirectoryListBox->setAccessibleName("Directory");
  // Enter on any other control accepts: OK is drawn as the default, and a
  // focused button as the one that Enter presses.
  btnOK->setDefault(true);
  setTabOrder(DriveComboBox, DirectoryListBox);
  setTabOrder(DirectoryListBox, Edit);
  setTabOrder(Edit, btnCancel);
  setTabOrder(btnCancel, btnOK);
  // Key preview: Enter accepts wherever the focus is.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

  connect(DriveComboBox, &QComboBox::currentIndexChanged, this, [this] { DriveComboBoxChange(); });
  connect(DirectoryListBox, &TDirectoryListBox::Click, this, [this] { DirectoryListBoxClick(); });
  connect(DirectoryListBox, &TDirectoryListBox::DblClick, this, [this] { DirectoryListBoxDblClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  ResizeOuter(this, 369, 422);
}

void TfrmBrowse::BrowseFor(QLineEdit* field, const QWidget* mainWindow) {
  // Volumes come and go while the program runs (a USB stick is plugged in).
  DriveComboBox->Refresh();
  DirectoryListBox->SetVolumeRoots(DriveComboBox->Roots());
  MoveOuter(this, BrowsePlacement(OuterBounds(mainWindow), OuterBounds(this).Width));
  const std::string text = ToNative(field->text());
  const std::string preset = BrowsePreset(text);
  if (!preset.empty()) {
    CallGuarded(this, [&] {
      DirectoryListBox->SetDirectory(preset);
      Edit->setText(FromNative(NamePart(text)));
    });
  }
  exec();
  if (Accepted) field->setText(FromNative(SelectedPath()));
}

std::string TfrmBrowse::SelectedPath() const {
  return zek::SelectedPath(DirectoryListBox->Directory(), ToNative(Edit->text()));
}

void TfrmBrowse::reject() {
  Accepted = false;
  QDialog::reject();
}

bool TfrmBrowse::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QDialog::event(event);
}

bool TfrmBrowse::eventFilter(QObject* watched, QEvent* event) {
  if (PressFocusedButton(watched, event)) return true;
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Accepted = true;
      accept();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmBrowse::keyPressEvent(QKeyEvent* event) {
  // Escape has no meaning here; only Cancel and the close box cancel.
  if (event->key() == Qt::Key_Escape) return;
  QDialog::keyPressEvent(event);
}

void TfrmBrowse::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

void TfrmBrowse::FormActivate() { DriveComboBox->SetDrive(DirectoryListBox->Drive()); }

void TfrmBrowse::FormResize() {
  const QFontMetrics metrics(Edit->font());
  const BrowseLayout l = ComputeBrowseLayout(metrics.height(), metrics.horizontalAdvance(Label1->text()), width(), height());
  SetBounds(DriveComboBox, l.DriveComboBox);
  // The tree shows whole rows only.
  Bounds tree = l.DirectoryListBox;
  const int frame = 2 * DirectoryListBox->frameWidth();
  tree.Height = frame + std::max(0, tree.Height - frame) / TDirectoryListBox::kRowHeight * TDirectoryListBox::kRowHeight;
  SetBounds(DirectoryListBox, tree);
  SetBounds(Label1, l.Label1);
  SetBounds(Edit, l.Edit);
  SetBounds(btnCancel, l.btnCancel);
  SetBounds(btnOK, l.btnOK);
}

void TfrmBrowse::DriveComboBoxChange() {
  CallGuarded(this, [&] { DirectoryListBox->SetDrive(DriveComboBox->Drive()); });
}

void TfrmBrowse::DirectoryListBoxClick() {
  const std::string path = DirectoryListBox->RowPath(DirectoryListBox->currentRow());
  CallGuarded(this, [&] { DirectoryListBox->SetDirectory(path); });
  // After a failure the selection goes back to the directory the tree kept.
  if (DirectoryListBox->currentRow() != DirectoryListBox->DirectoryRow())
    DirectoryListBox->setCurrentRow(DirectoryListBox->DirectoryRow());
}

void TfrmBrowse::DirectoryListBoxDblClick() {
  const std::string path = DirectoryListBox->RowPath(DirectoryListBox->currentRow());
  // A directory that cannot be entered ends the handler in the error box, unaccepted.
  CallGuarded(this, [&] {
    DirectoryListBox->SetDirectory(path);
    Accepted = true;
    accept();
  });
}

void TfrmBrowse::btnOKClick() {
  Accepted = true;
  accept();
}

void TfrmBrowse::btnCancelClick() { reject(); }

}  // namespace zek
