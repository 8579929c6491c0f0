#include "platform/profile.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "support/scoped_env.h"
#include "support/test_tree.h"

namespace zek {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempTree;

class ProfileTest : public ::testing::Test {
 protected:
  std::string Get(const char* section, const char* key, const char* dflt = "?", const std::string& file = "") {
    char buffer[64];
    const uint32_t count =
        GetPrivateProfileStringA(section, key, dflt, buffer, sizeof buffer, (file.empty() ? ini_ : file).c_str());
    // A load's reading of the file answers alike.
    char loaded[64];
    const uint32_t loadedCount =
        TProfileSnapshot(file.empty() ? ini_ : file).GetString(section, key, dflt, loaded, sizeof loaded);
    EXPECT_EQ(std::string(loaded, loadedCount), std::string(buffer, count)) << (key != nullptr ? key : "null");
    return std::string(buffer, count);
  }
  bool Put(const char* section, const char* key, const char* value, const std::string& file = "") {
    return WritePrivateProfileStringA(section, key, value, (file.empty() ? ini_ : file).c_str());
  }
  struct stat Stat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
  }
  size_t EntryCount(const std::string& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  TempTree tree_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", tree_.Path("config").c_str()};
  std::string ini_ = tree_.Path("a.ini");
};

TEST_F(ProfileTest, ReadSyntax) {
  tree_.Write("a.ini",
              "top=1\n \t[  My Sec ]  text after the bracket\n  Key One \t=\t  a  b \t\neq=a=b = c\n"
              "dq=\"q v\"\nsq= 'x' \ntwice=''i''\nlone=\"o\nmixed=\"m'\none=\"\n;x=1\n#h=v # c\nempty=\n"
              "no equals\nKEY ONE=second\n[T]\n[my sec]\nlater=1\n");
  const std::pair<const char*, const char*> cases[] = {
      {"key one", "a  b"}, {"KeyOne", "?"},     {"eq", "a=b = c"}, {"dq", "q v"},    {"sq", "x"},
      {"twice", "'i'"},    {"lone", "\"o"},     {"mixed", "\"m'"}, {"one", "\""},    {";x", "1"},
      {"x", "?"},          {"#h", "v # c"},     {"empty", ""},     {"no equals", "?"},
      {"top", "?"},        {"later", "?"}};
  for (const auto& [key, value] : cases) EXPECT_EQ(Get("MY SEC", key), value) << key;
  EXPECT_EQ(Get("MySec", "Key One"), "?");
}

TEST_F(ProfileTest, BufferCutsValueAndDefault) {
  tree_.Write("a.ini", "[S]\nv=abcdef\nq=\"abcdef\"\n");
  char buffer[8];
  for (const char* key : {"v", "q"}) {  // the quotes go before the cut
    EXPECT_EQ(GetPrivateProfileStringA("S", key, "", buffer, 4, ini_.c_str()), 3u);
    EXPECT_STREQ(buffer, "abc");
  }
  EXPECT_EQ(GetPrivateProfileStringA("S", "v", "", buffer, 1, ini_.c_str()), 0u);
  EXPECT_STREQ(buffer, "");
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("S", "v", "", buffer, 0, ini_.c_str()), 0u);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "XXXXXXXX");
  EXPECT_EQ(GetPrivateProfileStringA("S", "none", "default  ", buffer, 5, ini_.c_str()), 4u);
  EXPECT_STREQ(buffer, "defa");
  EXPECT_EQ(Get("S", "none", "  in side  "), "  in side");
  EXPECT_EQ(Get("S", "none", nullptr), "");
}

TEST_F(ProfileTest, MissingGivesDefaultAndReadingChangesNothing) {
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("no/none.ini")), "d");
  EXPECT_FALSE(tree_.Exists("no"));
  const std::string content = "[S]\r\nk=v\r\n[T]\r\n";
  tree_.Write("a.ini", content);
  EXPECT_EQ(Get("X", "k", "d") + Get("T", "k", "d") + Get("S", "j", "d") + Get("S", "k", "d"), "dddv");
  EXPECT_EQ(tree_.Read("a.ini"), content);
  EXPECT_EQ(Stat(ini_).st_mtime, test::kFixedTime);
  EXPECT_EQ(EntryCount(tree_.Root()), 1u);
}

