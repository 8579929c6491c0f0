#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "platform/file_access.h"
#include "platform/io_error.h"
#include "support/test_tree.h"
#include "ui/browse_rules.h"
#include "ui/browse_u.h"
#include "ui/gui_test_support.h"
#include "ui/utilities.h"

namespace zek::test {
namespace {

TEST(BrowseRulesTest, LayoutOfTheWorkedExampleAndItsMinimum) {
  const BrowseLayout l = ComputeBrowseLayout(16, 60, 361, 375);
  EXPECT_EQ(l.DriveComboBox, (Bounds{0, 3, 358, 24}));
  EXPECT_EQ(l.DirectoryListBox, (Bounds{0, 31, 358, 273}));
  EXPECT_EQ(l.Label1, (Bounds{3, 309, 68, 16}));
  EXPECT_EQ(l.Edit, (Bounds{71, 306, 280, 22}));
  EXPECT_EQ(l.btnCancel, (Bounds{40, 337, 119, 31}));
  EXPECT_EQ(l.btnOK, (Bounds{199, 337, 119, 31}));
  // A very low dialog keeps a tree of 2 x TH - 2.
  const BrowseLayout low = ComputeBrowseLayout(16, 60, 361, 50);
  EXPECT_EQ(low.DirectoryListBox.Height, 30);
  EXPECT_EQ(low.btnOK.Top, 63 + 16 + 15);
}

TEST(BrowseRulesTest, PlacementAlignsTheRightEdgesAndStaysOnScreen) {
  EXPECT_EQ(BrowsePlacement({100, 50, 461, 429}, 369), (Origin{192, 50}));
  EXPECT_EQ(BrowsePlacement({0, 7, 300, 429}, 369), (Origin{0, 7}));
}

TEST(BrowseRulesTest, SelectedPathNeverDoublesTheSeparator) {
  EXPECT_EQ(SelectedPath("/", "*.*"), "/*.*");
  EXPECT_EQ(SelectedPath("/data", "*.txt"), "/data/*.txt");
  EXPECT_EQ(SelectedPath("/data", ""), "/data/");
  EXPECT_EQ(SelectedPath("/data", "/*.txt"), "/data/*.txt");
}

TEST(BrowseRulesTest, PresetNeedsAnAbsoluteDirectoryWhereTheProbeSucceeds) {
  TempTree tree;
  tree.MakeDir("data");
  EXPECT_EQ(BrowsePreset(tree.Path("data/*.txt")), tree.Path("data"));
  EXPECT_FALSE(tree.Exists("data/d1.dep"));
  EXPECT_EQ(BrowsePreset("relative/*.*"), "");
  EXPECT_EQ(BrowsePreset("*.*"), "");
  EXPECT_EQ(BrowsePreset(""), "");
  EXPECT_EQ(BrowsePreset(tree.Path("missing/*.*")), "");
  // Nothing can be created in /proc, not even by root.
  EXPECT_EQ(BrowsePreset("/proc/*.*"), "");
  // An existing d1.dep counts as success and is left exactly as it was.
  tree.Write("data/d1.dep", "mine");
  EXPECT_EQ(BrowsePreset(tree.Path("data/*.*")), tree.Path("data"));
  EXPECT_EQ(tree.Read("data/d1.dep"), "mine");
}

TEST(BrowseRulesTest, VolumesAreFoundByTheLongestRootAndPseudoSystemsLeftOut) {
  const std::vector<std::string> roots{"/", "/media/usb", "/media/usb2", "/home"};
  EXPECT_EQ(VolumeOf("/media/usb/x", roots), "/media/usb");
  EXPECT_EQ(VolumeOf("/media/usb2", roots), "/media/usb2");
  EXPECT_EQ(VolumeOf("/media/usb22/y", roots), "/");
  EXPECT_EQ(VolumeOf("/", roots), "/");
  EXPECT_TRUE(IsBrowsableVolume("/", "overlay"));
  EXPECT_TRUE(IsBrowsableVolume("/home", "ext4"));
  EXPECT_TRUE(IsBrowsableVolume("/run/media/ann/STICK", "vfat"));
  EXPECT_FALSE(IsBrowsableVolume("/proc", "proc"));
  EXPECT_FALSE(IsBrowsableVolume("/sys/fs/cgroup", "cgroup2"));
  EXPECT_FALSE(IsBrowsableVolume("/run/user/1000", "tmpfs"));
  EXPECT_FALSE(IsBrowsableVolume("/dev/shm", "tmpfs"));
  EXPECT_EQ(KindOfVolume("/mnt/nas", "nfs4", "nas:/export"), VolumeKind::Network);
  EXPECT_EQ(KindOfVolume("/mnt/share", "cifs", "//server/share"), VolumeKind::Network);
  EXPECT_EQ(KindOfVolume("/media/cdrom", "iso9660", "/dev/sr0"), VolumeKind::Optical);
  EXPECT_EQ(KindOfVolume("/media/usb", "vfat", "/dev/sdb1"), VolumeKind::Removable);
  EXPECT_EQ(KindOfVolume("/", "ext4", "/dev/vda1"), VolumeKind::Fixed);
}

// The dialog is modal: each test acts on it from the event loop while it is shown.
class BrowseDialogTest : public ::testing::Test {
 protected:
  BrowseDialogTest() : previous_(Files().GetCurrentDir()) {
    tree.MakeDir("data/sub/deeper");
    tree.MakeDir("data/Alpha");
    tree.MakeDir("data/.hidden");
    for (const char* name : {"a", "b", "c", "d"}) tree.MakeDir(std::string("other/") + name);
  }
  ~BrowseDialogTest() override { (void)Files().SetCurrentDir(previous_); }

