#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/file_access.h"
#include "platform/io_error.h"
#include "platform/profile.h"
#include "support/scoped_env.h"
#include "support/test_tree.h"
#include "ui/gui_test_support.h"
#include "ui/message_view.h"
#include "ui/utilities.h"
#include "ui/zek_options_u.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

Lines MemoLines(const TfrmZEKMain& window) {
  Lines lines;
  for (const QString& line : window.Memo1->toPlainText().split('\n')) lines.push_back(line.toStdString());
  return lines;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Each test keeps its settings file in a directory of its own.
class MainWindowTest : public ::testing::Test {
 protected:
  std::string Settings() const { return ResolveSettingsPath(kSettingsFileName); }
  void StoreSettings(const std::string& text) const { std::ofstream(Settings()) << text; }

  TempTree config;
  ScopedEnv configHome{"XDG_CONFIG_HOME", config.Root().c_str()};
  TempTree tree;
};

TEST_F(MainWindowTest, StartUpFillsPathsByPrecedenceAndResetsLabels) {
  {
    auto window = StartMainWindow();
    EXPECT_EQ(window->edtPfad1->text(), QDir(QDir::homePath()).filePath("*.*"));
    EXPECT_EQ(window->edtPfad2->text(), "/mnt/*.*");
    EXPECT_TRUE(window->cbxIncludeSubDir->isChecked());
    EXPECT_EQ(window->lblNichtGefunden->text(), "Not found: 0");
    EXPECT_EQ(window->lblVerschieden->text(), "Different: 0");
    EXPECT_EQ(window->lblTotal->text(), "Total files: 0");
    EXPECT_EQ(window->lblByteTotal->text(), "Total bytes: 0");
    EXPECT_EQ(window->lblFile->text(), "Comparing: ./.");
    EXPECT_FALSE(window->Run().Busy());
  }
  StoreSettings("[Compare]\npath1=/stored/src/*.*\npath2=/stored/tgt/\nIncludeSubDir=0\n");
  {
    auto window = StartMainWindow({"/arg/src/*.txt"});
    EXPECT_EQ(window->edtPfad1->text(), "/arg/src/*.txt");
    EXPECT_EQ(window->edtPfad2->text(), "/stored/tgt/");
    EXPECT_FALSE(window->cbxIncludeSubDir->isChecked());
  }
  {
    auto window = StartMainWindow({"/a b/*.*", "/c/", "/ignored/"});
    EXPECT_EQ(window->edtPfad1->text(), "/a b/*.*");
    EXPECT_EQ(window->edtPfad2->text(), "/c/");
  }
  StoreSettings("[Compare]\npath1=/stored/src/*.*\n");
  auto window = StartMainWindow();
  EXPECT_EQ(window->edtPfad1->text(), "/stored/src/*.*");
  EXPECT_EQ(window->edtPfad2->text(), "/mnt/*.*");
  // A later activation must not fill the fields again.
  window->edtPfad1->setText("/typed/*.*");
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(window.get(), &activate);
  EXPECT_EQ(window->edtPfad1->text(), "/typed/*.*");
}

TEST_F(MainWindowTest, IntroClosesItselfAfterASecondButStaysAsAboutBox) {
  QElapsedTimer clock;
  clock.start();
  TfrmZEKMain window({});
  EXPECT_GE(clock.elapsed(), 900);
  EXPECT_FALSE(window.frmIntro->isVisible());
  EXPECT_FALSE(window.isVisible());

  bool visibleAfterTwoTicks = false;
  ModalHandler user([&](QWidget* modal) {
    QTimer::singleShot(1500, modal, [&, modal] {
      visibleAfterTwoTicks = modal->isVisible();
      window.frmIntro->btnOK->click();
    });
  });
  window.About1->trigger();
  EXPECT_TRUE(visibleAfterTwoTicks);
  EXPECT_FALSE(window.frmIntro->Timer1->isActive());
}

TEST_F(MainWindowTest, RunThroughTheWindowShowsTheEightLines) {
  tree.Write("data/a.txt", "alpha");
  tree.Write("backup/a.txt", "alpha");
  tree.Write("data/b.txt", "bravo");
  tree.Write("backup/b.txt", "brAvo");
  tree.Write("data/old/c.txt", "charlie");
  auto window = StartMainWindow({tree.Path("data/*.txt"), tree.Path("backup/")});
  window->btnStart->click();
  EXPECT_EQ(MemoLines(*window),
            (Lines{"running...",
                   "File " + tree.Path("data/b.txt") + " and " + tree.Path("backup/b.txt") + " do not match.",
                   "Target file not found: " + tree.Path("backup/old/c.txt"), "finished.", "Files total: 3",
                   "Target files not found: 1", "Files with differences: 1", "Differences found."}));
  EXPECT_EQ(window->lblNichtGefunden->text(), "Not found: 1");
  EXPECT_EQ(window->lblVerschieden->text(), "Different: 1");
  EXPECT_EQ(window->lblTotal->text(), "Total files: 3");
  EXPECT_EQ(window->lblFile->text(), "Comparing: ./.");
}

TEST_F(MainWindowTest, CancelEndsARunAndCompareIsIgnoredMeanwhile) {
  tree.Write("data/a", "1");
  tree.Write("backup/a", "1");
  auto window = StartMainWindow({tree.Path("data/*.*"), tree.Path("backup/")});
  // Cancel before a run has no effect on it.
  window->btnCancel->click();
  window->btnStart->click();
  EXPECT_EQ(MemoLines(*window).back(), "No differences found");
  EXPECT_EQ(window->lblTotal->text(), "Total files: 1");

  // Both clicks arrive while the run dispatches after "running...".
  bool busyAtClick = false;
  QTimer::singleShot(0, window.get(), [&] {
    busyAtClick = window->Run().Busy();
    window->btnStart->click();
    window->btnCancel->click();
  });
  window->btnStart->click();
  EXPECT_TRUE(busyAtClick);
  const Lines lines = MemoLines(*window);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4), (Lines{"running...", "finished.", "USER BREAK!", "Files total: 0"}));
  EXPECT_EQ(lines[4].rfind("Nothing compared: ", 0), 0u) << lines[4];
  EXPECT_EQ(lines[5], "No differences found");
}

