#include "app/command_line.h"

#include <gtest/gtest.h>

#include "support/test_tree.h"

namespace zek::test {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, TheModeTheWindowsPathsAndBatchModesArguments) {
  // Guards against a mode or a path read differently from how the arguments were typed.
  EXPECT_EQ(ReadCommandLine({"-o", "--help", "--batch"}).Mode, CommandMode::Help);
  EXPECT_EQ(ReadCommandLine({"--bogus", "--version"}).Mode, CommandMode::Version);
  EXPECT_EQ(ReadCommandLine({"--", "--batch"}).Mode, CommandMode::Window);

  // In window mode "zek32 --bogus" made "--bogus" the Source field.
  EXPECT_EQ(ReadCommandLine({"--bogus"}).Error, "unknown argument '--bogus'");
  EXPECT_EQ(ReadCommandLine({"/src/*.*", "-x"}).Error, "unknown argument '-x'");
  EXPECT_EQ(ReadCommandLine({"/src/*.*", "-", "/tgt/"}).Paths, (Args{"/src/*.*", "-", "/tgt/"}));
  EXPECT_EQ(ReadCommandLine({"--", "-a/*.*", "--"}).Paths, (Args{"-a/*.*", "--"}));
  EXPECT_EQ(ReadCommandLine({"/src/*.*", "--", "-tgt"}).Paths, (Args{"/src/*.*", "-tgt"}));

  const CommandLine batch = ReadCommandLine({"-o", "A=1", "--batch", "--from-disk", "s", "-o", "--", "--", "-t"});
  EXPECT_EQ(batch.Error, "");
  EXPECT_EQ(batch.Assignments, (Args{"A=1", "--"}));
  EXPECT_TRUE(batch.FromDisk);
  EXPECT_EQ(batch.Paths, (Args{"s", "-t"}));
  EXPECT_EQ(ReadCommandLine({"--batch", "s", "t", "-o"}).Error, "-o needs a value");
  EXPECT_EQ(ReadCommandLine({"--batch", "s"}).Error, "SOURCE and TARGET are needed");
  // The first mistake typed is the one reported.
  TempTree tree;
  const std::string missing = tree.Path("missing.ini");
  EXPECT_TRUE(ReadCommandLine({"--batch", "--ini", missing, "--bogus"}).SettingsFileMissing);
  const CommandLine bogusFirst = ReadCommandLine({"--batch", "--bogus", "--ini", missing});
  EXPECT_FALSE(bogusFirst.SettingsFileMissing);
  EXPECT_EQ(bogusFirst.Error, "unknown argument '--bogus'");
}

}  // namespace
}  // namespace zek::test