TEST_F(ProfileTest, LineEndsAndHighBytesReadTheSame) {
  for (const std::string end : {"\r\n", "\n"}) {
    for (const char* last : {"", "\r\n"}) {
      tree_.Write("a.ini", "[S]" + end + "\xC4\xE9=\xE4\xF6\xFF" + end + "b=2" + last);
      EXPECT_EQ(Get("s", "\xC4\xE9") + Get("S", "b"), "\xE4\xF6\xFF" "2") << end.size() << last;
    }
  }
}

TEST_F(ProfileTest, OddBytesNeverFailARead) {
  std::string junk = "[S]\n";
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>(i * 37);
  junk += "\n" + std::string(1 << 20, 'x') + "\nnul=a" + std::string(1, '\0') + "b\nk=v";
  tree_.Write("a.ini", junk);
  EXPECT_EQ(Get("S", "k"), "v");
  EXPECT_EQ(Get("S", "nul"), std::string("a\0b", 3));
  // Neither a directory nor a FIFO is a settings file, and a FIFO must not block.
  tree_.MakeDir("dir.ini");
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("dir.ini")), "d");
  ASSERT_EQ(mkfifo(tree_.Path("fifo.ini").c_str(), 0600), 0);
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("fifo.ini")), "d");
}

TEST_F(ProfileTest, WriteTouchesOnlyItsOwnLine) {
  struct Case {
    const char *before, *section, *key, *value, *after;
  };
  const Case cases[] = {
      {"; n\n[Sec]\n  MyKey = old \nother=1\n", "SEC", "mykey", "new", "; n\n[Sec]\nMyKey=new\nother=1\n"},
      {"[S]\r\nk=old", "S", "k", " \t new  v ", "[S]\r\nk=new  v \r\n"},
      {"[A]\na=1\n\n  \n[B]\nb=1\n", "a", "k", "v", "[A]\na=1\nk=v\n\n  \n[B]\nb=1\n"},
      {"[B]\nb=1\n[A]", "A", "k", "v", "[B]\nb=1\n[A]\nk=v\n"},
      {"x=1\n[A]\na=1\n\n", "B", "k", "v", "x=1\n[A]\na=1\n\n[B]\nk=v\n"},
      {"[A]\na=1", "B", "k", "v", "[A]\na=1\n[B]\nk=v\n"},
      {"[A]\r\na=1\r", "B", "k", "v", "[A]\r\na=1\r\n[B]\r\nk=v\r\n"},
      {"[S]\nk=1\nk=2\n[s]\nk=3\n", "s", "K", "9", "[S]\nk=9\nk=2\n[s]\nk=3\n"},
      {"[S]\nk=1\n[T]\n[s]\nj=3\n", "S", "j", "5", "[S]\nk=1\nj=5\n[T]\n[s]\nj=3\n"},
  };
  for (const Case& c : cases) {
    tree_.Write("a.ini", c.before);
    EXPECT_TRUE(Put(c.section, c.key, c.value));
    EXPECT_EQ(tree_.Read("a.ini"), c.after) << testing::PrintToString(std::string(c.before));
  }
}

TEST_F(ProfileTest, WriteCreatesFileButNoDirectory) {
  ASSERT_TRUE(Put("Sec", "Key", "Value"));
  EXPECT_EQ(tree_.Read("a.ini"), "[Sec]\r\nKey=Value\r\n");
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(Stat(ini_).st_mode & 07777, 0666 & ~mask);
  EXPECT_FALSE(Put("Sec", "Key", "Value", tree_.Path("no/x.ini")));
  EXPECT_FALSE(tree_.Exists("no"));
  // Only what can be stored on one line is written.
  EXPECT_FALSE(Put("Sec", "Key", "two\nlines"));
  EXPECT_FALSE(Put("Sec", "new\rkey", "v"));
  EXPECT_FALSE(Put("Sec", "Key", nullptr));
  EXPECT_EQ(tree_.Read("a.ini"), "[Sec]\r\nKey=Value\r\n");
}