// A back end whose reads fail like a damaged disk, while failing is set.
struct FailingReads : FileAccess {
  bool failing = true;
  FileResult<size_t> BlockRead(FileHandle h, void* buffer, size_t count) override {
    if (failing) return FileResult<size_t>::Failure(5);
    return FileAccess::BlockRead(h, buffer, count);
  }
};

TEST_F(MainWindowTest, IOErrorShowsTheErrorBoxAndTheNextRunWorks) {
  tree.Write("data/a", "1");
  tree.Write("backup/a", "1");
  FailingReads reads;
  ScopedFileAccess scoped(reads);
  auto window = StartMainWindow({tree.Path("data/*.*"), tree.Path("backup/")});
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  ModalHandler user([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    box->button(QMessageBox::Ok)->click();
  });
  window->btnStart->click();
  EXPECT_EQ(user.Seen, 1);
  EXPECT_EQ(title, "ZEK32");
  EXPECT_EQ(text, "I/O-Fehler 5.");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::Ok);
  EXPECT_FALSE(window->Run().Busy());

  reads.failing = false;
  window->btnStart->click();
  EXPECT_EQ(user.Seen, 1);
  EXPECT_EQ(MemoLines(*window).back(), "No differences found");
}

// Fault: a log on a FIFO whose reader went away ended the whole program.
TEST_F(MainWindowTest, ALogReaderThatGoesAwayEndsTheRunNotTheProgram) {
  // More lines than a pipe holds, so that the run writes after the reader left.
  for (int i = 0; i < 1500; ++i) tree.Write("data/" + std::string(60, 'f') + std::to_string(i), "x");
  tree.MakeFifo("log");
  StoreSettings("[Options]\r\nwritelog=1\r\nlogfilename=" + tree.Path("log") + "\r\n");
  // The reader is there before the run opens the log, which a FIFO without
  // one refuses at once; it leaves after the first line.
  const int fd = open(tree.Path("log").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  std::thread reader([fd] {
    pollfd ready{fd, POLLIN, 0};
    char byte;
    if (poll(&ready, 1, 60000) > 0) (void)!read(fd, &byte, 1);
    close(fd);
  });
  auto window = StartMainWindow({tree.Path("data/*.*"), tree.Path("backup/")});
  QString text;
  ModalHandler user([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  window->btnStart->click();
  reader.join();
  EXPECT_EQ(text, "I/O-Fehler 32.");
  EXPECT_FALSE(window->Run().Busy());
}

// Fault: the window painted itself for every file of a run, so a run in the
// window took many times as long as in batch mode. A run now paints a few
// frames a second, and the counters still move on the screen while it goes on.
TEST_F(MainWindowTest, ARunPaintsAFewFramesASecondAndStillShowsItsProgress) {
  constexpr int kFiles = 150;
  for (int i = 0; i < kFiles; ++i) {
    tree.Write("data/f" + std::to_string(i), "x");
    tree.Write("backup/f" + std::to_string(i), "x");
  }
  // Slow opens make the run last long enough for several frames.
  struct SlowOpens : FileAccess {
    FileLook LookAndOpen(const std::string& path, KnownAs known) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return FileAccess::LookAndOpen(path, known);
    }
  } opens;
  ScopedFileAccess scoped(opens);
  auto window = StartMainWindow({tree.Path("data/*.*"), tree.Path("backup/")});
  struct PaintRecorder : QObject {
    TfrmZEKMain* window;
    QStringList painted;  // lblTotal's caption at each of its paints during the run
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint && window->Run().Busy()) painted << window->lblTotal->text();
      return false;
    }
  } recorder;
  recorder.window = window.get();
  window->lblTotal->installEventFilter(&recorder);
  QElapsedTimer clock;
  clock.start();
  window->btnStart->click();
  const qint64 elapsed = clock.elapsed();
  window->lblTotal->removeEventFilter(&recorder);

  EXPECT_GE(elapsed, kFiles * 2);
  EXPECT_LE(recorder.painted.size(), elapsed / 25 + 3) << elapsed << " ms";
  const bool progressShown = std::any_of(recorder.painted.begin(), recorder.painted.end(), [](const QString& caption) {
    return caption != "Total files: 0" && caption != QString("Total files: %1").arg(kFiles);
  });
  EXPECT_TRUE(progressShown) << recorder.painted.join(", ").toStdString();
  // The last state is there the moment the run returns.
  EXPECT_EQ(window->lblTotal->text(), QString("Total files: %1").arg(kFiles));
  EXPECT_EQ(MemoLines(*window).back(), "No differences found");
}

