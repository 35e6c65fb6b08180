// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/nmea_run.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "common/log.h"
#include "export/export.h"
#include "sim/output.h"

namespace sondrix::sim {
namespace {

std::string Plural(long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  for (std::size_t k = at; k < at + count; ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
  }
  return std::from_chars(text.data() + at, text.data() + at + count, value).ec == std::errc();
}

void PrintSummary(const NmeaRunOptions& o, const NmeaCounts& c, std::int64_t startUtcMs, bool stopped) {
  std::string text = std::string(kProgram) + ": " + Plural(c.seconds, "fix", "fixes") + " (" +
                     Plural(c.sentences, "sentence", "sentences") + ") of a GPS receiver (" + o.settings.talker +
                     ") from " + IsoUtc(startUtcMs, false);
  if (stopped) text += ", stopped";
  text += "; faults: " + Plural(c.badChecksums, "bad checksum", "bad checksums") + ", " +
          Plural(c.cut, "sentence", "sentences") + " cut short, " +
          Plural(c.dropoutSeconds, "second", "seconds") + " of dropout, " +
          Plural(c.invalidFixes, "invalid fix", "invalid fixes") + "\n";
  std::fputs(text.c_str(), stderr);
}

}  // namespace

std::unique_ptr<Output> OpenLineSink(const LineRunOptions& o, std::string_view serving) {
  std::string error;
  std::unique_ptr<Output> out;
  switch (o.sink) {
    case LineRunOptions::Sink::kFile: out = Output::OpenFile(o.out, error); break;
    case LineRunOptions::Sink::kPty: out = Output::OpenPty(error); break;
    case LineRunOptions::Sink::kUdp: out = Output::OpenUdp(o.udpHost, o.udpPort, error); break;
    case LineRunOptions::Sink::kStdout: out = Output::OpenStdout(); break;
  }
  if (!out) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return nullptr;
  }
  InstallStopHandlers();
  if (!o.link.empty() && !PointLink(o.link, out->SlavePath())) {
    std::fprintf(stderr, "%s: cannot point %s at %s: %s\n", kProgram, o.link.c_str(), out->SlavePath().c_str(),
                 std::strerror(errno));
    return nullptr;
  }
  if (o.sink == LineRunOptions::Sink::kPty) {
    std::printf("%s\n", out->SlavePath().c_str());
    std::fflush(stdout);
  }
  if (!o.quiet && (o.sink == LineRunOptions::Sink::kPty || o.sink == LineRunOptions::Sink::kUdp)) {
    std::fprintf(stderr, "%s: serving %.*s on %s; stop with Ctrl-C\n", kProgram, static_cast<int>(serving.size()),
                 serving.data(), SinkName(o, *out).c_str());
  }
  return out;
}

std::string SinkName(const LineRunOptions& o, const Output& out) {
  switch (o.sink) {
    case LineRunOptions::Sink::kPty: return out.SlavePath();
    case LineRunOptions::Sink::kUdp: return "UDP " + o.udpHost + ":" + std::to_string(o.udpPort);
    case LineRunOptions::Sink::kFile: return o.out;
    case LineRunOptions::Sink::kStdout: break;
  }
  return "standard output";
}

std::int64_t UtcNowMs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

std::optional<std::int64_t> ParseUtcSecond(const std::string& text) {
  // YYYY-MM-DDTHH:MM:SS
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const std::string_view t(text);
  if (t.size() < 19 || t[4] != '-' || t[7] != '-' || (t[10] != 'T' && t[10] != ' ') || t[13] != ':' ||
      t[16] != ':' || !Digits(t, 0, 4, year) || !Digits(t, 5, 2, month) || !Digits(t, 8, 2, day) ||
      !Digits(t, 11, 2, hour) || !Digits(t, 14, 2, minute) || !Digits(t, 17, 2, second)) {
    return std::nullopt;
  }
  std::string_view rest = t.substr(19);
  // A fraction is allowed as long as it is nothing.
  if (!rest.empty() && rest.front() == '.') {
    std::size_t k = 1;
    while (k < rest.size() && rest[k] == '0') ++k;
    if (k == 1) return std::nullopt;
    rest.remove_prefix(k);
  }
  if (!(rest.empty() || rest == "Z" || rest == "+00:00" || rest == "+0000")) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                        std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  return ((days * 24 + hour) * 60 + minute) * 60'000LL + second * 1000LL;
}

