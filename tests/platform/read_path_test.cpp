// The read path of the POSIX back end: reads that meet an error behind good
// bytes, O_NONBLOCK on the files it reads, links and unreadable files in the
// look that serves both the existence and the time test, and directories held
// open. The cases that hold on every system are in platform_test.cpp.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/dos_time.h"
#include "platform/file_access.h"
#include "platform/io_error.h"
#include "support/skip.h"
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
  ZEK_SKIP_UNDER_SANITIZERS("the sanitizer's own memory may be mapped into the page this test unmaps");
  std::string buffer(3 * page_, '\0');
  ASSERT_EQ(Files().BlockRead(fd_, buffer.data(), buffer.size()).OrRaise(), page_);
  EXPECT_EQ(buffer.substr(0, page_), std::string(page_, 'g'));
  EXPECT_EQ(Files().BlockRead(fd_, buffer.data(), buffer.size()).Error(), EIO) << "the held error was not given";
  // A further read meets the damage afresh, with no byte before it.
  EXPECT_FALSE(Files().BlockRead(fd_, buffer.data(), buffer.size()).Ok());
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
  const FileResult<size_t> got = Files().BlockRead(ends[0], buffer, sizeof buffer);
  writer.join();
  EXPECT_TRUE(got.Ok());
  EXPECT_EQ(std::string(buffer, got.Value()), "late");
  EXPECT_EQ(fcntl(ends[0], F_GETFL) & O_NONBLOCK, 0);
  close(ends[0]);
}

TEST(LookAndOpenTest, ALinkIsItsFileAndAnUnreadableFileStillExists) {
  // Guards against a dangling link that passes as an existing file, an unreadable file that passes as missing,
  // or a link's time and size taken from the link itself.
  test::TempTree tree;
  tree.Write("file", "xyz", test::kFixedTime + 4);
  tree.Write("locked", "l", test::kFixedTime + 8);
  ASSERT_EQ(chmod(tree.Path("locked").c_str(), 0), 0);
  ASSERT_EQ(symlink(tree.Path("file").c_str(), tree.Path("link").c_str()), 0);
  ASSERT_EQ(symlink(tree.Path("nowhere").c_str(), tree.Path("dangling").c_str()), 0);
  const FileLook look = Files().LookAndOpen(tree.Path("link"));
  EXPECT_TRUE(look.Exists);
  EXPECT_EQ(look.TimeSteps, LocalTwoSecondSteps(test::kFixedTime + 4));
  EXPECT_EQ(look.Size, 3);
  ASSERT_NE(look.Handle, kNoFile);
  Files().Close(look.Handle);
  EXPECT_FALSE(Files().LookAndOpen(tree.Path("dangling")).Exists);
  EXPECT_FALSE(Files().FileExists(tree.Path("dangling")));
  // Root may read anything; only others find the locked file unreadable.
  if (geteuid() != 0) {
    const FileLook locked = Files().LookAndOpen(tree.Path("locked"));
    EXPECT_TRUE(locked.Exists);
    EXPECT_EQ(locked.OpenError, EACCES);
    EXPECT_EQ(locked.TimeSteps, LocalTwoSecondSteps(test::kFixedTime + 8));
    EXPECT_EQ(locked.Handle, kNoFile);
  }
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
  (void)files.HoldDirectory(d + "//");
  (void)files.HoldDirectory(d);  // holds nest
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
  ASSERT_TRUE(files.FindFirst(d + "/f*", faAnyFile, f).Found());
  EXPECT_EQ(f.Name, "f");
  files.FindClose(f);
  // Released as often as held, the path means what it says again.
  files.ReleaseDirectory(d);
  EXPECT_TRUE(files.FileExists(d + "/f"));
  files.ReleaseDirectory(d);
  EXPECT_FALSE(files.FileExists(d + "/f"));
  EXPECT_FALSE(files.DirectoryId(d, id));
  // A directory that cannot be held changes nothing.
  (void)files.HoldDirectory(tree.Path("none"));
  files.ReleaseDirectory(tree.Path("none"));
  EXPECT_FALSE(files.FileExists(tree.Path("none/f")));
}

}  // namespace
}  // namespace zek
