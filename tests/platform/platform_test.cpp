#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "platform/dos_time.h"
#include "platform/file_access.h"
#include "platform/io_error.h"
#include "platform/text_file.h"
#include "platform/wildcard.h"
#include "support/test_tree.h"
#include "support/time_zone.h"
#include "support/skip.h"

namespace zek {
namespace {

TEST(WildcardTest, WindowsRulesNotTheShells) {
  EXPECT_TRUE(MatchesMask("A.TXT", "*.txt"));
  EXPECT_TRUE(MatchesMask("readme", "*.*"));
  EXPECT_TRUE(MatchesMask(".hidden", "*.*"));
  EXPECT_TRUE(MatchesMask("a.b.c", "*.c"));
  EXPECT_TRUE(MatchesMask("abc", "a?c"));
  EXPECT_FALSE(MatchesMask("ac", "a?c"));
  EXPECT_TRUE(MatchesMask("noext", "*."));
  EXPECT_FALSE(MatchesMask("has.ext", "*."));
  EXPECT_TRUE(MatchesMask("abc", "a*.*"));
  EXPECT_FALSE(MatchesMask("b.txt", "a*.*"));
  EXPECT_FALSE(MatchesMask("a.txt", ""));
  EXPECT_TRUE(MatchesMask("[x].txt", "[x].*"));
  // Many stars against a long near-miss must not take exponential time.
  EXPECT_FALSE(MatchesMask(std::string(5000, 'a') + "b", "*a*a*a*a*a*a*a*a*c"));
}

TEST(DosTimeTest, LocalTwoSecondStepsAndTheRangeRule) {
  test::ScopedTimeZone tz("UTC");
  // 2023-11-14 22:13:20 UTC
  const std::time_t t = 1700000000;
  const int32_t packed = PackDosDateTime(t);
  EXPECT_EQ((packed >> 16) & 0xFFFF, (2023 - 1980) << 9 | 11 << 5 | 14);
  EXPECT_EQ(packed & 0xFFFF, 22 << 11 | 13 << 5 | 10);
  EXPECT_EQ(LocalTwoSecondSteps(t), LocalTwoSecondSteps(t + 1));
  EXPECT_NE(LocalTwoSecondSteps(t + 1), LocalTwoSecondSteps(t + 2));
  // Outside 1980..2107 the packed form clamps, the steps keep telling times apart.
  EXPECT_EQ(PackDosDateTime(0), PackDosDateTime(100000));
  EXPECT_EQ(PackDosDateTime(0), int32_t{0 << 9 | 1 << 5 | 1} << 16);
  EXPECT_NE(LocalTwoSecondSteps(0), LocalTwoSecondSteps(100000));
  EXPECT_LT(LocalTwoSecondSteps(-100000), LocalTwoSecondSteps(0));
  const std::time_t y2200 = 7258118400;
  EXPECT_EQ(static_cast<uint32_t>(PackDosDateTime(y2200)) >> 25, 127u);
  EXPECT_NE(LocalTwoSecondSteps(y2200), LocalTwoSecondSteps(y2200 + 2));
}

TEST(DosTimeTest, TheTimeZoneShiftsTheLocalTime) {
  ZEK_SKIP_ON_WINDOWS("sets TZ; Windows has one time zone for the whole system, which a test must not change");
  int64_t utc = 0, berlin = 0;
  {
    test::ScopedTimeZone tz("UTC");
    utc = LocalTwoSecondSteps(1700000000);
  }
  {
    test::ScopedTimeZone tz("Europe/Berlin");
    berlin = LocalTwoSecondSteps(1700000000);
  }
  EXPECT_EQ(berlin - utc, 1800);  // one hour ahead in November
}

std::set<std::string> Found(const std::string& pattern, int attr) {
  std::set<std::string> names;
  FindRecord f;
  for (SearchStep r = Files().FindFirst(pattern, attr, f); r.Found(); r = Files().FindNext(f)) names.insert(f.Name);
  Files().FindClose(f);
  return names;
}

// The names of `names` that a search with `mask` finds in a directory holding them all, "." and ".." aside.
std::set<std::string> FoundAmong(const std::set<std::string>& names, const std::string& mask) {
  test::TempTree tree;
  for (const std::string& name : names) tree.Write(name, "");
  std::set<std::string> found = Found(tree.Path(mask), faAnyFile);
  found.erase(".");
  found.erase("..");
  return found;
}

const std::set<std::string> kMaskNames{"FILE.TXT", "FILE1.TXT", "FILE12.TXT", "a", "ab", "abc", "a.b", "a.bc", ".profile"};

TEST(FindTest, MasksThatEveryWindowsSearchReadsAlike) {
  EXPECT_EQ(FoundAmong(kMaskNames, "*.*"), kMaskNames);
  EXPECT_EQ(FoundAmong(kMaskNames, "*"), kMaskNames);
  EXPECT_EQ(FoundAmong(kMaskNames, "*.txt"), (std::set<std::string>{"FILE.TXT", "FILE1.TXT", "FILE12.TXT"}));
  EXPECT_EQ(FoundAmong(kMaskNames, "a?c.*"), (std::set<std::string>{"abc"}));
}

TEST(FindTest, MasksInTheirDosForm) {
  // Guards against "?" always taking exactly one character, as the shell's rule does.
  ZEK_SKIP_ON_WINDOWS("Wine's search does not apply the DOS-form mask rules that Windows' own search applies");
  const std::pair<const char*, std::set<std::string>> rows[] = {
      {"FILE?.TXT", {"FILE.TXT", "FILE1.TXT"}},
      {"???", {"a", "ab", "abc"}},
      {"?.*", {"a", "a.b", "a.bc", ".profile"}},
      {"*.?", {"a", "ab", "abc", "a.b"}},
      {"??", {"a", "ab"}},
      {"a?", {"a", "ab"}},
      {"*.", {"a", "ab", "abc"}},
  };
  for (const auto& [mask, expected] : rows) EXPECT_EQ(FoundAmong(kMaskNames, mask), expected) << mask;
}

TEST(FindTest, AttributesAndTheExclusionRule) {
  ZEK_SKIP_ON_WINDOWS("the POSIX forms of hidden, system and read-only entries (WindowsFindTest has Windows' own)");
  test::TempTree tree;
  tree.Write("plain.txt", "12345");
  tree.Write(".hidden", "");
  tree.MakeDir("dir");
  tree.MakeFifo("fifo");
  tree.Write("ro", "");
  std::filesystem::permissions(tree.Path("ro"), std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                    std::filesystem::perms::others_read);

  FindRecord f;
  ASSERT_TRUE(Files().FindFirst(tree.Path("plain.*"), faAnyFile, f).Found());
  EXPECT_EQ(f.Name, "plain.txt");
  EXPECT_EQ(f.Attr, faArchive);
  EXPECT_EQ(f.Size, 5);
  EXPECT_EQ(f.Time, PackDosDateTime(test::kFixedTime));
  EXPECT_FALSE(Files().FindNext(f).Found());
  Files().FindClose(f);

  EXPECT_EQ(Found(tree.Path("*.*"), faAnyFile),
            (std::set<std::string>{".", "..", "plain.txt", ".hidden", "dir", "fifo", "ro"}));
  // Mask 16: hidden and system entries drop out, plain files stay.
  EXPECT_EQ(Found(tree.Path("*.*"), faDirectory), (std::set<std::string>{".", "..", "plain.txt", "dir", "ro"}));
  EXPECT_EQ(Found(tree.Path("*.*"), 0), (std::set<std::string>{"plain.txt", "ro"}));
  EXPECT_TRUE(Found(tree.Path("nothing/*.*"), faAnyFile).empty());

  ASSERT_TRUE(Files().FindFirst(tree.Path("ro"), faAnyFile, f).Found());
  EXPECT_EQ(f.Attr, faArchive | faReadOnly);
  Files().FindClose(f);
  ASSERT_TRUE(Files().FindFirst(tree.Path("fifo"), faAnyFile, f).Found());
  EXPECT_EQ(f.Attr, faSysFile);
  Files().FindClose(f);
}

TEST(FileAccessTest, OpenRefusesWhatIsNotARegularFile) {
  // Guards against a FIFO or device opened as a file, also where a search's look stands in for the look before the open.
  ZEK_SKIP_ON_WINDOWS("FIFOs and device nodes");
  test::TempTree tree;
  tree.MakeFifo("fifo");
  tree.Write("file", "f");
  for (const KnownAs known : {KnownAs::Nothing, KnownAs::RegularFile})
    for (const std::string& path : {tree.Path("fifo"), std::string("/dev/zero")}) {
      const FileLook look = Files().LookAndOpen(path, known);
      EXPECT_TRUE(look.Exists) << path;
      EXPECT_NE(look.OpenError, 0) << path;
      EXPECT_EQ(look.Handle, kNoFile) << path;
    }
  FindRecord f;
  std::set<std::string> regular;
  for (SearchStep r = Files().FindFirst(tree.Path("*"), faAnyFile, f); r.Found(); r = Files().FindNext(f))
    if (f.Regular) regular.insert(f.Name);
  Files().FindClose(f);
  EXPECT_EQ(regular, std::set<std::string>{"file"});
  EXPECT_FALSE(Files().LookAndOpen(tree.Root()).Exists);
  EXPECT_EQ(Files().LookAndOpen(tree.Root()).Handle, kNoFile);
  EXPECT_TRUE(Files().FileExists(tree.Path("fifo")));
  EXPECT_FALSE(Files().FileExists(tree.Root()));
}

TEST(LookAndOpenTest, TheExistenceTimeAndOpenOfAFileFromOneLook) {
  // Guards against a directory that passes as an existing file, or a time or size taken from elsewhere.
  test::TempTree tree;
  tree.Write("file", "xyz", test::kFixedTime + 4);
  tree.MakeDir("dir");
  // The same whether or not a search's look stands in for the look before the open.
  for (const KnownAs known : {KnownAs::Nothing, KnownAs::RegularFile}) {
    const FileLook look = Files().LookAndOpen(tree.Path("file"), known);
    EXPECT_TRUE(look.Exists);
    EXPECT_EQ(look.TimeSteps, LocalTwoSecondSteps(test::kFixedTime + 4));
    EXPECT_EQ(look.WriteTime.Seconds, test::kFixedTime + 4);
    EXPECT_EQ(look.OpenError, 0);
    EXPECT_EQ(look.Size, 3);
    ASSERT_NE(look.Handle, kNoFile);
    char buffer[8];
    EXPECT_EQ(Files().BlockRead(look.Handle, buffer, sizeof buffer).OrRaise(), 3u);
    Files().Close(look.Handle);
    for (const char* missing : {"dir", "none", "none/deeper"}) {
      const FileLook look = Files().LookAndOpen(tree.Path(missing), known);
      EXPECT_FALSE(look.Exists) << missing;
      EXPECT_EQ(look.Handle, kNoFile) << missing;
      EXPECT_EQ(look.Exists, Files().FileExists(tree.Path(missing))) << missing;
    }
  }
  EXPECT_FALSE(Files().LookAndOpen("").Exists);
}

std::set<std::string> Directories(const std::string& pattern, bool directoriesOnly) {
  std::set<std::string> names;
  FindRecord f;
  SearchStep r = directoriesOnly ? Files().FindFirstDirectory(pattern, faDirectory, f) : Files().FindFirst(pattern, faDirectory, f);
  for (; r.Found(); r = Files().FindNext(f))
    if ((f.Attr & faDirectory) != 0) names.insert(f.Name);
  Files().FindClose(f);
  return names;
}

TEST(FindFirstDirectoryTest, FindsTheSameDirectoriesAsTheFullSearch) {
  // Guards against a directory that the search for directories passes over.
  test::TempTree tree;
  tree.MakeDir("sub");
  tree.MakeDir("Other.dir");
  tree.Write("plain", "1");
  tree.Write("sub.txt", "1");
  const std::set<std::string> expected{".", "..", "sub", "Other.dir"};
  EXPECT_EQ(Directories(tree.Path("*.*"), false), expected);
  EXPECT_EQ(Directories(tree.Path("*.*"), true), expected);
  // The record of a directory found this way is filled as by the full search.
  FindRecord full, quick;
  ASSERT_TRUE(Files().FindFirst(tree.Path("sub"), faDirectory, full).Found());
  ASSERT_TRUE(Files().FindFirstDirectory(tree.Path("sub"), faDirectory, quick).Found());
  EXPECT_EQ(quick.Name, full.Name);
  EXPECT_EQ(quick.Attr, full.Attr);
  EXPECT_EQ(quick.Time, full.Time);
  EXPECT_EQ(quick.Size, full.Size);
  Files().FindClose(full);
  Files().FindClose(quick);
  // Nothing to find finds nothing, as with FindFirst, and leaves no search open.
  FindRecord none;
  EXPECT_FALSE(Files().FindFirstDirectory(tree.Path("none*"), faDirectory, none).Found());
  EXPECT_EQ(none.Handle, nullptr);
}

TEST(FindFirstDirectoryTest, LinksToDirectoriesAreFoundButNotFifosOrHiddenDirectories) {
  // Guards against a link to a directory that the search for directories passes over.
  ZEK_SKIP_ON_WINDOWS("symbolic links, FIFOs and dot names");
  test::TempTree tree;
  tree.MakeDir("sub");
  tree.MakeDir(".hidden");
  tree.Write("plain", "1");
  tree.MakeFifo("fifo");
  std::filesystem::create_directory_symlink(tree.Path("sub"), tree.Path("to-sub"));
  std::filesystem::create_symlink(tree.Path("nowhere"), tree.Path("dangling"));
  const std::set<std::string> expected{".", "..", "sub", "to-sub"};
  EXPECT_EQ(Directories(tree.Path("*.*"), false), expected);
  EXPECT_EQ(Directories(tree.Path("*.*"), true), expected);
  // A plain file is passed over without a look, and then there is nothing to find.
  FindRecord none;
  EXPECT_FALSE(Files().FindFirstDirectory(tree.Path("plain"), faDirectory, none).Found());
  EXPECT_EQ(none.Handle, nullptr);
}

TEST(TextFileTest, LinesEndInCrLfAndErrorsRaise) {
  test::TempTree tree;
  tree.Write("log", std::string(1000, 'o'));
  TextFile file;
  file.Rewrite(tree.Path("log"));
  file.WriteLine("one");
  file.WriteLine("");
  file.Close();
  EXPECT_EQ(tree.Read("log"), "one\r\n\r\n");
  EXPECT_THROW(file.Rewrite(tree.Path("missing/log")), EInOutError);
}

TEST(TextFileTest, AFullDeviceRaisesAtTheLatestOnClose) {
  // Guards against a write error lost because its lines were still buffered.
  ZEK_SKIP_ON_WINDOWS("the full device /dev/full");
  // A full device takes the open but not the lines.
  TextFile file;
  file.Rewrite("/dev/full");
  file.WriteLine("x");
  try {
    file.Close();
    FAIL() << "writing to /dev/full succeeded";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode, ENOSPC);
    EXPECT_EQ(std::string(error.what()), "I/O-Fehler 28");
  }
  EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace zek