TEST_F(MainWindowTest, QuitWritesTheSettingsAndTheCloseBoxDoesNot) {
  {
    auto window = StartMainWindow();
    window->edtPfad1->setText("/changed/*.*");
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(std::ifstream(Settings()).good());
  }
  auto window = StartMainWindow();
  window->edtPfad1->setText("/quit/*.*");
  window->frmOptions->SetCompNr(77);
  window->btnQuit->click();
  EXPECT_FALSE(window->isVisible());
  const std::string stored = ReadFile(Settings());
  EXPECT_NE(stored.find("path1=/quit/*.*"), std::string::npos);
  EXPECT_NE(stored.find("StopAfterBytes=77"), std::string::npos);

  // A settings file that cannot be written: the error box, and the window stays.
  chmod(Settings().c_str(), 0444);
  window = StartMainWindow();
  QString text;
  ModalHandler user([&](QWidget* modal) {
    text = static_cast<QMessageBox*>(modal)->text();
    modal->close();
  });
  window->Quit1->trigger();
  EXPECT_EQ(text, "Kann nicht nach zek32.ini schreiben.");
  EXPECT_TRUE(window->isVisible());
}

// Quit or the close box during a run left the run going to its end before the window closed.
TEST_F(MainWindowTest, QuitDuringARunWritesAtOnceStopsTheRunAndCloses) {
  tree.Write("data/a", "1");
  tree.Write("data/b", "2");
  for (const bool byQuit : {true, false}) {
    std::remove(Settings().c_str());
    auto window = StartMainWindow({tree.Path("data/*.*"), tree.Path("backup/")});
    bool writtenAtOnce = false, stillShown = false, aboutNeededTheUser = true;
    int modalsAnswered = 0;
    // A user who answers any modal window still open after half a second.
    ModalHandler user([&](QWidget* modal) {
      QTimer::singleShot(500, modal, [&, modal] {
        if (!modal->isVisible()) return;
        ++modalsAnswered;
        modal->close();
      });
    });
    QTimer::singleShot(0, window.get(), [&] {
      if (byQuit) {
        window->Quit1->trigger();
      } else {
        window->close();
      }
      writtenAtOnce = std::ifstream(Settings()).good();
      stillShown = window->isVisible();
      window->About1->trigger();
      aboutNeededTheUser = modalsAnswered > 0;
    });
    window->btnStart->click();
    EXPECT_EQ(writtenAtOnce, byQuit);
    EXPECT_TRUE(stillShown);
    EXPECT_FALSE(aboutNeededTheUser);
    // The run stopped as Cancel stops it, then the window closed.
    const Lines lines = MemoLines(*window);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "USER BREAK!"), lines.end());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(std::ifstream(Settings()).good(), byQuit);
  }
}

