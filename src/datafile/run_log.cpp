// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/run_log.h"

#include <string>

#include "common/log.h"
#include "datafile/data_file.h"
#include "platform/clock.h"
#include "source/source.h"

namespace sondrix {
namespace {

// Why a run ended, in a few words.
std::string EndReason(Status result) {
  if (result == status::kOk || result == status::kCancelled) return "stopped";
  if (result == status::kUnexpectedEof) return "the replay came to its end";
  return StatusText(result) + " (" + std::to_string(result) + ")";
}

// "12.5 s", with a decimal point whatever the locale.
std::string FormatSeconds(double seconds) {
  const long long tenths = seconds > 0.0 ? static_cast<long long>(seconds * 10.0 + 0.5) : 0;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

}  // namespace

RunLog::RunLog(Source& source) : source_(source), start_(platform::Timer()) {
  if (!logging::On(LogLevel::Debug)) return;
  std::string id;
  source.GetID(id);
  const std::string from = source.portname().empty() ? source.filename() : source.portname();
  logging::Write(LogLevel::Debug, "run starts: %s %08X from %s, bin size %d", id.c_str(),
                 static_cast<unsigned>(source.GetSerialnum()), from.c_str(), source.GetBinsize());
}

void RunLog::Ended(Status result) {
  result_ = result;
  seconds_ = platform::SecondsSince(start_);
  SONDRIX_LOG(Debug, "run ends after %s: %s", FormatSeconds(seconds_).c_str(), EndReason(result).c_str());
}

void RunLog::Summary(const DataFile* recording) {
  if (summarised_) return;
  summarised_ = true;
  if (!logging::On(LogLevel::Info)) return;
  if (seconds_ < 0.0) seconds_ = platform::SecondsSince(start_);
  std::string summary = "run summary: ";
  if (recording != nullptr) {
    summary += std::to_string(recording->storedLines()) + " lines recorded";
    if (recording->refusedLines() > 0)
      summary += ", " + std::to_string(recording->refusedLines()) + " lines left out (values not numbers)";
  } else {
    summary += "nothing recorded";
  }
  summary += ", " + std::to_string(source_.GetLostCount()) + " samples lost in " + FormatSeconds(seconds_);
  for (const std::string& note : DescribeStreamEvents(source_.GetStreamEvents())) summary += "; " + note;
  summary += "; " + EndReason(result_);
  logging::WriteText(LogLevel::Info, summary);
}

}  // namespace sondrix
