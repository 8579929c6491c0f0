#include "platform/read_ahead.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "platform/wildcard.h"

namespace zek {
namespace {

// A reader waits only for a file's inode; the file's data are asked for
// without waiting. So a few readers keep the disk's queue full, and more only
// take processor time from the run: on two cores a cold run took 1.88 s with
// 16 readers and 1.64 s with 4. Two a core, 4 to 16.
int ReadersForTheProcessors() {
  return static_cast<int>(std::clamp(2 * std::thread::hardware_concurrency(), 4u, 16u));
}
// Descriptors left to the run itself: its held directory pairs, the two files
// of a pair, the log and the standard streams.
constexpr int64_t kRunDescriptors = 48;
// How far the helpers may run ahead of the run, in pairs and in bytes asked for.
constexpr int64_t kPairsAhead = 128;
constexpr int64_t kBytesAhead = 32 << 20;
// A walk that has run ahead that far waits until it can go this many pairs on,
// so that the run wakes it once per so many pairs, not for every one.
constexpr int64_t kRefill = 32;
// Of a big file only the start is asked for; the kernel's own read-ahead
// follows the run's sequential reads from there.
constexpr int64_t kFirstBytes = 4 << 20;
// After this many files in a row found cached, only every kSampleEvery-th
// pair is looked at, until one is found cold again.
constexpr int kWarmStreak = 32;
constexpr int64_t kSampleEvery = 16;

// The helpers call the kernel directly, not through the C library's open,
// readdir and fstatat: those are the run's own calls, and a library that
// stands in for them (a test's race shim) must see the run's calls only.
int OpenAt(int dir, const char* path, int flags) {
  return static_cast<int>(syscall(SYS_openat, dir, path, flags | O_CLOEXEC | O_NOCTTY, 0));
}

bool StatAt(int dir, const char* path, struct stat& st) {
  struct statx sx {};
  if (statx(dir, path, AT_NO_AUTOMOUNT, STATX_TYPE | STATX_INO, &sx) != 0) return false;
  st.st_mode = sx.stx_mode;
  st.st_ino = sx.stx_ino;
  st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  return true;
}

// The readers for the processors, as many as the descriptor limit leaves room
// for beside the run and the helpers' walk: each reader holds one file open at
// a time. A process held to few descriptors keeps them for the run, whose
// opens must never fail because of its helpers.
int ReadersToStart() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  const int wanted = ReadersForTheProcessors();
  if (limit.rlim_cur == RLIM_INFINITY) return wanted;
  std::error_code error;
  int64_t open = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error))
    ++open;
  if (error) return 0;
  const int64_t free = static_cast<int64_t>(limit.rlim_cur) - open - kRunDescriptors - 1;
  return static_cast<int>(std::clamp<int64_t>(free, 0, wanted));
}

bool IsHidden(const std::string& name) { return name.size() > 1 && name[0] == '.' && name != ".."; }
bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

struct Entry {
  std::string Name;
  unsigned char Type;
};

// The entries of an open directory in the order the kernel lists them, which
// is the order the run's own search sees.
std::vector<Entry> ListDirectory(int fd) {
  std::vector<Entry> entries;
  alignas(8) char buffer[16384];
  for (;;) {
    const ssize_t got = getdents64(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* d = reinterpret_cast<const dirent64*>(buffer + at);
      entries.push_back({d->d_name, d->d_type});
      at += d->d_reclen;
    }
  }
  return entries;
}

// What the run's walk sees of an entry: a directory (links followed), or a file.
bool IsDirectory(int dirFd, const Entry& e) {
  if (e.Type == DT_DIR) return true;
  if (e.Type != DT_LNK && e.Type != DT_UNKNOWN) return false;
  struct stat st {};
  return StatAt(dirFd, e.Name.c_str(), st) && S_ISDIR(st.st_mode);
}

struct Identity {
  dev_t Device;
  ino_t Inode;
  off_t Size;
  timespec Changed;
  int64_t Pair = 0;  // the number of the pair it belongs to
  bool Same(const Identity& o) const {
    return Device == o.Device && Inode == o.Inode && Size == o.Size && Changed.tv_sec == o.Changed.tv_sec &&
           Changed.tv_nsec == o.Changed.tv_nsec;
  }
};

Identity IdentityOf(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_ctim, 0}; }

}  // namespace

struct ReadAhead::Shared {
  struct Pair {
    int64_t Index;
    std::string Source;
    std::string Target;
    bool SourceRegular;  // as the directory lists it
  };

