// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-sim: the byte stream of a meter, made from its device
// configuration file, written to a raw capture file, to standard output or
// to a pseudo-terminal that the program opens as a serial port (where the
// hyperspectral meter also answers commands).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/log.h"
#include "common/version.h"
#include "sim/benth_simulator.h"
#include "sim/nmea_run.h"
#include "sim/options.h"
#include "sim/output.h"
#include "processing/ts_table.h"
#include "sim/report.h"
#include "sim/serial_line.h"
#include "sim/simulator.h"

namespace {

using sondrix::sim::Options;
using sondrix::sim::Output;
using sondrix::sim::PointLink;

constexpr const char* kProgram = "sondrix-sim";
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Packets written to a file when neither --packets nor --seconds is given.
constexpr long long kDefaultFilePackets = 100;

void UsageError(const std::string& text) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, text.c_str(), kProgram);
}

// The options whose meaning depends on the model; false after a usage error
// was reported.
bool CheckForModel(const Options& o, const sondrix::sim::SimDevice& device) {
  const auto& s = o.settings;
  const bool benth = device.benth != nullptr;
  if (!benth && s.timeStart > 0xFFFF) {
    UsageError("option --time-start: a count from 0 to 65535 for this meter's 16-bit counter, not '" +
               std::to_string(s.timeStart) + "'");
    return false;
  }
  if (!benth && s.faults.spacingChange > 0) {
    UsageError("option --spacing-change: only the hyperspectral meter changes its spacing");
    return false;
  }
  return true;
}

std::string Plural(long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// At trace level: each packet as written, with its offset in the stream
// (after the noise in front of it), what was done to it and its first
// bytes, so that a reader's log can be held against it.
void LogEmission(const sondrix::sim::Emission& e, long long offset, bool garbled) {
  const auto packet = std::span<const std::uint8_t>(e.bytes).subspan(static_cast<std::size_t>(e.noiseBytes));
  sondrix::logging::Write(sondrix::LogLevel::Trace, "packet %lld at byte %lld: %s%s: %s", e.packetNumber,
                          offset + e.noiseBytes, sondrix::sim::FaultText(e).c_str(),
                          garbled ? " (garbled: the reader is at another baud rate)" : "",
                          sondrix::logging::HexBytes(packet, 16).c_str());
}

// What the line lost on a paced pseudo-terminal: bytes the reader left
// unread beyond the line's buffer, and the packets no copy of which arrived
// whole.
struct LineLosses {
  long long packets = 0;
  long long bytes = 0;
};

void PrintSummary(const sondrix::sim::PacketStream& sim, const sondrix::sim::SimDevice& device,
                  const LineLosses& line, bool stopped) {
  const auto& c = sim.Counts();
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(device.Base().serialnum));
  std::string text = std::string(kProgram) + ": " + Plural(c.packets, "packet", "packets") + " (" +
                     Plural(c.packets * sim.SamplesPerPacket(), "sample", "samples") + ") of " +
                     std::string(device.model->description) + " " + serial;
  if (stopped) text += ", stopped";
  text += "; faults: " + Plural(c.badChecksums, "bad checksum", "bad checksums") + ", " +
          Plural(c.badLengths, "bad length", "bad lengths") + ", " +
          Plural(c.noiseBursts, "noise burst", "noise bursts") + " (" +
          Plural(c.noiseBytes, "byte", "bytes") + "), " +
          Plural(c.wrongSerials, "wrong serial number", "wrong serial numbers") + ", " +
          Plural(c.pauses, "pause", "pauses");
  // Faults that are seldom asked for are named only when they were.
  if (c.restarts > 0) text += ", " + Plural(c.restarts, "restart", "restarts");
  if (c.duplicates > 0) text += ", " + Plural(c.duplicates, "duplicate", "duplicates");
  if (c.spacings > 0) text += ", " + Plural(c.spacings, "packet", "packets") + " at another spacing";
  text += "; " +
          Plural(c.lostSamples, "sample", "samples") + " lost to faults";
  if (line.bytes > 0) {
    text += "; " + Plural(line.packets, "packet", "packets") + " (" + Plural(line.bytes, "byte", "bytes") +
            ") lost on the line: the reader did not take them";
  }
  if (const auto* benth = dynamic_cast<const sondrix::sim::BenthSimulator*>(&sim);
      benth != nullptr && benth->Commands() > 0) {
    text += "; " + Plural(benth->Commands(), "command", "commands") + " (" +
            Plural(benth->DroppedAcks(), "acknowledgement", "acknowledgements") +
            " left out), now skip " + std::to_string(benth->Skip()) + " at " +
            std::to_string(benth->LineBaud()) + " baud";
  }
  text += "\n";
  std::fputs(text.c_str(), stderr);
}

