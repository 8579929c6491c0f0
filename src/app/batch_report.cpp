#include "app/batch_report.h"

#include <cerrno>

#include "engine/path_rules.h"
#include "platform/io_error.h"

namespace zek {
namespace {

std::vector<ReportOption> OptionsInForce(const TPlainRunInputs& inputs) {
  std::vector<ReportOption> options;
  const TOptionSet& set = inputs.OptionSet;
  for (const OptionKey& key : kOptionKeys)
    VisitOptionValue(
        key, [&](Option box) { options.push_back({key.Key, set.Checked(box)}); },
        [&] { options.push_back({key.Key, int64_t{set.CompNr()}}); },
        [&] { options.push_back({key.Key, set.LogName()}); });
  options.push_back({"ReadFromDisk", inputs.FromDisk});
  return options;
}

FileTime Now() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  return {seconds.count(), static_cast<int32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
}

}  // namespace

BatchReport::BatchReport(const std::string& name) : report_([this](const std::string& line) { Write(line); }) {
  if (name != "-") file_.Rewrite(name);
}

void BatchReport::Write(const std::string& line) {
  if (!OnStdout()) {
    file_.WriteLine(line);
  } else if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fputc('\n', stdout) == EOF) {
    throw EInOutError(errno != 0 ? errno : EIO);
  }
}

void BatchReport::Start(ReportStart start) {
  start_ = std::chrono::steady_clock::now();
  start.Started = Now();
  report_.Started(start);
}

void BatchReport::Started(const TPlainRunInputs& inputs, const Shard& part) {
  Start({std::nullopt, inputs.Source, inputs.Target, DirectoryOrCurrent(inputs.Source), NamePart(inputs.Source), DirectoryOrCurrent(inputs.Target), inputs.SubDirs, part, OptionsInForce(inputs), {}});
}

void BatchReport::Started(const TPlainRunInputs& inputs, const ManifestCheckPlan& plan) {
  std::vector<ReportOption> options = OptionsInForce(inputs);
  options.push_back({"ManifestTimeCounts", plan.TimeCounts});
  Start({plan.ManifestFile, "", plan.TargetDir, "", "", plan.TargetDir, true, plan.Part, std::move(options), {}});
}

void BatchReport::Ended(const RunCounts& counts, RunEnding ending, const std::string& error, int exitCode) {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  report_.Ended({counts, ending, error, exitCode, elapsed.count()});
  if (OnStdout()) {
    if (std::fflush(stdout) != 0) throw EInOutError(errno != 0 ? errno : EIO);
  } else {
    file_.Close();
  }
}

}  // namespace zek
