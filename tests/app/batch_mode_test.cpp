#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/batch_mode.h"
#include "engine/comparison_run.h"
#include "engine/path_rules.h"
#include "platform/file_access.h"
#include "platform/profile.h"
#include "settings/settings_file.h"
#include "support/interrupt.h"
#include "support/process.h"
#include "support/recording_view.h"
#include "support/scoped_env.h"
#include "support/skip.h"
#include "support/test_tree.h"

namespace zek::test {
namespace {

class BatchModeTest : public ::testing::Test {
 protected:
  BatchModeTest() {
    tree.Write("src/a.txt", "alpha");
    tree.Write("tgt/a.txt", "alpha");
  }
  ProcessResult Zek(std::vector<std::string> args) {
    args.insert(args.begin(), ZEK32_BINARY);
    return RunProcess(args);
  }
  TempTree tree;
  // Never read the user's own settings file: on Linux the program and its
  // tests look for it below the tree. On Windows it is in the Windows
  // directory, which under Wine belongs to the test run's own prefix.
  ScopedEnv config{"XDG_CONFIG_HOME", tree.Path("config").c_str()};
};

TEST_F(BatchModeTest, ExitCodesFollowTheVerdict) {
  const ProcessResult same = Zek({"--batch", tree.Path("src/*.txt"), tree.Path("tgt/")});
  EXPECT_EQ(same.ExitCode, kExitSame);
  EXPECT_EQ(same.Out, "running...\nfinished.\nFiles total: 1\nNo differences found\n");
  EXPECT_EQ(same.Err, "");  // no progress line when stderr is not a terminal

  tree.Write("tgt/a.txt", "alphA");
  const ProcessResult different = Zek({"--batch", tree.Path("src/*.txt"), tree.Path("tgt/")});
  EXPECT_EQ(different.ExitCode, kExitDifferent);
  EXPECT_NE(different.Out.find("do not match."), std::string::npos);
}

TEST_F(BatchModeTest, ExitCodeThreeWhenSomethingCouldNotBeCompared) {
  // Guards against exit 0, "verified", for a run that could not open a file or list a directory.
  tree.Write("tgt/pipe", "");
  const UnopenableFile pipe(tree, "src/pipe");
  const ProcessResult file = Zek({"--batch", tree.Path("src/*.*"), tree.Path("tgt/")});
  EXPECT_EQ(file.ExitCode, kExitNotAllCompared);
  EXPECT_NE(file.Out.find("\nNo differences found\n"), std::string::npos) << file.Out;
  EXPECT_EQ(file.Err, "Not compared: 1 file, 0 directories\n");
  const ProcessResult directory = Zek({"--batch", tree.Path("none/*.*"), tree.Path("tgt/")});
  EXPECT_EQ(directory.ExitCode, kExitNotAllCompared);
  EXPECT_EQ(directory.Err, "Nothing compared: no file in " + tree.Path("none") +
                               " or its subdirectories matches the mask \"*.*\", 1 directory not listed\n");
  // Differences found still win.
  tree.Write("tgt/a.txt", "alphA");
  const ProcessResult different = Zek({"--batch", tree.Path("src/*.*"), tree.Path("tgt/")});
  EXPECT_EQ(different.ExitCode, kExitDifferent);
  EXPECT_EQ(different.Err, "Not compared: 1 file, 0 directories\n");
  EXPECT_NE(Zek({"--help"}).Out.find("\n  3  no differences among the files compared"), std::string::npos);
}

TEST_F(BatchModeTest, ArgumentsMeanTheDirectoriesAndFilesTheyName) {
  // Guards against arguments typed as for diff -r or cmp that compared nothing, or the wrong thing, "No differences found".
  tree.Write("src/sub/b.txt", "bravo");
  tree.Write("tgt/sub/b.txt", "bravo");
  const auto run = [&](const std::string& source, const std::string& target) {
    return Zek({"--batch", tree.Path(source), tree.Path(target)});
  };
  for (const auto& [source, target] : {std::pair{"src", "tgt"}, {"src/", "tgt/"}, {"src/*.*", "tgt"}}) {
    const ProcessResult r = run(source, target);
    EXPECT_EQ(r.ExitCode, kExitSame) << source << " " << target << r.Err;
    EXPECT_NE(r.Out.find("\nFiles total: 2\n"), std::string::npos) << source << " " << target << r.Out;
  }
  const ProcessResult fresh = run("src", "new");
  EXPECT_EQ(fresh.ExitCode, kExitDifferent);
  EXPECT_NE(fresh.Out.find("Target file not found: " + tree.Path("new/a.txt") + "\n"), std::string::npos) << fresh.Out;

  tree.Write("old.bin", "one");
  tree.Write("new.bin", "two");
  const ProcessResult files = run("old.bin", "new.bin");
  EXPECT_EQ(files.ExitCode, kExitDifferent);
  EXPECT_EQ(files.Out, "running...\nFile " + tree.Path("old.bin") + " and " + tree.Path("new.bin") +
                           " do not match.\nfinished.\nFiles total: 1\nFiles with differences: 1\nDifferences found.\n");
  const ProcessResult missing = run("old.bin", "gone.bin");
  EXPECT_EQ(missing.ExitCode, kExitDifferent);
  EXPECT_NE(missing.Out.find("Target file not found: " + tree.Path("gone.bin")), std::string::npos) << missing.Out;

  for (const auto& [source, target] : {std::pair{"src/*.*", "src/"}, {"src", "src/sub/.."}, {"old.bin", "old.bin"}}) {
    const ProcessResult same = run(source, target);
    EXPECT_EQ(same.ExitCode, kExitTrouble) << source << " " << target;
    EXPECT_EQ(same.Out, "");
    EXPECT_NE(same.Err.find("are the same"), std::string::npos) << same.Err;
  }

  tree.MakeDir("empty");
  const std::string nothing =
      "Nothing compared: no file in " + tree.Path("empty") + " or its subdirectories matches the mask \"*.*\"\n";
  const ProcessResult empty = run("empty", "tgt");
  EXPECT_EQ(empty.ExitCode, kExitNotAllCompared);
  EXPECT_EQ(empty.Err, nothing);
  EXPECT_EQ(empty.Out, "running...\nfinished.\nFiles total: 0\n" + nothing + "No differences found\n");
}

TEST_F(BatchModeTest, OptionsAndTheLogWorkAsInTheWindow) {
  tree.Write("tgt/a.txt", "alphA");
  const std::string log = tree.Path("run.log");
  const ProcessResult r = Zek({"--batch", "-o", "msgdifferat=1", "--option", "StopAfterBytes=$1", "-o", "writelog=1",
                               "-o", "logfilename=" + log, tree.Path("src/*.*"), tree.Path("tgt/")});
  EXPECT_EQ(r.ExitCode, kExitDifferent);
  const std::string pair = "File " + tree.Path("src/a.txt") + " and " + tree.Path("tgt/a.txt");
  EXPECT_EQ(r.Out, "running...\n" + pair + " differ at position 05 (hex)\n" + pair +
                       " do not match.\nfinished.\nFiles total: 1\nFiles with differences: 1\n"
                       "Differences found. Log written: " +
                       log + "\n");
  std::string crlf;
  for (size_t i = 0; i < r.Out.size(); ++i) crlf += r.Out[i] == '\n' ? std::string("\r\n") : std::string(1, r.Out[i]);
  EXPECT_EQ(tree.Read("run.log"), crlf);
}

TEST_F(BatchModeTest, CommandLineMistakesAreUsageErrors) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--batch", tree.Path("src/*.*")},
        {"--batch", "-o", "NoSuchKey=1", tree.Path("src/*.*"), tree.Path("tgt/")},
        {"--batch", "-o", "MsgEqual=yes", tree.Path("src/*.*"), tree.Path("tgt/")},
        {"--batch", "-o", "StopAfterBytes=12abc", tree.Path("src/*.*"), tree.Path("tgt/")},
        {"--batch", "-o", tree.Path("src/*.*"), tree.Path("tgt/")},
        {"--batch", "--frobnicate", tree.Path("src/*.*"), tree.Path("tgt/")}}) {
    const ProcessResult r = Zek(args);
    EXPECT_EQ(r.ExitCode, kExitTrouble) << args[2];
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("zek32 --help"), std::string::npos);
  }
  // Guards against the window start aborting the process where there is no display.
  const ProcessResult headless = RunProcess({ZEK32_BINARY}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
  EXPECT_EQ(headless.ExitCode, kExitTrouble);
#ifdef ZEK32_WITH_GUI
  // Said by the windows' module, so the program found and loaded it.
  EXPECT_NE(headless.Err.find("no display"), std::string::npos) << headless.Err;
#endif
  EXPECT_NE(headless.Err.find("--batch"), std::string::npos);
  const ProcessResult help = Zek({"--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Out.find("--batch"), std::string::npos);
  EXPECT_EQ(Zek({"--version"}).Out, "zek32 " ZEK32_VERSION "\n");
}

TEST_F(BatchModeTest, TheProgramLoadsNoWindowLibrary) {
  // Guards against batch mode paying for the start-up and memory of the window libraries it never uses.
  ZEK_SKIP_ON_WINDOWS("asks the Linux loader which libraries the program loads");
  const ProcessResult r = RunProcess({ZEK32_BINARY, "--version"}, {"LD_TRACE_LOADED_OBJECTS=1"});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_NE(r.Out.find("libc.so"), std::string::npos) << r.Out;  // the loader did list the libraries
  EXPECT_EQ(r.Out.find("Qt"), std::string::npos) << r.Out;
}

#ifdef ZEK32_WITH_GUI
TEST_F(BatchModeTest, WithoutTheWindowModuleTheWindowStartNamesItsPackage) {
  // Guards against an install without zek32-gui answering a window start with a bare loader error.
  const std::string copy = tree.Path("bin/zek32");
  std::filesystem::create_directories(tree.Path("bin"));
  std::filesystem::copy_file(ZEK32_BINARY, copy);
  const ProcessResult r = RunProcess({copy}, {"QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(r.ExitCode, kExitTrouble);
  EXPECT_NE(r.Err.find("install the package zek32-gui"), std::string::npos) << r.Err;
}
#endif

TEST_F(BatchModeTest, AnIoErrorEndsTheRunWithItsTextOnStderr) {
  ZEK_SKIP_ON_WINDOWS("writes its log to /dev/full (WindowsPathsTest has a log that cannot be opened)");
  const ProcessResult r = Zek({"--batch", "-o", "writelog=1", "-o", "logfilename=/dev/full", tree.Path("src/*.*"),
                               tree.Path("tgt/")});
  EXPECT_EQ(r.ExitCode, kExitTrouble);
  EXPECT_EQ(r.Err, "I/O-Fehler 28.\n");
}

TEST_F(BatchModeTest, SettingsComeFromTheSettingsFileThenTheOverrides) {
  tree.Write("src/sub/b.txt", "bravo");
  tree.Write("tgt/sub/b.txt", "bravo");
  const std::string equalA = "File " + tree.Path("src/a.txt") + " and " + tree.Path("tgt/a.txt") + " are equal.";
  const std::string equalB = "File " + tree.Path("src/sub/b.txt") + " and " + tree.Path("tgt/sub/b.txt") + " are equal.";
  const std::string stored = "[Compare]\r\nIncludeSubDir=0\r\n[Options]\r\nMsgEqual=1\r\n";
  // The program's own settings file. One that is there before the test is
  // someone's, and stays untouched.
  const std::string settings = ResolveSettingsPath(kSettingsFileName);
  ASSERT_FALSE(std::filesystem::exists(settings)) << settings;
  struct Removed {
    const std::string& path;
    ~Removed() { std::filesystem::remove(path); }
  } removed{settings};
  std::filesystem::create_directories(std::filesystem::path(settings).parent_path());
  std::ofstream(settings, std::ios::binary) << stored;
  const std::vector<std::string> paths{tree.Path("src/*.txt"), tree.Path("tgt/")};

  ProcessResult r = Zek({"--batch", paths[0], paths[1]});
  EXPECT_EQ(r.Out, "running...\n" + equalA + "\nfinished.\nFiles total: 1\nNo differences found\n");
  // An -o override beats the file.
  r = Zek({"--batch", "-o", "IncludeSubDir=1", paths[0], paths[1]});
  EXPECT_NE(r.Out.find(equalB), std::string::npos);
  // --ini names another file; its keys replace the start values only where present.
  tree.Write("other.ini", "[options]\nmsgequal = 0\n");
  r = Zek({"--batch", "--ini", tree.Path("other.ini"), paths[0], paths[1]});
  EXPECT_EQ(r.Out, "running...\nfinished.\nFiles total: 2\nNo differences found\n");
  // Batch mode never writes a settings file.
  std::ostringstream after;
  after << std::ifstream(settings, std::ios::binary).rdbuf();
  EXPECT_EQ(after.str(), stored);

  r = Zek({"--batch", "--ini", tree.Path("missing.ini"), paths[0], paths[1]});
  EXPECT_EQ(r.ExitCode, kExitTrouble);
  EXPECT_EQ(r.Err, "File not found.\n");
  EXPECT_FALSE(tree.Exists("missing.ini"));
}

// Stands in for a user pressing Ctrl-C while the first block is read.
class InterruptOnRead : public FileAccess {
 public:
  FileResult<size_t> BlockRead(FileHandle h, void* buffer, size_t count) override {
    if (!raised_) {
      raised_ = true;
      PressCtrlC();
    }
    return FileAccess::BlockRead(h, buffer, count);
  }

 private:
  bool raised_ = false;
};

TEST_F(BatchModeTest, CtrlCWindsTheRunDownLikeCancel) {
  tree.Write("src/big", std::string(1000000, 'b'));
  tree.Write("tgt/big", std::string(1000000, 'b'));
  tree.Write("src/z/later", "x");
  InterruptOnRead interrupting;
  ScopedFileAccess scoped(interrupting);
  testing::internal::CaptureStdout();
  const int code = RunBatch(ReadCommandLine({"--batch", tree.Path("src/big"), tree.Path("tgt/")}));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, kExitTrouble);
  EXPECT_EQ(out, "running...\nfinished.\nUSER BREAK!\nFiles total: 1\nNo differences found\n");
}

TEST_F(BatchModeTest, NamesWithControlCharactersStayOnOneLine) {
  // Guards against a name with line breaks or terminal escapes splitting its line or forging a verdict line.
  ZEK_SKIP_ON_WINDOWS("Windows names hold no control characters, and a backslash is their separator");
  const std::vector<std::pair<std::string, std::string>> names = {
      {"evil\r\nNo differences found", "evil\\x0D\\x0ANo differences found"},
      {"esc\x1b]0;t\a\x1b[2K\x7f", "esc\\x1B]0;t\\x07\\x1B[2K\\x7F"},
      {"plain", "plain"},  // a name without them stays byte for byte
      {"back\\slash", "back\\slash"},
      {"lit\\x0A", "lit\\\\x0A"},  // not to be taken for an escaped line break
  };
  for (const auto& [name, shown] : names) {
    tree.Write("src/" + name, "same");
    tree.Write("tgt/" + name, "same");
  }
  const std::string log = tree.Path("run.log");
  const ProcessResult r = Zek({"--batch", "-o", "MsgEqual=1", "-o", "writelog=1", "-o", "logfilename=" + log,
                               tree.Path("src/*.*"), tree.Path("tgt/")});
  EXPECT_EQ(r.ExitCode, kExitSame);
  for (const auto& [name, shown] : names) {
    const std::string line = "File " + tree.Path("src/") + shown + " and " + tree.Path("tgt/") + shown + " are equal.";
    EXPECT_NE(r.Out.find("\n" + line + "\n"), std::string::npos) << line;
    EXPECT_NE(tree.Read("run.log").find("\r\n" + line + "\r\n"), std::string::npos) << line;
  }
  EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), 10) << r.Out;
  // The caption of the file label, which the progress line shows too.
  RecordingView view;
  TPlainRunInputs inputs;
  inputs.Source = tree.Path("src/esc*");
  inputs.Target = tree.Path("tgt/");
  TComparisonRun run(view, inputs);
  run.RunComparison();
  const std::pair<StatusLabel, std::string> caption{StatusLabel::File,
                                                    "Comparing: " + tree.Path("src/") + names[1].second};
  EXPECT_NE(std::find(view.LabelHistory.begin(), view.LabelHistory.end(), caption), view.LabelHistory.end());
}

TEST_F(BatchModeTest, AManifestWrittenByARunChecksTheTargetAlone) {
  // Guards against a manifest that vouches for files the run did not find equal, that sha256sum cannot read, or a
  // check that calls a damaged copy intact.
  tree.Write("src/sub/b.bin", std::string(70000, 'b'));
  tree.Write("tgt/sub/b.bin", std::string(70000, 'b'));
  tree.Write("src/c.txt", "charlie");
  tree.Write("tgt/c.txt", "charlie");
  tree.Write("src/d.txt", "delta");
  tree.Write("tgt/d.txt", "DELTA");  // differs: not recorded
  tree.Write("src/e.txt", "echo");   // missing in the target: not recorded
#ifndef _WIN32
  // Names sha256sum escapes, and one that is no UTF-8.
  const std::string odd[] = {"new\nline", "back\\slash", "bad\xff"};
  for (const std::string& name : odd) {
    tree.Write("src/" + name, name);
    tree.Write("tgt/" + name, name);
  }
#endif
  const std::string manifest = tree.Path("m.sha256");
  const ProcessResult run = Zek({"--batch", "--write-manifest", manifest, tree.Path("src"), tree.Path("tgt")});
  EXPECT_EQ(run.ExitCode, kExitDifferent) << run.Err;
  const std::string recorded = tree.Read("m.sha256");
  const int32_t files = 3 + (kNativeSyntax == PathSyntax::Windows ? 0 : 3);
  EXPECT_NE(run.Out.find("Manifest written: " + manifest + " (" + std::to_string(files) + " files)\nDifferences found."),
            std::string::npos)
      << run.Out;
  EXPECT_NE(recorded.find("#= 70000 "), std::string::npos) << recorded;
  EXPECT_NE(recorded.find("  sub/b.bin\n"), std::string::npos) << recorded;
  EXPECT_EQ(recorded.find("d.txt"), std::string::npos) << recorded;
  EXPECT_EQ(recorded.find("e.txt"), std::string::npos) << recorded;
  EXPECT_NE(recorded.find("\n# end: " + std::to_string(files) + " files\n"), std::string::npos) << recorded;
#ifndef _WIN32
  EXPECT_NE(recorded.find("\n\\"), std::string::npos) << recorded;
  if (RunProcess({"sh", "-c", "command -v sha256sum"}).ExitCode == 0) {
    const ProcessResult sums = RunProcess({"sh", "-c", "cd \"$0\" && sha256sum --strict -c \"$1\"", tree.Path("tgt"), manifest});
    EXPECT_EQ(sums.ExitCode, 0) << sums.Out << sums.Err;
  }
#endif

  const auto check = [&](std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--batch"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {"--manifest", manifest, tree.Path("tgt")});
    return Zek(args);
  };
  const ProcessResult intact = check();
  EXPECT_EQ(intact.ExitCode, kExitSame) << intact.Out << intact.Err;
  EXPECT_EQ(intact.Out, "running...\nfinished.\nFiles total: " + std::to_string(files) + "\nNo differences found\n");
  // The shards split the files between them.
  const ProcessResult first = check({"--shard", "1/2"});
  const ProcessResult second = check({"--shard", "2/2"});
  const auto total = [](const std::string& out) { return std::stoi(out.substr(out.find("Files total: ") + 13)); };
  EXPECT_EQ(total(first.Out) + total(second.Out), files) << first.Out << second.Out;

  // A time alone is a line, and a difference only where the option says so.
  tree.SetTime("tgt/c.txt", kFixedTime + 10);
  const ProcessResult touched = check();
  EXPECT_EQ(touched.ExitCode, kExitSame) << touched.Out;
  EXPECT_NE(touched.Out.find("File " + tree.Path("tgt/c.txt") + " has a different file time: "), std::string::npos);
  EXPECT_EQ(check({"-o", "ManifestTimeCounts=1"}).ExitCode, kExitDifferent);

  tree.Write("tgt/sub/b.bin", std::string(69999, 'b') + "B");
  const ProcessResult changed = check();
  EXPECT_EQ(changed.ExitCode, kExitDifferent);
  EXPECT_NE(changed.Out.find("File " + tree.Path("tgt/sub/b.bin") + " does not match its recorded SHA-256.\n"),
            std::string::npos)
      << changed.Out;
  tree.Write("tgt/sub/b.bin", std::string(100, 'b'));
  const ProcessResult truncated = check();
  EXPECT_EQ(truncated.ExitCode, kExitDifferent);
  EXPECT_NE(truncated.Out.find(" has a different size: 100 bytes, recorded 70000.\n"), std::string::npos)
      << truncated.Out;
  std::filesystem::remove(tree.Path("tgt/sub/b.bin"));
  const ProcessResult removed = check();
  EXPECT_EQ(removed.ExitCode, kExitDifferent);
  EXPECT_NE(removed.Out.find("Target file not found: " + tree.Path("tgt/sub/b.bin") + "\n"), std::string::npos);
  tree.Write("tgt/sub/b.bin", std::string(70000, 'b'));
  tree.SetTime("tgt/c.txt", kFixedTime);
  std::filesystem::remove(tree.Path("tgt/a.txt"));
  const UnopenableFile unreadable(tree, "tgt/a.txt");
  const ProcessResult unchecked = check();
  EXPECT_EQ(unchecked.ExitCode, kExitNotAllCompared) << unchecked.Out;
  EXPECT_NE(unchecked.Out.find("Could not check target file: " + tree.Path("tgt/a.txt")), std::string::npos);
  EXPECT_EQ(unchecked.Err, "Not checked: 1 file\n");
}

TEST_F(BatchModeTest, AManifestThatCannotBeTrustedIsRefused) {
  // Guards against a manifest that looks complete after a failed run, a check of a damaged manifest that passes,
  // and a manifest written over a file of the trees.
  const std::string manifest = tree.Path("m.sha256");
  tree.Write("m.sha256", "kept");
  const ProcessResult failed = Zek({"--batch", "--write-manifest", manifest, "-o", "writelog=1", "-o",
                                    "logfilename=" + tree.Path("none/run.log"), tree.Path("src"), tree.Path("tgt")});
  EXPECT_EQ(failed.ExitCode, kExitTrouble);
  EXPECT_EQ(tree.Read("m.sha256"), "kept");
  EXPECT_FALSE(std::filesystem::exists(manifest + ".part"));
  for (const std::vector<std::string>& refused :
       {std::vector<std::string>{"-o", "CompareOnlyTimeDateSize=1", "--write-manifest", manifest},
        {"--write-manifest", tree.Path("src/m.sha256")},
        {"--write-manifest", tree.Path("tgt/a.txt")},
        {"--shard", "3/2", "--manifest", manifest}}) {
    std::vector<std::string> args{"--batch"};
    args.insert(args.end(), refused.begin(), refused.end());
    args.insert(args.end(), {tree.Path("src"), tree.Path("tgt")});
    const ProcessResult r = Zek(args);
    EXPECT_EQ(r.ExitCode, kExitTrouble) << refused[1];
    EXPECT_EQ(r.Out, "") << refused[1];
  }
  EXPECT_EQ(tree.Read("tgt/a.txt"), "alpha");

  ASSERT_EQ(Zek({"--batch", "--write-manifest", manifest, tree.Path("src"), tree.Path("tgt")}).ExitCode, kExitSame);
  const std::string good = tree.Read("m.sha256");
  const auto check = [&](const std::string& text) {
    tree.Write("m.sha256", text);
    return Zek({"--batch", "--manifest", manifest, tree.Path("tgt")});
  };
  const ProcessResult cut = check(good.substr(0, good.find("# end")));
  EXPECT_EQ(cut.ExitCode, kExitTrouble);
  EXPECT_NE(cut.Err.find(manifest + ":5: no end line"), std::string::npos) << cut.Err;
  const size_t comment = good.find("\n#= ") + 1;
  const ProcessResult garbled = check(good.substr(0, comment) + "#= 5 2026-13-01 00:00:00\n" +
                                      good.substr(good.find('\n', comment) + 1));
  EXPECT_EQ(garbled.ExitCode, kExitTrouble);
  EXPECT_NE(garbled.Err.find(manifest + ":3: "), std::string::npos) << garbled.Err;
  const ProcessResult none = check("# nothing here\n");
  EXPECT_EQ(none.ExitCode, kExitNotAllCompared);
  EXPECT_EQ(none.Err, "Nothing checked: the manifest records no file\n");
  std::filesystem::remove(manifest);
  EXPECT_EQ(Zek({"--batch", "--manifest", manifest, tree.Path("tgt")}).ExitCode, kExitTrouble);
}

}  // namespace
}  // namespace zek::test