TEST_F(MainWindowTest, LoadAndSaveSettingsThroughTheFileDialogs) {
  auto window = StartMainWindow();
  QString answer;  // the path the user picks; empty: cancel
  QStringList messages;
  ModalHandler user([&](QWidget* modal) {
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      AnswerFileDialog(files, answer);
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      messages << box->text();
      box->accept();
    }
  });
  auto pick = [&](const std::string& path, QAction* command) {
    answer = QString::fromStdString(path);
    command->trigger();
  };

  window->edtPfad1->setText("/saved/*.txt");
  pick(tree.Path("named"), window->SaveSettings1);
  EXPECT_NE(tree.Read("named").find("path1=/saved/*.txt"), std::string::npos);
  pick(tree.Path("missing/dir/x.ini"), window->SaveSettings1);
  EXPECT_FALSE(tree.Exists("missing"));

  window->edtPfad1->setText("/typed/*.*");
  pick(tree.Path("absent.ini"), window->LoadSettings1);
  EXPECT_EQ(window->edtPfad1->text(), "/typed/*.*");
  pick("", window->LoadSettings1);
  EXPECT_EQ(window->edtPfad1->text(), "/typed/*.*");
  pick(tree.Path("named"), window->LoadSettings1);
  EXPECT_EQ(window->edtPfad1->text(), "/saved/*.txt");
  EXPECT_EQ(messages, (QStringList{"Can not create file.", "File not found."}));
}

// Fault: bytes that are not UTF-8 came back from the fields as U+FFFD, so the
// window's run walked a directory that does not exist and Quit stored EF BF BD.
TEST_F(MainWindowTest, NamesThatAreNotUtf8KeepTheirBytesThroughTheFields) {
  tree.Write("caf\xe9/\xff\xfe", "one");
  tree.Write("backup/caf\xe9/\xff\xfe", "two");
  const std::string source = tree.Path("caf\xe9/*.*"), target = tree.Path("backup/caf\xe9/");
  const std::string log = tree.Path("\xff\xfe.log");
  {
    ScopedEnv home("HOME", tree.Path("caf\xe9").c_str());
    EXPECT_EQ(StartMainWindow()->Path1(), source);
  }
  const std::string stored = "[Compare]\r\npath1=" + source + "\r\npath2=" + target +
                             "\r\n[Options]\r\nwritelog=1\r\nlogfilename=" + log + "\r\n";
  StoreSettings(stored);
  for (const bool fromArguments : {true, false}) {
    auto window = fromArguments ? StartMainWindow({source, target}) : StartMainWindow();
    window->btnStart->click();
    EXPECT_EQ(window->lblVerschieden->text(), "Different: 1") << fromArguments;
    EXPECT_TRUE(tree.Exists("\xff\xfe.log"));
    std::remove(log.c_str());
    window->btnQuit->click();
    const std::string written = ReadFile(Settings());
    for (const std::string& line : {"path1=" + source, "path2=" + target, "logfilename=" + log})
      EXPECT_NE(written.find(line + "\r\n"), std::string::npos) << line;
  }
}

