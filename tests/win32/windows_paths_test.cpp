// zek32.exe on Windows paths: drive letters, backslashes, Windows' own
// attributes and share modes. The runs use C:\DATA and D:\BACKUP as written
// in the examples; under Wine, tools/windows-tests.sh maps both drives to
// temporary directories.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/comparison_run.h"
#include "platform/file_access.h"
#include "platform/module.h"
#include "platform/profile.h"
#include "support/process.h"
#include "support/test_tree.h"

namespace zek::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr FILETIME kTime{0x2A3B4C00, 0x01D9F000};

// A handle closed when the test ends.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

class WindowsPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "drive D: is not mapped";
    // Never work on trees that were there before.
    ASSERT_FALSE(fs::exists("C:\\DATA")) << "C:\\DATA exists already";
    ASSERT_FALSE(fs::exists("D:\\BACKUP")) << "D:\\BACKUP exists already";
    created_ = true;
  }
  void TearDown() override {
    if (!created_) return;
    for (const char* root : {"C:\\DATA", "D:\\BACKUP"}) {
      std::error_code ignored;
      for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
           it.increment(ignored))
        SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
      fs::remove_all(root, ignored);
    }
  }

  static void Write(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    { std::ofstream(path, std::ios::binary) << content; }
    const HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    SetFileTime(h, nullptr, nullptr, &kTime);
    CloseHandle(h);
  }

  // The typical tree: A.TXT equal, B.TXT with one byte changed, OLD\C.TXT missing.
  static void WriteTypicalTree() {
    Write("C:\\DATA\\A.TXT", "alpha");
    Write("D:\\BACKUP\\A.TXT", "alpha");
    Write("C:\\DATA\\B.TXT", "bravo");
    Write("D:\\BACKUP\\B.TXT", "brAvo");
    Write("C:\\DATA\\OLD\\C.TXT", "charlie");
  }

  static ProcessResult Batch(std::vector<std::string> args) {
    args.insert(args.begin(), {ProgramDirectory() + "\\zek32.exe", "--batch"});
    return RunProcess(args);
  }

  static Lines LinesOf(const std::string& out) {
    Lines lines;
    std::string line;
    for (const char c : out) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else if (c != '\r') {
        line += c;
      }
    }
    return lines;
  }

  bool created_ = false;
};

// Fault: drive letters and backslashes do not give the written eight lines.
TEST_F(WindowsPathsTest, TypicalRunGivesTheEightLines) {
  WriteTypicalTree();
  const ProcessResult result = Batch({"C:\\DATA\\*.txt", "D:\\BACKUP\\"});
  EXPECT_EQ(LinesOf(result.Out),
            (Lines{"running...", "File C:\\DATA\\B.TXT and D:\\BACKUP\\B.TXT do not match.",
                   "Target file not found: D:\\BACKUP\\OLD\\C.TXT", "finished.", "Files total: 3",
                   "Target files not found: 1", "Files with differences: 1", "Differences found."}));
  EXPECT_EQ(result.ExitCode, 1) << result.Err;
}

