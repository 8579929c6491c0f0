#include "app/gui_main.h"

#include <gtest/gtest.h>

namespace zek::test {
namespace {

using Args = std::vector<std::string>;

// In window mode "zek32 --bogus" made "--bogus" the Source field.
TEST(WindowArgumentsTest, OptionsBeforeDashDashAreUsageErrorsAndPathsAfterIt) {
  std::string error;
  EXPECT_EQ(WindowArguments({"--bogus"}, error), std::nullopt);
  EXPECT_EQ(error, "unknown argument '--bogus'");
  EXPECT_EQ(WindowArguments({"/src/*.*", "-x"}, error), std::nullopt);
  EXPECT_EQ(WindowArguments({"/src/*.*", "-", "/tgt/"}, error), (Args{"/src/*.*", "-", "/tgt/"}));
  EXPECT_EQ(WindowArguments({"--", "-a/*.*", "--"}, error), (Args{"-a/*.*", "--"}));
  EXPECT_EQ(WindowArguments({"/src/*.*", "--", "-tgt"}, error), (Args{"/src/*.*", "-tgt"}));
}

}  // namespace
}  // namespace zek::test