// Fault: the preset "*.ini" of the Load and Save dialogs was taken as a file
// name: Save wrote a file named "*.ini" and Load said "File not found.".
TEST_F(MainWindowTest, AMaskInTheSettingsDialogsListsWhatMatches) {
  tree.Write("ini/a.ini", "[Compare]\npath1=/loaded/*.*\n");
  tree.Write("ini/b.txt", "");
  auto window = StartMainWindow();
  QStringList messages;
  std::vector<QStringList> listed;  // per dialog, what it lists after Return on the mask
  const std::vector<QStringList> matching = {{"a.ini"}, {"a.ini", "saved.ini"}};
  ModalHandler user([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      messages << box->text();
      return box->accept();
    }
    auto* files = qobject_cast<QFileDialog*>(modal);
    if (files == nullptr) return;
    files->setDirectory(QString::fromStdString(tree.Path("ini")));
    static_cast<QDialog*>(files)->accept();  // Return on the preset mask
    auto* view = files->findChild<QListView*>("listView");
    QStringList rows;
    WaitUntil([&] {
      rows.clear();
      for (int row = 0; files->isVisible() && row < view->model()->rowCount(view->rootIndex()); ++row)
        rows << view->model()->index(row, 0, view->rootIndex()).data().toString();
      return rows == matching[listed.size()];
    });
    listed.push_back(rows);
    // The user types a name into the box that has the focus now.
    files->findChild<QLineEdit*>("fileNameEdit")->setText(listed.size() == 1 ? "saved.ini" : "a.ini");
    static_cast<QDialog*>(files)->accept();
  });
  window->SaveSettings1->trigger();
  window->LoadSettings1->trigger();
  EXPECT_EQ(listed, matching);
  EXPECT_TRUE(messages.isEmpty()) << messages.join(", ").toStdString();
  EXPECT_FALSE(tree.Exists("ini/*.ini"));
  EXPECT_TRUE(tree.Exists("ini/saved.ini"));
  EXPECT_EQ(window->edtPfad1->text(), "/loaded/*.*");
}

// Enter on the focused Compare, Cancel or Quit button did nothing.
TEST_F(MainWindowTest, EnterOnAFocusedCommandButtonPressesIt) {
  tree.Write("data/a", "1");
  tree.Write("backup/a", "1");
  auto window = StartMainWindow({tree.Path("data/*.*"), tree.Path("backup/")});
  bool busyAtCancel = false;
  QTimer::singleShot(0, window.get(), [&] {
    busyAtCancel = window->Run().Busy();
    window->btnCancel->setFocus();
    QTest::keyClick(window->btnCancel, Qt::Key_Return);
  });
  window->btnStart->setFocus();
  QTest::keyClick(window->btnStart, Qt::Key_Return);
  EXPECT_TRUE(busyAtCancel);
  const Lines lines = MemoLines(*window);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "USER BREAK!"), lines.end());
  window->btnQuit->setFocus();
  QTest::keyClick(window->btnQuit, Qt::Key_Enter);
  EXPECT_FALSE(window->isVisible());
}

// Settings from a bigger monitor opened the window with only a corner on the screen.
TEST_F(MainWindowTest, AStoredPlaceOffTheScreenIsMovedBackOntoIt) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  StoreSettings("[Appearence]\nLeft=" + std::to_string(screen.right() + 500) + "\nTop=" +
                std::to_string(screen.bottom() - 10) + "\nWidth=400\nHeight=300\n");
  auto window = StartMainWindow();
  EXPECT_TRUE(screen.contains(window->frameGeometry().topLeft()));
  EXPECT_TRUE(screen.contains(window->frameGeometry().topRight()));
  EXPECT_EQ(window->frameGeometry().width(), 400);
}

// The settings dialogs opened where the browse dialog had been, and Save overwrote without asking.
TEST_F(MainWindowTest, SettingsDialogsOpenWhereSettingsWentAndAskBeforeOverwriting) {
  auto window = StartMainWindow();
  tree.Write("old.ini", "[Compare]\npath1=/old/*.*\n");
  QStringList directories, questions;
  bool overwrite = false;
  ModalHandler user([&](QWidget* modal) {
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      directories << files->directory().absolutePath();
      AnswerFileDialog(files, FromNative(tree.Path("old.ini")));
      if (files->isVisible()) files->reject();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      questions << box->text();
      box->button(overwrite ? QMessageBox::Yes : QMessageBox::No)->click();
    }
  });
  window->edtPfad1->setText("/new/*.*");
  window->SaveSettings1->trigger();
  EXPECT_EQ(questions.size(), 1) << questions.join("|").toStdString();
  EXPECT_NE(tree.Read("old.ini").find("/old/"), std::string::npos);
  overwrite = true;
  window->SaveSettings1->trigger();
  EXPECT_NE(tree.Read("old.ini").find("path1=/new/*.*"), std::string::npos);
  window->LoadSettings1->trigger();
  ASSERT_EQ(directories.size(), 3) << directories.join("|").toStdString() << questions.join("|").toStdString();
  EXPECT_EQ(directories[0], QFileInfo(FromNative(Settings())).absolutePath());
  EXPECT_EQ(directories[2], FromNative(tree.Root()));
}

}  // namespace
}  // namespace zek::test
