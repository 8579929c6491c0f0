#pragma once
// The run's inputs as plain values, for batch mode and the tests. Not beside
// IRunInputs: they hold a TOptionSet, and the engine knows no settings.
#include <string>

#include "engine/run_interfaces.h"
#include "settings/option_set.h"

namespace zek {

struct TPlainRunInputs : IRunInputs {
  std::string Source;
  std::string Target;
  bool SubDirs = true;
  bool FromDisk = false;
  TOptionSet OptionSet;
  std::string SourcePath() const override { return Source; }
  std::string TargetPath() const override { return Target; }
  bool IncludeSubDir() const override { return SubDirs; }
  IOptionControls& Options() override { return OptionSet; }
  bool ReadFromDisk() const override { return FromDisk; }
};

}  // namespace zek
