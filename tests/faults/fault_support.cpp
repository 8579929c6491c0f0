#include "faults/fault_support.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zek::test {
namespace {

using namespace std::chrono_literals;

bool IsMountPoint(const std::string& dir) {
  std::ifstream mountinfo("/proc/self/mountinfo");
  std::string line;
  while (std::getline(mountinfo, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint;
    fields >> id >> parent >> device >> root >> mountPoint;
    if (mountPoint == dir) return true;
  }
  return false;
}

void MakeDirectory(const std::string& dir) {
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("cannot create " + dir);
}

}  // namespace

std::string MountsUnavailable() {
  static const std::string why = []() -> std::string {
    if (geteuid() != 0) return "needs root to mount";
    if (unshare(CLONE_NEWNS) != 0) return std::string("unshare(CLONE_NEWNS) failed: ") + strerror(errno);
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return std::string("cannot make the mounts private: ") + strerror(errno);
    return "";
  }();
  return why;
}

std::string FuseUnavailable() {
  if (std::string why = MountsUnavailable(); !why.empty()) return why;
  const int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::string("/dev/fuse cannot be opened: ") + strerror(errno);
  close(fd);
  return "";
}

std::string UnprivilegedUnavailable() {
  if (geteuid() != 0) return "needs root to switch to an unprivileged user";
  if (access("/usr/bin/setpriv", X_OK) != 0) return "/usr/bin/setpriv is missing";
  return "";
}

ScopedTmpfs::ScopedTmpfs(const std::string& dir, const std::string& options) : dir_(dir) {
  MakeDirectory(dir_);
  if (mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) != 0)
    throw std::runtime_error("cannot mount tmpfs on " + dir_ + ": " + strerror(errno));
}

ScopedTmpfs::~ScopedTmpfs() { umount2(dir_.c_str(), MNT_DETACH); }

unsigned long ScopedTmpfs::FreeBlocks() const {
  struct statvfs st {};
  return statvfs(dir_.c_str(), &st) == 0 ? st.f_bavail : ~0UL;
}

unsigned long ScopedTmpfs::FreeInodes() const {
  struct statvfs st {};
  return statvfs(dir_.c_str(), &st) == 0 ? st.f_favail : ~0UL;
}

bool ScopedTmpfs::ReadOnly() const {
  struct statvfs st {};
  return statvfs(dir_.c_str(), &st) == 0 && (st.f_flag & ST_RDONLY) != 0;
}

FaultFs::FaultFs(const std::string& dir, const std::string& marker, std::time_t mtime,
                 const std::vector<ServedFile>& files)
    : dir_(dir) {
  MakeDirectory(dir_);
  std::vector<std::string> args = {ZEK_FAULTFS, "--marker", marker, "--mtime", std::to_string(mtime)};
  for (const ServedFile& f : files) {
    std::string description = f.Name + ":" + std::to_string(f.Size);
    if (f.EioOffset >= 0) description += ":" + std::to_string(f.EioOffset);
    if (f.Decays) description += ":decay";
    if (f.Stalls) description += ":stall";
    if (f.StallsReads) description += ":stallread";
    args.insert(args.end(), {"--file", description});
  }
  args.push_back(dir_);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // The file system must not outlive a test that crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  for (auto deadline = std::chrono::steady_clock::now() + 10s; !IsMountPoint(dir_);) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_)
      throw std::runtime_error("zek_faultfs ended before it mounted " + dir_);
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      throw std::runtime_error("zek_faultfs did not mount " + dir_ + " in time");
    }
    std::this_thread::sleep_for(20ms);
  }
}

FaultFs::~FaultFs() {
  // On SIGTERM the file system unmounts itself; the detach covers a kill.
  kill(pid_, SIGTERM);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(20ms);
  }
  umount2(dir_.c_str(), MNT_DETACH);
}

void WriteSparse(const TempTree& tree, const std::string& relative, long long size, std::time_t mtime) {
  tree.Write(relative, "", mtime);
  if (truncate(tree.Path(relative).c_str(), size) != 0) throw std::runtime_error("cannot extend " + relative);
  tree.SetTime(relative, mtime);
}

std::string ReadMarker(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

ProcessResult RunZek(const TempTree& tree, const std::vector<std::string>& args, std::vector<std::string> env) {
  std::vector<std::string> argv = {ZEK32_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  env.push_back("XDG_CONFIG_HOME=" + tree.Path("config"));
  return RunProcess(argv, env, kRunTimeoutSeconds);
}

ProcessResult RunUnprivileged(const TempTree& tree, const std::vector<std::string>& argv) {
  if (chmod(tree.Root().c_str(), 0755) != 0) throw std::runtime_error("cannot open up " + tree.Root());
  const std::string id = std::to_string(kUnprivilegedId);
  std::vector<std::string> full = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
  full.insert(full.end(), argv.begin(), argv.end());
  return RunProcess(full, {"XDG_CONFIG_HOME=" + tree.Path("config")}, kRunTimeoutSeconds);
}

ProcessResult RunZekUnprivileged(const TempTree& tree, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {ZEK32_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunUnprivileged(tree, argv);
}

std::vector<std::string> ShimEnv(const std::string& marker) {
  return {std::string("LD_PRELOAD=") + ZEK_RACE_SHIM, "ZEK_SHIM_MARKER=" + marker};
}

long Count(const std::vector<std::string>& lines, const std::string& line) {
  return std::count(lines.begin(), lines.end(), line);
}

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> LinesOf(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string CrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace zek::test
