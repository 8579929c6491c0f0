// The read-ahead helpers: which files they open, and that they end with the run.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/read_ahead.h"
#include "support/test_tree.h"

namespace zek {
namespace {

// The names of the files (not directories) opened in one directory, as inotify reports them.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& dir) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    inotify_add_watch(fd_, dir.c_str(), IN_OPEN);
  }
  ~OpenWatch() { close(fd_); }
  // Collects what arrives until every name of `wanted` was opened or a few seconds passed.
  void WaitFor(const std::set<std::string>& wanted) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::includes(Opened.begin(), Opened.end(), wanted.begin(), wanted.end()) &&
           std::chrono::steady_clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      poll(&p, 1, 100);
      Drain();
    }
    // Whatever the helpers were still doing shows up within a moment.
    poll(nullptr, 0, 200);
    Drain();
  }
  std::set<std::string> Opened;

 private:
  void Drain() {
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        if (e->len > 0 && (e->mask & IN_ISDIR) == 0) Opened.insert(e->name);
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
  }
  int fd_;
};

TEST(ReadAhead, OpensTheRegularFilesOfBothSidesButNeverAFifoAndEndsWithTheRun) {
  // Guards against helpers that open a FIFO (which may block or wake a writer), skip the target side, or outlive the run.
  test::TempTree tree;
  for (const char* side : {"src/", "tgt/"}) {
    tree.Write(std::string(side) + "a.txt", "alpha");
    tree.Write(std::string(side) + "b.txt", "bravo");
    tree.Write(std::string(side) + "sub/c.txt", "charlie");
    ASSERT_EQ(mkfifo(tree.Path(std::string(side) + "pipe").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(tree.Path(std::string(side) + "sub/pipe").c_str(), 0644), 0);
  }
  OpenWatch sourceTop(tree.Path("src")), targetTop(tree.Path("tgt")), targetSub(tree.Path("tgt/sub"));
  {
    ReadAhead helpers({tree.Path("src"), "*.*", tree.Path("tgt"), true, false});
    targetSub.WaitFor({"c.txt"});
    sourceTop.WaitFor({"a.txt", "b.txt"});
    targetTop.WaitFor({"a.txt", "b.txt"});
  }
  EXPECT_EQ(targetSub.Opened, std::set<std::string>{"c.txt"});
  EXPECT_EQ(sourceTop.Opened, (std::set<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(targetTop.Opened, (std::set<std::string>{"a.txt", "b.txt"}));
}

}  // namespace
}  // namespace zek
