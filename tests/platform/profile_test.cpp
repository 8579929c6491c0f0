#include "platform/profile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scoped_env.h"
#include "support/test_tree.h"

namespace zek {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempTree;

class ProfileTest : public ::testing::Test {
 protected:
  std::string Get(const std::string& section, const std::string& key, const char* defaultValue = "<default>",
                   const std::string& file = "") const {
    char buffer[1024];
    const std::string name = file.empty() ? ini_ : file;
    const uint32_t count = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue, buffer,
                                                    sizeof buffer, name.c_str());
    EXPECT_EQ(count, std::strlen(buffer));
    return std::string(buffer, count);
  }
  bool Put(const std::string& section, const std::string& key, const std::string& value) const {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), ini_.c_str());
  }
  // Lays the file down, writes one key, and returns the file's bytes.
  std::string AfterWrite(const std::string& before, const std::string& section, const std::string& key,
                         const std::string& value) const {
    tree_.Write("a.ini", before);
    EXPECT_TRUE(Put(section, key, value));
    return tree_.Read("a.ini");
  }
  static ino_t Inode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_ino;
  }
  std::vector<std::string> Entries(const std::string& dir = "") const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.empty() ? tree_.Root() : tree_.Path(dir)))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempTree tree_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", tree_.Path("config").c_str()};
  std::string ini_ = tree_.Path("a.ini");
};

TEST_F(ProfileTest, NamesMatchWithoutCaseAndOuterBlanks) {
  tree_.Write("a.ini",
              " \t[  My Section ]  text after the bracket\r\n"
              "  Key One \t=\t  some  value \t\r\n"
              "Key Two=x\r\n");
  EXPECT_EQ(Get("my section", "KEY ONE"), "some  value");
  EXPECT_EQ(Get("MY SECTION", "key two"), "x");
  // Blanks inside a name count.
  EXPECT_EQ(Get("MySection", "Key One"), "<default>");
  EXPECT_EQ(Get("My Section", "KeyOne"), "<default>");
}

TEST_F(ProfileTest, ValueSyntax) {
  tree_.Write("a.ini",
              "top=before any header\n"
              "[S]\n"
              "eq=a=b = c\n"
              "dq=\"quoted value\"\n"
              "sq= 'single' \n"
              "twice=''inner''\n"
              "lone=\"open\n"
              "mixed=\"mixed'\n"
              "onequote=\"\n"
              "emptyquotes=\"\"\n"
              ";x=1\n"
              "#hash=v # not a comment\n"
              "empty=\n"
              "no equals sign\n");
  EXPECT_EQ(Get("S", "eq"), "a=b = c");
  EXPECT_EQ(Get("S", "dq"), "quoted value");
  EXPECT_EQ(Get("S", "sq"), "single");
  EXPECT_EQ(Get("S", "twice"), "'inner'");
  EXPECT_EQ(Get("S", "lone"), "\"open");
  EXPECT_EQ(Get("S", "mixed"), "\"mixed'");
  EXPECT_EQ(Get("S", "onequote"), "\"");
  EXPECT_EQ(Get("S", "emptyquotes"), "");
  EXPECT_EQ(Get("S", ";x"), "1");
  EXPECT_EQ(Get("S", "x"), "<default>");
  EXPECT_EQ(Get("S", "#hash"), "v # not a comment");
  EXPECT_EQ(Get("S", "empty"), "");
  EXPECT_EQ(Get("S", "no equals sign"), "<default>");
  // Keys before the first header belong to no section.
  EXPECT_EQ(Get("S", "top"), "<default>");
  EXPECT_EQ(Get("", "top"), "<default>");
}

TEST_F(ProfileTest, FirstOfDuplicatesCountsForReadAndWrite) {
  tree_.Write("a.ini", "[S]\nk=1\nk=2\n[T]\nt=1\n[s]\nk=3\nj=4\n");
  EXPECT_EQ(Get("S", "k"), "1");
  EXPECT_EQ(Get("S", "j"), "<default>");
  ASSERT_TRUE(Put("S", "k", "9"));
  ASSERT_TRUE(Put("S", "j", "5"));
  EXPECT_EQ(tree_.Read("a.ini"), "[S]\nk=9\r\nk=2\nj=5\r\n[T]\nt=1\n[s]\nk=3\nj=4\n");
}

