// The settings file on a disk that fills up or turns read-only while it is
// saved, and settings files of every malformed kind.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "faults/fault_support.h"
#include "settings/ini_file.h"
#include "settings/option_set.h"
#include "settings/settings_file.h"
#include "support/fake_settings_window.h"
#include "support/skip.h"

namespace zek::test {
namespace {

// A settings file as a user keeps it: other sections, a comment, and values
// that differ from what the controls hold now, so a save has to write.
const std::string kOldSettings =
    "; kept by hand\r\n[Appearence]\r\nLeft=1\r\nWidth=2\r\nTop=3\r\nHeight=4\r\n[Compare]\r\npath1=/old/*.*\r\n"
    "path2=/old-backup/\r\n[Mine]\r\nkey=value\r\n[Options]\r\nMsgEqual=1\r\nlogfilename=old.log\r\n";

enum class Fault { DiskFull,
                   InodesFull,
                   FileReadOnly,
                   MountReadOnly };

struct SaveFault {
  const char* Name;
  Fault Kind;
  const char* TmpfsOptions;
};
void PrintTo(const SaveFault& fault, std::ostream* out) { *out << fault.Name; }

class SettingsSaveFault : public ::testing::TestWithParam<SaveFault> {
 protected:
  void SetUp() override {
    if (const std::string why = MountsUnavailable(); !why.empty()) GTEST_SKIP() << why;
    disk.emplace(tree.Path("disk"), GetParam().TmpfsOptions);
    tree.Write("disk/zek32.ini", kOldSettings);
  }
  // Brings the fault about and tells whether it is in force.
  bool Strike() {
    const std::string dir = disk->Dir();
    switch (GetParam().Kind) {
      case Fault::DiskFull: {
        // Fill every block that is left.
        FILE* filler = std::fopen((dir + "/filler").c_str(), "wb");
        const std::string chunk(4096, 'f');
        while (filler != nullptr && std::fwrite(chunk.data(), 1, chunk.size(), filler) == chunk.size() &&
               std::fflush(filler) == 0) {
        }
        if (filler != nullptr) std::fclose(filler);
        return disk->FreeBlocks() == 0;
      }
      case Fault::InodesFull:
        tree.Write("disk/filler", "");
        return disk->FreeInodes() == 0;
      case Fault::FileReadOnly:
        return chmod((dir + "/zek32.ini").c_str(), 0444) == 0;
      case Fault::MountReadOnly:
        return mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0 && disk->ReadOnly();
    }
    return false;
  }

