// The log on full disks and odd paths, and the probe of its name, which must
// never delete or truncate anything.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/probe.h"
#include "faults/fault_support.h"

namespace zek::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class LogFaultTest : public FaultTreeTest {
 protected:
  // One pair that differs, so the verdict tells whether a log was written.
  LogFaultTest() {
    tree.Write("src/a.txt", "alpha");
    tree.Write("tgt/a.txt", "alphA");
  }
  ProcessResult CompareWithLog(const std::string& logName, std::vector<std::string> env = {}) const {
    return Compare({"-o", "writelog=1", "-o", "logfilename=" + logName}, std::move(env));
  }
  // zek32 with these options and a log, run by a bash script that puts
  // redirections or signals around it: "$0" is zek32, "$@" its arguments.
  ProcessResult CompareThroughShell(const std::string& script, std::vector<std::string> env = {}) const {
    env.push_back("XDG_CONFIG_HOME=" + tree.Path("config"));
    return RunProcess({"/bin/bash", "-c", script, ZEK32_BINARY, "--batch", "-o", "MsgEqual=1", "-o", "writelog=1", "-o",
                       "logfilename=" + tree.Path("run.log"), Src("*.*"), Tgt("")},
                      env, kRunTimeoutSeconds);
  }
  Lines RunLines(const std::string& verdict) const {
    return {"running...", Pair("a.txt") + " do not match.", "finished.",
            "Files total: 1", "Files with differences: 1", verdict};
  }
  // Batch mode refuses a log it cannot write before the run: a script learns it.
  static void ExpectLogRefused(const ProcessResult& r, const std::string& name) {
    EXPECT_EQ(r.ExitCode, 2) << name;
    EXPECT_EQ(r.Out, "") << name;
    EXPECT_EQ(r.Err, "zek32: the log file cannot be written: " + name + "\n");
  }
};

TEST_F(LogFaultTest, LogLinkedToDevFullFailsAtTheCloseAndTheLinkStays) {
  // Guards against a write error of the log that goes unnoticed because the lines were only buffered,
  // and against a verdict that says "Log written" before the lines reached the file.
  ASSERT_EQ(symlink("/dev/full", tree.Path("full.log").c_str()), 0);
  const ProcessResult r = CompareWithLog(tree.Path("full.log"));
  EXPECT_EQ(r.Err, "I/O-Fehler 28.\n") << "ENOSPC of /dev/full never reached the run";
  EXPECT_EQ(r.ExitCode, 2);
  Lines beforeVerdict = RunLines("");
  beforeVerdict.pop_back();
  EXPECT_EQ(LinesOf(r.Out), beforeVerdict);
  EXPECT_TRUE(fs::is_symlink(tree.Path("full.log")));
  EXPECT_EQ(fs::read_symlink(tree.Path("full.log")), "/dev/full");
}

TEST_F(LogFaultTest, LogThatFillsATinyTmpfsEndsTheRunWithWhatFitted) {
  // Guards against a full disk that loses the log silently or lets the run go on writing into nothing.
  if (const std::string why = MountsUnavailable(); !why.empty()) GTEST_SKIP() << why;
  for (int i = 0; i < 400; ++i) WriteBoth("f" + std::to_string(i), "equal");
  ScopedTmpfs disk(tree.Path("disk"), "size=8k");
  const ProcessResult r =
      Compare({"-o", "MsgEqual=1", "-o", "writelog=1", "-o", "logfilename=" + disk.Dir() + "/run.log"});
  EXPECT_EQ(disk.FreeBlocks(), 0u) << "the tmpfs never filled up";
  EXPECT_EQ(r.Err, "I/O-Fehler 28.\n");
  EXPECT_EQ(r.ExitCode, 2);
  const Lines shown = LinesOf(r.Out);
  EXPECT_EQ(Count(shown, "finished."), 0) << "the run went on after the error";
  const std::string log = tree.Read("disk/run.log");
  EXPECT_FALSE(log.empty());
  EXPECT_EQ(CrLf(shown).rfind(log, 0), 0u) << "the log is not the start of what the run showed";
}

TEST_F(LogFaultTest, UnusableLogNamesClearTheBoxAndCreateNothing) {
  // Guards against a log name that cannot be used being created, or a batch run that goes on without it unsaid.
  tree.MakeDir("logdir");
  for (const std::string& name : {tree.Path("missing/run.log"), tree.Path("logdir")})
    ExpectLogRefused(CompareWithLog(name), name);
  EXPECT_FALSE(tree.Exists("missing"));
  EXPECT_TRUE(fs::is_directory(tree.Path("logdir")));
  EXPECT_TRUE(fs::is_empty(tree.Path("logdir")));
}

