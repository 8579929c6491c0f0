// The read path of the POSIX back end: reads that meet an error behind good
// bytes, O_NONBLOCK on the files it reads, the look that serves both the
// existence and the time test, and the search for directories.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/dos_time.h"
#include "platform/file_access.h"
#include "platform/io_error.h"
#include "support/test_tree.h"

namespace zek {
namespace {

// /proc/self/mem positioned on a readable page that an unmapped page follows:
// a read across the two delivers the first and fails with EIO on the second.
class DamagedMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    good_ = static_cast<char*>(map);
    std::fill(good_, good_ + page_, 'g');
    ASSERT_EQ(munmap(good_ + page_, page_), 0);
    fd_ = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd_, 0);
    ASSERT_EQ(lseek(fd_, static_cast<off_t>(reinterpret_cast<uintptr_t>(good_)), SEEK_SET),
              static_cast<off_t>(reinterpret_cast<uintptr_t>(good_)));
  }
  void TearDown() override {
    if (fd_ >= 0) Files().Close(fd_);
    if (good_ != nullptr) munmap(good_, page_);
  }

  size_t page_ = 0;
  char* good_ = nullptr;
  int fd_ = -1;
};

TEST_F(DamagedMemory, BytesBeforeAReadErrorAreDeliveredAndTheErrorRaisedByTheNextRead) {
  // Guards against a read ahead that throws away good bytes, or ends the run, for an error it may never need.
  std::string buffer(3 * page_, '\0');
  ASSERT_EQ(Files().BlockRead(fd_, buffer.data(), buffer.size()), page_);
  EXPECT_EQ(buffer.substr(0, page_), std::string(page_, 'g'));
  try {
    Files().BlockRead(fd_, buffer.data(), buffer.size());
    FAIL() << "the held error was not raised";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode, EIO);
  }
  // A further read meets the damage afresh, with no byte before it.
  EXPECT_THROW(Files().BlockRead(fd_, buffer.data(), buffer.size()), EInOutError);
}

TEST(BlockReadTest, ReadsThatTheFileRefusesWithEagainAreRetriedBlocking) {
  // Guards against O_NONBLOCK, kept from the open, turning a file that is not ready yet into an I/O error.
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(write(ends[1], "late", 4), 4);
    close(ends[1]);
  });
  char buffer[16] = {};
  size_t got = 0;
  EXPECT_NO_THROW(got = Files().BlockRead(ends[0], buffer, sizeof buffer));
  writer.join();
  EXPECT_EQ(std::string(buffer, got), "late");
  EXPECT_EQ(fcntl(ends[0], F_GETFL) & O_NONBLOCK, 0);
  close(ends[0]);
}

TEST(LookAndOpenTest, TheExistenceTimeAndOpenOfAFileFromOneLook) {
  // Guards against a directory or a dangling link that passes as an existing file, an unreadable file that
  // passes as missing, or a time or size taken from elsewhere.
  test::TempTree tree;
  tree.Write("file", "xyz", test::kFixedTime + 4);
  tree.Write("locked", "l", test::kFixedTime + 8);
  ASSERT_EQ(chmod(tree.Path("locked").c_str(), 0), 0);
  tree.MakeDir("dir");
  ASSERT_EQ(symlink(tree.Path("file").c_str(), tree.Path("link").c_str()), 0);
  ASSERT_EQ(symlink(tree.Path("nowhere").c_str(), tree.Path("dangling").c_str()), 0);
  for (const char* name : {"file", "link"}) {
    const FileLook look = Files().LookAndOpen(tree.Path(name));
    EXPECT_TRUE(look.Exists) << name;
    EXPECT_EQ(look.TimeSteps, LocalTwoSecondSteps(test::kFixedTime + 4)) << name;
    EXPECT_EQ(look.OpenError, 0) << name;
    EXPECT_EQ(look.Size, 3) << name;
    ASSERT_NE(look.Handle, kNoFile) << name;
    char buffer[8];
    EXPECT_EQ(Files().BlockRead(look.Handle, buffer, sizeof buffer), 3u) << name;
    Files().Close(look.Handle);
  }
  for (const char* missing : {"dir", "dangling", "none", "none/deeper"}) {
    const FileLook look = Files().LookAndOpen(tree.Path(missing));
    EXPECT_FALSE(look.Exists) << missing;
    EXPECT_EQ(look.Handle, kNoFile) << missing;
    EXPECT_EQ(look.Exists, Files().FileExists(tree.Path(missing))) << missing;
  }
  EXPECT_FALSE(Files().LookAndOpen("").Exists);
  // Root may read anything; only others find the locked file unreadable.
  if (geteuid() != 0) {
    const FileLook look = Files().LookAndOpen(tree.Path("locked"));
    EXPECT_TRUE(look.Exists);
    EXPECT_EQ(look.OpenError, EACCES);
    EXPECT_EQ(look.TimeSteps, LocalTwoSecondSteps(test::kFixedTime + 8));
    EXPECT_EQ(look.Handle, kNoFile);
  }
}

