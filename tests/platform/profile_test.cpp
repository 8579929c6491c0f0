// The INI semantics of the settings file, which hold on every system: on
// Linux against our own reader and writer, on Windows against the system's.
#include <cstring>
#include <string>

#include "support/profile_fixture.h"
#include "support/skip.h"

namespace zek {
namespace {

TEST_F(ProfileTest, ReadSyntax) {
  tree_.Write("a.ini",
              "top=1\n \t[  My Sec ]  text after the bracket\n  Key One \t=\t  a  b \t\neq=a=b = c\n"
              "dq=\"q v\"\nsq= 'x' \ntwice=''i''\nlone=\"o\nmixed=\"m'\none=\"\n;x=1\n#h=v # c\nempty=\n"
              "no equals\nKEY ONE=second\n[T]\n[my sec]\nlater=1\n");
  const std::pair<const char*, const char*> cases[] = {
      {"key one", "a  b"}, {"KeyOne", "?"}, {"eq", "a=b = c"}, {"dq", "q v"}, {"sq", "x"}, {"twice", "'i'"}, {"lone", "\"o"}, {"mixed", "\"m'"}, {"one", "\""}, {";x", "1"}, {"x", "?"}, {"#h", "v # c"}, {"empty", ""}, {"no equals", "?"}, {"top", "?"}, {"later", "?"}};
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
      EXPECT_EQ(Get("s", "\xC4\xE9") + Get("S", "b"),
                "\xE4\xF6\xFF"
                "2")
          << end.size() << last;
    }
  }
}

TEST_F(ProfileTest, OddBytesNeverFailARead) {
  ZEK_SKIP_ON_WINDOWS("Windows' INI functions end a value at a NUL byte");
  std::string junk = "[S]\n";
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>(i * 37);
  junk += "\n" + std::string(1 << 20, 'x') + "\nnul=a" + std::string(1, '\0') + "b\nk=v";
  tree_.Write("a.ini", junk);
  EXPECT_EQ(Get("S", "k"), "v");
  EXPECT_EQ(Get("S", "nul"), std::string("a\0b", 3));
  // Neither a directory nor a FIFO is a settings file, and a FIFO must not block.
  tree_.MakeDir("dir.ini");
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("dir.ini")), "d");
  tree_.MakeFifo("fifo.ini");
  EXPECT_EQ(Get("S", "k", "d", tree_.Path("fifo.ini")), "d");
}

TEST_F(ProfileTest, WriteTouchesOnlyItsOwnLine) {
  ZEK_SKIP_ON_WINDOWS("Windows' INI functions rewrite the whole file in their own form");
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
  ZEK_SKIP_ON_WINDOWS("Windows' INI functions rewrite the file on every write, even one that changes nothing");
  const std::string content = "[S]\nk = \"v\" \r\nplain=  w\n";
  tree_.Write("a.ini", content);
  const ino_t inode = Stat(ini_).st_ino;
  EXPECT_TRUE(Put("s", "K", "\"v\""));
  EXPECT_TRUE(Put("S", "plain", "w  "));
  EXPECT_EQ(tree_.Read("a.ini"), content);
  EXPECT_EQ(Stat(ini_).st_ino, inode);
  EXPECT_EQ(Stat(ini_).st_mtime, test::kFixedTime);
}

TEST_F(ProfileTest, ReadOnlyFileIsNeverWritten) {
  // Guards against leaving the refusal to the OS: root may write any file.
  tree_.Write("a.ini", "[S]\nk=old\n");
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_FALSE(Put("S", "k", "new"));
  EXPECT_FALSE(Put("S", "k", "old"));
  EXPECT_EQ(tree_.Read("a.ini"), "[S]\nk=old\n");
  EXPECT_EQ(Get("S", "k"), "old");
}

}  // namespace
}  // namespace zek
