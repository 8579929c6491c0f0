// zek_faultfs: a read-only FUSE file system of zero-filled files of any size,
// served without storage. A file that stalls holds every open of it (one that
// stalls its reads: every read of it), as a hung network server does, until a
// file named like the marker plus ".go" exists (or two minutes have passed). A file may carry a damaged page: every read request
// that touches it fails with EIO, as a bad sector does, and each such failure
// appends a line to the marker file, so that a test can tell that its fault
// really fired. The kernel's page cache sits in between, so a reader gets every
// page before the damaged one and then the error.
//
//   zek_faultfs --marker FILE [--mtime SECONDS] --file NAME:SIZE[:DAMAGED_PAGE_OFFSET|:decay|:stall|:stallread]... MOUNTPOINT
#define FUSE_USE_VERSION 31
#include <fcntl.h>
#include <fuse.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct ServedFile {
  std::string Name;
  off_t Size = 0;
  off_t EioOffset = -1;  // start of the damaged page; -1: none
  bool Decays = false;
  bool Stalls = false;
  bool StallsReads = false;
  std::vector<bool> PageServed;  // of a decaying file
};

constexpr off_t kPage = 4096;

std::vector<ServedFile> g_files;
std::string g_marker;
time_t g_mtime = 0;

ServedFile* Find(const char* path) {
  if (path[0] != '/') return nullptr;
  for (ServedFile& f : g_files)
    if (f.Name == path + 1) return &f;
  return nullptr;
}

void Mark(const std::string& line) {
  const int fd = open(g_marker.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (write(fd, line.data(), line.size()) < 0) perror("marker");
  close(fd);
}

void* Init(fuse_conn_info* conn, fuse_config*) {
  // Large read-ahead requests keep a file of many gibibytes cheap to read;
  // max_write also sets how many pages one request may carry.
  conn->max_readahead = 1 << 20;
  conn->max_write = 1 << 20;
  return nullptr;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
  std::memset(st, 0, sizeof *st);
  st->st_mtime = st->st_atime = st->st_ctime = g_mtime;
  if (std::strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
  }
  const ServedFile* f = Find(path);
  if (f == nullptr) return -ENOENT;
  st->st_mode = S_IFREG | 0444;
  st->st_nlink = 1;
  st->st_size = f->Size;
  return 0;
}

int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
  if (std::strcmp(path, "/") != 0) return -ENOENT;
  fill(buf, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buf, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  for (const ServedFile& f : g_files) fill(buf, f.Name.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  return 0;
}

// Holds the calling request until the test lets it go.
void Stall(const std::string& markLine) {
  Mark(markLine);
  const std::string go = g_marker + ".go";
  struct stat seen {};
  for (int i = 0; i < 1200 && stat(go.c_str(), &seen) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

int Open(const char* path, fuse_file_info* fi) {
  const ServedFile* f = Find(path);
  if (f == nullptr) return -ENOENT;
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  if (f->Stalls) Stall("STALL " + f->Name + "\n");
  fi->keep_cache = f->Decays;
  return 0;
}

// Fills a decaying file's bytes: zeros where a page is served the first time.
void Decay(ServedFile& f, char* buf, off_t offset, off_t end) {
  for (off_t at = offset; at < end;) {
    const size_t page = static_cast<size_t>(at / kPage);
    const off_t pageEnd = std::min<off_t>(end, (at / kPage + 1) * kPage);
    const bool served = f.PageServed[page];
    std::memset(buf + (at - offset), served ? 0xFF : 0, static_cast<size_t>(pageEnd - at));
    if (served) Mark("DECAYED " + f.Name + " " + std::to_string(at) + "\n");
    f.PageServed[page] = true;
    at = pageEnd;
  }
}

int Read(const char* path, char* buf, size_t size, off_t offset, fuse_file_info*) {
  ServedFile* f = Find(path);
  if (f == nullptr) return -ENOENT;
  if (f->StallsReads) Stall("STALLREAD " + f->Name + "\n");
  if (offset >= f->Size) return 0;
  off_t end = offset + static_cast<off_t>(size);
  if (end > f->Size) end = f->Size;
  // A short answer would tell the kernel that the file ends there, so a
  // request that touches the damaged page fails as a whole.
  if (f->EioOffset >= 0 && offset < f->EioOffset + kPage && f->EioOffset < end) {
    Mark("EIO " + f->Name + " " + std::to_string(f->EioOffset) + "\n");
    return -EIO;
  }
  if (f->Decays) {
    Decay(*f, buf, offset, end);
    return static_cast<int>(end - offset);
  }
  std::memset(buf, 0, static_cast<size_t>(end - offset));
  return static_cast<int>(end - offset);
}

bool ParseFile(const std::string& description, ServedFile& f) {
  const size_t first = description.find(':');
  if (first == std::string::npos || first == 0) return false;
  f.Name = description.substr(0, first);
  const size_t second = description.find(':', first + 1);
  try {
    f.Size = std::stoll(description.substr(first + 1, second - first - 1));
    if (second != std::string::npos && description.substr(second + 1) == "stall") {
      f.Stalls = true;
    } else if (second != std::string::npos && description.substr(second + 1) == "stallread") {
      f.StallsReads = true;
    } else if (second != std::string::npos && description.substr(second + 1) == "decay") {
      f.Decays = true;
      f.PageServed.assign(static_cast<size_t>((f.Size + kPage - 1) / kPage), false);
    } else if (second != std::string::npos) {
      f.EioOffset = std::stoll(description.substr(second + 1));
    }
  } catch (const std::exception&) {
    return false;
  }
  return f.Size >= 0 && (f.EioOffset == -1 || (f.EioOffset >= 0 && f.EioOffset % kPage == 0));
}

int Usage() {
  std::fputs(
      "usage: zek_faultfs --marker FILE [--mtime SECONDS] --file NAME:SIZE[:DAMAGED_PAGE_OFFSET|:decay|:stall|:stallread]... "
      "MOUNTPOINT\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mountPoint;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--marker" && hasValue) {
      g_marker = argv[++i];
    } else if (arg == "--mtime" && hasValue) {
      g_mtime = static_cast<time_t>(std::stoll(argv[++i]));
    } else if (arg == "--file" && hasValue) {
      ServedFile f;
      if (!ParseFile(argv[++i], f)) return Usage();
      g_files.push_back(f);
    } else if (mountPoint.empty() && arg[0] != '-') {
      mountPoint = arg;
    } else {
      return Usage();
    }
  }
  if (mountPoint.empty() || g_marker.empty()) return Usage();

  fuse_operations ops{};
  ops.init = Init;
  ops.getattr = GetAttr;
  ops.readdir = ReadDir;
  ops.open = Open;
  ops.read = Read;
  // Foreground, and single-threaded unless a file stalls: a stalled request
  // must leave the others served. The test owns the process and stops it with SIGTERM.
  const bool stalls = std::any_of(g_files.begin(), g_files.end(), [](const ServedFile& f) { return f.Stalls || f.StallsReads; });
  std::vector<const char*> fuseArgs = {argv[0], "-f", "-o", "fsname=zekfault,allow_other"};
  if (!stalls) fuseArgs.push_back("-s");
  fuseArgs.push_back(mountPoint.c_str());
  return fuse_main(static_cast<int>(fuseArgs.size()), const_cast<char**>(fuseArgs.data()), &ops, nullptr);
}
