#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "settings/ini_file.h"
#include "settings/option_set.h"
#include "support/fake_settings_window.h"
#include "support/scoped_env.h"
#include "support/skip.h"
#include "support/test_tree.h"

namespace zek {
namespace {

using test::FakeWindow;
using test::ScopedEnv;
using test::TempTree;

const std::string kAppearenceLines =
    "Left=100\r\nWidth=640\r\nTop=50\r\nHeight=480\r\nMaximized=0\r\nMinimized=0\r\n";
const std::string kOptionLines =
    "MsgEqual=0\r\nMsgCouldNotOpenSource=1\r\nMsgCouldNotOpenTarget=1\r\nMsgTargetNotFound=1\r\n"
    "MsgDifferentSize=1\r\nMsgDifferentTime=1\r\nMsgDoNotMatch=1\r\nMsgDifferAt=0\r\nMsgSwitchDir=0\r\n"
    "CompareOnlyTimeDateSize=0\r\nCompareDifferentSize=0\r\nStopAfterBytes=10\r\nwritelog=0\r\n"
    "logfilename=zek.log\r\nHighSpeed=0\r\nWarpSpeed=0\r\n";
const std::string kFirstSave = "[Appearence]\r\n" + kAppearenceLines +
                               "[Compare]\r\nIncludeSubDir=1\r\npath1=C:\\*.*\r\npath2=D:\\*.*\r\n"
                               "[Options]\r\n" +
                               kOptionLines;

class SettingsFileTest : public ::testing::Test {
 protected:
  void Load(const std::string& content) {
    tree_.Write("s.ini", content);
    ReadSettings(file_, window_, options_);
  }
  // Everything the controls hold, as a first save writes it.
  std::string Snapshot() {
    std::filesystem::remove(tree_.Path("snapshot.ini"));
    WriteSettings(tree_.Path("snapshot.ini"), false, window_, options_);
    return tree_.Read("snapshot.ini");
  }