int RunNmea(const NmeaRunOptions& o) {
  std::string error;
  std::unique_ptr<NmeaReport> report;
  if (!o.report.empty()) {
    report = NmeaReport::Open(o.report, error);
    if (!report) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      return kExitFailed;
    }
  }
  std::unique_ptr<Output> out = OpenLineSink(o, "a GPS receiver's NMEA sentences");
  if (!out) return kExitFailed;
  const std::string where = SinkName(o, *out);

  // The first fix: the current UTC second when not paced, else the next
  // whole second, when its burst goes out.
  const std::int64_t now = UtcNowMs();
  const std::int64_t floorNow = now - ((now % 1000) + 1000) % 1000;
  const std::int64_t startUtcMs =
      o.fast ? o.utcStartMs.value_or(floorNow) : (floorNow == now ? now : floorNow + 1000);
  SONDRIX_LOG(Debug, "GPS receiver (%s) from %s at %.6f, %.6f, %g kn on %g degrees to %s",
              o.settings.talker.c_str(), IsoUtc(startUtcMs).c_str(), o.settings.track.start.latitude,
              o.settings.track.start.longitude, o.settings.track.speedKnots, o.settings.track.headingDegrees,
              where.c_str());
  NmeaReceiver receiver(o.settings, startUtcMs);
  NmeaCounts counts;
  int result = kExitOk;
  bool stopped = false;
  auto write = [&](const std::string& text) {
    const Output::Result written =
        out->Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (written == Output::Result::kStopped) stopped = true;
    if (written == Output::Result::kFailed) {
      std::fprintf(stderr, "%s: %s\n", kProgram, out->error().c_str());
      result = kExitFailed;
    }
    return written == Output::Result::kWritten;
  };
  for (long long second = 0; !o.seconds || second < *o.seconds; ++second) {
    if (!o.fast) {
      // The burst of a second goes out as the UTC clock reaches it.
      const std::int64_t due = startUtcMs + second * 1000;
      for (std::int64_t left = due - UtcNowMs(); left > 0; left = due - UtcNowMs()) {
        if (!out->WaitUntil(Output::Now() + std::min(static_cast<double>(left) / 1000.0, kClockLook))) break;
      }
    }
    if (gStopRequested) {
      stopped = true;
      break;
    }
    std::optional<NmeaSecond> s = receiver.Next();
    if (!s) {
      std::fprintf(stderr, "%s: the track reached latitude %g; choose another start or heading\n", kProgram,
                   kTrackLatitudeLimit);
      result = kExitFailed;
      break;
    }
    if (!o.fast && s->sent) {
      if (const long gone = out->DiscardUnread(kUnreadBytes); gone > 0) {
        SONDRIX_LOG(Debug, "nobody read the last %ld bytes: thrown away", gone);
      }
    }
    if (s->sent && !write(s->rmcText)) break;
    if (s->sent && !write(s->ggaText)) {
      // Stopped between the two: the RMC went out, and the record says so.
      s->gga = SentenceFault::kNotSent;
      s->usable = s->valid && s->rmc == SentenceFault::kOk;
      counts.Add(*s);
      if (report) report->Add(*s);
      break;
    }
    if (sondrix::logging::On(LogLevel::Trace)) {
      logging::Write(LogLevel::Trace, "fix %lld at %s: %.9f, %.9f%s%s", s->second, IsoUtc(s->utcMs).c_str(),
                     s->truth.latitude, s->truth.longitude, s->sent ? "" : " (dropout)", s->valid ? "" : " (invalid)");
    }
    counts.Add(*s);
    if (report) report->Add(*s);
  }
  if (!stopped && result == kExitOk && o.sink == NmeaRunOptions::Sink::kPty) out->Drain(o.linger);
  if (report && !report->Finish(error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    result = kExitFailed;
  }
  if (!o.quiet) PrintSummary(o, counts, startUtcMs, stopped);
  return result;
}

}  // namespace sondrix::sim
