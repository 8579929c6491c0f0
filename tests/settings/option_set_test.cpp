#include "settings/option_set.h"

#include <gtest/gtest.h>

namespace zek {
namespace {

TEST(OptionSet, ComparisonModesExcludeEachOther) {
  TOptionSet options;
  options.SetChecked(Option::OnlyTimeDateSize, true);
  options.SetChecked(Option::CompareDifferentSize, true);
  EXPECT_FALSE(options.Checked(Option::OnlyTimeDateSize));
  options.SetChecked(Option::OnlyTimeDateSize, true);
  EXPECT_FALSE(options.Checked(Option::CompareDifferentSize));
  // Unchecking, or setting a box to the state it has, leaves the other alone.
  options.SetChecked(Option::OnlyTimeDateSize, false);
  options.SetChecked(Option::CompareDifferentSize, true);
  options.SetChecked(Option::CompareDifferentSize, true);
  options.SetChecked(Option::OnlyTimeDateSize, false);
  EXPECT_TRUE(options.Checked(Option::CompareDifferentSize));
  EXPECT_EQ(ModeToUncheck(Option::WriteLog, true, true), std::nullopt);
}

TEST(OptionSet, CompNrStaysInRange) {
  TOptionSet options;
  EXPECT_EQ(options.CompNr(), 10);
  for (const auto& [set, expected] : {std::pair{10001, 10000}, {-1, 0}, {9999, 9999}, {2147483647, 10000}}) {
    options.SetCompNr(set);
    EXPECT_EQ(options.CompNr(), expected) << set;
  }
}

}  // namespace
}  // namespace zek