TEST_F(ProfileTest, BufferSizeCutsValueAndDefault) {
  tree_.Write("a.ini", "[S]\nv=abcdef\nq=\"abcdef\"\n");
  char buffer[8];
  EXPECT_EQ(GetPrivateProfileStringA("S", "v", "", buffer, 4, ini_.c_str()), 3u);
  EXPECT_STREQ(buffer, "abc");
  // The quotes go before the cut.
  EXPECT_EQ(GetPrivateProfileStringA("S", "q", "", buffer, 4, ini_.c_str()), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(GetPrivateProfileStringA("S", "v", "", buffer, 1, ini_.c_str()), 0u);
  EXPECT_STREQ(buffer, "");
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("S", "v", "", buffer, 0, ini_.c_str()), 0u);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, 'X'));

  EXPECT_EQ(Get("S", "missing", "dflt  "), "dflt");
  EXPECT_EQ(Get("S", "missing", "  in  side  "), "  in  side");
  EXPECT_EQ(Get("S", "missing", nullptr), "");
  EXPECT_EQ(GetPrivateProfileStringA("S", "missing", "defaultvalue", buffer, 5, ini_.c_str()), 4u);
  EXPECT_STREQ(buffer, "defa");
}

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesDefaultAndReadingChangesNothing) {
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("none.ini")), "d");
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("no/dir/none.ini")), "d");
  EXPECT_FALSE(tree_.Exists("none.ini"));
  EXPECT_FALSE(tree_.Exists("no"));

  const std::string content = "[S]\r\nk=v\r\n[T]\r\n";
  tree_.Write("a.ini", content);
  EXPECT_EQ(Get("X", "k", "d"), "d");
  EXPECT_EQ(Get("T", "k", "d"), "d");
  EXPECT_EQ(Get("S", "other", "d"), "d");
  EXPECT_EQ(Get("S", "k", "d"), "v");
  EXPECT_EQ(tree_.Read("a.ini"), content);
  struct stat st {};
  ASSERT_EQ(stat(ini_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, test::kFixedTime);
  EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"});
}

TEST_F(ProfileTest, LineEndsAndHighBytesReadTheSame) {
  for (const std::string end : {"\r\n", "\n"}) {
    for (const bool finalEnd : {true, false}) {
      std::string content = "[S]" + end + "a=1" + end + "\xC4\xE9=\xE4\xF6\xFC\xFF" + end + "b=2";
      if (finalEnd) content += end;
      tree_.Write("a.ini", content);
      SCOPED_TRACE(testing::PrintToString(content));
      EXPECT_EQ(Get("S", "a"), "1");
      EXPECT_EQ(Get("S", "b"), "2");
      EXPECT_EQ(Get("s", "\xC4\xE9"), "\xE4\xF6\xFC\xFF");
    }
  }
}

TEST_F(ProfileTest, OddBytesNeverFailARead) {
  std::string junk = "[S]\n";
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 37) % 256);
  junk += "\n" + std::string(1 << 20, 'x') + "\nnul=ab";
  junk += '\0';
  junk += "cd\nk=v";
  tree_.Write("a.ini", junk);
  EXPECT_EQ(Get("S", "k"), "v");
  char buffer[16];
  EXPECT_EQ(GetPrivateProfileStringA("S", "nul", "", buffer, sizeof buffer, ini_.c_str()), 5u);
  EXPECT_EQ(std::string(buffer, 5), std::string("ab\0cd", 5));

  // Neither a directory nor a FIFO is a settings file; a FIFO must not block the read.
  tree_.MakeDir("dir.ini");
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("dir.ini")), "d");
  ASSERT_EQ(mkfifo(tree_.Path("fifo.ini").c_str(), 0600), 0);
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("fifo.ini")), "d");
}