TEST_F(LogFaultTest, AnOldLongerLogIsTruncatedAndEveryLineEndsInCrLf) {
  // Guards against a log rewritten in place, which would keep the tail of a longer old log.
  tree.Write("run.log", std::string(65536, 'o'));
  const ProcessResult r = CompareWithLog(tree.Path("run.log"));
  EXPECT_EQ(r.ExitCode, 1);
  const Lines expected = RunLines("Differences found. Log written: " + tree.Path("run.log"));
  EXPECT_EQ(LinesOf(r.Out), expected);
  EXPECT_EQ(tree.Read("run.log"), CrLf(expected));
}

TEST_F(LogFaultTest, AFifoAsTheLogNeverBlocks) {
  // Guards against a log open that waits forever for a reader of a FIFO.
  ASSERT_EQ(mkfifo(tree.Path("fifo.log").c_str(), 0644), 0);
  const ProcessResult alone = CompareWithLog(tree.Path("fifo.log"));
  EXPECT_EQ(alone.ExitCode, 2) << "the run hung or went on without its log";
  EXPECT_EQ(alone.Err, "I/O-Fehler 6.\n");
  EXPECT_EQ(alone.Out, "");
  // With a reader the log is written; it stays in the FIFO until read.
  const int reader = open(tree.Path("fifo.log").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const ProcessResult read = CompareWithLog(tree.Path("fifo.log"));
  std::string log(65536, '\0');
  const ssize_t got = ::read(reader, log.data(), log.size());
  close(reader);
  EXPECT_EQ(read.ExitCode, 1) << read.Err;
  log.resize(got > 0 ? static_cast<size_t>(got) : 0);
  EXPECT_EQ(log, CrLf(RunLines("Differences found. Log written: " + tree.Path("fifo.log"))));
}

TEST_F(LogFaultTest, TheFileSizeLimitIsTheRunsIoErrorNotASignalThatKillsIt) {
  // Guards against SIGXFSZ (ulimit -f) killing the run, exit 153, with the log and stdout cut mid-line.
  for (int i = 0; i < 300; ++i) WriteBoth("d/f" + std::to_string(i), "same");  // far more than 8 KiB of lines
  for (const std::string& script : {std::string(R"(ulimit -f 8; exec "$0" "$@" >)") + tree.Path("out"),
                                    std::string(R"(ulimit -f 8; exec "$0" "$@" >/dev/null)")}) {
    const ProcessResult r = CompareThroughShell(script);
    EXPECT_EQ(r.ExitCode, 2) << script;
    EXPECT_EQ(r.Err, "I/O-Fehler 27.\n") << script;
  }
}

TEST_F(LogFaultTest, StdoutThatCannotBeWrittenEndsTheRunAndAClosedOneStaysApartFromTheLog) {
  // Guards against a stdout write error passing for success, and a closed stdout handing its lines to the log.
  for (int i = 0; i < 2000; ++i) WriteBoth("d/f" + std::to_string(i), "same");  // more than a pipe holds
  const ProcessResult plain = CompareThroughShell(R"("$0" "$@")");
  ASSERT_EQ(plain.ExitCode, 1) << plain.Err;
  const std::string all = CrLf(LinesOf(plain.Out));

  const ProcessResult closed = CompareThroughShell(R"(exec "$0" "$@" >&-)");
  EXPECT_EQ(closed.ExitCode, 1) << closed.Err;
  EXPECT_EQ(tree.Read("run.log"), all) << "stdout's lines went into the log";

  for (const auto& [script, error] : {std::pair<std::string, std::string>{R"("$0" "$@" >/dev/full)", "28"},
                                      {R"("$0" "$@" | head -n 1 >/dev/null; exit "${PIPESTATUS[0]}")", "32"}}) {
    const ProcessResult r = CompareThroughShell(script);
    EXPECT_EQ(r.ExitCode, 2) << script;
    EXPECT_EQ(r.Err, "I/O-Fehler " + error + ".\n") << script;
    const std::string log = tree.Read("run.log");
    EXPECT_EQ(log.rfind("running...\r\n", 0), 0u) << script;
    EXPECT_EQ(all.rfind(log, 0), 0u) << script << ": the log is not the start of the run's lines";
    EXPECT_EQ(log.find("\r\nfinished.\r\n"), std::string::npos) << script << ": the run went on";
  }
}

TEST_F(LogFaultTest, StopSignalsWindDownWithTheLogAndWholeLines) {
  // Guards against SIGTERM or SIGHUP killing the run and its log, and a signal tearing a line stdout was blocked on.
  std::set<std::string> equal;
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "d/a_name_that_fills_the_pipe_sooner_" + std::to_string(i);
    WriteBoth(name, "same");
    equal.insert(Pair(name) + " are equal.");
  }
  // stdout is a FIFO of which nobody reads more than the first byte until the
  // signal has come, so zek32 has begun and is blocked in a write then.
  const std::string script = R"(mkfifo "$OUT" && { "$0" "$@" >"$OUT" & } && exec 3<"$OUT" && head -c 1 <&3 &&
                                sleep 0.3 && kill -s "$SIG" $! && cat <&3 && wait $!)";
  for (const std::string signal : {"INT", "TERM", "HUP"}) {
    std::remove(tree.Path("out").c_str());
    const ProcessResult r = CompareThroughShell(script, {"OUT=" + tree.Path("out"), "SIG=" + signal});
    EXPECT_EQ(r.ExitCode, 2) << signal;
    const Lines shown = LinesOf(r.Out);
    EXPECT_EQ(tree.Read("run.log"), CrLf(shown)) << signal;
    ASSERT_GT(shown.size(), 7u) << signal;
    EXPECT_EQ(Lines(shown.begin(), shown.begin() + 2), (Lines{"running...", Pair("a.txt") + " do not match."}));
    const Lines summary(shown.end() - 5, shown.end());
    EXPECT_EQ(summary, (Lines{"finished.", "USER BREAK!", "Files total: " + std::to_string(shown.size() - 6),
                              "Files with differences: 1", "Differences found. Log written: " + tree.Path("run.log")}))
        << signal;
    for (auto line = shown.begin() + 2; line != shown.end() - 5; ++line)
      EXPECT_EQ(equal.count(*line), 1u) << signal << ": a torn line: " << *line;
  }
}