// Fault: the log's start name is not drive-relative, as "c:zek.log" is.
TEST_F(WindowsPathsTest, DefaultLogNameIsOnDriveC) {
  ASSERT_FALSE(fs::exists("C:\\zek.log"));
  WriteTypicalTree();
  // The program starts outside drive C, whose current directory is then its root.
  const ProcessResult result = Batch({"-o", "writelog=1", "C:\\DATA\\*.txt", "D:\\BACKUP\\"});
  std::ifstream in("C:\\zek.log", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  fs::remove("C:\\zek.log");
  EXPECT_EQ(LinesOf(result.Out).back(), "Differences found. Log written: c:zek.log") << result.Err;
  EXPECT_EQ(LinesOf(log), LinesOf(result.Out));
}

// Fault: doubled backslashes reach the file names and the lines.
TEST_F(WindowsPathsTest, DoubledBackslashesAreReduced) {
  Write("C:\\DATA\\SUB\\A.TXT", "same");
  Write("D:\\BACKUP\\SUB\\A.TXT", "same");
  const ProcessResult result = Batch({"-o", "MsgEqual=1", "C:\\DATA\\\\SUB\\\\*.TXT", "D:\\BACKUP\\\\SUB\\\\"});
  const Lines lines = LinesOf(result.Out);
  ASSERT_GE(lines.size(), 2u) << result.Err;
  EXPECT_EQ(lines[1], "File C:\\DATA\\SUB\\A.TXT and D:\\BACKUP\\SUB\\A.TXT are equal.");
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
}

// Fault: "\\DATA" was taken for a network path and compared nothing, and a name
// holding "\x" was shown with every backslash doubled.
TEST_F(WindowsPathsTest, TwoLeadingBackslashesNameTheCurrentDrivesRootAndLinesKeepSingleBackslashes) {
  WriteTypicalTree();
  Write("C:\\DATA\\xdir\\X.TXT", "x-ray");
  char previous[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  const ProcessResult result = Batch({"\\\\DATA\\*.txt", "D:\\BACKUP\\"});
  SetCurrentDirectoryA(previous);
  const Lines lines = LinesOf(result.Out);
  for (const char* line : {"File \\DATA\\B.TXT and D:\\BACKUP\\B.TXT do not match.",
                           "Target file not found: D:\\BACKUP\\xdir\\X.TXT", "Files total: 4"})
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line << "\n"
                                                               << result.Out << result.Err;
  EXPECT_EQ(result.ExitCode, 1);
}

// Fault: a file that another program holds open for writing is read anyway.
TEST_F(WindowsPathsTest, FileOpenForWritingCannotBeOpened) {
  WriteTypicalTree();
  for (const bool sourceSide : {true, false}) {
    const std::string held = sourceSide ? "C:\\DATA\\A.TXT" : "D:\\BACKUP\\A.TXT";
    const Handle writer(CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.Valid());
    const Lines lines = LinesOf(Batch({"C:\\DATA\\A.TXT", "D:\\BACKUP\\"}).Out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], sourceSide ? "Could not open source file: C:\\DATA\\A.TXT"
                                   : "Could not open target file: D:\\BACKUP\\A.TXT");
  }
}

// Fault: hidden or system directories are entered, or hidden files skipped.
TEST_F(WindowsPathsTest, HiddenAndSystemDirectoriesAreSkippedHiddenFilesCompared) {
  Write("C:\\DATA\\HID\\X.TXT", "only in the source");
  Write("C:\\DATA\\SYS\\Y.TXT", "only in the source");
  Write("C:\\DATA\\H.TXT", "hidden file");
  Write("D:\\BACKUP\\H.TXT", "hidden File");
  ASSERT_TRUE(SetFileAttributesA("C:\\DATA\\HID", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA("C:\\DATA\\SYS", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(SetFileAttributesA("C:\\DATA\\H.TXT", FILE_ATTRIBUTE_HIDDEN));
  const ProcessResult result = Batch({"C:\\DATA\\*.*", "D:\\BACKUP\\"});
  EXPECT_EQ(LinesOf(result.Out),
            (Lines{"running...", "File C:\\DATA\\H.TXT and D:\\BACKUP\\H.TXT do not match.", "finished.",
                   "Files total: 1", "Files with differences: 1", "Differences found."}));
}

// Fault: an I/O error shows a POSIX number instead of Windows' own.
TEST_F(WindowsPathsTest, LogThatCannotBeOpenedGivesWindowsErrorNumber) {
  WriteTypicalTree();
  Write("C:\\DATA\\RUN.LOG", "");
  const Handle locker(CreateFileA("C:\\DATA\\RUN.LOG", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locker.Valid());
  const ProcessResult result =
      Batch({"-o", "writelog=1", "-o", "logfilename=C:\\DATA\\RUN.LOG", "C:\\DATA\\*.txt", "D:\\BACKUP\\"});
  EXPECT_EQ(result.Err, "I/O-Fehler " + std::to_string(ERROR_SHARING_VIOLATION) + ".\n");
  EXPECT_EQ(result.ExitCode, 2);
}

// Fault: --from-disk is accepted where no file's cached pages can be dropped, so the cache passes for the disk.
TEST_F(WindowsPathsTest, ReadingFromDiskIsRefusedWhereItCannotBeDone) {
  WriteTypicalTree();
  for (const std::vector<std::string>& asked :
       {std::vector<std::string>{"--from-disk"}, std::vector<std::string>{"-o", "ReadFromDisk=1"}}) {
    std::vector<std::string> args = asked;
    args.insert(args.end(), {"C:\\DATA\\*.txt", "D:\\BACKUP\\"});
    const ProcessResult result = Batch(args);
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Out, "");
    EXPECT_NE(result.Err.find("not available"), std::string::npos) << result.Err;
  }
}

// Fault: a search gives other attributes than Windows' own, or its mask lets a
// hidden, system or directory entry through that it lacks.
TEST(WindowsFindTest, AttributesAreWindowsOwnAndTheMaskExcludesByThem) {
  const TempTree tree;
  tree.MakeDir("dir");
  const std::pair<const char*, DWORD> marked[] = {
      {"hidden", FILE_ATTRIBUTE_HIDDEN}, {"system", FILE_ATTRIBUTE_SYSTEM}, {"readonly", FILE_ATTRIBUTE_READONLY}};
  for (const auto& [name, attribute] : marked) {
    tree.Write(name, "");
    ASSERT_TRUE(SetFileAttributesA(tree.Path(name).c_str(), attribute | FILE_ATTRIBUTE_ARCHIVE)) << name;
  }
  const std::pair<const char*, int> expected[] = {{"dir", faDirectory},
                                                  {"hidden", faArchive | faHidden},
                                                  {"system", faArchive | faSysFile},
                                                  {"readonly", faArchive | faReadOnly}};
  for (const auto& [name, attr] : expected) {
    FindRecord f;
    ASSERT_TRUE(Files().FindFirst(tree.Path(name), faAnyFile, f).Found()) << name;
    EXPECT_EQ(f.Attr, attr) << name;
    Files().FindClose(f);
    // Mask 16 keeps directories and plain files only, mask 0 plain files only.
    for (const int mask : {faDirectory, 0}) {
      const bool kept = (attr & faReadOnly) != 0 || (attr == faDirectory && mask == faDirectory);
      EXPECT_EQ(Files().FindFirst(tree.Path(name), mask, f).Found(), kept) << name << " " << mask;
      Files().FindClose(f);
    }
  }
}

// Fault: --help shows its examples in the Linux form and offers --from-disk, which this build refuses.
TEST(WindowsHelpTest, ExamplesAreInTheWindowsFormAndFromDiskIsMarkedMissing) {
  const std::string help = RunProcess({ProgramDirectory() + "\\zek32.exe", "--help"}).Out;
  EXPECT_NE(help.find("(C:\\DATA\\*.txt)"), std::string::npos) << help;
  EXPECT_NE(help.find("(DIR\\*.*)"), std::string::npos) << help;
  EXPECT_NE(help.find(" ^\n             C:\\DATA D:\\BACKUP\n"), std::string::npos) << help;
  EXPECT_EQ(help.find("/data/"), std::string::npos) << help;
  EXPECT_NE(help.find("ReadFromDisk=1\n                          (not available in this build)\n"), std::string::npos)
      << help;
}

// Fault: a device name passes as a file that does not exist, or is opened.
TEST(WindowsLookTest, ADeviceExistsButIsNeverOpened) {
  const TempTree tree;
  for (const std::string& device : {std::string("NUL"), tree.Path("NUL")}) {
    const FileLook look = Files().LookAndOpen(device);
    EXPECT_TRUE(look.Exists) << device;
    EXPECT_EQ(look.OpenError, ERROR_ACCESS_DENIED) << device;
    EXPECT_EQ(look.Handle, kNoFile) << device;
  }
}

// Fault: the bare settings name is not resolved in the Windows directory.
TEST(WindowsSettingsTest, BareNameLivesInTheWindowsDirectory) {
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
  const std::string expected = std::string(windows) + "\\zek32-test-settings.ini";
  ASSERT_FALSE(fs::exists(expected));
  EXPECT_EQ(ResolveSettingsPath("zek32-test-settings.ini"), expected);
  ASSERT_TRUE(WritePrivateProfileStringA("Compare", "path1", "C:\\DATA\\*.txt", "zek32-test-settings.ini"));
  char value[64];
  EXPECT_EQ(GetPrivateProfileStringA("Compare", "path1", "", value, sizeof value, "zek32-test-settings.ini"), 13u);
  EXPECT_STREQ(value, "C:\\DATA\\*.txt");
  EXPECT_TRUE(fs::exists(expected));
  fs::remove(expected);
}

// Fault: a read-only settings file is rewritten for an administrator (Windows'
// own check lets one through), or a change made by hand is not seen.
TEST(WindowsSettingsTest, ReadOnlyFileIsNeverWrittenAndEveryReadSeesTheFile) {
  const TempTree tree;
  const std::string path = tree.Path("s.ini");
  tree.Write("s.ini", "[S]\r\nk=1\r\n");
  char value[16];
  ASSERT_EQ(GetPrivateProfileStringA("S", "k", "", value, sizeof value, path.c_str()), 1u);
  EXPECT_STREQ(value, "1");
  tree.Write("s.ini", "[S]\r\nk=2\r\n");  // the same time stamp: the file must be read again
  ASSERT_EQ(GetPrivateProfileStringA("S", "k", "", value, sizeof value, path.c_str()), 1u);
  EXPECT_STREQ(value, "2");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "3", path.c_str()));
  EXPECT_EQ(tree.Read("s.ini"), "[S]\r\nk=2\r\n");
}

// Fault: the byte total's thousands separator is not the one of the regional
// settings. Run apart, in a locale whose separator is not the comma (CTest's
// windows.locale; Wine takes the regional settings from LC_ALL).
TEST(WindowsLocaleTest, ByteTotalTakesTheRegionalSeparator) {
  char separator[8] = {};
  ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, sizeof separator), 1);
  ASSERT_NE(separator[0], ',') << "runs only in a locale whose thousands separator is not the comma";
  const std::string s(1, separator[0]);
  EXPECT_EQ(FormatByteTotal(1234567), "1" + s + "234" + s + "567");
}

}  // namespace
}  // namespace zek::test
