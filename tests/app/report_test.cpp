#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/batch_mode.h"
#include "support/process.h"
#include "support/scoped_env.h"
#include "support/test_tree.h"

namespace zek::test {
namespace {

// Reads a report with Python's json module: each file record's exact path
// bytes in hex, one per line, sorted; then the last record's type and exit code.
constexpr const char* kReadReport = R"(
import base64, json, sys
records = [json.loads(line) for line in open(sys.argv[1], 'rb')]
paths = sorted((base64.b64decode(r['path_bytes']) if 'path_bytes' in r else r['path'].encode()).hex()
               for r in records if r['type'] == 'file')
print('\n'.join(paths))
print(records[-1]['type'], records[-1]['exit_code'])
)";

// Prints the file records of the reports given, each as canonical JSON, sorted.
constexpr const char* kFileRecords = R"(
import json, sys
records = [json.loads(line) for name in sys.argv[1:] for line in open(name, 'rb')]
print('\n'.join(sorted(json.dumps(r, sort_keys=True) for r in records if r['type'] == 'file')))
)";

// A check's report: its run record, then per file (by path) its status, reason, size_differs, digest_differs and
// whether the recorded time is the one found; then the last record.
constexpr const char* kCheckReport = R"(
import json, sys
records = [json.loads(line) for line in open(sys.argv[1], 'rb')]
print(records[0]['type'], records[0]['mode'], records[0]['manifest'] == sys.argv[2], records[0]['source'])
for r in sorted((r for r in records if r['type'] == 'file'), key=lambda r: r['path']):
    print(r['path'], r['status'], r['reason'], r['size_differs'], r['digest_differs'],
          r['target'] is not None and r['source']['dos_time'] == r['target']['dos_time'])
print(records[-1]['type'], records[-1]['ended'], records[-1]['exit_code'], json.dumps(records[-1]['counts'], sort_keys=True))
)";

class ReportTest : public ::testing::Test {
 protected:
  ProcessResult Zek(std::vector<std::string> args) {
    args.insert(args.begin(), ZEK32_BINARY);
    return RunProcess(args);
  }
  static std::string Hex(const std::string& bytes) {
    static constexpr const char* kDigits = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) hex += {kDigits[c >> 4], kDigits[c & 15]};
    return hex;
  }
  // The lines of a run's end: its count lines and its verdict.
  static std::string Summary(const std::string& out) { return out.substr(out.find("finished.\n") + 10); }

  TempTree tree;
  ScopedEnv config{"XDG_CONFIG_HOME", tree.Path("config").c_str()};
};

TEST_F(ReportTest, EveryNameSurvivesTheReportExactly) {
  // Guards against a name with quotes, control characters or bytes that are not UTF-8 breaking a record or losing its bytes.
  const std::vector<std::string> names = {"q\"uote", "back\\slash", "ctl\x01\x1f\t\nx", "bad\xff\xfe",
                                          "over\xc0\xaf", "surr\xed\xa0\x80", "\xc3\xbcmlaut", "del\x7f"};
  std::vector<std::string> expected;
  for (const std::string& name : names) {
    tree.Write("src/" + name, "same");
    tree.Write("tgt/" + name, "same");
    expected.push_back(Hex(name));
  }
  std::sort(expected.begin(), expected.end());
  std::string paths;
  for (const std::string& hex : expected) paths += hex + "\n";

  const ProcessResult run = Zek({"--batch", "--report", tree.Path("r.jsonl"), tree.Path("src/*"), tree.Path("tgt")});
  ASSERT_EQ(run.ExitCode, kExitSame) << run.Err;
  const ProcessResult python = RunProcess({"/usr/bin/python3", "-c", kReadReport, tree.Path("r.jsonl")});
  EXPECT_EQ(python.Out, paths + "end 0\n") << python.Err;
  EXPECT_EQ(RunProcess({"/usr/bin/jq", "-e", "-c", ".type", tree.Path("r.jsonl")}).ExitCode, 0);

  // To stdout, the report is all that is there; the message lines go to stderr.
  const ProcessResult piped = Zek({"--batch", "--report", "-", tree.Path("src/*"), tree.Path("tgt")});
  EXPECT_EQ(piped.ExitCode, kExitSame);
  tree.Write("piped.jsonl", piped.Out);
  const ProcessResult fromFile = RunProcess({"/usr/bin/python3", "-c", kFileRecords, tree.Path("r.jsonl")});
  EXPECT_EQ(RunProcess({"/usr/bin/python3", "-c", kFileRecords, tree.Path("piped.jsonl")}).Out, fromFile.Out);
  EXPECT_EQ(std::count(piped.Out.begin(), piped.Out.end(), '\n'), static_cast<long>(names.size()) + 2);
  EXPECT_NE(piped.Err.find("finished.\nFiles total: 8\nNo differences found\n"), std::string::npos) << piped.Err;
}

