// What the read-ahead helpers fetch into the page cache on a cold local disk.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <linux/magic.h>

#include <string>
#include <vector>

#include "faults/fault_support.h"

namespace zek::test {
namespace {

constexpr size_t kFileSize = 1 << 20;

// Writes a file's pages to the device and drops them from the cache.
bool DropFromCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool dropped = fsync(fd) == 0 && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  close(fd);
  return dropped;
}

// How many of a file's pages are in the page cache.
long ResidentPages(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const long page = sysconf(_SC_PAGESIZE);
  void* map = mmap(nullptr, kFileSize, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return -1;
  std::vector<unsigned char> in(kFileSize / page);
  long resident = 0;
  if (mincore(map, kFileSize, in.data()) == 0)
    for (unsigned char p : in) resident += p & 1;
  munmap(map, kFileSize);
  return resident;
}

using ColdCacheTest = FaultTreeTest;

TEST_F(ColdCacheTest, TheHelpersFetchNoByteThatTheRunDoesNotRead) {
  // Guards against helpers that fetch whole files in time-and-size mode, or pairs whose sizes already differ.
  struct statfs st {};
  ASSERT_EQ(statfs(tree.Root().c_str(), &st), 0);
  if (st.f_type == TMPFS_MAGIC || st.f_type == RAMFS_MAGIC)
    GTEST_SKIP() << "the temporary directory is in memory: nothing is fetched";
  // Equal pairs keep the run reading while the helpers run ahead to the pairs
  // of different sizes, whose bytes the run never reads.
  std::vector<std::string> same, differing;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "f" + std::to_string(i) + ".bin";
    std::string content(kFileSize, static_cast<char>(i + 1));
    tree.Write("src/" + name, content);
    if (i % 2 == 1) content.resize(kFileSize - 1);
    tree.Write("tgt/" + name, content);
    (i % 2 == 1 ? differing : same).push_back(name);
  }
  const auto coldAll = [&] {
    for (const std::string& side : {"src/", "tgt/"})
      for (const std::vector<std::string>* names : {&same, &differing})
        for (const std::string& name : *names)
          if (!DropFromCache(tree.Path(side + name)) || ResidentPages(tree.Path(side + name)) != 0) return false;
    return true;
  };
  const auto fetched = [&](const std::vector<std::string>& names) {
    long pages = 0;
    for (const std::string& name : names) pages += ResidentPages(Src(name)) + ResidentPages(Tgt(name));
    return pages;
  };
  if (!coldAll()) GTEST_SKIP() << "the page cache does not drop these files";

  const ProcessResult timeAndSize = Compare({"-o", "CompareOnlyTimeDateSize=1"});
  EXPECT_EQ(timeAndSize.ExitCode, 1) << timeAndSize.Err;
  EXPECT_EQ(fetched(same) + fetched(differing), 0) << "a run that reads no byte had bytes fetched";

  ASSERT_TRUE(coldAll());
  const ProcessResult bytes = Compare();
  EXPECT_EQ(bytes.ExitCode, 1) << bytes.Err;
  EXPECT_GT(fetched(same), 0) << "the equal pairs were not read";
  EXPECT_EQ(fetched(differing), 0) << "pairs of different sizes had bytes fetched";
}

}  // namespace
}  // namespace zek::test