  TempTree tree_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", tree_.Path("config").c_str()};
  std::string file_ = tree_.Path("s.ini");
  FakeWindow window_;
  TOptionSet options_;
};

TEST_F(SettingsFileTest, LoadSetsEveryControlInOrder) {
  window_.state = WindowState::Maximized;
  Load(
      "[appearence]\nleft=11\nwidth=0x200\ntop=-22\nheight=333\nMaximized=1\n"
      "[Compare]\nIncludeSubDir=0\npath1=/src/*.txt\npath2=/dst/\n"
      "[OPTIONS]\nMsgEqual=1\nMsgCouldNotOpenSource=0\nMsgCouldNotOpenTarget=0\nMsgTargetNotFound=0\n"
      "MsgDifferentSize=0\nMsgDifferentTime=0\nMsgDoNotMatch=0\nMsgDifferAt=1\nMsgSwitchDir=1\n"
      "CompareOnlyTimeDateSize=1\nStopAfterBytes=250\nwritelog=1\nlogfilename=/tmp/run.log\n"
      "HighSpeed=1\nWarpSpeed=1\n");
  const std::vector<std::string> calls = {"State=0", "ProcessMessages", "Left=11", "Width=512", "Top=-22",
                                          "Height=333"};
  EXPECT_EQ(window_.calls, calls);
  EXPECT_EQ(Snapshot(),
            "[Appearence]\r\nLeft=11\r\nWidth=512\r\nTop=-22\r\nHeight=333\r\nMaximized=0\r\nMinimized=0\r\n"
            "[Compare]\r\nIncludeSubDir=0\r\npath1=/src/*.txt\r\npath2=/dst/\r\n"
            "[Options]\r\nMsgEqual=1\r\nMsgCouldNotOpenSource=0\r\nMsgCouldNotOpenTarget=0\r\n"
            "MsgTargetNotFound=0\r\nMsgDifferentSize=0\r\nMsgDifferentTime=0\r\nMsgDoNotMatch=0\r\n"
            "MsgDifferAt=1\r\nMsgSwitchDir=1\r\nCompareOnlyTimeDateSize=1\r\nCompareDifferentSize=0\r\n"
            "StopAfterBytes=250\r\nwritelog=1\r\nlogfilename=/tmp/run.log\r\nHighSpeed=1\r\nWarpSpeed=1\r\n");
}

TEST_F(SettingsFileTest, LoadValueEdgeCases) {
  Load("[Options]\nStopAfterBytes=20000\nwritelog=2\n[Compare]\npath1=" + std::string(1500, 'q') + "\n");
  EXPECT_EQ(options_.CompNr(), 10000);
  EXPECT_TRUE(options_.Checked(Option::WriteLog));
  EXPECT_EQ(window_.path1, std::string(1023, 'q'));
  Load("[Options]\nStopAfterBytes=-5\n");
  EXPECT_EQ(options_.CompNr(), 0);
  options_.SetCompNr(77);
  for (const bool checked : {false, true}) {
    options_.SetChecked(Option::WriteLog, checked);
    Load("[Options]\nStopAfterBytes=abc\nwritelog=\n");
    EXPECT_EQ(options_.CompNr(), 77);
    EXPECT_EQ(options_.Checked(Option::WriteLog), checked);
  }
}

TEST_F(SettingsFileTest, LoadBothComparisonModes) {
  // Whatever order the file holds them in, keys are read in table order: the later one wins.
  for (const char* file : {"[Options]\nCompareOnlyTimeDateSize=1\nCompareDifferentSize=1\n",
                           "[Options]\nCompareDifferentSize=1\nCompareOnlyTimeDateSize=1\n"}) {
    options_ = TOptionSet();
    Load(file);
    EXPECT_FALSE(options_.Checked(Option::OnlyTimeDateSize)) << file;
    EXPECT_TRUE(options_.Checked(Option::CompareDifferentSize)) << file;
  }
  // Loaded while "CompareDifferentSize" is checked, from the last round above.
  Load("[Options]\nCompareOnlyTimeDateSize=1\nCompareDifferentSize=0\n");
  EXPECT_TRUE(options_.Checked(Option::OnlyTimeDateSize));
  EXPECT_FALSE(options_.Checked(Option::CompareDifferentSize));
}

TEST_F(SettingsFileTest, LoadingAMissingFileChangesNothing) {
  window_.path1 = "/keep/*.*";
  options_.SetCompNr(42);
  options_.SetChecked(Option::HighSpeed, true);
  const std::string before = Snapshot();
  ReadSettings(tree_.Path("none.ini"), window_, options_);
  EXPECT_FALSE(tree_.Exists("none.ini"));
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SettingsFileTest, FirstSaveWritesThreeSectionsInOrder) {
  ZEK_SKIP_ON_WINDOWS("names the Linux place of zek32.ini (WindowsSettingsTest has the Windows directory)");
  SaveSettingsAndClose(window_, options_);
  EXPECT_EQ(tree_.Read("config/zek32.ini"), kFirstSave);
  EXPECT_EQ(window_.closed, 1);
}

TEST_F(SettingsFileTest, SaveKeepsEverythingElseInTheFile) {
  ZEK_SKIP_ON_WINDOWS("only our own INI writer keeps every other line byte for byte");
  const std::string other = "; my notes\n[Other]\nkey = value\n\n";
  tree_.Write("s.ini", other + "[Compare]\nExtra=1\npath1=old\n[Options]\nunknown=x\n");
  window_.path1 = "new";
  WriteSettings(file_, false, window_, options_);
  // The file's LF line ends stay LF on every line written.
  auto lf = [](std::string lines) {
    for (size_t at; (at = lines.find('\r')) != std::string::npos;) lines.erase(at, 1);
    return lines;
  };
  EXPECT_EQ(tree_.Read("s.ini"), other +
                                     "[Compare]\nExtra=1\npath1=new\nIncludeSubDir=1\npath2=D:\\*.*\n"
                                     "[Options]\nunknown=x\n" +
                                     lf(kOptionLines) +
                                     "[Appearence]\n" + lf(kAppearenceLines));
}

TEST_F(SettingsFileTest, SaveStoresRestoredBoundsAndTheState) {
  window_.state = WindowState::Maximized;
  WriteSettings(file_, false, window_, options_);
  const std::vector<std::string> calls = {"State=0", "ProcessMessages", "State=2"};
  EXPECT_EQ(window_.calls, calls);
  EXPECT_NE(tree_.Read("s.ini").find("[Appearence]\r\nLeft=100\r\nWidth=640\r\nTop=50\r\nHeight=480\r\n"
                                     "Maximized=1\r\nMinimized=0\r\n"),
            std::string::npos);
  window_.state = WindowState::Minimized;
  WriteSettings(file_, true, window_, options_);
  EXPECT_EQ(window_.state, WindowState::Normal);
  EXPECT_NE(tree_.Read("s.ini").find("Maximized=0\r\nMinimized=1\r\n"), std::string::npos);
}

TEST_F(SettingsFileTest, QuitWithReadOnlyFileRaisesAndStaysOpen) {
  // Guards against closing the window although the settings were not saved.
  ZEK_SKIP_ON_WINDOWS("names the Linux place of zek32.ini and sets mode bits");
  tree_.Write("config/zek32.ini", "[Compare]\npath1=old\n");
  ASSERT_EQ(chmod(tree_.Path("config/zek32.ini").c_str(), 0444), 0);
  try {
    SaveSettingsAndClose(window_, options_);
    ADD_FAILURE() << "no error raised";
  } catch (const EIniWriteError& e) {
    EXPECT_STREQ(e.what(), "Kann nicht nach zek32.ini schreiben");
  }
  EXPECT_EQ(window_.closed, 0);
  EXPECT_EQ(tree_.Read("config/zek32.ini"), "[Compare]\npath1=old\n");
  ReadSettings(kSettingsFileName, window_, options_);  // a read-only file still loads
  EXPECT_EQ(window_.path1, "old");
}

}  // namespace
}  // namespace zek