TEST_F(ProfileTest, WriteReplacesKeyOnItsOwnLineInTheFilesSpelling) {
  EXPECT_EQ(AfterWrite("; notes\n[Sec]\n  MyKey = old \nother=1\n", "SEC", "mykey", "new"),
            "; notes\n[Sec]\nMyKey=new\r\nother=1\n");
  // The last line, without a line end, gets the program's one.
  EXPECT_EQ(AfterWrite("[Sec]\r\nk=old", "Sec", "k", "new"), "[Sec]\r\nk=new\r\n");
  // Leading blanks of the value are dropped, the rest stays.
  EXPECT_EQ(AfterWrite("[Sec]\nk=old\n", "Sec", "k", " \t new  value "), "[Sec]\nk=new  value \r\n");
}

TEST_F(ProfileTest, WriteAddsKeyAfterLastNonBlankLineOfItsSection) {
  EXPECT_EQ(AfterWrite("[A]\na=1\n\n  \n[B]\nb=1\n", "a", "k", "v"), "[A]\na=1\nk=v\r\n\n  \n[B]\nb=1\n");
  EXPECT_EQ(AfterWrite("[A]\n\n[B]\n", "A", "k", "v"), "[A]\nk=v\r\n\n[B]\n");
  EXPECT_EQ(AfterWrite("[B]\nb=1\n[A]", "A", "k", "v"), "[B]\nb=1\n[A]\r\nk=v\r\n");
  EXPECT_EQ(AfterWrite("[A]\r\na=1", "A", "k", "v"), "[A]\r\na=1\r\nk=v\r\n");
}

TEST_F(ProfileTest, WriteAppendsMissingSectionAndCreatesMissingFile) {
  EXPECT_EQ(AfterWrite("x=1\n[A]\na=1\n\n", "B", "k", "v"), "x=1\n[A]\na=1\n\n[B]\r\nk=v\r\n");
  EXPECT_EQ(AfterWrite("[A]\na=1", "B", "k", "v"), "[A]\na=1\r\n[B]\r\nk=v\r\n");
  // A file ending in a bare CR gets only the LF that completes its line end.
  EXPECT_EQ(AfterWrite("[A]\r\na=1\r", "B", "k", "v"), "[A]\r\na=1\r\n[B]\r\nk=v\r\n");
  EXPECT_EQ(AfterWrite("", "B", "k", "v"), "[B]\r\nk=v\r\n");

  const std::string fresh = tree_.Path("fresh.ini");
  ASSERT_TRUE(WritePrivateProfileStringA("Sec", "Key", "Value", fresh.c_str()));
  EXPECT_EQ(tree_.Read("fresh.ini"), "[Sec]\r\nKey=Value\r\n");
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);

  const std::string nowhere = tree_.Path("no/such/dir/x.ini");
  EXPECT_FALSE(WritePrivateProfileStringA("Sec", "Key", "Value", nowhere.c_str()));
  EXPECT_FALSE(tree_.Exists("no"));
}

