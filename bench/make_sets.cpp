// Writes the benchmark's data sets, the same bytes on every run, and the lines
// that zek32 --batch must print for each (one per line, in any order).
//
//   make_sets pair  DIR SIZE         DIR/src/big.bin and an identical DIR/tgt/big.bin
//   make_sets flip  DIR              changes the first byte of DIR/tgt/big.bin
//   make_sets tree  DIR FILES        FILES files of 1-64 KiB in 200 directories, depth
//                                    up to 5; the target a copy with 1% altered
//   make_sets chain DIR DEPTH        DEPTH nested directories with one file each,
//                                    built relative to open directories, as the
//                                    deep end lies beyond any path the system takes
//   make_sets flat  DIR FILES        FILES empty files in one directory, both sides
//   make_sets wide  DIR FILES        FILES empty files, 1,000 to a directory, in a
//                                    tree of 10 directories each holding 10 more
//
// Every file gets the same last-write time, so only contents and sizes differ.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr time_t kTime = 1700000000;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "make_sets: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(2);
}

// splitmix64: fast, and the same sequence everywhere.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  void Fill(unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; i += 8) {
      const uint64_t word = Next();
      std::memcpy(data + i, &word, size - i < 8 ? size - i : 8);
    }
  }
};

void MakeDir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) Fail(path);
}

void SetTime(const std::string& path, int dir = AT_FDCWD) {
  const timespec times[2] = {{kTime, 0}, {kTime, 0}};
  if (utimensat(dir, path.c_str(), times, 0) != 0) Fail(path);
}

// path is relative to the directory dir, or to the current one.
void WriteFile(const std::string& path, const unsigned char* data, size_t size, int dir = AT_FDCWD) {
  const int fd = openat(dir, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail(path);
  for (size_t done = 0; done < size;) {
    const ssize_t put = write(fd, data + done, size - done);
    if (put < 0) Fail(path);
    done += static_cast<size_t>(put);
  }
  if (close(fd) != 0) Fail(path);
  SetTime(path, dir);
}

// Both files are written from the same stream, one chunk at a time.
void Pair(const std::string& dir, uint64_t size) {
  MakeDir(dir + "/src");
  MakeDir(dir + "/tgt");
  const std::string names[2] = {dir + "/src/big.bin", dir + "/tgt/big.bin"};
  int fds[2];
  for (int k = 0; k < 2; ++k) {
    fds[k] = open(names[k].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fds[k] < 0) Fail(names[k]);
  }
  Random random{1};
  std::vector<unsigned char> chunk(1 << 20);
  for (uint64_t done = 0; done < size;) {
    const size_t n = size - done < chunk.size() ? static_cast<size_t>(size - done) : chunk.size();
    random.Fill(chunk.data(), n);
    for (int k = 0; k < 2; ++k)
      if (write(fds[k], chunk.data(), n) != static_cast<ssize_t>(n)) Fail(names[k]);
    done += n;
  }
  for (int k = 0; k < 2; ++k) {
    if (close(fds[k]) != 0) Fail(names[k]);
    SetTime(names[k]);
  }
}

void Flip(const std::string& dir) {
  const std::string name = dir + "/tgt/big.bin";
  const int fd = open(name.c_str(), O_RDWR);
  unsigned char byte = 0;
  if (fd < 0 || pread(fd, &byte, 1, 0) != 1) Fail(name);
  byte ^= 0xFF;
  if (pwrite(fd, &byte, 1, 0) != 1 || close(fd) != 0) Fail(name);
  SetTime(name);
}

// Directory k's parent is (k-1)/3: 1 + 3 + 9 + 27 + 81 directories down to depth
// 4, the remaining 79 at depth 5.
void Tree(const std::string& dir, int files) {
  constexpr int kDirs = 200;
  std::vector<std::string> rel(kDirs);
  for (int k = 1; k < kDirs; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "d%03d", k);
    rel[k] = rel[(k - 1) / 3] + "/" + name;
  }
  for (const char* side : {"/src", "/tgt"})
    for (const std::string& r : rel) MakeDir(dir + side + r);

  FILE* expected = std::fopen((dir + "/expected.txt").c_str(), "w");
  if (expected == nullptr) Fail(dir + "/expected.txt");
  Random random{2};
  std::vector<unsigned char> data(64 * 1024 + 1024);
  int missing = 0;
  int different = 0;
  for (int j = 0; j < files; ++j) {
    char name[24];
    std::snprintf(name, sizeof name, "/f%05d.dat", j);
    const std::string at = rel[static_cast<size_t>(j % kDirs)] + name;
    const std::string src = dir + "/src" + at;
    const std::string tgt = dir + "/tgt" + at;
    const size_t size = 1024 + static_cast<size_t>(random.Next() % (63 * 1024 + 1));
    random.Fill(data.data(), size);
    WriteFile(src, data.data(), size);
    const std::string pair = "File " + src + " and " + tgt;
    // One file in a hundred is altered, the three kinds taking turns.
    if (j % 100 != 37) {
      WriteFile(tgt, data.data(), size);
    } else if ((j / 100) % 3 == 0) {
      data[random.Next() % size] ^= 0x5A;
      WriteFile(tgt, data.data(), size);
      std::fprintf(expected, "%s do not match.\n", pair.c_str());
      ++different;
    } else if ((j / 100) % 3 == 1) {
      WriteFile(tgt, data.data(), size + 1 + random.Next() % 1000);
      std::fprintf(expected, "%s have different size.\n%s do not match.\n", pair.c_str(), pair.c_str());
      ++different;
    } else {
      std::fprintf(expected, "Target file not found: %s\n", tgt.c_str());
      ++missing;
    }
  }
  std::fprintf(expected, "running...\nfinished.\nFiles total: %d\n", files);
  if (missing != 0) std::fprintf(expected, "Target files not found: %d\n", missing);
  if (different != 0) std::fprintf(expected, "Files with differences: %d\n", different);
  std::fprintf(expected, "%s\n", missing + different != 0 ? "Differences found." : "No differences found");
  if (std::fclose(expected) != 0) Fail(dir + "/expected.txt");
}

