#include "engine/run_report.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "engine/json.h"
#include "platform/dos_time.h"
#include "platform/io_error.h"

namespace zek {
namespace {

const char* StatusName(PairStatus status) {
  switch (status) {
    case PairStatus::Equal:
      return "equal";
    case PairStatus::Different:
      return "different";
    case PairStatus::TargetMissing:
      return "target_missing";
    case PairStatus::SourceMissing:
      return "source_missing";
    case PairStatus::NotCompared:
      break;
  }
  return "not_compared";
}

const char* ReasonName(NotComparedReason reason) {
  switch (reason) {
    case NotComparedReason::None:
      break;
    case NotComparedReason::CannotOpenSource:
      return "cannot_open_source";
    case NotComparedReason::CannotOpenTarget:
      return "cannot_open_target";
    case NotComparedReason::NotRegularFile:
      return "not_regular_file";
    case NotComparedReason::IoError:
      return "io_error";
    case NotComparedReason::Interrupted:
      return "interrupted";
  }
  return nullptr;
}

const char* EndingName(RunEnding ending) {
  switch (ending) {
    case RunEnding::Finished:
      break;
    case RunEnding::UserBreak:
      return "user_break";
    case RunEnding::Error:
      return "error";
  }
  return "finished";
}

// Appends `value` in at least `width` decimal digits; records are written by
// the million, and printf's parsing of its format would be most of their cost.
void AppendDigits(std::string& out, int64_t value, int width) {
  char digits[24];
  int n = 0;
  uint64_t rest = static_cast<uint64_t>(value < 0 ? -value : value);
  do {
    digits[n++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0 || n < width);
  if (value < 0) out += '-';
  while (n > 0) out += digits[--n];
}

// Appends "YYYY-MM-DDTHH:MM:SS" of a count of seconds since 1970 in some zone.
void AppendCivilTime(std::string& out, int64_t seconds) {
  using namespace std::chrono;
  const auto days = floor<std::chrono::days>(sys_seconds{std::chrono::seconds{seconds}});
  const year_month_day date{days};
  const hh_mm_ss clock{std::chrono::seconds{seconds} - days.time_since_epoch()};
  AppendDigits(out, static_cast<int>(date.year()), 4);
  out += '-';
  AppendDigits(out, static_cast<unsigned>(date.month()), 2);
  out += '-';
  AppendDigits(out, static_cast<unsigned>(date.day()), 2);
  out += 'T';
  AppendDigits(out, clock.hours().count(), 2);
  out += ':';
  AppendDigits(out, clock.minutes().count(), 2);
  out += ':';
  AppendDigits(out, clock.seconds().count(), 2);
}

// The ISO 8601 time at a known offset from UTC.
void AppendIsoTime(std::string& out, const FileTime& time, int64_t offset) {
  AppendCivilTime(out, time.Seconds + offset);
  if (time.Nanoseconds != 0) {
    int32_t fraction = time.Nanoseconds;
    int width = 9;
    for (; fraction % 10 == 0; fraction /= 10) --width;
    out += '.';
    AppendDigits(out, fraction, width);
  }
  const int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  out += offset < 0 ? '-' : '+';
  AppendDigits(out, minutes / 60, 2);
  out += ':';
  AppendDigits(out, minutes % 60, 2);
}

// Writes the record's members one after the other, commas between.
class Record {
 public:
  Record(std::string& line, ZoneMemo& zone, const char* type) : line_(line), zone_(zone) {
    line_.clear();
    line_ += "{\"type\":\"";
    line_ += type;
    line_ += '"';
  }
  std::string& Done() {
    line_ += '}';
    return line_;
  }
  Record& Name(const char* name) {
    line_ += ",\"";
    line_ += name;
    line_ += "\":";
    return *this;
  }
  Record& Text(const char* name, std::string_view text) {
    Name(name);
    AppendJsonString(line_, text);
    return *this;
  }
  // A path: `name` holds it readably; where its bytes are not UTF-8,
  // `name`_bytes holds them exactly, in base64.
  Record& Path(const char* name, std::string_view path) {
    Name(name);
    if (!AppendJsonString(line_, path)) {
      Name((std::string(name) + "_bytes").c_str());
      AppendJsonString(line_, Base64(path));
    }
    return *this;
  }
  Record& Integer(const char* name, int64_t value) {
    Name(name);
    line_ += std::to_string(value);
    return *this;
  }
  Record& Flag(const char* name, bool value) {
    Name(name);
    line_ += value ? "true" : "false";
    return *this;
  }
  Record& Null(const char* name) {
    Name(name);
    line_ += "null";
    return *this;
  }
  Record& Facts(const char* name, const std::optional<FileFacts>& facts) {
    if (!facts) return Null(name);
    Name(name);
    line_ += "{\"size\":";
    line_ += facts->Size ? std::to_string(*facts->Size) : "null";
    if (!facts->WriteTime) {
      line_ += ",\"time\":null,\"dos_time\":";
      if (facts->TimeSteps) {
        line_ += '"';
        // The steps count from 0000-03-01 (dos_time.h), the civil time's seconds from 1970.
        AppendCivilTime(line_, *facts->TimeSteps * 2 - DaysFromCivil(1970, 1, 1) * 86400);
        line_ += '"';
      } else {
        line_ += "null";
      }
      line_ += '}';
      return *this;
    }
    // One look at the zone serves both times.
    const int64_t offset = zone_.OffsetAt(facts->WriteTime->Seconds);
    line_ += ",\"time\":\"";
    AppendIsoTime(line_, *facts->WriteTime, offset);
    // The compared time: the local wall clock in whole two-second steps.
    const int64_t local = facts->WriteTime->Seconds + offset;
    line_ += "\",\"dos_time\":\"";
    AppendCivilTime(line_, local - (local % 2 + 2) % 2);
    line_ += "\"}";
    return *this;
  }
  Record& Raw(const char* name, const std::string& json) {
    Name(name);
    line_ += json;
    return *this;
  }

 private:
  std::string& line_;
  ZoneMemo& zone_;
};

std::string OptionsObject(const std::vector<ReportOption>& options) {
  std::string json = "{";
  for (const ReportOption& option : options) {
    if (json.size() > 1) json += ',';
    AppendJsonString(json, option.Key);
    json += ':';
    if (const bool* on = std::get_if<bool>(&option.Value)) {
      json += *on ? "true" : "false";
    } else if (const int64_t* number = std::get_if<int64_t>(&option.Value)) {
      json += std::to_string(*number);
    } else {
      AppendJsonString(json, std::get<std::string>(option.Value));
    }
  }
  return json + "}";
}

std::string ShardText(const Shard& shard) { return std::to_string(shard.K) + "/" + std::to_string(shard.N); }

}  // namespace

int64_t ZoneMemo::OffsetAt(int64_t seconds) {
  if (!known_ || seconds != at_) {
    offset_ = LocalOffsetSeconds(static_cast<std::time_t>(seconds));
    at_ = seconds;
    known_ = true;
  }
  return offset_;
}

const char* VerdictName(int exitCode) {
  switch (exitCode) {
    case 0:
      return "same";
    case 1:
      return "different";
    case 3:
      return "incomplete";
    default:
      return "trouble";
  }
}

std::string IsoLocalTime(const FileTime& time) {
  std::string text;
  AppendIsoTime(text, time, LocalOffsetSeconds(static_cast<std::time_t>(time.Seconds)));
  return text;
}

void RunReport::Started(const ReportStart& start) {
  // A check has no source: the manifest stands in for it.
  check_ = start.Manifest.has_value();
  Record record(line_, zone_, "run");
  record.Integer("format", kReportFormat)
      .Text("program", "zek32 " ZEK32_VERSION)
      .Text("mode", check_ ? "manifest_check" : "compare");
  if (check_) {
    record.Path("manifest", *start.Manifest)
        .Null("source")
        .Path("target", start.Target)
        .Null("source_dir")
        .Null("mask")
        .Path("target_dir", start.TargetDir)
        .Null("subdirectories");
  } else {
    record.Null("manifest")
        .Path("source", start.Source)
        .Path("target", start.Target)
        .Path("source_dir", start.SourceDir)
        .Path("mask", start.Mask)
        .Path("target_dir", start.TargetDir)
        .Flag("subdirectories", start.Subdirectories);
  }
  sink_(record.Text("shard", ShardText(start.Part))
            .Raw("options", OptionsObject(start.Options))
            .Text("started", IsoLocalTime(start.Started))
            .Done());
}

void RunReport::PairTaken(const PairRecord& pair) {
  Record record(line_, zone_, "file");
  record.Path("path", pair.RelativePath).Text("status", StatusName(pair.Status));
  if (const char* reason = ReasonName(pair.Reason)) {
    record.Text("reason", reason);
  } else {
    record.Null("reason");
  }
  record.Facts("source", pair.Source)
      .Facts("target", pair.Target)
      .Flag("time_differs", pair.TimeDiffers)
      .Flag("size_differs", pair.SizeDiffers);
  if (pair.FirstDifference) {
    record.Integer("first_difference", *pair.FirstDifference);
  } else {
    record.Null("first_difference");
  }
  std::string listed = "[";
  for (const int64_t position : pair.ListedDifferences) {
    if (listed.size() > 1) listed += ',';
    listed += std::to_string(position);
  }
  record.Raw("differences", listed + "]").Integer("bytes_read", pair.BytesRead);
  if (check_) {
    if (pair.DigestDiffers) {
      record.Flag("digest_differs", *pair.DigestDiffers);
    } else {
      record.Null("digest_differs");
    }
  }
  sink_(record.Done());
}

void RunReport::DirectoryNotListed(const std::string& relativePath, int error) {
  sink_(Record(line_, zone_, "directory").Path("path", relativePath).Integer("error", error).Text("reason", ErrorMessage(error)).Done());
}

void RunReport::Ended(const ReportEnd& end) {
  const RunCounts& c = end.Counts;
  const std::string counts = "{\"files\":" + std::to_string(c.FilesTotal) +
                             ",\"target_missing\":" + std::to_string(c.TargetsNotFound) +
                             ",\"different\":" + std::to_string(c.FilesDifferent) +
                             ",\"not_compared\":" + std::to_string(c.FilesNotCompared) +
                             ",\"directories_not_listed\":" + std::to_string(c.DirectoriesNotCompared) + "}";
  // Digits of our own: a decimal comma of the locale would be no JSON.
  const auto milliseconds = static_cast<int64_t>(end.ElapsedSeconds * 1000 + 0.5);
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%lld.%03d", static_cast<long long>(milliseconds / 1000),
                static_cast<int>(milliseconds % 1000));
  Record record(line_, zone_, "end");
  record.Text("ended", EndingName(end.Ending));
  if (end.Ending == RunEnding::Error) {
    record.Text("error", end.Error);
  } else {
    record.Null("error");
  }
  sink_(record.Raw("counts", counts)
            .Integer("bytes", static_cast<int64_t>(c.TotalBytes))
            .Text("verdict", VerdictName(end.ExitCode))
            .Integer("exit_code", end.ExitCode)
            .Raw("elapsed_seconds", elapsed)
            .Done());
}

}  // namespace zek
