// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/tsg_run.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/file.h"
#include "common/text_format.h"
#include "sim/output.h"

namespace sondrix::sim {
namespace {

enum class LineFault { kOk, kCut, kGarbage, kDropout };
const char* FaultText(LineFault fault) {
  switch (fault) {
    case LineFault::kOk: return "ok";
    case LineFault::kCut: return "cut";
    case LineFault::kGarbage: return "garbage";
    case LineFault::kDropout: return "dropout";
  }
  return "";
}

// The line of `k` at `utcMs`, `seconds` into the run.
std::string TsgLine(const TsgSettings& s, std::int64_t utcMs, double seconds) {
  std::string line;
  if (!s.id.empty()) line = s.id + " " + IsoUtc(utcMs) + " ";
  line += Format("%.4f, %.5f, %.4f, %.3f", s.temperature.At(seconds), s.conductivity.At(seconds),
                 s.salinity.At(seconds), s.soundSpeed.At(seconds));
  if (s.valve) line += s.valve->FilteredAt(utcMs) ? ", 1" : ", 0";
  return line;
}

}  // namespace

int RunTsg(const TsgRunOptions& o) {
  const TsgSettings& s = o.settings;
  OwnedFile report;
  if (!o.report.empty()) {
    report = OwnedFile::OpenToWrite(o.report, /*truncate=*/true);
    if (!report) {
      std::fprintf(stderr, "%s: %s: %s\n", kProgram, o.report.c_str(), std::strerror(errno));
      return kExitFailed;
    }
  }
  std::unique_ptr<Output> out = OpenLineSink(o, "a thermosalinograph's lines");
  if (!out) return kExitFailed;
  // The first line at the next whole second (paced), else at the start given.
  const std::int64_t now = UtcNowMs();
  const std::int64_t floorNow = now - ((now % 1000) + 1000) % 1000;
  const std::int64_t startUtcMs = o.fast ? o.utcStartMs.value_or(floorNow) : floorNow + 1000;
  const auto intervalMs = static_cast<std::int64_t>(std::llround(s.interval * 1000.0));
  if (report) {
    std::fprintf(report.get(),
                 "# truth: value = start + rate * (utc_ms - %lld) / 1000\n"
                 "model\t%lld\ttemperature\t%.9g\t%.9g\tconductivity\t%.9g\t%.9g\tsalinity\t%.9g\t%.9g\n"
                 "line\tutc\tutc_ms\ttemperature\tconductivity\tsalinity\tvalve\tfault\n",
                 static_cast<long long>(startUtcMs), static_cast<long long>(startUtcMs), s.temperature.start,
                 s.temperature.rate, s.conductivity.start, s.conductivity.rate, s.salinity.start, s.salinity.rate);
    std::fflush(report.get());
  }
  long long sent = 0, cut = 0, garbage = 0, dropped = 0;
  int result = kExitOk;
  bool stopped = false;
  const long long lines = o.seconds ? static_cast<long long>(std::ceil(*o.seconds / s.interval)) : -1;
  for (long long k = 0; lines < 0 || k < lines; ++k) {
    const std::int64_t due = startUtcMs + k * intervalMs;
    if (!o.fast) {
      for (std::int64_t left = due - UtcNowMs(); left > 0; left = due - UtcNowMs()) {
        if (!out->WaitUntil(Output::Now() + std::min(static_cast<double>(left) / 1000.0, kClockLook))) break;
      }
    }
    if (gStopRequested) {
      stopped = true;
      break;
    }
    const double seconds = static_cast<double>(k * intervalMs) / 1000.0;
    LineFault fault = LineFault::kOk;
    std::string line = TsgLine(s, due, seconds);
    if (s.dropout && s.dropout->Holds(static_cast<long long>(seconds))) {
      fault = LineFault::kDropout;
    } else if (s.garbage > 0 && (k + 1) % s.garbage == 0) {
      fault = LineFault::kGarbage;
      // The id and time stay, so that the line is this source's.
      const std::size_t fields = s.id.empty() ? 0 : s.id.size() + 1 + IsoUtc(due).size() + 1;
      line = line.substr(0, fields) + "#~x 21.8z!, " + std::to_string(k) + "@@";
    } else if (s.cut > 0 && (k + 1) % s.cut == 0) {
      fault = LineFault::kCut;
      // Cut within its fields' first half: a field or more is missing.
      const std::size_t fields = s.id.empty() ? 0 : s.id.size() + 1 + IsoUtc(due).size() + 1;
      line = line.substr(0, fields + (line.size() - fields) / 3);
    }
    if (fault != LineFault::kDropout) {
      if (!o.fast) {
        if (const long gone = out->DiscardUnread(kUnreadBytes); gone > 0) (void)gone;
      }
      line += "\r\n";
      const Output::Result written = out->Write(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
      if (written == Output::Result::kStopped) stopped = true;
      if (written == Output::Result::kFailed) {
        std::fprintf(stderr, "%s: %s\n", kProgram, out->error().c_str());
        result = kExitFailed;
      }
      if (written != Output::Result::kWritten) break;
      ++sent;
    }
    cut += fault == LineFault::kCut;
    garbage += fault == LineFault::kGarbage;
    dropped += fault == LineFault::kDropout;
    if (report) {
      std::fprintf(report.get(), "%lld\t%s\t%lld\t%.9f\t%.9f\t%.9f\t%d\t%s\n", k, IsoUtc(due).c_str(),
                   static_cast<long long>(due), s.temperature.At(seconds), s.conductivity.At(seconds),
                   s.salinity.At(seconds), s.valve ? (s.valve->FilteredAt(due) ? 1 : 0) : -1, FaultText(fault));
      std::fflush(report.get());
    }
  }
  if (!stopped && result == kExitOk && o.sink == LineRunOptions::Sink::kPty) out->Drain(o.linger);
  if (report) std::fprintf(report.get(), "totals\t%lld\t%lld\t%lld\t%lld\n", sent, cut, garbage, dropped);
  if (!o.quiet) {
    std::fprintf(stderr, "%s: %lld lines of a thermosalinograph from %s%s; faults: %lld cut short, %lld garbage, "
                 "%lld dropped\n", kProgram, sent, IsoUtc(startUtcMs, false).c_str(), stopped ? ", stopped" : "",
                 cut, garbage, dropped);
  }
  return result;
}

}  // namespace sondrix::sim
