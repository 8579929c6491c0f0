#include "settings/option_set.h"
#include "settings/value_rules.h"

#include <gtest/gtest.h>

#include <cstdint>

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

TEST(OptionSet, TheLeastThirtyTwoBitNumberIsANumberAndCountsAsZero) {
  // Guards against StopAfterBytes=-2147483648 refused by -o and ignored in a settings file.
  ASSERT_EQ(ParseIniInteger("-2147483648"), std::optional<int32_t>(INT32_MIN));
  EXPECT_EQ(ParseIniInteger("-2147483649"), std::nullopt);
  TOptionSet options;
  options.SetCompNr(*ParseIniInteger("-2147483648"));
  EXPECT_EQ(options.CompNr(), 0);
}

}  // namespace
}  // namespace zek