std::set<std::string> Directories(const std::string& pattern, bool directoriesOnly) {
  std::set<std::string> names;
  FindRecord f;
  int r = directoriesOnly ? Files().FindFirstDirectory(pattern, faDirectory, f) : Files().FindFirst(pattern, faDirectory, f);
  for (; r == 0; r = Files().FindNext(f))
    if ((f.Attr & faDirectory) != 0) names.insert(f.Name);
  Files().FindClose(f);
  return names;
}

TEST(FindFirstDirectoryTest, FindsTheSameDirectoriesAsTheFullSearch) {
  // Guards against a directory, or a link to one, that the search for directories passes over.
  test::TempTree tree;
  tree.MakeDir("sub");
  tree.MakeDir("Other.dir");
  tree.MakeDir(".hidden");
  tree.Write("plain", "1");
  tree.Write("sub.txt", "1");
  ASSERT_EQ(mkfifo(tree.Path("fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink(tree.Path("sub").c_str(), tree.Path("to-sub").c_str()), 0);
  ASSERT_EQ(symlink(tree.Path("nowhere").c_str(), tree.Path("dangling").c_str()), 0);
  const std::set<std::string> expected{".", "..", "sub", "Other.dir", "to-sub"};
  EXPECT_EQ(Directories(tree.Path("*.*"), false), expected);
  EXPECT_EQ(Directories(tree.Path("*.*"), true), expected);
  // The record of a directory found this way is filled as by the full search.
  FindRecord full, quick;
  ASSERT_EQ(Files().FindFirst(tree.Path("sub"), faDirectory, full), 0);
  ASSERT_EQ(Files().FindFirstDirectory(tree.Path("sub"), faDirectory, quick), 0);
  EXPECT_EQ(quick.Name, full.Name);
  EXPECT_EQ(quick.Attr, full.Attr);
  EXPECT_EQ(quick.Time, full.Time);
  EXPECT_EQ(quick.Size, full.Size);
  Files().FindClose(full);
  Files().FindClose(quick);
  // Nothing to find is an error code, as with FindFirst, and leaves no search open.
  FindRecord none;
  EXPECT_NE(Files().FindFirstDirectory(tree.Path("plain"), faDirectory, none), 0);
  EXPECT_EQ(none.Handle, nullptr);
}

TEST(HoldDirectoryTest, NamesInAHeldDirectoryAreLookedUpThere) {
  // Guards against a held directory that answers for paths outside it, stays open after its last release, or
  // makes a lookup differ from one through the whole path.
  test::TempTree tree;
  tree.MakeDir("d");
  tree.MakeDir("d/sub");
  tree.MakeDir("other");
  tree.Write("d/f", "in d");
  tree.Write("other/f", "in other");
  const std::string d = tree.Path("d");
  const std::string moved = tree.Path("moved");
  FileAccess files;
  files.HoldDirectory(d + "//");
  files.HoldDirectory(d);  // holds nest
  // Moved away, the held directory still answers for its own names, however they are spelt.
  ASSERT_EQ(rename(d.c_str(), moved.c_str()), 0);
  for (const std::string& path : {d + "/f", d + "//f"}) {
    const FileLook look = files.LookAndOpen(path);
    EXPECT_EQ(look.Size, 4) << path;
    files.Close(look.Handle);
  }
  // Not spelt as a name in it, a path is looked up as it stands.
  EXPECT_FALSE(files.LookAndOpen(d + "/./f").Exists);
  FileId id, sub;
  EXPECT_TRUE(files.DirectoryId(d, id));
  EXPECT_TRUE(files.DirectoryExists(d + "/sub"));
  EXPECT_TRUE(files.DirectoryId(moved, sub));
  EXPECT_EQ(id, sub);
  EXPECT_TRUE(files.FileExists(tree.Path("other/f")));
  FindRecord f;
  ASSERT_EQ(files.FindFirst(d + "/f*", faAnyFile, f), 0);
  EXPECT_EQ(f.Name, "f");
  files.FindClose(f);
  // Released as often as held, the path means what it says again.
  files.ReleaseDirectory(d);
  EXPECT_TRUE(files.FileExists(d + "/f"));
  files.ReleaseDirectory(d);
  EXPECT_FALSE(files.FileExists(d + "/f"));
  EXPECT_FALSE(files.DirectoryId(d, id));
  // A directory that cannot be held changes nothing.
  files.HoldDirectory(tree.Path("none"));
  files.ReleaseDirectory(tree.Path("none"));
  EXPECT_FALSE(files.FileExists(tree.Path("none/f")));
}

}  // namespace
}  // namespace zek