  // Opens the dialog for the field and runs `act` once it is up.
  void Browse(QLineEdit& field, const std::function<void()>& act) {
    QTimer::singleShot(0, &dialog, [&] {
      act();
      if (dialog.isVisible()) dialog.reject();
    });
    dialog.BrowseFor(&field, &owner);
  }
  // Clicks (twice: double-clicks) the row that stands for path.
  void ClickRow(const std::string& path, bool twice = false) {
    const std::vector<std::string> rows = RowPaths();
    const auto row = std::find(rows.begin(), rows.end(), path);
    ASSERT_NE(row, rows.end()) << path;
    QListWidget* list = dialog.DirectoryListBox;
    const QPoint at = list->visualItemRect(list->item(static_cast<int>(row - rows.begin()))).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  }
  std::vector<std::string> RowPaths() const {
    std::vector<std::string> paths;
    for (int row = 0; row < dialog.DirectoryListBox->count(); ++row) paths.push_back(dialog.DirectoryListBox->RowPath(row));
    return paths;
  }

  TempTree tree;
  QWidget owner;
  TfrmBrowse dialog{nullptr};
  QLineEdit source, target;

 private:
  std::string previous_;
};

TEST_F(BrowseDialogTest, PresetFieldOpensThereAndOkWritesTheChoiceBack) {
  source.setText(FromNative(tree.Path("data/*.txt")));
  Browse(source, [&] {
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), tree.Path("data"));
    EXPECT_EQ(dialog.Edit->text(), "*.txt");
    // Row 0 is the root, then the way down, then the children sorted, hidden ones left out.
    const std::vector<std::string> rows = RowPaths();
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows.front(), "/");
    EXPECT_EQ(std::vector<std::string>(rows.end() - 2, rows.end()),
              (std::vector<std::string>{tree.Path("data/Alpha"), tree.Path("data/sub")}));
    dialog.btnOK->click();
  });
  EXPECT_EQ(source.text().toStdString(), tree.Path("data/*.txt"));
  EXPECT_EQ(Files().GetCurrentDir(), tree.Path("data"));
}

TEST_F(BrowseDialogTest, ClickOpensAtOnceAndCancelKeepsTheFieldButNotTheDirectory) {
  source.setText(FromNative(tree.Path("data/*.*")));
  Browse(source, [&] {
    ClickRow(tree.Path("data/sub"));
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), tree.Path("data/sub"));
    EXPECT_EQ(RowPaths().back(), tree.Path("data/sub/deeper"));
    dialog.btnCancel->click();
  });
  EXPECT_EQ(source.text().toStdString(), tree.Path("data/*.*"));
  EXPECT_EQ(Files().GetCurrentDir(), tree.Path("data/sub"));
  // The target without a usable preset opens where the source left the dialog.
  target.setText("relative/*.*");
  Browse(target, [&] {
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), tree.Path("data/sub"));
    EXPECT_EQ(dialog.Edit->text(), "*.*");
    dialog.btnOK->click();
  });
  EXPECT_EQ(target.text().toStdString(), tree.Path("data/sub/*.*"));
}

