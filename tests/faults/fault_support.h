#pragma once
// Real faults for the fault suite: a mount namespace of the test's own, small
// tmpfs mounts, the suite's FUSE file system with damaged spots, the race shim,
// and zek32 runs under a time limit, as root or as an unprivileged user. Every
// fault leaves evidence (a marker line or the kernel's own state) that the test
// checks, so a fault that never fired fails its case.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/test_tree.h"

namespace zek::test {

// The uid and gid of the unprivileged runs ("nobody").
constexpr uid_t kUnprivilegedId = 65534;
// How long one zek32 run may take before it counts as hung.
constexpr int kRunTimeoutSeconds = 60;

// Why this process cannot mount (not root, no unshare), or "" when it can. On
// the first call that can, the process moves into a mount namespace of its own
// with private propagation, so every mount a test makes vanishes with it.
std::string MountsUnavailable();
// The same, and also why FUSE cannot be used (no /dev/fuse).
std::string FuseUnavailable();
// Why this process cannot run programs as the unprivileged user, or "".
std::string UnprivilegedUnavailable();

// A tmpfs mounted on a directory (made if missing); unmounted again by the
// destructor.
class ScopedTmpfs {
 public:
  ScopedTmpfs(const std::string& dir, const std::string& options);
  ~ScopedTmpfs();
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
  const std::string& Dir() const { return dir_; }
  // Blocks and inodes still free for anyone, as statvfs tells.
  unsigned long FreeBlocks() const;
  unsigned long FreeInodes() const;
  bool ReadOnly() const;

 private:
  std::string dir_;
};

// One file of the FUSE file system: Size zero bytes. When EioOffset is not -1,
// the 4096-byte page that starts there is damaged: reading it fails with EIO,
// while every byte before it reads well. A file that Decays reads as zeros
// from the cache, and as 0xFF bytes whenever a page is fetched again.
struct ServedFile {
  std::string Name;
  long long Size = 0;
  long long EioOffset = -1;
  bool Decays = false;
  bool Stalls = false;       // every open of it hangs until MARKER.go exists
  bool StallsReads = false;  // every read of it hangs until MARKER.go exists
};

// The suite's FUSE file system (zek_faultfs) mounted on a directory (made if
// missing), served by a child process that dies with the test; the destructor
// stops it and unmounts.
class FaultFs {
 public:
  FaultFs(const std::string& dir, const std::string& marker, std::time_t mtime, const std::vector<ServedFile>& files);
  ~FaultFs();
  FaultFs(const FaultFs&) = delete;
  FaultFs& operator=(const FaultFs&) = delete;

 private:
  std::string dir_;
  pid_t pid_;
};

// A sparse file of `size` zero bytes, which takes no storage, with this time.
void WriteSparse(const TempTree& tree, const std::string& relative, long long size, std::time_t mtime = kFixedTime);

// The content of a marker file, "" when no fault has written it.
std::string ReadMarker(const std::string& path);

// zek32 with these arguments, killed after kRunTimeoutSeconds (ExitCode -1).
// XDG_CONFIG_HOME points into the tree, so no user's settings are read.
ProcessResult RunZek(const TempTree& tree, const std::vector<std::string>& args, std::vector<std::string> env = {});
// A program (full path first) as the unprivileged user, with the same time
// limit; the tree's top directory is opened up for that user first.
ProcessResult RunUnprivileged(const TempTree& tree, const std::vector<std::string>& argv);
// zek32 as the unprivileged user.
ProcessResult RunZekUnprivileged(const TempTree& tree, const std::vector<std::string>& args);
// The LD_PRELOAD entry and marker entry that arm the race shim.
std::vector<std::string> ShimEnv(const std::string& marker);

// How many of the lines are exactly `line`.
long Count(const std::vector<std::string>& lines, const std::string& line);
// The names in a directory, sorted.
std::vector<std::string> Listing(const std::string& dir);

// The lines a run printed, without their line ends.
std::vector<std::string> LinesOf(const std::string& out);
// The text of a log that holds these lines: each one followed by CR LF.
std::string CrLf(const std::vector<std::string>& lines);

// A temporary tree with the source below src/ and the target below tgt/ of
// `base` (empty, or a directory of the tree such as "disk/").
class FaultTreeTest : public ::testing::Test {
 protected:
  std::string Src(const std::string& name) const { return tree.Path(base + "src/" + name); }
  std::string Tgt(const std::string& name) const { return tree.Path(base + "tgt/" + name); }
  // The start of every line about the pair of this name.
  std::string Pair(const std::string& name) const { return "File " + Src(name) + " and " + Tgt(name); }
  void WriteBoth(const std::string& name, const std::string& content) const {
    tree.Write(base + "src/" + name, content);
    tree.Write(base + "tgt/" + name, content);
  }
  // A batch run over the whole source (mask *.*) with these options.
  ProcessResult Compare(const std::vector<std::string>& options = {}, std::vector<std::string> env = {}) const {
    std::vector<std::string> args = {"--batch"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {Src("*.*"), Tgt("")});
    return RunZek(tree, args, std::move(env));
  }

  TempTree tree;
  std::string base;
};

}  // namespace zek::test