TEST_F(ReportTest, FourShardsAtOnceGiveWhatOneRunGives) {
  // Guards against shards that miss or repeat a file, or whose merge gives another verdict than one run.
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "d" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".txt";
    const std::string content = "content " + std::to_string(i);
    tree.Write("src/" + name, content);
    switch (i % 50) {
      case 1:  // same time and size, other bytes
        tree.Write("tgt/" + name, "CONTENT " + std::to_string(i));
        break;
      case 2:
        tree.Write("tgt/" + name, content + "+");
        break;
      case 3:
        tree.Write("tgt/" + name, content, kFixedTime + 60);
        break;
      case 4:  // no target
        break;
      default:
        tree.Write("tgt/" + name, content);
    }
  }
  tree.Write("tgt/d0/pipe.txt", "");
  tree.MakeFifo("src/d0/pipe.txt");
  const std::string source = tree.Path("src/*.txt");
  const std::string target = tree.Path("tgt");
  const ProcessResult whole =
      Zek({"--batch", "-o", "MsgDifferAt=1", "--report", tree.Path("whole.jsonl"), source, target});
  ASSERT_EQ(whole.ExitCode, kExitDifferent) << whole.Err;

  std::string shards;
  std::vector<std::string> reports;
  for (int k = 1; k <= 4; ++k) {
    reports.push_back(tree.Path("shard" + std::to_string(k) + ".jsonl"));
    shards += std::string("'") + ZEK32_BINARY + "' --batch -o MsgDifferAt=1 --shard " + std::to_string(k) +
              "/4 --report '" + reports.back() + "' '" + source + "' '" + target + "' >/dev/null 2>&1 & ";
  }
  ASSERT_EQ(RunProcess({"/bin/sh", "-c", shards + "wait"}, {}, 120).ExitCode, 0);
  std::vector<std::string> merge = {"--merge-reports"};
  merge.insert(merge.end(), reports.begin(), reports.end());
  const ProcessResult merged = Zek(merge);
  EXPECT_EQ(merged.ExitCode, kExitDifferent) << merged.Err;
  EXPECT_EQ(merged.Out, Summary(whole.Out));
  EXPECT_NE(merged.Out.find("Files total: 3001\nTarget files not found: 60\nFiles with differences: 180\n"),
            std::string::npos)
      << merged.Out;
  std::vector<std::string> pythonShards = {"/usr/bin/python3", "-c", kFileRecords};
  pythonShards.insert(pythonShards.end(), reports.begin(), reports.end());
  const ProcessResult fromShards = RunProcess(pythonShards);
  const ProcessResult fromWhole = RunProcess({"/usr/bin/python3", "-c", kFileRecords, tree.Path("whole.jsonl")});
  EXPECT_EQ(std::count(fromWhole.Out.begin(), fromWhole.Out.end(), '\n'), 3001);
  EXPECT_TRUE(fromShards.Out == fromWhole.Out) << "the shards' file records differ from the whole run's";

  // A shard not given, one cut off, and directories that only the first shard reports.
  merge.pop_back();
  const ProcessResult missing = Zek(merge);
  EXPECT_EQ(missing.ExitCode, kExitTrouble);
  EXPECT_EQ(missing.Err, "zek32: shards missing: 4/4\n");
  tree.Write("cut.jsonl", tree.Read("shard4.jsonl").substr(0, 400));
  merge.push_back(tree.Path("cut.jsonl"));
  EXPECT_EQ(Zek(merge).ExitCode, kExitTrouble);
  std::vector<std::string> unlisted = {"--merge-reports"};
  for (int k = 1; k <= 4; ++k) {
    unlisted.push_back(tree.Path("none" + std::to_string(k) + ".jsonl"));
    Zek({"--batch", "--shard", std::to_string(k) + "/4", "--report", unlisted.back(), tree.Path("none/*"), target});
  }
  const ProcessResult none = Zek(unlisted);
  EXPECT_EQ(none.ExitCode, kExitNotAllCompared);
  EXPECT_NE(none.Out.find("1 directory not listed"), std::string::npos) << none.Out;
}