void Chain(const std::string& dir, int depth) {
  unsigned char data[100];
  Random random{3};
  random.Fill(data, sizeof data);
  for (const char* side : {"/src", "/tgt"}) {
    int at = open((dir + side).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int k = 0; k < depth && at >= 0; ++k) {
      if (mkdirat(at, "d", 0755) != 0 && errno != EEXIST) Fail(dir + side + ": level " + std::to_string(k + 1));
      const int next = openat(at, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      close(at);
      at = next;
      if (at >= 0) WriteFile("f.dat", data, sizeof data, at);
    }
    if (at < 0) Fail(dir + side);
    close(at);
  }
  FILE* expected = std::fopen((dir + "/expected.txt").c_str(), "w");
  if (expected == nullptr) Fail(dir + "/expected.txt");
  std::fprintf(expected, "running...\nfinished.\nFiles total: %d\nNo differences found\n", depth);
  if (std::fclose(expected) != 0) Fail(dir + "/expected.txt");
}

// Empty files are enough for a walk: each is looked at, opened and read to its end.
void EmptyFiles(const std::string& dir, int files, int perDirectory) {
  for (const char* side : {"/src", "/tgt"}) {
    const std::string root = dir + side;
    for (int j = 0; j < files; ++j) {
      std::string at = root;
      if (perDirectory < files) {
        const int k = j / perDirectory;
        char name[32];
        std::snprintf(name, sizeof name, "/d%d/e%d/f%d", k / 100, k / 10 % 10, k % 10);
        at += name;
        if (j % perDirectory == 0) {
          for (size_t slash = root.size() + 1; (slash = at.find('/', slash)) != std::string::npos; ++slash)
            MakeDir(at.substr(0, slash));
          MakeDir(at);
        }
      }
      char name[24];
      std::snprintf(name, sizeof name, "/n%07d.dat", j);
      WriteFile(at + name, nullptr, 0);
    }
  }
  FILE* expected = std::fopen((dir + "/expected.txt").c_str(), "w");
  if (expected == nullptr) Fail(dir + "/expected.txt");
  std::fprintf(expected, "running...\nfinished.\nFiles total: %d\nNo differences found\n", files);
  if (std::fclose(expected) != 0) Fail(dir + "/expected.txt");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc > 2 ? argv[1] : "";
  const std::string dir = argc > 2 ? argv[2] : "";
  if (kind == "pair" && argc == 4) {
    MakeDir(dir);
    Pair(dir, std::strtoull(argv[3], nullptr, 10));
  } else if (kind == "flip" && argc == 3) {
    Flip(dir);
  } else if (kind == "tree" && argc == 4) {
    MakeDir(dir);
    MakeDir(dir + "/src");
    MakeDir(dir + "/tgt");
    Tree(dir, std::atoi(argv[3]));
  } else if (kind == "chain" && argc == 4) {
    MakeDir(dir);
    MakeDir(dir + "/src");
    MakeDir(dir + "/tgt");
    Chain(dir, std::atoi(argv[3]));
  } else if ((kind == "flat" || kind == "wide") && argc == 4) {
    MakeDir(dir);
    MakeDir(dir + "/src");
    MakeDir(dir + "/tgt");
    const int files = std::atoi(argv[3]);
    EmptyFiles(dir, files, kind == "flat" ? files : 1000);
  } else {
    std::fprintf(stderr, "usage: make_sets pair DIR SIZE | flip DIR | tree DIR FILES | chain DIR DEPTH | flat DIR FILES | wide DIR FILES\n");
    return 2;
  }
  return 0;
}