TEST_F(BrowseDialogTest, EnterAcceptsFromAnyControlButEscapeDoesNothing) {
  source.setText(FromNative(tree.Path("other/*.*")));
  Browse(source, [&] {
    dialog.Edit->setText("*.log");
    QTest::keyClick(dialog.Edit, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(dialog.Edit, Qt::Key_Return);
  });
  EXPECT_TRUE(dialog.Accepted);
  EXPECT_EQ(source.text().toStdString(), tree.Path("other/*.log"));
  Browse(source, [&] { QTest::keyClick(dialog.DriveComboBox, Qt::Key_Enter); });
  EXPECT_TRUE(dialog.Accepted);
}

// Enter on the focused Cancel button accepted the dialog and changed the field.
TEST_F(BrowseDialogTest, EnterOnAFocusedButtonPressesThatButton) {
  source.setText(FromNative(tree.Path("other/*.*")));
  const QString before = source.text();
  bool okDrawnAsDefault = false;
  Browse(source, [&] {
    okDrawnAsDefault = dialog.btnOK->isDefault();
    dialog.Edit->setText("*.log");
    dialog.btnCancel->setFocus();
    QTest::keyClick(dialog.btnCancel, Qt::Key_Return);
  });
  EXPECT_TRUE(okDrawnAsDefault);
  EXPECT_FALSE(dialog.Accepted);
  EXPECT_EQ(source.text(), before);
  Browse(source, [&] {
    dialog.Edit->setText("*.log");
    dialog.btnOK->setFocus();
    QTest::keyClick(dialog.btnOK, Qt::Key_Enter);
  });
  EXPECT_TRUE(dialog.Accepted);
  EXPECT_EQ(source.text().toStdString(), tree.Path("other/*.log"));
}

TEST_F(BrowseDialogTest, DoubleClickAcceptsTheRowsDirectoryAndTheCloseBoxCancels) {
  source.setText(FromNative(tree.Path("data/*.*")));
  Browse(source, [&] {
    ClickRow(tree.Path("data/Alpha"), true);
  });
  EXPECT_EQ(source.text().toStdString(), tree.Path("data/Alpha/*.*"));

  source.setText(FromNative(tree.Path("data/*.*")));
  Browse(source, [&] { dialog.close(); });
  EXPECT_FALSE(dialog.Accepted);
  EXPECT_EQ(source.text().toStdString(), tree.Path("data/*.*"));
}

TEST_F(BrowseDialogTest, DoubleClickAcceptsItsRowAfterTheFirstClickShortenedTheList) {
  // Guards against a double-click that finds no row under the pointer once its first click has opened
  // the row: "d" is the fourth child of "other", but opening it leaves only the way down to it.
  source.setText(FromNative(tree.Path("other/*.*")));
  Browse(source, [&] { ClickRow(tree.Path("other/d"), true); });
  EXPECT_TRUE(dialog.Accepted);
  EXPECT_EQ(source.text().toStdString(), tree.Path("other/d/*.*"));
}

TEST_F(BrowseDialogTest, RowsAreDrawnIndentedIconAndAllWithOpenFoldersOnTheWayDown) {
  // Guards against rows whose names carry their indent as blanks while every icon sits at the left edge,
  // and against one folder icon for the way down and the subdirectories alike.
  source.setText(FromNative(tree.Path("data/*.*")));
  Browse(source, [&] {
    QListWidget* list = dialog.DirectoryListBox;
    const int here = dialog.DirectoryListBox->DirectoryRow();
    ASSERT_EQ(list->count(), here + 3);
    EXPECT_EQ(list->item(here + 1)->text(), "Alpha");
    const QImage image = list->viewport()->grab().toImage();
    // Where a row's drawing begins: its first column that differs from the row's right end.
    auto firstDrawn = [&](int row) {
      const QRect rect = list->visualItemRect(list->item(row));
      const int y = rect.center().y();
      const QRgb background = image.pixel(rect.right() - 1, y);
      for (int x = rect.left(); x < rect.right(); ++x)
        for (int dy = -4; dy <= 4; ++dy)
          if (image.pixel(x, y + dy) != background) return x;
      return -1;
    };
    const int root = firstDrawn(0);
    ASSERT_GE(root, 0);
    EXPECT_GE(firstDrawn(here - 1) - root, (here - 1) * TDirectoryListBox::kIndent);
    EXPECT_GE(firstDrawn(here + 1) - root, (here + 1) * TDirectoryListBox::kIndent);
    auto iconOf = [&](int row) { return list->item(row)->icon().pixmap(16).toImage(); };
    EXPECT_EQ(iconOf(0), iconOf(here - 1));
    EXPECT_NE(iconOf(here), iconOf(here + 1));
    EXPECT_EQ(iconOf(here + 1), iconOf(here + 2));
  });
}

TEST_F(BrowseDialogTest, TypingALetterOpensTheNextRowStartingWithIt) {
  // Guards against type-ahead that matched nothing because the names began with their indent.
  source.setText(FromNative(tree.Path("data/*.*")));
  Browse(source, [&] {
    QTest::keyClick(dialog.DirectoryListBox, Qt::Key_S);
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), tree.Path("data/sub"));
    // "data" above starts with d too; the search goes on below the current row.
    QTest::keyClick(dialog.DirectoryListBox, Qt::Key_D);
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), tree.Path("data/sub/deeper"));
    QTest::keyClick(dialog.DirectoryListBox, Qt::Key_D);
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), tree.Path("data"));
    QTest::keyClick(dialog.DirectoryListBox, 'a');
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), tree.Path("data/Alpha"));
  });
}

