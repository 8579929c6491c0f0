#pragma once
// A run against a temporary source and target tree, with recorded output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/comparison_run.h"
#include "support/recording_view.h"
#include "support/test_tree.h"

namespace zek::test {

class RunFixture : public ::testing::Test {
 protected:
  RunFixture() : run(view, inputs) {}

  // Compares src/<mask> with tgt/ and returns the message lines.
  std::vector<std::string> Compare(const std::string& mask = "*.*") {
    inputs.Source = tree.Path("src/" + mask);
    inputs.Target = tree.Path("tgt/");
    run.RunComparison();
    return view.Lines;
  }
  std::string Src(const std::string& name) const { return tree.Path("src/" + name); }
  std::string Tgt(const std::string& name) const { return tree.Path("tgt/" + name); }
  std::string Pair(const std::string& name) const { return "File " + Src(name) + " and " + Tgt(name); }
  IOptionControls& options() { return inputs.OptionSet; }

  TempTree tree;
  RecordingView view;
  PlainInputs inputs;
  TComparisonRun run;
};

}  // namespace zek::test
