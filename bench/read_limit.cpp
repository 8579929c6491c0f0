// The read limit of the storage: every regular file below the given
// directories read once, whole, by READERS threads at a time, each taking the
// next file of one shared list. The benchmark times it beside zek32 with the
// page cache dropped, to show what the disk can serve when it is kept busy.
//
// With --pair, the warm limit of comparing two files: a plain loop that reads
// 1 MiB of each in turn and compares them with memcmp, in one thread. Exit 0
// when the files are equal, 1 when they differ.
//
// With --physical, the limit of a seeking disk: every regular file below DIR
// read once, whole, one at a time, in the order of where its data start on
// the device (FIEMAP), so that the head sweeps across the disk once.
//
//   read_limit READERS DIR...
//   read_limit --pair FILE FILE
//   read_limit --physical DIR
#include <dirent.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

void List(const std::string& dir, std::vector<std::string>& files) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    std::perror(dir.c_str());
    std::exit(2);
  }
  std::vector<std::string> subdirs;
  while (const dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + "/" + name;
    if (entry->d_type == DT_DIR) {
      subdirs.push_back(path);
    } else if (entry->d_type == DT_REG) {
      files.push_back(path);
    }
  }
  closedir(d);
  for (const std::string& sub : subdirs) List(sub, files);
}

int ComparePair(const char* first, const char* second) {
  const int a = open(first, O_RDONLY | O_CLOEXEC);
  const int b = open(second, O_RDONLY | O_CLOEXEC);
  if (a < 0 || b < 0) {
    std::perror("read_limit");
    return 2;
  }
  constexpr size_t kChunk = 1 << 20;
  std::vector<char> x(kChunk);
  std::vector<char> y(kChunk);
  for (;;) {
    const ssize_t got = read(a, x.data(), kChunk);
    if (got < 0 || read(b, y.data(), static_cast<size_t>(got)) != got) return 1;
    if (got == 0) return read(b, y.data(), 1) == 0 ? 0 : 1;
    if (std::memcmp(x.data(), y.data(), static_cast<size_t>(got)) != 0) return 1;
  }
}

// Where the file's data start on the device; files without data sort first.
uint64_t FirstPhysicalByte(int fd) {
  alignas(fiemap) char space[sizeof(fiemap) + sizeof(fiemap_extent)] = {};
  auto* map = reinterpret_cast<fiemap*>(space);
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_extent_count = 1;
  if (ioctl(fd, FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents == 0) return 0;
  return map->fm_extents[0].fe_physical;
}

int ReadInPhysicalOrder(const char* dir) {
  std::vector<std::string> files;
  List(dir, files);
  std::vector<std::pair<uint64_t, std::string>> order;
  for (std::string& file : files) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    order.emplace_back(FirstPhysicalByte(fd), std::move(file));
    close(fd);
  }
  std::sort(order.begin(), order.end());
  std::vector<char> buffer(1 << 20);
  for (const auto& [physical, file] : order) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--pair") == 0) return ComparePair(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "--physical") == 0) return ReadInPhysicalOrder(argv[2]);
  if (argc < 3 || std::atoi(argv[1]) < 1) {
    std::fprintf(stderr, "usage: read_limit READERS DIR...\n");
    return 2;
  }
  const int readers = std::atoi(argv[1]);
  std::vector<std::string> files;
  for (int i = 2; i < argc; ++i) List(argv[i], files);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<std::thread> pool;
  for (int r = 0; r < readers; ++r) {
    pool.emplace_back([&] {
      std::vector<char> buffer(1 << 17);
      for (size_t i = next++; i < files.size(); i = next++) {
        const int fd = open(files[i].c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
          failed = true;
          continue;
        }
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
      }
    });
  }
  for (std::thread& t : pool) t.join();
  if (failed) std::fprintf(stderr, "read_limit: some files could not be opened\n");
  return failed ? 1 : 0;
}