TEST_F(BrowseDialogTest, TheVolumeListIsFilledAnewAtEveryOpening) {
  // Guards against a volume list filled once at start-up, which never shows a volume mounted later.
  dialog.DriveComboBox->clear();
  source.setText("/*.*");
  Browse(source, [&] {
    const std::vector<std::string> roots = dialog.DriveComboBox->Roots();
    EXPECT_NE(std::find(roots.begin(), roots.end(), "/"), roots.end());
    EXPECT_EQ(dialog.DriveComboBox->Drive(), "/");
  });
}

TEST_F(BrowseDialogTest, TheRootPresetsAndTheVolumeListHoldsIt) {
  source.setText("/*.*");
  Browse(source, [&] {
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), "/");
    EXPECT_EQ(dialog.DriveComboBox->Drive(), "/");
    dialog.Edit->clear();
    dialog.btnOK->click();
  });
  EXPECT_EQ(source.text().toStdString(), "/");
  const std::vector<std::string> roots = dialog.DriveComboBox->Roots();
  EXPECT_NE(std::find(roots.begin(), roots.end(), "/"), roots.end());
}

TEST_F(BrowseDialogTest, ADirectoryThatCannotBeEnteredKeepsTheTreeWhereItWas) {
  source.setText(FromNative(tree.Path("data/*.*")));
  Browse(source, [&] {
    EXPECT_THROW(dialog.DirectoryListBox->SetDirectory(tree.Path("missing")), EInOutError);
    EXPECT_EQ(dialog.DirectoryListBox->Directory(), tree.Path("data"));
  });
}

}  // namespace
}  // namespace zek::test

namespace zek::test {
namespace {

TEST(MainWindowBrowseTest, BothBrowseButtonsOpenTheOneDialogAtTheRightEdge) {
  const std::string previous = Files().GetCurrentDir();
  TempTree tree;
  tree.MakeDir("data/sub");
  auto window = StartMainWindow({tree.Path("data/*.txt"), "relative"});
  Bounds placed;
  ModalHandler accept([&](QWidget* modal) {
    if (auto* browse = qobject_cast<TfrmBrowse*>(modal)) {
      placed = OuterBounds(browse);
      browse->btnOK->click();
    }
  });
  window->btnBrowse1->click();
  EXPECT_EQ(accept.Seen, 1);
  EXPECT_EQ(window->edtPfad1->text().toStdString(), tree.Path("data/*.txt"));
  const Bounds main = OuterBounds(window.get());
  EXPECT_EQ(placed.Left + placed.Width, main.Left + main.Width);
  EXPECT_EQ(placed.Top, main.Top);
  // The target has no usable preset: it gets where the source left the dialog.
  window->btnBrowse2->click();
  EXPECT_EQ(window->edtPfad2->text().toStdString(), tree.Path("data/*.txt"));
  (void)Files().SetCurrentDir(previous);
}

}  // namespace
}  // namespace zek::test
