#include "platform/read_ahead.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
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
#include <thread>
#include <tuple>

#include "platform/console.h"
#include "platform/entry_attributes.h"
#include "platform/linux/descriptor.h"
#include "platform/walk_rule.h"
#include "platform/wildcard.h"

namespace zek {
namespace {

// A reader waits only for a file's inode; the file's data are asked for
// without waiting. So a few readers keep the disk's queue full, and more only
// take processor time from the run (docs/BENCHMARKS.md). Two a core, 4 to 16.
int ReadersForTheProcessors() {
  return static_cast<int>(std::clamp(2 * std::thread::hardware_concurrency(), 4u, 16u));
}
// Descriptors left to the run itself: its held directory pairs, the two files
// of a pair, the log and the standard streams.
constexpr int64_t kRunDescriptors = 48;
// How far the helpers may run ahead of the run, in pairs and in bytes asked
// for: far enough that a batch (below) sorts several directories' files.
constexpr int64_t kPairsAhead = 1024;
constexpr int64_t kBytesAhead = 32 << 20;
// A walk that has run ahead that far waits until it can go this many pairs on,
// so that the run wakes it once per so many pairs, not for every one.
constexpr int64_t kRefill = 128;
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

bool StatAt(int dir, const char* path, int flags, struct stat& st) {
  struct statx sx {};
  if (statx(dir, path, AT_NO_AUTOMOUNT | flags, STATX_TYPE | STATX_INO, &sx) != 0) return false;
  st.st_mode = sx.stx_mode;
  st.st_ino = sx.stx_ino;
  st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  return true;
}

// Opened files are asked for in batches of up to this many pairs, sorted by
// where their data lie on the device: a disk that seeks then serves them in
// one sweep, not in the order of the directory listing. On a simulated hard
// disk a cold run took 10.5 s so, against 29.5 s with the files asked for one
// by one (docs/BENCHMARKS.md). A batch is asked for at once when the run comes
// within kUrgent pairs of it, so a disk that does not seek waits for nothing.
constexpr int64_t kBatchPairs = 256;
constexpr int64_t kUrgent = 32;

struct HelperBudget {
  int Readers = 0;
  int64_t BatchPairs = 0;  // pairs whose files may be held open, waiting to be asked for
};

// The readers for the processors, as many as the descriptor limit leaves room
// for beside the run and the helpers' walk, each holding up to three
// descriptors at a time; what is left holds the batch's files, two a pair. A
// process held to few descriptors keeps them for the run, whose opens must
// never fail because of its helpers.
HelperBudget BudgetToStart() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return {};
  const int wanted = ReadersForTheProcessors();
  if (limit.rlim_cur == RLIM_INFINITY) return {wanted, kBatchPairs};
  std::error_code error;
  int64_t open = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error))
    ++open;
  if (error) return {};
  const int64_t free = static_cast<int64_t>(limit.rlim_cur) - open - kRunDescriptors - 1;
  const int readers = static_cast<int>(std::clamp<int64_t>(free, 0, wanted));
  return {readers, std::clamp<int64_t>((free - 3 * readers) / 2, 0, kBatchPairs)};
}

// Where a file's data start on its device, for the order of a batch; the inode
// number where the file system cannot tell, as data mostly follow it.
uint64_t PhysicalStart(int fd, const struct stat& st) {
  alignas(fiemap) char space[sizeof(fiemap) + sizeof(fiemap_extent)] = {};
  auto* map = reinterpret_cast<fiemap*>(space);
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_extent_count = 1;
  if (ioctl(fd, FS_IOC_FIEMAP, map) == 0 && map->fm_mapped_extents == 1) return map->fm_extents[0].fe_physical;
  return st.st_ino;
}

