// spinning_disk: one image file served through FUSE as a spinning hard disk
// would serve it, one request at a time: a USB disk that takes no queue of
// commands. Requests are served in the order the kernel sends them (one FUSE
// thread), each costing a seek that grows with the distance from
// where the last one ended (nothing when it starts right there, FULL_MS across
// the whole image) plus the transfer at RATE MB/s. Writes cost nothing, so that
// a file system is made and filled on it quickly. The file is opened for direct
// I/O, so that no page cache of this file system hides the cost; a loop device
// over it (losetup --direct-io=on) with a file system on it is then a slow disk
// whose own cache the benchmark drops.
//
//   spinning_disk IMAGE MOUNTPOINT [FULL_MS [RATE]]     (defaults 8 ms, 150 MB/s)
//
// It stays in the foreground until the mount point is unmounted.
#define FUSE_USE_VERSION 31
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr const char* kName = "/disk.img";

using Clock = std::chrono::steady_clock;

struct Disk {
  int Fd = -1;
  off_t Size = 0;
  double FullSeekMs = 8.0;
  double BytesPerMs = 150e3;  // 150 MB/s
  off_t Position = 0;         // where the head is after the last request
  long long Requests = 0;
  long long Seeks = 0;
};

Disk g_disk;

// A seek is a short settle plus a part that grows with the square root of the
// distance, as a head's travel does; a request that starts where the last ended
// is served without one.
double SeekMs(off_t from, off_t to) {
  if (from == to) return 0.0;
  const double fraction = std::fabs(static_cast<double>(to - from)) / static_cast<double>(g_disk.Size);
  const double settle = 0.1 * g_disk.FullSeekMs;
  return settle + (g_disk.FullSeekMs - settle) * std::sqrt(std::fmin(fraction, 1.0));
}

// Takes as long as the disk would for the request.
void Serve(off_t offset, size_t size) {
  const Clock::time_point start = Clock::now();
  const double seek = SeekMs(g_disk.Position, offset);
  const double ms = seek + static_cast<double>(size) / g_disk.BytesPerMs;
  g_disk.Position = offset + static_cast<off_t>(size);
  ++g_disk.Requests;
  if (seek > 0) ++g_disk.Seeks;
  std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms)));
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
  std::memset(st, 0, sizeof *st);
  if (std::strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
  }
  if (std::strcmp(path, kName) != 0) return -ENOENT;
  st->st_mode = S_IFREG | 0644;
  st->st_nlink = 1;
  st->st_size = g_disk.Size;
  return 0;
}

int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
  if (std::strcmp(path, "/") != 0) return -ENOENT;
  fill(buf, ".", nullptr, 0, fuse_fill_dir_flags{});
  fill(buf, "..", nullptr, 0, fuse_fill_dir_flags{});
  fill(buf, kName + 1, nullptr, 0, fuse_fill_dir_flags{});
  return 0;
}

int Open(const char* path, fuse_file_info* fi) {
  if (std::strcmp(path, kName) != 0) return -ENOENT;
  fi->direct_io = 1;
  return 0;
}

int Read(const char*, char* buf, size_t size, off_t offset, fuse_file_info*) {
  if (offset >= g_disk.Size) return 0;
  size = static_cast<size_t>(std::min<off_t>(static_cast<off_t>(size), g_disk.Size - offset));
  Serve(offset, size);
  const ssize_t got = pread(g_disk.Fd, buf, size, offset);
  return got < 0 ? -errno : static_cast<int>(got);
}

int Write(const char*, const char* buf, size_t size, off_t offset, fuse_file_info*) {
  if (offset + static_cast<off_t>(size) > g_disk.Size) return -ENOSPC;
  const ssize_t put = pwrite(g_disk.Fd, buf, size, offset);
  return put < 0 ? -errno : static_cast<int>(put);
}

int Flush(const char*, fuse_file_info*) { return 0; }

int Fsync(const char*, int, fuse_file_info*) { return fdatasync(g_disk.Fd) == 0 ? 0 : -errno; }

void Destroy(void*) {
  std::fprintf(stderr, "spinning_disk: %lld requests, %lld with a seek\n", g_disk.Requests, g_disk.Seeks);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    std::fprintf(stderr, "usage: spinning_disk IMAGE MOUNTPOINT [FULL_MS [RATE_MB_S]]\n");
    return 2;
  }
  g_disk.Fd = open(argv[1], O_RDWR | O_CLOEXEC);
  struct stat st {};
  if (g_disk.Fd < 0 || fstat(g_disk.Fd, &st) != 0 || st.st_size == 0) {
    std::perror(argv[1]);
    return 2;
  }
  g_disk.Size = st.st_size;
  if (argc > 3) g_disk.FullSeekMs = std::atof(argv[3]);
  if (argc > 4) g_disk.BytesPerMs = std::atof(argv[4]) * 1e3;

  fuse_operations ops{};
  ops.getattr = GetAttr;
  ops.readdir = ReadDir;
  ops.open = Open;
  ops.read = Read;
  ops.write = Write;
  ops.flush = Flush;
  ops.fsync = Fsync;
  ops.destroy = Destroy;
  // In the foreground, and one thread: the kernel's order is the disk's.
  char* fuseArgs[] = {argv[0], const_cast<char*>("-f"), const_cast<char*>("-s"), argv[2], nullptr};
  return fuse_main(4, fuseArgs, &ops, nullptr);
}