TEST(ProbeTest, ExistingFilesAndLinksAreNeverTouched) {
  // Guards against a probe that truncates, replaces or removes what a name already names.
  TempTree tree;
  tree.Write("old.log", "keep me");
  ASSERT_EQ(symlink(tree.Path("old.log").c_str(), tree.Path("link.log").c_str()), 0);
  ASSERT_EQ(symlink(tree.Path("nowhere").c_str(), tree.Path("dangling.log").c_str()), 0);
  EXPECT_TRUE(ProbeFileName(tree.Path("old.log")));
  EXPECT_TRUE(ProbeFileName(tree.Path("link.log")));
  EXPECT_FALSE(ProbeFileName(tree.Path("dangling.log")));
  EXPECT_EQ(tree.Read("old.log"), "keep me");
  EXPECT_EQ(fs::read_symlink(tree.Path("link.log")), tree.Path("old.log"));
  EXPECT_EQ(fs::read_symlink(tree.Path("dangling.log")), tree.Path("nowhere"));
  EXPECT_FALSE(tree.Exists("nowhere"));
  EXPECT_EQ(Listing(tree.Root()), (std::vector<std::string>{"dangling.log", "link.log", "old.log"}));
}

TEST_F(LogFaultTest, AFileCreatedInTheProbesRaceWindowIsLeftAlone) {
  // Guards against a probe that erases a file which another program created between its test and its create.
  const std::string name = tree.Path("race.log");
  const std::string marker = tree.Path("shim.marker");
  std::vector<std::string> env = ShimEnv(marker);
  env.push_back("ZEK_SHIM_CREATE=" + name);
  const ProcessResult r = CompareWithLog(name, env);
  EXPECT_EQ(ReadMarker(marker), "create " + name + "\n") << "the race never happened";
  ExpectLogRefused(r, name);
  EXPECT_EQ(tree.Read("race.log"), "written in the race window\n");
}

TEST_F(LogFaultTest, AFullInodeTableOrAReadOnlyMountIsNotCreatable) {
  // Guards against a probe that reports a name creatable where no file can be made, or leaves a trial file.
  if (const std::string why = MountsUnavailable(); !why.empty()) GTEST_SKIP() << why;
  ScopedTmpfs noInodes(tree.Path("noinodes"), "size=64k,nr_inodes=2");
  tree.Write("noinodes/filler", "");
  ASSERT_EQ(noInodes.FreeInodes(), 0u) << "the inode table is not full";
  ScopedTmpfs readOnly(tree.Path("readonly"), "size=64k,ro");
  ASSERT_TRUE(readOnly.ReadOnly()) << "the mount is writable";
  for (const std::string& dir : {noInodes.Dir(), readOnly.Dir()}) {
    const auto before = Listing(dir);
    EXPECT_FALSE(ProbeFileName(dir + "/new.log")) << dir;
    ExpectLogRefused(CompareWithLog(dir + "/new.log"), dir + "/new.log");
    EXPECT_EQ(Listing(dir), before) << dir;
  }
}

TEST_F(LogFaultTest, AReadOnlyDirectoryIsNotCreatableForAnUnprivilegedUser) {
  // Guards against a probe that trusts a directory the user may not write to.
  if (const std::string why = UnprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
  tree.MakeDir("locked");
  ASSERT_EQ(chmod(tree.Path("locked").c_str(), 0555), 0);
  ASSERT_EQ(RunUnprivileged(tree, {"/usr/bin/test", "-w", tree.Path("locked")}).ExitCode, 1)
      << "the unprivileged user may write to the directory";
  const ProcessResult r = RunZekUnprivileged(
      tree, {"--batch", "-o", "writelog=1", "-o", "logfilename=" + tree.Path("locked/run.log"), Src("*.*"), Tgt("")});
  ExpectLogRefused(r, tree.Path("locked/run.log"));
  EXPECT_TRUE(fs::is_empty(tree.Path("locked")));
}

}  // namespace
}  // namespace zek::test