  TempTree tree;
  std::optional<ScopedTmpfs> disk;
};

TEST_P(SettingsSaveFault, LeavesTheOldFileByteForByte) {
  // Guards against a save that fails half-way and leaves a truncated, mixed or stray settings file behind.
  const std::string file = tree.Path("disk/zek32.ini");
  FakeWindow window;
  TOptionSet options;
  std::optional<bool> struck;
  window.OnProcessMessages = [&] {
    if (!struck) struck = Strike();
  };
  try {
    WriteSettings(file, false, window, options);
    ADD_FAILURE() << "the save did not fail";
  } catch (const EIniWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Kann nicht nach " + file + " schreiben");
  }
  ASSERT_TRUE(struck.value_or(false)) << "the fault was never in force during the save";
  EXPECT_EQ(tree.Read("disk/zek32.ini"), kOldSettings);
  std::vector<std::string> expected = {"zek32.ini"};
  if (GetParam().Kind == Fault::DiskFull || GetParam().Kind == Fault::InodesFull)
    expected.insert(expected.begin(), "filler");
  EXPECT_EQ(Listing(disk->Dir()), expected) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(DuringTheSave, SettingsSaveFault,
                         ::testing::Values(SaveFault{"DiskFull", Fault::DiskFull, "size=16k"},
                                           SaveFault{"InodesFull", Fault::InodesFull, "size=64k,nr_inodes=3"},
                                           SaveFault{"FileReadOnly", Fault::FileReadOnly, "size=64k"},
                                           SaveFault{"MountReadOnly", Fault::MountReadOnly, "size=64k"}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct Malformed {
  const char* Name;
  std::string Content;
};
void PrintTo(const Malformed& file, std::ostream* out) { *out << file.Name; }

const std::string kMegabyte(1 << 20, 'x');
constexpr char kNulBytes[] = "[Options]\r\nMsg\0Equal=0\r\nlogfilename=a\0b\r\nMsgEqual=1\r\n";

class MalformedSettingsFile : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedSettingsFile, LoadsWithoutACrashAndTheGoodKeysStillCount) {
  // Guards against a settings file of odd bytes that crashes the start or a batch run.
  TempTree tree;
  tree.Write("odd.ini", GetParam().Content);
  tree.Write("src/a.txt", "alpha");
  tree.Write("tgt/a.txt", "alpha");
  // Every file holds "MsgEqual=1" in a well-formed line of its first [Options].
  const ProcessResult r =
      RunZek(tree, {"--batch", "--ini", tree.Path("odd.ini"), tree.Path("src/*.*"), tree.Path("tgt/")});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(LinesOf(r.Out),
            (std::vector<std::string>{
                "running...", "File " + tree.Path("src/a.txt") + " and " + tree.Path("tgt/a.txt") + " are equal.",
                "finished.", "Files total: 1", "No differences found"}));

  FakeWindow window;
  TOptionSet options;
  ReadSettings(tree.Path("odd.ini"), window, options);
  EXPECT_TRUE(options.Checked(Option::FilesEqual));
  EXPECT_LE(options.LogName().size(), 1023u);
  EXPECT_LE(window.Path1().size(), 1023u);
}

INSTANTIATE_TEST_SUITE_P(
    OddBytes, MalformedSettingsFile,
    ::testing::Values(
        Malformed{"LineFeedsOnly", "[Compare]\npath1=/x/*.*\n[Options]\nMsgEqual=1\nMsgDoNotMatch=0\n"},
        Malformed{"ByteOrderMark", "\xEF\xBB\xBF[Compare]\r\nIncludeSubDir=0\r\n[Options]\r\nMsgEqual=1\r\n"},
        Malformed{"DuplicateSections",
                  "[Options]\r\nMsgEqual=1\r\n[Compare]\r\n[Options]\r\nMsgEqual=0\r\n[Options]\r\n"},
        Malformed{"LinesWithoutEquals", "[Options]\r\nMsgEqual\r\n=\r\njust words\r\n]\r\nMsgEqual=1\r\n"},
        Malformed{"InvalidUtf8", "[Options]\r\n\xff\xfe=\xc3\x28\r\nlogfilename=\xe9t\xe9\r\nMsgEqual=1\r\n"},
        Malformed{"NulBytes", std::string(kNulBytes, sizeof kNulBytes - 1)},
        Malformed{"OneMegabyteLines", "[Compare]\r\npath1=" + kMegabyte + "\r\n[Options]\r\nlogfilename=" + kMegabyte +
                                          "\r\nMsgEqual=1\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MalformedSettingsFileCut, AMegabyteValueLoadsCutTo1023Characters) {
  // Guards against an overlong value that is read past its buffer or kept whole.
  TempTree tree;
  tree.Write("long.ini", "[Options]\r\nlogfilename=" + kMegabyte + "\r\n");
  FakeWindow window;
  TOptionSet options;
  ReadSettings(tree.Path("long.ini"), window, options);
  EXPECT_EQ(options.LogName(), kMegabyte.substr(0, 1023));
}

TEST(SettingsFileTooLarge, ABatchRunNamesTheFileAndEndsWithExitTwo) {
  // Guards against std::bad_alloc aborting every batch run (exit 134) while the settings file is too large to hold.
  ZEK_SKIP_UNDER_SANITIZERS("ulimit -v 200000 leaves no room for the sanitizer's shadow memory: zek32 cannot start");
  TempTree tree;
  { std::ofstream(tree.Path("huge.ini")) << "[Options]\r\nMsgEqual=1\r\n"; }
  std::filesystem::resize_file(tree.Path("huge.ini"), 300u << 20);  // sparse: nothing written
  tree.Write("src/a", "1");
  tree.Write("tgt/a", "1");
  const ProcessResult r = RunProcess({"/bin/bash", "-c", R"(ulimit -v 200000; exec "$0" "$@")", ZEK32_BINARY, "--batch",
                                      "--ini", tree.Path("huge.ini"), tree.Path("src"), tree.Path("tgt")});
  EXPECT_EQ(r.ExitCode, 2) << r.Err;
  EXPECT_EQ(r.Err, "zek32: the settings file is too large to be read: " + tree.Path("huge.ini") + "\n");
  EXPECT_EQ(r.Out, "");
}

}  // namespace
}  // namespace zek::test