  ReadAheadPlan Plan;
  std::mutex Mutex;
  std::condition_variable Room;  // the walk waits here for the run to move on
  std::condition_variable Work;  // the readers wait here for pairs and byte room
  bool WalkWaits = false;
  int64_t WalkWaitsFor = 0;  // the walk goes on once the run has passed this pair
  bool ReadersWaitForBytes = false;
  bool Stop = false;
  bool WalkDone = false;
  int64_t Reached = 0;
  std::deque<Pair> Queue;
  std::map<int64_t, int64_t> BytesOf;  // bytes asked for, per pair the run has not reached
  int64_t BytesAhead = 0;
  std::atomic<int> WarmStreak = 0;
  std::vector<Identity> FetchedFromDisk;

  // Waits until the walk may add pair `index`; false when the helpers stop.
  bool RoomFor(int64_t index) {
    std::unique_lock lock(Mutex);
    if (index < Reached + kPairsAhead) return !Stop;
    WalkWaits = true;
    WalkWaitsFor = index - kPairsAhead + kRefill;
    Room.wait(lock, [&] { return Stop || Reached > WalkWaitsFor; });
    WalkWaits = false;
    return !Stop;
  }
};

ReadAhead::ReadAhead(const ReadAheadPlan& plan) : shared_(std::make_unique<Shared>()) {
  shared_->Plan = plan;
  const int readers = ReadersToStart();
  if (readers == 0) return;
  try {
    threads_.emplace_back(&ReadAhead::Walk, this);
    for (int i = 0; i < readers; ++i) threads_.emplace_back(&ReadAhead::Fetch, this);
  } catch (const std::system_error&) {
    // Out of threads: the run goes on with the helpers that started, or none;
    // the destructor stops them all the same.
  }
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(shared_->Mutex);
    shared_->Stop = true;
  }
  shared_->Room.notify_all();
  shared_->Work.notify_all();
  for (std::thread& t : threads_) t.join();
}

void ReadAhead::Reached(int64_t pairs) {
  Shared& s = *shared_;
  // Called for every pair: the helpers are woken only when they wait for this.
  bool wakeWalk = false;
  bool wakeReaders = false;
  {
    std::lock_guard lock(s.Mutex);
    s.Reached = pairs;
    for (auto it = s.BytesOf.begin(); it != s.BytesOf.end() && it->first < pairs; it = s.BytesOf.erase(it))
      s.BytesAhead -= it->second;
    // A fetched target of a pair the run has passed was not wanted after all.
    if (!s.FetchedFromDisk.empty())
      std::erase_if(s.FetchedFromDisk, [&](const Identity& f) { return f.Pair < pairs; });
    wakeWalk = s.WalkWaits && pairs > s.WalkWaitsFor;
    wakeReaders = s.ReadersWaitForBytes && s.BytesAhead < kBytesAhead;
  }
  if (wakeWalk) s.Room.notify_one();
  if (wakeReaders) s.Work.notify_all();
}

bool ReadAhead::TakeFetchedFromDisk(FileHandle file) {
  struct stat st {};
  if (fstat(file, &st) != 0) return false;
  std::lock_guard lock(shared_->Mutex);
  auto& fetched = shared_->FetchedFromDisk;
  const Identity now = IdentityOf(st);
  const auto it = std::find_if(fetched.begin(), fetched.end(), [&](const Identity& f) { return f.Same(now); });
  if (it == fetched.end()) return false;
  fetched.erase(it);
  return true;
}