TEST_F(ProfileTest, WritingTheSameValueLeavesTheFileAlone) {
  const std::string content = "[S]\nk = \"v\" \r\nplain=  w\n";
  tree_.Write("a.ini", content);
  const ino_t before = Inode(ini_);
  EXPECT_TRUE(Put("s", "K", "\"v\""));
  EXPECT_TRUE(Put("S", "plain", "w  "));
  EXPECT_EQ(tree_.Read("a.ini"), content);
  EXPECT_EQ(Inode(ini_), before);
  struct stat st {};
  ASSERT_EQ(stat(ini_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, test::kFixedTime);
}

TEST_F(ProfileTest, WriteReplacesFileWholeKeepingPermissions) {
  tree_.Write("a.ini", "[S]\nk=old\n");
  ASSERT_EQ(chmod(ini_.c_str(), 0640), 0);
  const ino_t before = Inode(ini_);
  ASSERT_TRUE(Put("S", "k", "new"));
  EXPECT_NE(Inode(ini_), before);
  struct stat st {};
  ASSERT_EQ(stat(ini_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"});
}

TEST_F(ProfileTest, FullDiskLeavesOldFileWhole) {
  // Guards against writing the file in place, which a full disk leaves cut short.
  const std::string content = "[S]\nk=old\n";
  tree_.Write("a.ini", content);
  rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old;
  tight.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool written = Put("S", "k", std::string(100000, 'z'));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(tree_.Read("a.ini"), content);
  EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"});
}

TEST_F(ProfileTest, ReadOnlyFileIsNeverWritten) {
  // Guards against relying on the OS to refuse: root may write any file.
  const std::string content = "[S]\nk=old\n";
  tree_.Write("a.ini", content);
  ASSERT_EQ(chmod(ini_.c_str(), 0444), 0);
  EXPECT_FALSE(Put("S", "k", "new"));
  EXPECT_FALSE(Put("S", "k", "old"));
  EXPECT_FALSE(Put("T", "k", "new"));
  EXPECT_EQ(tree_.Read("a.ini"), content);
  EXPECT_EQ(Get("S", "k"), "old");
}

TEST_F(ProfileTest, WriteThroughSymbolicLinkReplacesItsTarget) {
  // Guards against renaming over the link, which would cut it off from the real file.
  tree_.Write("real/settings.ini", "[S]\nk=old\n");
  tree_.MakeDir("cfg");
  fs::create_symlink("../real/settings.ini", tree_.Path("cfg/link.ini"));
  const std::string link = tree_.Path("cfg/link.ini");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "new", link.c_str()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(tree_.Read("real/settings.ini"), "[S]\nk=new\r\n");
  EXPECT_EQ(Entries("cfg"), std::vector<std::string>{"link.ini"});

  // A dangling link gets its target created.
  fs::create_symlink(tree_.Path("real/later.ini"), tree_.Path("cfg/dangling.ini"));
  const std::string dangling = tree_.Path("cfg/dangling.ini");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "v", dangling.c_str()));
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(tree_.Read("real/later.ini"), "[S]\r\nk=v\r\n");

  fs::create_symlink("loop.ini", tree_.Path("cfg/loop.ini"));
  const std::string loop = tree_.Path("cfg/loop.ini");
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", loop.c_str()));
}

TEST_F(ProfileTest, WhatCannotBeStoredFails) {
  tree_.Write("a.ini", "[S]\nk=old\n");
  EXPECT_FALSE(Put("S", "k", "two\nlines"));
  EXPECT_FALSE(Put("S", "k", "cr\r"));
  EXPECT_FALSE(Put("S", "new\nkey", "v"));
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", nullptr, ini_.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("S", nullptr, "v", ini_.c_str()));
  EXPECT_EQ(tree_.Read("a.ini"), "[S]\nk=old\n");
}

TEST_F(ProfileTest, BareNameLivesInConfigHome) {
  EXPECT_EQ(ResolveSettingsPath("zek32.ini"), tree_.Path("config") + "/zek32.ini");
  EXPECT_EQ(ResolveSettingsPath("/abs/x.ini"), "/abs/x.ini");
  EXPECT_EQ(ResolveSettingsPath("./x.ini"), "./x.ini");
  {
    ScopedEnv home("HOME", "/home/someone");
    ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(ResolveSettingsPath("zek32.ini"), "/home/someone/.config/zek32.ini");
    ScopedEnv empty("XDG_CONFIG_HOME", "");
    EXPECT_EQ(ResolveSettingsPath("zek32.ini"), "/home/someone/.config/zek32.ini");
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(ResolveSettingsPath("zek32.ini"), "/home/someone/.config/zek32.ini");
  }

  // The first write creates the configuration directory; the current
  // directory's file of the same name is never looked at.
  ScopedEnv deeper("XDG_CONFIG_HOME", tree_.Path("config/deeper").c_str());
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "config", "zek32.ini"));
  EXPECT_EQ(tree_.Read("config/deeper/zek32.ini"), "[S]\r\nk=config\r\n");
  tree_.Write("cwd/zek32.ini", "[S]\nk=cwd\n");
  const fs::path previous = fs::current_path();
  fs::current_path(tree_.Path("cwd"));
  const std::string read = Get("S", "k", "d", "zek32.ini");
  const bool written = WritePrivateProfileStringA("S", "k", "again", "zek32.ini");
  fs::current_path(previous);
  EXPECT_EQ(read, "config");
  EXPECT_TRUE(written);
  EXPECT_EQ(tree_.Read("cwd/zek32.ini"), "[S]\nk=cwd\n");
  EXPECT_EQ(tree_.Read("config/deeper/zek32.ini"), "[S]\r\nk=again\r\n");
}

}  // namespace
}  // namespace zek
