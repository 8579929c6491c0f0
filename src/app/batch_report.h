#pragma once
// Batch mode's JSON Lines report (--report FILE, or the "Options" key
// ReportFile): where its records go, and the run's first and last record,
// which only batch mode can write: it knows the options and the exit code.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "engine/comparison_run.h"
#include "engine/manifest_check.h"
#include "engine/run_report.h"
#include "settings/plain_run_inputs.h"

namespace zek {

class BatchReport {
 public:
  // "-" is stdout. A file is created, or emptied; failing that, EInOutError.
  explicit BatchReport(const std::string& name);
  BatchReport(const BatchReport&) = delete;
  BatchReport& operator=(const BatchReport&) = delete;

  bool OnStdout() const { return !file_.IsOpen(); }
  // The file the report writes, which the run must not take for one of its tree.
  const TextFile* File() const { return OnStdout() ? nullptr : &file_; }
  IRunRecorder& Recorder() { return report_; }

  void Started(const TPlainRunInputs& inputs, const Shard& part);
  // The first record of a check against a manifest.
  void Started(const TPlainRunInputs& inputs, const ManifestCheckPlan& plan);
  // The last record; then everything is written, or EInOutError says why not.
  void Ended(const RunCounts& counts, RunEnding ending, const std::string& error, int exitCode);

 private:
  void Write(const std::string& line);
  void Start(ReportStart start);

  TextFile file_{"\n"};
  RunReport report_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace zek