TEST_F(ProfileTest, WritingTheValueAKeyHasLeavesTheFileAlone) {
  const std::string content = "[S]\nk = \"v\" \r\nplain=  w\n";
  tree_.Write("a.ini", content);
  const ino_t inode = Stat(ini_).st_ino;
  EXPECT_TRUE(Put("s", "K", "\"v\""));
  EXPECT_TRUE(Put("S", "plain", "w  "));
  EXPECT_EQ(tree_.Read("a.ini"), content);
  EXPECT_EQ(Stat(ini_).st_ino, inode);
  EXPECT_EQ(Stat(ini_).st_mtime, test::kFixedTime);
}

TEST_F(ProfileTest, WriteReplacesTheWholeFileKeepingItsMode) {
  // Guards against writing in place, which a full disk leaves cut short.
  tree_.Write("a.ini", "[S]\nk=old\n");
  ASSERT_EQ(chmod(ini_.c_str(), 0640), 0);
  rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto handler = signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old;
  tight.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool written = Put("S", "k", std::string(100000, 'z').c_str());
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, handler);
  EXPECT_FALSE(written);
  EXPECT_EQ(tree_.Read("a.ini"), "[S]\nk=old\n");
  EXPECT_EQ(EntryCount(tree_.Root()), 1u);

  const ino_t inode = Stat(ini_).st_ino;
  ASSERT_TRUE(Put("S", "k", "new"));
  EXPECT_NE(Stat(ini_).st_ino, inode);
  EXPECT_EQ(Stat(ini_).st_mode & 07777, 0640u);
  EXPECT_EQ(EntryCount(tree_.Root()), 1u);
}

TEST_F(ProfileTest, ReadOnlyFileIsNeverWritten) {
  // Guards against leaving the refusal to the OS: root may write any file.
  tree_.Write("a.ini", "[S]\nk=old\n");
  ASSERT_EQ(chmod(ini_.c_str(), 0444), 0);
  EXPECT_FALSE(Put("S", "k", "new"));
  EXPECT_FALSE(Put("S", "k", "old"));
  EXPECT_EQ(tree_.Read("a.ini"), "[S]\nk=old\n");
  EXPECT_EQ(Get("S", "k"), "old");
}

