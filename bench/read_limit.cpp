// The read limit of the storage: every regular file below the given
// directories read once, whole, by READERS threads at a time, each taking the
// next file of one shared list. The benchmark times it beside zek32 with the
// page cache dropped, to show what the disk can serve when it is kept busy.
//
//   read_limit READERS DIR...
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

}  // namespace

int main(int argc, char** argv) {
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