void ReadAhead::Walk() {
  Shared& s = *shared_;
  // A level keeps the lengths of its paths, not the paths: the walk's memory
  // grows with the depth, not with its square.
  struct Level {
    size_t SourceLength;
    size_t TargetLength;
    std::vector<std::string> Subdirectories;
    size_t Next = 0;
    dev_t Device = 0;
    ino_t Inode = 0;
  };
  std::vector<Level> levels;
  std::string source = s.Plan.SourceDir;
  std::string target = s.Plan.TargetDir;
  int64_t index = 0;
  // Lists the directory pair (source, target): queues its files, and enters it
  // as a level of the walk unless it is one the walk is already inside.
  auto enter = [&] {
    const int fd = OpenAt(AT_FDCWD, source.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return true;
    struct stat st {};
    const bool known = fstat(fd, &st) == 0;
    for (const Level& l : levels) {
      if (known && l.Device == st.st_dev && l.Inode == st.st_ino) {
        close(fd);
        return true;
      }
    }
    const std::vector<Entry> entries = ListDirectory(fd);
    Level level{source.size(), target.size(), {}, 0, st.st_dev, st.st_ino};
    for (const Entry& e : entries) {
      if (IsDotEntry(e.Name) || IsDirectory(fd, e) || !MatchesMask(e.Name, s.Plan.Mask)) continue;
      if (!s.RoomFor(++index)) {
        close(fd);
        return false;
      }
      // While all is cached, most pairs are passed over.
      if (s.WarmStreak >= kWarmStreak && index % kSampleEvery != 0) continue;
      {
        std::lock_guard lock(s.Mutex);
        s.Queue.push_back({index, source + "/" + e.Name, target + "/" + e.Name, e.Type == DT_REG});
      }
      s.Work.notify_one();
    }
    if (s.Plan.Subdirectories)
      for (const Entry& e : entries)
        if (!IsDotEntry(e.Name) && !IsHidden(e.Name) && IsDirectory(fd, e)) level.Subdirectories.push_back(e.Name);
    close(fd);
    levels.push_back(std::move(level));
    return true;
  };

  bool going = enter();
  while (going && !levels.empty()) {
    Level& top = levels.back();
    if (top.Next == top.Subdirectories.size()) {
      levels.pop_back();
      continue;
    }
    const std::string& name = top.Subdirectories[top.Next++];
    source.resize(top.SourceLength);
    source += "/" + name;
    target.resize(top.TargetLength);
    target += "/" + name;
    going = enter();
  }
  {
    std::lock_guard lock(s.Mutex);
    s.WalkDone = true;
  }
  s.Work.notify_all();
}

void ReadAhead::Fetch() {
  Shared& s = *shared_;
  // Asks for the start of one regular file; the bytes asked for, or -1 when
  // the file was found cached already.
  auto fetch = [&](const std::string& path, bool knownRegular, int64_t pairIndex, bool fromDisk,
                   Identity* fetched) -> int64_t {
    struct stat st {};
    // Only a regular file is opened: a FIFO or a device is never touched.
    if (!knownRegular && (!StatAt(AT_FDCWD, path.c_str(), st) || !S_ISREG(st.st_mode))) return 0;
    const int fd = OpenAt(AT_FDCWD, path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return 0;
    int64_t asked = 0;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      asked = std::min<int64_t>(st.st_size, kFirstBytes);
      char byte;
      iovec one{&byte, 1};
      if (fromDisk) {
        DropCachedPages(fd);
        if (fstat(fd, &st) == 0) *fetched = IdentityOf(st);
        fetched->Pair = pairIndex;
        posix_fadvise(fd, 0, asked, POSIX_FADV_WILLNEED);
      } else {
        // Asked for first, then looked at: a look at a page not yet asked for
        // would start a read of its own and split the file's read in two.
        posix_fadvise(fd, 0, asked, POSIX_FADV_WILLNEED);
        if (preadv2(fd, &one, 1, 0, RWF_NOWAIT) == 1) asked = -1;
      }
    }
    close(fd);
    return asked;
  };

  for (;;) {
    Shared::Pair pair;
    {
      std::unique_lock lock(s.Mutex);
      s.Work.wait(lock, [&] {
        s.ReadersWaitForBytes = !s.Queue.empty() && s.BytesAhead >= kBytesAhead;
        return s.Stop || (s.WalkDone && s.Queue.empty()) || (!s.Queue.empty() && !s.ReadersWaitForBytes);
      });
      if (s.Stop || s.Queue.empty()) return;
      pair = std::move(s.Queue.front());
      s.Queue.pop_front();
      // A pair the run has reached gains nothing.
      if (pair.Index <= s.Reached) continue;
    }
    Identity fetched{};
    const int64_t source = fetch(pair.Source, pair.SourceRegular, pair.Index, false, nullptr);
    const int64_t target = fetch(pair.Target, false, pair.Index, s.Plan.FromDisk, &fetched);
    {
      std::lock_guard lock(s.Mutex);
      if (fetched.Inode != 0) s.FetchedFromDisk.push_back(fetched);
      const int64_t bytes = std::max<int64_t>(source, 0) + std::max<int64_t>(target, 0);
      s.WarmStreak = bytes == 0 ? s.WarmStreak + 1 : 0;
      if (bytes > 0 && pair.Index > s.Reached) {
        s.BytesOf[pair.Index] += bytes;
        s.BytesAhead += bytes;
      }
    }
  }
}

void DropCachedPages(FileHandle file) {
  // Pages that are dirty or being written back are not dropped: write them
  // first. fdatasync would also flush the device's own cache, once per file,
  // which on some disks costs more than the reading.
  sync_file_range(file, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED);
}

bool CanDropCachedPages() { return true; }

}  // namespace zek
