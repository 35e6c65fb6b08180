// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/report.h"

#include "common/text_format.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>

namespace sondrix::sim {
namespace {

template <typename T>
std::string List(std::span<const T> values) {
  std::string text;
  for (const T value : values) {
    if (!text.empty()) text += ',';
    text += std::to_string(value);
  }
  return text;
}

}  // namespace

std::string FaultText(const Emission& e) {
  std::string text;
  auto add = [&text](bool done, const std::string& name) {
    if (!done) return;
    if (!text.empty()) text += '+';
    text += name;
  };
  add(e.badChecksum, "bad-checksum");
  add(e.badLength, "bad-length");
  add(e.noiseBytes > 0, "noise(" + std::to_string(e.noiseBytes) + " bytes)");
  add(e.wrongSerial, "wrong-serial");
  add(e.pauseAfter > 0.0, "pause");
  add(e.restart, "restart");
  add(e.duplicate, "duplicate");
  add(e.spacing, "spacing");
  add(e.unplugged, "unplugged");
  add(e.droppedBytes > 0, "overflow(" + std::to_string(e.droppedBytes) + " bytes)");
  return text.empty() ? "ok" : text;
}

std::FILE* CreateReportFile(const std::string& path, const char* header, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::fputs(header, file);
  return file;
}

std::unique_ptr<PacketReport> PacketReport::Open(const std::string& path, std::string& error) {
  std::FILE* file = CreateReportFile(
      path, "packet\tsamples\tfault\tlost\ttick_ms\tcounter\tcounter_unwrapped\telapsed_ms\tutc_ms\n", error);
  return file == nullptr ? nullptr : std::unique_ptr<PacketReport>(new PacketReport(file, path));
}

PacketReport::~PacketReport() = default;

std::string UtcMsText(std::int64_t microseconds) {
  const bool negative = microseconds < 0;
  const auto size = static_cast<unsigned long long>(negative ? -(microseconds + 1) : microseconds) +
                    (negative ? 1ULL : 0ULL);
  char text[40];
  std::snprintf(text, sizeof text, "%s%llu.%03llu", negative ? "-" : "", size / 1000, size % 1000);
  return text;
}

void PacketReport::Water(const WaterSettings& water, const std::vector<SimChannel>& channels) {
  std::string text = Format("water\t%.4f\t%.4f\t%.4f\t%.4f\n", water.temperature, water.salinity, water.tCal,
                            water.scatter);
  for (const SimChannel& channel : channels) {
    const double w = channel.wavelength;
    const double ts = WaterAbsorption(w) + (channel.attenuation ? 1.0 : water.scatter) * WaterScattering(w);
    if (water.underway) {
      const double particulate = channel.attenuation ? ParticulateAttenuation(w) : WaterAbsorption(w);
      text += Format("particulate\t%s\t%.2f\t%.9f\n", channel.attenuation ? "c" : "a", w, particulate);
      text += Format("dissolved\t%s\t%.2f\t%.9f\t%.9f\n", channel.attenuation ? "c" : "a", w,
                     DissolvedWater(w, 0.0), DissolvedWater(w, 1.0) - DissolvedWater(w, 0.0));
      continue;
    }
    text += Format("truth\t%s\t%.2f\t%.9f\t%.9f\n", channel.attenuation ? "c" : "a", w, ts,
                   channel.attenuation ? ts : WaterAbsorption(w));
  }
  if (water.underway)
    text += Format("underway\t%s\t%.4f\n", water.underway->valve.Text().c_str(), kUnderwaySlope);
  std::fputs(text.c_str(), file_.get());
}

void PacketReport::Add(const Emission& e) {
  std::string utc;
  for (const double seconds : e.trueSeconds) {
    if (!utc.empty()) utc += ',';
    utc += UtcMsText(utcStartUs_ + std::llround(seconds * 1e6));
  }
  const std::string line = std::to_string(e.packetNumber) + '\t' + std::to_string(e.samples) + '\t' +
                           FaultText(e) + '\t' + std::to_string(e.lost) + '\t' + std::to_string(e.tickMs) +
                           '\t' + List<std::uint32_t>(e.counters) + '\t' + List<std::int64_t>(e.unwrapped) +
                           '\t' + List<std::int64_t>(e.elapsedMs) + '\t' + utc + '\n';
  std::fputs(line.c_str(), file_.get());
  totals_.Add(e);
}

bool PacketReport::Finish(std::string& error) {
  std::fprintf(file_.get(), "totals\t%lld\t%lld\t%lld\n", totals_.packets, totals_.samples, totals_.lostSamples);
  if (!file_.Close()) {
    error = "cannot write " + path_;
    return false;
  }
  return true;
}

}  // namespace sondrix::sim