TEST_F(ReportTest, ACheckAgainstAManifestReportsEveryFileItTookUp) {
  // Guards against a check's report that loses or misnames an outcome, takes up its own file, or empties the manifest.
  for (const char* name : {"a.txt", "sub/b.txt", "c.txt"}) {
    tree.Write(std::string("src/") + name, std::string("content of ") + name);
    tree.Write(std::string("tgt/") + name, std::string("content of ") + name);
  }
  const std::string manifest = tree.Path("m.sha256");
  ASSERT_EQ(Zek({"--batch", "--write-manifest", manifest, tree.Path("src"), tree.Path("tgt")}).ExitCode, kExitSame);
  tree.Write("tgt/sub/b.txt", "content of sub/B.txt");
  std::filesystem::remove(tree.Path("tgt/c.txt"));
  const auto check = [&](const std::string& report) {
    return Zek({"--batch", "--manifest", manifest, "--report", report, tree.Path("tgt")});
  };
  const auto read = [&](const std::string& report) {
    return RunProcess({"/usr/bin/python3", "-c", kCheckReport, report, manifest}).Out;
  };
  ASSERT_EQ(check(tree.Path("r.jsonl")).ExitCode, kExitDifferent);
  EXPECT_EQ(read(tree.Path("r.jsonl")), R"(run manifest_check True None
a.txt equal None False False True
c.txt target_missing None False None False
sub/b.txt different None False True True
end finished 1 {"different": 1, "directories_not_listed": 0, "files": 3, "not_compared": 0, "target_missing": 1}
)");

  // To stdout, the report is all there is, and the same.
  const ProcessResult piped = check("-");
  EXPECT_EQ(piped.ExitCode, kExitDifferent);
  tree.Write("piped.jsonl", piped.Out);
  EXPECT_EQ(read(tree.Path("piped.jsonl")), read(tree.Path("r.jsonl")));
  EXPECT_NE(piped.Err.find("Target file not found: " + tree.Path("tgt/c.txt")), std::string::npos) << piped.Err;

  // A report that is a file of the target is not checked; one that is the manifest is refused.
  EXPECT_EQ(check(tree.Path("tgt/a.txt")).ExitCode, kExitDifferent);
  EXPECT_NE(read(tree.Path("tgt/a.txt")).find("a.txt not_compared cannot_open_target False None False\n"), std::string::npos);
  EXPECT_NE(read(tree.Path("tgt/a.txt")).find(R"("files": 3, "not_compared": 1,)"), std::string::npos);
  const std::string kept = tree.Read("m.sha256");
  const ProcessResult refused = check(manifest);
  EXPECT_EQ(refused.ExitCode, kExitTrouble);
  EXPECT_EQ(tree.Read("m.sha256"), kept);
  EXPECT_NE(refused.Err.find("the report would overwrite the manifest"), std::string::npos) << refused.Err;
}

}  // namespace
}  // namespace zek::test