// Bytes a second the stream puts on its line on average: its packets, with
// their copies and the noise in front of them (10.5 bytes a burst), every
// packet period of true time.
double StreamBytesPerSecond(const sondrix::sim::SimDevice& device, const sondrix::sim::SimSettings& settings) {
  const std::unique_ptr<sondrix::sim::PacketStream> probe = sondrix::sim::MakeStream(device, settings);
  const sondrix::sim::Emission& first = probe->Next();
  const double packet = static_cast<double>(first.bytes.size() - static_cast<std::size_t>(first.noiseBytes)) /
                        (first.duplicate ? 2.0 : 1.0);
  const auto& faults = settings.faults;
  const double bytes = packet * (1.0 + (faults.duplicate > 0 ? 1.0 / faults.duplicate : 0.0)) +
                       (faults.noise > 0 ? (1.0 + sondrix::sim::kMaxNoiseBytes) / 2.0 / faults.noise : 0.0);
  return bytes / (probe->PacketSeconds() / (1.0 + settings.clockPpm * 1e-6));
}

// How often a paced writer looks at what the reader wrote, and the least
// it waits between two chunks of a packet's bytes, seconds.
constexpr double kInputLook = 0.01;
constexpr double kLineChunk = 0.002;

int Run(const Options& o) {
  sondrix::sim::SimDevice device;
  std::string error;
  if (sondrix::sim::LoadDevice(o.device, device, error) != sondrix::status::kOk) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return kExitFailed;
  }
  if (!CheckForModel(o, device)) return kExitUsage;
  std::unique_ptr<sondrix::sim::PacketReport> report;
  if (!o.report.empty()) {
    report = sondrix::sim::PacketReport::Open(o.report, error);
    if (!report) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      return kExitFailed;
    }
  }
  sondrix::sim::SimSettings settings = o.settings;
  // The unplugged stretch, in packets: the line goes after `unplugAfter`
  // packets and comes back for packet `replugAt`.
  long long unplugAfter = -1;
  long long replugAt = -1;
  if (o.unplug) {
    const std::unique_ptr<sondrix::sim::PacketStream> probe = sondrix::sim::MakeStream(device, settings);
    unplugAfter = probe->PacketsFor(o.unplug->first);
    replugAt = unplugAfter + 1 + (o.unplug->second > 0.0 ? probe->PacketsFor(o.unplug->second) : 0);
    if (o.replugOther) settings.faults.otherFrom = replugAt;
  }
  if (settings.water) {
    // The water through the program's own coefficients, which must cover
    // every wavelength of the meter.
    if (!sondrix::BuiltInTable(settings.water->table, error)) {
      std::fprintf(stderr, "%s: --water: %s\n", kProgram, error.c_str());
      return kExitFailed;
    }
    // The valve's schedule runs on UTC: the first sample's (--utc-start),
    // else the clock's now (a paced run starts within the second).
    if (o.underway) {
      double now = 0.0;
      std::int64_t nowUs = 0;
      Output::NowWithUtc(now, nowUs);
      settings.water->underway = sondrix::sim::UnderwayWater{*o.underway, o.utcStartMs.value_or(nowUs / 1000)};
    }
  }
  const std::unique_ptr<sondrix::sim::PacketStream> stream = sondrix::sim::MakeStream(device, settings);
  sondrix::sim::PacketStream& sim = *stream;
  if (settings.water) {
    const sondrix::TsTable& table = settings.water->table;
    for (const sondrix::sim::SimChannel& channel : sim.ChannelList()) {
      if (table.At(channel.wavelength)) continue;
      std::fprintf(stderr, "%s: --water: the coefficients cover %g ... %g nm; the meter's %g nm is outside\n",
                   kProgram, table.first(), table.last(), channel.wavelength);
      return kExitFailed;
    }
    if (report) report->Water(*settings.water, sim.ChannelList());
  }

  std::unique_ptr<Output> out;
  if (o.pty) {
    out = Output::OpenPty(error);
  } else if (!o.out.empty()) {
    out = Output::OpenFile(o.out, error);
  } else {
    if (isatty(STDOUT_FILENO)) {
      std::fprintf(stderr, "%s: refusing to write binary packets to a terminal; use --out FILE, "
                           "--pty or a pipe\n", kProgram);
      return kExitUsage;
    }
    out = Output::OpenStdout();
  }
  if (!out) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return kExitFailed;
  }
  SONDRIX_LOG(Debug, "%s %08X at %g Hz to %s", std::string(device.model->description).c_str(),
              static_cast<unsigned>(device.Base().serialnum), o.settings.rate,
              o.pty ? out->SlavePath().c_str() : o.out.empty() ? "standard output" : o.out.c_str());
  sondrix::sim::InstallStopHandlers();
  // Once a command changed the instrument's baud rate, a reader at another
  // rate sees only garbled bytes, both ways.
  auto garbled = [&]() {
    const long line = out->LineBaud();
    return sim.BaudChanged() && line > 0 && line != sim.LineBaud();
  };
  // The line's rate: the instrument's (the device file's; the hyperspectral
  // meter's after a baud command), raised when it cannot carry the stream.
  const double streamBytes = StreamBytesPerSecond(device, settings);
  auto lineRate = [&]() {
    long instrument = sim.LineBaud() > 0 ? sim.LineBaud() : static_cast<long>(device.Base().baudRate);
    if (instrument <= 0) instrument = out->LineBaud();
    return sondrix::sim::LineRate(instrument, streamBytes);
  };
  // The rate the replies to the commands just received go out at: the one
  // before them (the acknowledgement of a baud command at the old rate).
  long replyRate = 0;
  auto onInput = [&](std::span<const std::uint8_t> bytes) {
    if (garbled()) return;
    const long before = lineRate();
    sim.Input(bytes);
    if (replyRate == 0) replyRate = before;
  };
  out->SetInputHandler(onInput);
  std::mt19937_64 garble(o.settings.seed + 7);
  const bool paced = o.realtime || (o.pty && !o.fast);
  sondrix::sim::SerialLine line;
  // Acknowledgements go out as soon as the commands came in: paced, on the
  // line after what it is sending.
  auto reply = [&]() {
    const std::vector<std::uint8_t> replies = sim.TakeReplies();
    const long rate = replyRate > 0 ? replyRate : lineRate();
    replyRate = 0;
    if (replies.empty()) return Output::Result::kWritten;
    if (!paced) return out->Write(replies.data(), replies.size());
    line.Send(replies, Output::Now(), rate);
    return Output::Result::kWritten;
  };
  auto wait = [&](double deadline) {
    for (;;) {
      if (reply() == Output::Result::kStopped) return false;
      const double now = Output::Now();
      if (now >= deadline) return true;
      if (!out->WaitUntil(std::min(deadline, now + kInputLook))) return false;
    }
  };
  if (!o.link.empty() && !PointLink(o.link, out->SlavePath())) {
    std::fprintf(stderr, "%s: cannot point %s at %s: %s\n", kProgram, o.link.c_str(), out->SlavePath().c_str(),
                 std::strerror(errno));
    return kExitFailed;
  }
  if (o.pty) {
    std::printf("%s\n", out->SlavePath().c_str());
    std::fflush(stdout);
    if (!o.quiet) {
      std::fprintf(stderr, "%s: serving %s on %s", kProgram, std::string(device.model->description).c_str(),
                   out->SlavePath().c_str());
      if (paced) std::fprintf(stderr, " at %ld baud", lineRate());
      std::fprintf(stderr, "; stop with Ctrl-C\n");
    }
  }
  if (sim.HeaderFormsSync() && !o.quiet) {
    std::fprintf(stderr, "%s: warning: the device file's serial number forms the sync pattern "
                         "inside the packets\n", kProgram);
  }

  long long limit = -1;  // endless
  if (o.packets) {
    limit = *o.packets;
  } else if (o.seconds) {
    limit = sim.PacketsFor(*o.seconds);
  } else if (!o.out.empty()) {
    limit = kDefaultFilePackets;
  }

  int result = kExitOk;
  bool stopped = false;
  long long offset = 0;  // bytes written so far, unpaced
  bool unplugged = false;
  LineLosses lineLosses;

  // Paced, a packet is recorded when its bytes have all gone out (or been
  // lost): then the report can say whether the line lost it.
  struct Pending {
    sondrix::sim::Emission e;
    long long begin = 0;   // stream offset of its first byte (noise included)
    long long packet = 0;  // of the packet proper
    long long end = 0;
  };
  std::deque<Pending> pending;
  auto record = [&](const sondrix::sim::Emission& e) {
    if (!paced) {
      if (report) report->Add(e);
      return;
    }
    const long long at = line.Queued();
    pending.push_back({e, at, at, at});
  };
  auto settle = [&]() {
    while (!pending.empty() && pending.front().end <= line.Handled()) {
      Pending& p = pending.front();
      sondrix::sim::Emission& e = p.e;
      e.droppedBytes = static_cast<long>(line.LostIn(p.begin, p.end));
      if (e.droppedBytes > 0) {
        // Lost unless a copy of the packet arrived whole.
        const int copies = e.duplicate ? 2 : 1;
        const long long size = (p.end - p.packet) / copies;
        bool whole = false;
        for (int c = 0; c < copies; ++c) {
          whole = whole || line.LostIn(p.packet + c * size, p.packet + (c + 1) * size) == 0;
        }
        if (!whole) {
          e.lost = e.samples;
          ++lineLosses.packets;
        }
        lineLosses.bytes += e.droppedBytes;
      }
      if (report) report->Add(e);
      pending.pop_front();
    }
    line.Forget(pending.empty() ? line.Handled() : pending.front().begin);
  };
  // Paced: hands the line's bytes over as they go out until `deadline`;
  // false when stopped or the output failed (then `stopped` or `result`
  // says which).
  auto pace = [&](double deadline) {
    for (;;) {
      reply();
      const Output::Result pumped = line.Pump(*out, Output::Now());
      if (pumped == Output::Result::kStopped) stopped = true;
      if (pumped == Output::Result::kFailed) {
        std::fprintf(stderr, "%s: %s\n", kProgram, out->error().c_str());
        result = kExitFailed;
      }
      if (pumped != Output::Result::kWritten) return false;
      settle();
      const double now = Output::Now();
      if (now >= deadline) return true;
      double wake = std::min(deadline, now + kInputLook);
      if (line.NextByteAt() < wake) wake = std::min(wake, std::max(line.NextByteAt(), now + kLineChunk));
      if (!out->WaitUntil(wake)) {
        stopped = true;
        return false;
      }
    }
  };

  // The run's first sample is measured now: paced, on the monotonic clock,
  // whose UTC time is read with it; else at --utc-start or the clock's time.
  double start = 0.0;
  std::int64_t utcStartUs = 0;
  Output::NowWithUtc(start, utcStartUs);
  if (!paced && o.utcStartMs) utcStartUs = *o.utcStartMs * 1000;
  if (report) report->SetUtcStart(utcStartUs);
  SONDRIX_LOG(Debug, "first sample measured at %s UTC%s", sondrix::sim::UtcMsText(utcStartUs).c_str(),
              paced ? "" : " (not paced)");

  while (limit < 0 || sim.Counts().packets < limit) {
    // A packet leaves the instrument when its last sample is measured, on
    // the true clock whatever happened to the packets before it.
    const double due = start + sim.NextPacketTrueSeconds();
    if (paced && !pace(due)) break;
    out->PollInput();
    if (reply() == Output::Result::kStopped) {
      stopped = true;
      break;
    }
    const sondrix::sim::Emission& e = sim.Next();
    if (e.packetNumber > unplugAfter && e.packetNumber < replugAt) {
      // Unplugged: the pseudo-terminal goes (its reader sees the line hung
      // up); the instrument measures on, and nobody hears it.
      if (!unplugged) {
        line.DropPending();  // what it was still sending goes with it
        out = Output::OpenFile("/dev/null", error);
        if (!out) {
          std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
          result = kExitFailed;
          break;
        }
        unplugged = true;
        // The link goes with the device, as udev removes a by-id link: a
        // reader must not find a terminal that another program may be given
        // the number of meanwhile.
        if (!o.link.empty()) ::unlink(o.link.c_str());
        if (!o.quiet) std::fprintf(stderr, "%s: unplugged\n", kProgram);
      }
      sondrix::sim::Emission gone = e;
      gone.unplugged = true;
      gone.lost = gone.samples;
      record(gone);
      continue;
    }
    if (unplugged) {
      unplugged = false;
      out = Output::OpenPty(error);
      if (!out || (!o.link.empty() && !PointLink(o.link, out->SlavePath()))) {
        std::fprintf(stderr, "%s: cannot serve the line again: %s\n", kProgram,
                     out ? std::strerror(errno) : error.c_str());
        result = kExitFailed;
        break;
      }
      out->SetInputHandler(onInput);
      std::printf("%s\n", out->SlavePath().c_str());
      std::fflush(stdout);
      if (!o.quiet) std::fprintf(stderr, "%s: plugged in again on %s\n", kProgram, out->SlavePath().c_str());
    }
    std::vector<std::uint8_t> noise;
    if (garbled()) {
      for (std::size_t i = 0; i < e.bytes.size(); ++i) {
        noise.push_back(static_cast<std::uint8_t>(1 + garble() % 254));
      }
    }
    const std::vector<std::uint8_t>& bytes = noise.empty() ? e.bytes : noise;
    if (paced) {
      // Its bytes go out one after another from then on, at the line's rate.
      const long long begin = line.Queued();
      if (sondrix::logging::On(sondrix::LogLevel::Trace)) LogEmission(e, begin, !noise.empty());
      const long long end = line.Send(bytes, due, lineRate());
      pending.push_back({e, begin, begin + e.noiseBytes, end});
      if (sondrix::sim::gStopRequested) {
        stopped = true;
        break;
      }
      continue;
    }
    const Output::Result written = out->Write(bytes.data(), bytes.size());
    if (written == Output::Result::kStopped) {
      stopped = true;
      break;
    }
    if (written == Output::Result::kClosed) break;  // the reader of the pipe is gone
    if (written == Output::Result::kFailed) {
      std::fprintf(stderr, "%s: %s\n", kProgram, out->error().c_str());
      result = kExitFailed;
      break;
    }
    if (report) report->Add(e);
    if (sondrix::logging::On(sondrix::LogLevel::Trace)) LogEmission(e, offset, !noise.empty());
    offset += static_cast<long long>(bytes.size());
    if (e.pauseAfter > 0.0) {
      // Paced, the pause is in the next packet's time.
      const double end = Output::Now() + e.pauseAfter;
      if (!wait(end)) {
        stopped = true;
        break;
      }
    }
    if (sondrix::sim::gStopRequested) {
      stopped = true;
      break;
    }
  }
  // Paced: the last packet's bytes go out at the line's rate.
  if (paced && !stopped && result == kExitOk) pace(line.FreeAt());
  if (!stopped && result == kExitOk && o.pty) {
    out->Drain(o.linger);
    reply();
    if (paced) pace(line.FreeAt());
  }
  if (report && !report->Finish(error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    result = kExitFailed;
  }
  if (!o.quiet) PrintSummary(sim, device, lineLosses, stopped);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  // The log goes to standard error; its options may stand anywhere.
  std::vector<char*> args(argv, argv + (argc > 0 ? argc : 0));
  sondrix::LogLevel level = sondrix::logging::kDefaultLevel;
  std::string logError;
  if (!sondrix::logging::TakeLogOptions(args, level, logError)) {
    UsageError(logError);
    return kExitUsage;
  }
  sondrix::logging::SetThreshold(level);
  sondrix::logging::ToStderr(kProgram);
  Options options;
  std::string text;
  switch (sondrix::sim::ParseArguments(static_cast<int>(args.size()), args.data(), options, text)) {
    case sondrix::sim::Request::kHelp:
      std::fputs(text.c_str(), stdout);
      return kExitOk;
    case sondrix::sim::Request::kVersion:
      std::printf("%s\n", text.c_str());
      return kExitOk;
    case sondrix::sim::Request::kWrong:
      UsageError(text);
      return kExitUsage;
    case sondrix::sim::Request::kRun:
      break;
  }
  if (options.nmea) return sondrix::sim::RunNmea(options.receiver);
  if (options.tsgOn) return sondrix::sim::RunTsg(options.tsg);
  return Run(options);
}