TEST_F(ProfileTest, SaveKeepsToTheUsersRightsTheOwnerTheLinksAndTheLineEnds) {
  // Fault: a save renamed a new file over one the user may not write and took it
  // from its owner, cut its hard links, could not save where the directory is
  // closed to the user, and wrote CR LF into a file of LF lines.
  if (geteuid() != 0) GTEST_SKIP() << "needs root to save as another user";
  constexpr uid_t kNobody = 65534;
  auto putAsNobody = [&](const char* value, const std::string& file) {
    const pid_t child = fork();
    if (child == 0)
      _exit(setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 && Put("S", "k", value, file)
                ? 0
                : 1);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
  ASSERT_EQ(chmod(tree_.Root().c_str(), 0755), 0);
  tree_.Write("open/root.ini", "[S]\nk=old\n");
  tree_.Write("open/user.ini", "[S]\nk=old\n");
  tree_.Write("closed/user.ini", "[S]\nk=old\n");
  ASSERT_EQ(chmod(tree_.Path("open").c_str(), 0777), 0);
  for (const char* name : {"open/user.ini", "closed/user.ini"})
    ASSERT_EQ(chown(tree_.Path(name).c_str(), kNobody, kNobody), 0);
  tree_.Write("open/pair.ini", "[S]\r\nk=old\r\n");
  fs::create_hard_link(tree_.Path("open/pair.ini"), tree_.Path("linked.ini"));

  EXPECT_FALSE(putAsNobody("new", tree_.Path("open/root.ini")));
  EXPECT_EQ(tree_.Read("open/root.ini"), "[S]\nk=old\n");
  EXPECT_EQ(Stat(tree_.Path("open/root.ini")).st_uid, 0u);

  EXPECT_TRUE(putAsNobody("new", tree_.Path("closed/user.ini")));
  EXPECT_EQ(tree_.Read("closed/user.ini"), "[S]\nk=new\n");

  ASSERT_TRUE(Put("S", "k", "root", tree_.Path("open/user.ini")));
  ASSERT_TRUE(Put("S", "added", "v", tree_.Path("open/user.ini")));
  EXPECT_EQ(tree_.Read("open/user.ini"), "[S]\nk=root\nadded=v\n");
  EXPECT_EQ(Stat(tree_.Path("open/user.ini")).st_uid, kNobody);
  EXPECT_EQ(Stat(tree_.Path("open/user.ini")).st_gid, kNobody);

  ASSERT_TRUE(Put("S", "k", "both", tree_.Path("open/pair.ini")));
  EXPECT_EQ(tree_.Read("linked.ini"), "[S]\r\nk=both\r\n");
  EXPECT_EQ(Stat(tree_.Path("linked.ini")).st_nlink, 2u);
}

TEST_F(ProfileTest, WriteThroughSymbolicLinkReplacesItsTarget) {
  // Guards against renaming over the link, which cuts it off from the real file.
  tree_.Write("real/s.ini", "[S]\nk=old\n");
  tree_.MakeDir("cfg");
  fs::create_symlink("../real/s.ini", tree_.Path("cfg/link.ini"));
  fs::create_symlink(tree_.Path("real/later.ini"), tree_.Path("cfg/dangling.ini"));
  fs::create_symlink("loop.ini", tree_.Path("cfg/loop.ini"));
  ASSERT_TRUE(Put("S", "k", "new", tree_.Path("cfg/link.ini")));
  ASSERT_TRUE(Put("S", "k", "v", tree_.Path("cfg/dangling.ini")));
  EXPECT_FALSE(Put("S", "k", "v", tree_.Path("cfg/loop.ini")));
  EXPECT_EQ(tree_.Read("real/s.ini"), "[S]\nk=new\n");
  EXPECT_EQ(tree_.Read("real/later.ini"), "[S]\r\nk=v\r\n");
  EXPECT_TRUE(fs::is_symlink(tree_.Path("cfg/link.ini")));
  EXPECT_TRUE(fs::is_symlink(tree_.Path("cfg/dangling.ini")));
  EXPECT_EQ(EntryCount(tree_.Path("cfg")), 3u);
}

TEST_F(ProfileTest, BareNameLivesInConfigHomeWhateverTheCurrentDirectory) {
  EXPECT_EQ(ResolveSettingsPath("zek32.ini"), tree_.Path("config/zek32.ini"));
  EXPECT_EQ(ResolveSettingsPath("./x.ini"), "./x.ini");
  {
    ScopedEnv home("HOME", "/home/u");
    ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(ResolveSettingsPath("zek32.ini"), "/home/u/.config/zek32.ini");
    ScopedEnv empty("XDG_CONFIG_HOME", "");
    EXPECT_EQ(ResolveSettingsPath("zek32.ini"), "/home/u/.config/zek32.ini");
    ScopedEnv relative("XDG_CONFIG_HOME", "rel");
    EXPECT_EQ(ResolveSettingsPath("zek32.ini"), "/home/u/.config/zek32.ini");
  }
  ScopedEnv deeper("XDG_CONFIG_HOME", tree_.Path("config/deeper").c_str());
  ASSERT_TRUE(Put("S", "k", "config", "zek32.ini"));
  EXPECT_EQ(Stat(tree_.Path("config/deeper")).st_mode & 0777, 0700u);
  tree_.Write("cwd/zek32.ini", "[S]\nk=cwd\n");
  const fs::path previous = fs::current_path();
  fs::current_path(tree_.Path("cwd"));
  const std::string read = Get("S", "k", "d", "zek32.ini");
  const bool written = Put("S", "k", "again", "zek32.ini");
  fs::current_path(previous);
  EXPECT_EQ(read, "config");
  EXPECT_TRUE(written);
  EXPECT_EQ(tree_.Read("cwd/zek32.ini"), "[S]\nk=cwd\n");
  EXPECT_EQ(tree_.Read("config/deeper/zek32.ini"), "[S]\r\nk=again\r\n");
}

}  // namespace
}  // namespace zek