// File systems on a local block device, whose calls end, if only with an
// error. On any other (NFS, SMB, FUSE such as sshfs) an open or a read may
// stall for as long as the server does: a page that a helper asked for stays
// locked until then, holding the run's own first touch of the file, and a
// helper waiting there for the server cannot even be ended, which keeps the
// whole process from exiting. The helpers keep away from such file systems.
bool IsLocalDisk(const struct statfs& fs) {
  switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:  // ext2, ext3 and ext4 alike
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case MSDOS_SUPER_MAGIC:
    case 0x2011BAB0UL:  // exFAT
    case 0x7366746EUL:  // ntfs3
    case ISOFS_SUPER_MAGIC:
    case 0x3153464AUL:  // JFS
    case REISERFS_SUPER_MAGIC:
    case TMPFS_MAGIC:  // memory: nothing to wait for
      return true;
    default:
      return false;
  }
}

bool OnLocalDisk(int fd) {
  struct statfs fs {};
  return fstatfs(fd, &fs) == 0 && IsLocalDisk(fs);
}

bool OnLocalDisk(const std::string& path) {
  struct statfs fs {};
  return statfs(path.c_str(), &fs) == 0 && IsLocalDisk(fs);
}

// A regular file opened for reading without ever opening anything else: the
// name is looked up without opening what it names, and only a regular file is
// then opened, through that lookup. A FIFO put in the file's place is never
// opened, so a writer waiting on it is never released.
UniqueFd OpenRegular(const std::string& path, struct stat& st) {
  const UniqueFd lookup(OpenAt(AT_FDCWD, path.c_str(), O_PATH));
  if (!lookup.Valid() || fstat(lookup.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
  const std::string self = "/proc/self/fd/" + std::to_string(lookup.Get());
  return UniqueFd(OpenAt(AT_FDCWD, self.c_str(), O_RDONLY | O_NONBLOCK));
}

struct Entry {
  std::string Name;
  unsigned char Type;
  int Attr = -1;  // as the run's search reports it, once looked at
};

// Hands `each` every entry of an open directory, from its start, in the order
// the kernel lists them, which is the order the run's own search sees, until
// `each` returns false. The entries are not kept: a directory of a million
// files costs the helpers no more memory than a small one.
template <typename Each>
bool ForEachEntry(int fd, Each&& each) {
  if (lseek(fd, 0, SEEK_SET) != 0) return true;
  alignas(8) char buffer[16384];
  for (;;) {
    const ssize_t got = getdents64(fd, buffer, sizeof buffer);
    if (got <= 0) return true;
    for (ssize_t at = 0; at < got;) {
      const auto* d = reinterpret_cast<const dirent64*>(buffer + at);
      Entry entry{d->d_name, d->d_type};
      if (!each(entry)) return false;
      at += d->d_reclen;
    }
  }
}

// The type of an entry as the run's search finds it: links followed, a
// dangling one a file, one that cannot be looked at what the listing says.
mode_t TypeOf(int dirFd, const Entry& e) {
  switch (e.Type) {
    case DT_DIR:
      return S_IFDIR;
    case DT_REG:
      return S_IFREG;
    case DT_FIFO:
      return S_IFIFO;
    case DT_CHR:
      return S_IFCHR;
    case DT_BLK:
      return S_IFBLK;
    case DT_SOCK:
      return S_IFSOCK;
    default:
      break;
  }
  struct stat st {};
  if (StatAt(dirFd, e.Name.c_str(), 0, st) || StatAt(dirFd, e.Name.c_str(), AT_SYMLINK_NOFOLLOW, st))
    return S_ISLNK(st.st_mode) ? S_IFREG : st.st_mode & S_IFMT;
  return S_IFREG;
}

int AttributesAt(int dirFd, Entry& e) {
  if (e.Attr < 0) {
    struct stat st {};
    st.st_mode = TypeOf(dirFd, e) | S_IWUSR;
    e.Attr = AttributesOf(e.Name, st);
  }
  return e.Attr;
}

// The helpers' walk: the run's rules (platform/walk_rule.h) over the source
// directories on local disks.
class PairWalk {
 public:
  PairWalk(const ReadAheadPlan& plan, const std::atomic<bool>& stop, const ReadAheadPairs& pair)
      : plan_(plan), stop_(stop), pair_(pair), source_(plan.SourceDir), target_(plan.TargetDir) {}

  void Run() {
    bool going = Enter();
    while (going && !levels_.empty()) {
      Level& top = levels_.back();
      if (top.Next == top.Subdirectories.size()) {
        levels_.pop_back();
        continue;
      }
      const std::string& name = top.Subdirectories[top.Next++];
      source_.resize(top.SourceLength);
      source_ += "/" + name;
      target_.resize(top.TargetLength);
      target_ += "/" + name;
      going = Enter();
    }
  }

 private:
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

  // Lists the directory pair (source_, target_): hands out its files, and
  // enters it as a level unless it is one the walk is already inside. False
  // once the walk is to stop.
  bool Enter() {
    if (stop_) return false;
    const UniqueFd dir(OpenAt(AT_FDCWD, source_.c_str(), O_RDONLY | O_DIRECTORY));
    if (!dir.Valid() || !OnLocalDisk(dir.Get())) return true;
    struct stat st {};
    const bool known = fstat(dir.Get(), &st) == 0;
    for (const Level& l : levels_)
      if (known && l.Device == st.st_dev && l.Inode == st.st_ino) return true;
    Level level{source_.size(), target_.size(), {}, 0, st.st_dev, st.st_ino};
    if (!HandOutFiles(dir.Get())) return false;
    if (plan_.Subdirectories && !GatherSubdirectories(dir.Get(), level.Subdirectories)) return false;
    levels_.push_back(std::move(level));
    return true;
  }

  bool HandOutFiles(int dirFd) {
    return ForEachEntry(dirFd, [&](Entry& e) {
      // Stop is looked at for every entry: a tree in which nothing matches
      // must not hold the helpers either.
      if (stop_) return false;
      if (!MatchesMask(e.Name, plan_.Mask) || !TakesUpFile(e.Name, AttributesAt(dirFd, e))) return true;
      return pair_(source_ + "/" + e.Name, target_ + "/" + e.Name);
    });
  }

  // A second listing, as the run's own subdirectory pass is a second search.
  bool GatherSubdirectories(int dirFd, std::vector<std::string>& subdirectories) {
    return ForEachEntry(dirFd, [&](Entry& e) {
      if (stop_) return false;
      if (MatchesMask(e.Name, kSubdirectoryPassMask) && EntersDirectory(e.Name, AttributesAt(dirFd, e)))
        subdirectories.push_back(e.Name);
      return true;
    });
  }

  const ReadAheadPlan& plan_;
  const std::atomic<bool>& stop_;
  const ReadAheadPairs& pair_;
  std::string source_;
  std::string target_;
  std::vector<Level> levels_;
};

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

// One file of a pair, opened and looked at, its data not yet asked for.
struct OpenedFile {
  int64_t Pair = 0;
  bool Target = false;
  UniqueFd Fd;
  struct stat St {};
  dev_t Device = 0;
  uint64_t Physical = 0;
};

}  // namespace

struct ReadAhead::Shared {
  struct Pair {
    int64_t Index;
    std::string Source;
    std::string Target;
  };

  ReadAheadPlan Plan;
  std::mutex Mutex;
  std::condition_variable Room;  // the walk waits here for the run to move on
  std::condition_variable Work;  // the readers wait here for pairs and byte room
  bool WalkWaits = false;
  int64_t WalkWaitsFor = 0;  // the walk goes on once the run has passed this pair
  bool ReadersWaitForBytes = false;
  std::atomic<bool> Stop = false;  // also read without the lock, between calls
  bool TargetOnLocalDisk = false;  // set by the walk before it queues a pair
  bool WalkDone = false;
  int64_t Reached = 0;
  std::deque<Pair> Queue;
  std::map<int64_t, int64_t> BytesOf;  // bytes asked for, per pair the run has not reached
  int64_t BytesAhead = 0;
  std::atomic<int> WarmStreak = 0;
  std::vector<Identity> FetchedFromDisk;
  std::vector<OpenedFile> Batch;  // of up to BatchPairs pairs
  int64_t BatchPairs = 0;
  int64_t BatchFirst = 0;  // the batch's first pair
  bool Asking = false;     // a reader asks for a batch's data
  // A reader opens no further pair while the batch is full, so that the files
  // held open stay within the descriptors budgeted for them.
  bool BatchFull() const { return static_cast<int64_t>(Batch.size()) >= 2 * std::max<int64_t>(BatchPairs, 1); }
  // Asks for the batch's data in the order of the device; called with the
  // lock held, which it gives up meanwhile.
  void AskForBatch(std::unique_lock<std::mutex>& lock);
  bool BatchDue() const {
    return !Batch.empty() && !Asking && (BatchFull() || Reached + kUrgent >= BatchFirst || (WalkDone && Queue.empty()));
  }

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

ReadAhead::ReadAhead(const ReadAheadPlan& plan) : shared_(std::make_shared<Shared>()) {
  shared_->Plan = plan;
  const HelperBudget budget = BudgetToStart();
  const int readers = budget.Readers;
  shared_->BatchPairs = budget.BatchPairs;
  if (readers == 0) return;
  // Ctrl-C, SIGTERM and SIGHUP are the run's: the helpers start with them blocked.
  BlockStopSignalsInThisThread(true);
  try {
    // Each helper owns a share of the state, so that it may outlive the run.
    std::thread(&ReadAhead::Walk, shared_).detach();
    for (int i = 0; i < readers; ++i) std::thread(&ReadAhead::Fetch, shared_).detach();
  } catch (const std::system_error&) {
    // Out of threads: the run goes on with the helpers that started, or none.
  }
  BlockStopSignalsInThisThread(false);
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(shared_->Mutex);
    shared_->Stop = true;
  }
  shared_->Room.notify_all();
  shared_->Work.notify_all();
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
    wakeReaders = (s.ReadersWaitForBytes && s.BytesAhead < kBytesAhead) || s.BatchDue();
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

void WalkPairs(const ReadAheadPlan& plan, const std::atomic<bool>& stop, const ReadAheadPairs& pair) {
  PairWalk(plan, stop, pair).Run();
}

void ReadAhead::Walk(std::shared_ptr<Shared> shared) {
  Shared& s = *shared;
  {
    const bool local = OnLocalDisk(s.Plan.TargetDir);
    std::lock_guard lock(s.Mutex);
    s.TargetOnLocalDisk = local;
  }
  int64_t index = 0;
  try {
    WalkPairs(s.Plan, s.Stop, [&](const std::string& source, const std::string& target) {
      if (s.Plan.Takes && !s.Plan.Takes(source)) return true;
      if (!s.RoomFor(++index)) return false;
      // While all is cached, most pairs are passed over.
      if (s.WarmStreak >= kWarmStreak && index % kSampleEvery != 0) return true;
      {
        std::lock_guard lock(s.Mutex);
        s.Queue.push_back({index, source, target});
      }
      s.Work.notify_one();
      return true;
    });
  } catch (const std::bad_alloc&) {
    // Out of memory, the helpers give up; the run meets it on its own.
  }
  {
    std::lock_guard lock(s.Mutex);
    s.WalkDone = true;
  }
  s.Work.notify_all();
}

namespace {

// Asks for the start of an opened file; the bytes asked for, or -1 when the
// file was found cached already. A target read from the disk has its cached
// pages dropped first, and its identity kept in `fetched`.
int64_t AskFor(OpenedFile& file, bool fromDisk, Identity& fetched) {
  if (!file.Fd.Valid() || file.St.st_size == 0) return 0;
  int64_t asked = std::min<int64_t>(file.St.st_size, kFirstBytes);
  if (fromDisk) {
    DropCachedPages(file.Fd.Get());
    if (fstat(file.Fd.Get(), &file.St) == 0) fetched = IdentityOf(file.St);
    fetched.Pair = file.Pair;
    posix_fadvise(file.Fd.Get(), 0, asked, POSIX_FADV_WILLNEED);
    return asked;
  }
  // Asked for first, then looked at: a look at a page not yet asked for
  // would start a read of its own and split the file's read in two.
  posix_fadvise(file.Fd.Get(), 0, asked, POSIX_FADV_WILLNEED);
  char byte;
  iovec one{&byte, 1};
  if (preadv2(file.Fd.Get(), &one, 1, 0, RWF_NOWAIT) == 1) asked = -1;
  return asked;
}

}  // namespace

void ReadAhead::Shared::AskForBatch(std::unique_lock<std::mutex>& lock) {
  std::vector<OpenedFile> batch = std::move(Batch);
  Batch.clear();
  Asking = true;
  const int64_t reached = Reached;
  lock.unlock();
  std::sort(batch.begin(), batch.end(), [](const OpenedFile& a, const OpenedFile& b) {
    return std::tie(a.Device, a.Physical) < std::tie(b.Device, b.Physical);
  });
  std::map<int64_t, int64_t> bytesOf;  // asked for, per pair: 0 when all of it was cached
  std::vector<Identity> fetched;
  for (OpenedFile& file : batch) {
    if (Stop) break;
    // A pair the run has reached gains nothing.
    if (file.Pair <= reached) continue;
    Identity identity{};
    const int64_t asked = AskFor(file, file.Target && Plan.FromDisk, identity);
    if (identity.Inode != 0) fetched.push_back(identity);
    bytesOf[file.Pair] += std::max<int64_t>(asked, 0);
  }
  lock.lock();
  Asking = false;
  FetchedFromDisk.insert(FetchedFromDisk.end(), fetched.begin(), fetched.end());
  for (const auto& [pair, bytes] : bytesOf) {
    WarmStreak = bytes == 0 ? WarmStreak + 1 : 0;
    if (bytes > 0 && pair > Reached) {
      BytesOf[pair] += bytes;
      BytesAhead += bytes;
    }
  }
}

void ReadAhead::Fetch(std::shared_ptr<Shared> shared) {
  Shared& s = *shared;
  for (;;) {
    Shared::Pair pair;
    {
      std::unique_lock lock(s.Mutex);
      s.Work.wait(lock, [&] {
        s.ReadersWaitForBytes = !s.Queue.empty() && s.BytesAhead >= kBytesAhead;
        return s.Stop || s.BatchDue() || (s.WalkDone && s.Queue.empty()) ||
               (!s.Queue.empty() && !s.ReadersWaitForBytes && !s.BatchFull());
      });
      if (s.Stop) return;
      if (s.BatchDue()) {
        s.AskForBatch(lock);
        continue;
      }
      if (s.Queue.empty()) return;
      pair = std::move(s.Queue.front());
      s.Queue.pop_front();
      if (pair.Index <= s.Reached) continue;
      // Pairs the walk queued before the readers found all cached are sampled too.
      if (s.WarmStreak >= kWarmStreak && pair.Index % kSampleEvery != 0) continue;
    }
    OpenedFile source;
    OpenedFile target;
    source.Pair = target.Pair = pair.Index;
    target.Target = true;
    source.Fd = OpenRegular(pair.Source, source.St);
    if (s.Stop) return;
    if (s.TargetOnLocalDisk) target.Fd = OpenRegular(pair.Target, target.St);
    if (s.Stop) return;
    // The inodes are in memory now; the data only where the run reads them.
    const bool readsBytes = s.Plan.ReadsBytes && source.Fd.Valid() && target.Fd.Valid() &&
                            (source.St.st_size == target.St.st_size || s.Plan.ReadsDifferentSizes);
    std::vector<OpenedFile*> wanted;
    for (OpenedFile* file : {&source, &target}) {
      if (!readsBytes || file->St.st_size == 0) continue;
      file->Device = file->St.st_dev;
      file->Physical = PhysicalStart(file->Fd.Get(), file->St);
      wanted.push_back(file);
    }
    std::lock_guard lock(s.Mutex);
    if (wanted.empty()) {
      s.WarmStreak = s.WarmStreak + 1;
      continue;
    }
    if (s.Batch.empty() || pair.Index < s.BatchFirst) s.BatchFirst = pair.Index;
    for (OpenedFile* file : wanted) s.Batch.push_back(std::move(*file));
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
