// The read-ahead helpers: which files they open, and that they end with the run.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>

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

TEST(ReadAhead, TheWalkStopsAtOnceInATreeWhereNothingMatches) {
  // Guards against a walk that looks at the stop request only when it hands out a file, so that Ctrl-C waits for it.
  test::TempTree tree;
  // Ten levels of four links each to the next level: a million directories to
  // walk and not one file in them.
  constexpr int kLevels = 10;
  for (int level = 0; level <= kLevels; ++level) tree.MakeDir("d" + std::to_string(level));
  for (int level = 0; level < kLevels; ++level)
    for (const char* link : {"l1", "l2", "l3", "l4"})
      std::filesystem::create_directory_symlink(tree.Path("d" + std::to_string(level + 1)),
                                                tree.Path("d" + std::to_string(level) + "/" + link));
  // Shared with the walk's thread, which is detached: a walk that does not
  // stop must fail the test, not hang it.
  struct Walk {
    std::atomic<bool> Stop = false;
    std::promise<void> Ended;
  };
  auto walk = std::make_shared<Walk>();
  std::future<void> walkEnded = walk->Ended.get_future();
  std::thread([walk, root = tree.Path("d0")] {
    WalkPairs({root, "*.none", root, true, false}, walk->Stop, [](auto&, auto&) { return true; });
    walk->Ended.set_value();
  }).detach();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(walkEnded.wait_for(std::chrono::seconds(0)), std::future_status::timeout) << "the tree is too small";
  walk->Stop = true;
  ASSERT_EQ(walkEnded.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace zek
