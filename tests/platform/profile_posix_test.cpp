// How our own INI writer saves a file on Linux: in one piece, as its owner and
// through links, and where a bare name lives.
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "support/profile_fixture.h"

namespace zek {
namespace {

TEST_F(ProfileTest, WriteReplacesTheWholeFileKeepingItsMode) {
  // Guards against writing in place, which a full disk leaves cut short.
  tree_.Write("a.ini", "[S]\nk=old\n");
  ASSERT_EQ(chmod(ini_.c_str(), 0640), 0);
  rlimit old{};
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
