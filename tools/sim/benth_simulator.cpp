// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/benth_simulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/log.h"
#include "common/utils.h"
#include "config/temp_bins.h"
#include "io/byte_order.h"
#include "source/source.h"

namespace sondrix::sim {
namespace {

// Counts the signals stay below, and the smallest one sent.
constexpr double kMaxCount = 60000.0;
constexpr double kMinCount = 1.0;
// Full scale of a 16-bit count.
constexpr double kFullCount = 65535.0;
constexpr int kPatternRetries = 8;

std::uint16_t ClampCount(double value) {
  if (!(value > 0.0)) return 0;
  return static_cast<std::uint16_t>(std::lround(std::min(value, 65535.0)));
}

bool HoldsAPattern(const std::vector<std::uint8_t>& packet) {
  return ContainsPattern(packet, kBenthSync, 1) || ContainsPattern(packet, kBenthFrameSync, 0);
}

}  // namespace

BenthSimulator::BenthSimulator(const BenthMeterConfig& config, const SimSettings& settings)
    : PacketStream(settings.clockPpm),
      settings_(settings),
      config_(std::make_unique<BenthMeterConfig>(config.traceCount, config.inTraceCount)),
      channels_(config.Wavelengths()),
      pathLength_(config.pathLength),
      signal_(settings.seed),
      faults_(settings.seed ^ 0x5EED'F00D'5EED'F00DULL),
      sensors_(settings.seed ^ 0x0DDB'A115'0DDB'A115ULL),
      skip_(std::clamp(static_cast<int>(config.skip), 1, kMaxBenthSkip)),
      baud_(config.baudRate) {
  config.CopyConfig(*config_);
  if (!(settings_.rate > 0.0) || !std::isfinite(settings_.rate)) settings_.rate = 6.0;
  // The lamp's spectrum through the grating: a smooth hump, brightest in
  // the middle of the range and falling to 20000 counts at its ends.
  reference_.resize(static_cast<std::size_t>(channels_));
  const double last = std::max(1.0, static_cast<double>(reference_.size()) - 1.0);
  for (std::size_t i = 0; i < reference_.size(); ++i) {
    reference_[i] = 20000.0 + 15000.0 * std::sin(std::numbers::pi * static_cast<double>(i) / last);
  }
}

double BenthSimulator::SampleSeconds() const { return 1.0 / settings_.rate; }

void BenthSimulator::MakePacket(BenthPacketFields& f) {
  Emission& e = current_;
  const auto n = static_cast<std::size_t>(channels_);
  const int type = f.type;
  const double seconds = static_cast<double>(sample_) * SampleSeconds();
  const BenthMeterConfig& c = *config_;

  // Depth: packets of type 5 and later carry the pressure count; older ones
  // carry none, so the program shows the depth offset alone.
  const double profile = InstrumentDepth(settings_, seconds);
  double low = 0.0;
  double high = 0.0;
  TemperatureRange(c, low, high);
  const SensorReadings sensed = FaultySensors(
      settings_.limits, low + (high - low) * DriftFraction(seconds, settings_.driftSeconds), profile, sensors_);
  const double depth = sensed.depth;
  e.depth = c.depthOffset;
  if (type >= 5) {
    const double scale = c.depthScale;
    const bool scaled = scale != 0.0 && std::isfinite(scale);
    f.count1 = ClampCount(scaled ? (depth - c.depthOffset) / scale : depth * 100.0);
    e.depth = scaled ? f.count1 * scale + c.depthOffset : depth;
  } else {
    f.count1 = 0;
  }
  f.count3 = BenthSecondTempToCount(type, ExternalTemperature(settings_, profile));
  e.extTemperature = BenthSecondTemp(type, f.count3);
  f.count4 = BenthInternalTempToCount(type, sensed.temperature);
  e.temperature = BenthInternalTemp(type, f.count4);
  const BinInterpolation bins(c.tempBins, c.tempBinCount, e.temperature);

  // The water follows the instrument's true depth, not a faulty reading.
  const double waterDepth = type >= 5 ? e.depth - (sensed.depth - profile) : e.depth;

  TraceMap map{};
  FillBenthTraceMap(channels_, skip_, map);
  e.targets.assign(2 * n, 0.0);
  // The output wavelength nearest the middle of the spectrum, where a bend
  // makes the spectrum nonconforming.
  const std::size_t skip = static_cast<std::size_t>(skip_);
  const std::size_t bent = n / 2 / skip * skip;
  f.ref1.assign(n, 0);
  f.ref2.assign(n, 0);
  f.sig1.assign(n, 0);
  f.sig2.assign(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    // Every channel draws its noise, on the map or not, so that the values
    // do not depend on the spacing.
    const LimitFaults& limits = settings_.limits;
    const double bend = i == bent ? limits.bend : 0.0;
    const double cTarget = ChannelTarget(settings_, true, c.traces[i].wavelength, waterDepth, seconds) +
                           settings_.valueNoise * GaussianOf(signal_) + bend;
    const double aTarget = ChannelTarget(settings_, false, c.traces[n + i].wavelength, waterDepth, seconds) +
                           settings_.valueNoise * GaussianOf(signal_) + bend;
    const double jitter1 = 1.0 + 0.001 * GaussianOf(signal_);
    const double jitter2 = 1.0 + 0.001 * GaussianOf(signal_);
    if (map[i] == 0) continue;
    // value = offset - ln(s / r) / L - correction, so
    // s / r = exp((offset - correction - value) L).
    const BenthTraceCal& t = c.traces[i];
    const double cRatio = std::exp((t.cOffset - bins.At(t.cTempCorr) - cTarget) * pathLength_);
    const double aRatio = std::exp((t.aOffset - bins.At(t.aTempCorr) - aTarget) * pathLength_);
    const bool lowLevel = limits.lowCounts > 0.0;
    double r1 = (lowLevel ? limits.lowCounts * kFullCount : reference_[i]) * jitter1;
    double r2 = (lowLevel ? limits.lowCounts * kFullCount : reference_[i] * 0.9) * jitter2;
    if (r1 * cRatio > kMaxCount) r1 = kMaxCount / cRatio;
    if (r2 * aRatio > kMaxCount) r2 = kMaxCount / aRatio;
    f.ref1[i] = ClampCount(std::max(r1, kMinCount));
    f.ref2[i] = ClampCount(std::max(r2, kMinCount));
    f.sig1[i] = ClampCount(std::max(f.ref1[i] * cRatio, kMinCount));
    f.sig2[i] = ClampCount(std::max(f.ref2[i] * aRatio, kMinCount));
    if (limits.saturate) f.ref1[i] = f.ref2[i] = f.sig1[i] = f.sig2[i] = 0xFFFF;
    e.targets[i] = cTarget;
    e.targets[n + i] = aTarget;
  }
  // The counter counts milliseconds since it last started and wraps at 2^32.
  const auto ms = [this](long long samples) {
    return static_cast<std::int64_t>(static_cast<double>(samples) * 1000.0 / settings_.rate);
  };
  e.tickMs = 1;
  e.unwrapped.assign(1, static_cast<std::int64_t>(settings_.timeStart) + ms(sample_ - counterBase_));
  e.elapsedMs.assign(1, ms(sample_));
  f.time = static_cast<std::uint32_t>(e.unwrapped[0] & 0xFFFFFFFF);
  e.counters.assign(1, f.time);
}

const Emission& BenthSimulator::Next() {
  Emission& e = current_;
  PlanEmission(settings_.faults, counts_.packets + 1, faults_, e);
  if (e.restart) counterBase_ = sample_;
  if (counts_.packets + 1 == settings_.faults.spacingChange) {
    // Every second wavelength, unasked (every one when it already was so).
    SetSpacing(skip_ == 2 ? 1 : 2);
    spacingUnasked_ = true;
  }
  e.spacing = spacingUnasked_;
  SetSamples(e, 1);

  BenthPacketFields fields;
  fields.type = static_cast<std::uint8_t>(std::clamp(settings_.packetType, 0, 255));
  fields.skip = static_cast<std::uint8_t>(skip_);
  fields.serial = e.wrongSerial ? OtherSerial(config_->serialnum) : config_->serialnum;
  // Type 4 shows its status word as the sample rate; type 5 as an
  // auxiliary field.
  fields.status = settings_.statusWord;
  if (fields.status == 0 && fields.type == 4) {
    fields.status = static_cast<std::uint16_t>(std::lround(std::min(settings_.rate, 65535.0)));
  }
  fields.count2 = 512;
  fields.count5 = -3;
  fields.count6 = 17;

  std::vector<std::uint8_t> packet;
  for (int attempt = 0; attempt <= kPatternRetries; ++attempt) {
    // A body that happens to hold a sync pattern would be taken for a packet
    // or an acknowledgement; draw the noise anew.
    MakePacket(fields);
    packet = EncodeBenthPacket(fields, channels_);
    if (!HoldsAPattern(packet)) break;
  }
  if (e.badLength) {
    PutBigEndian16(packet.data() + kBenthLengthOffset,
                   static_cast<std::uint16_t>(PacketLength() + 1));
    SealBenthPacket(packet);
  }
  if (e.badChecksum) {
    const std::size_t at = packet.size() - 1;
    const std::uint8_t original = packet[at];
    for (std::uint8_t flip : {0x55, 0xAA, 0x33, 0x0F}) {
      packet[at] = static_cast<std::uint8_t>(original ^ flip);
      if (!HoldsAPattern(packet)) break;
    }
  }
  AppendPacket(e, packet);

  StampTrueTimes(e, sample_);
  ++sample_;
  counts_.Add(e);
  return e;
}

void BenthSimulator::Input(std::span<const std::uint8_t> bytes) {
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  for (;;) {
    const auto start = std::search(input_.begin(), input_.end(), kBenthFrameSync.begin(),
                                   kBenthFrameSync.end());
    if (start == input_.end()) {
      // Keep what may be the start of a frame.
      const std::size_t keep = std::min<std::size_t>(input_.size(), kBenthSyncLength - 1);
      input_.erase(input_.begin(), input_.end() - static_cast<long>(keep));
      return;
    }
    input_.erase(input_.begin(), start);
    if (input_.size() < static_cast<std::size_t>(kBenthFrameBytes)) return;
    std::array<std::uint8_t, kBenthFrameBytes> frame{};
    std::copy_n(input_.begin(), kBenthFrameBytes, frame.begin());
    if (BenthFrameTailGood(std::span<const std::uint8_t, 8>(frame.data() + 4, 8))) {
      input_.erase(input_.begin(), input_.begin() + kBenthFrameBytes);
      Command(frame);
    } else {
      input_.erase(input_.begin());  // not a frame after all: look further
    }
  }
}

void BenthSimulator::Command(std::span<const std::uint8_t, kBenthFrameBytes> frame) {
  ++commands_;
  const std::uint16_t code = BigEndian16(frame.data() + 4);
  const std::uint16_t param1 = BigEndian16(frame.data() + 6);
  const std::uint16_t param2 = BigEndian16(frame.data() + 8);
  if (commands_ == settings_.dropAck) {
    ++dropped_;  // the line lost it; the command itself is repeated
    SONDRIX_LOG(Debug, "command %04X: its acknowledgement is left out", code);
    return;
  }
  switch (code) {
    case kBenthCmdBegin:
      pendingSkip_ = 0;
      pendingBaud_ = 0;
      break;
    case kBenthCmdSpacing:
      if (param1 >= 1 && param1 <= kMaxBenthSkip) pendingSkip_ = param1;
      break;
    case kBenthCmdBaud:
      pendingBaud_ = static_cast<long>((static_cast<std::uint32_t>(param1) << 16) | param2);
      break;
    default:
      break;
  }
  SONDRIX_LOG(Debug, "command %04X (%u, %u) acknowledged", code, param1, param2);
  const auto ack = EncodeBenthFrame(code, param1, param2);
  replies_.insert(replies_.end(), ack.begin(), ack.end());
  // The acknowledgement goes out at the rate the command came in; then the
  // instrument talks at the new rate, and after the final command outputs
  // the new spacing.
  if (code == kBenthCmdBaud && pendingBaud_ > 0) {
    baud_ = pendingBaud_;
    baudChanged_ = true;
    SONDRIX_LOG(Debug, "now at %ld baud", baud_);
  }
  if (code == kBenthCmdEnd && pendingSkip_ > 0) {
    SetSpacing(pendingSkip_);
    spacingUnasked_ = false;
    SONDRIX_LOG(Debug, "now at output spacing %d", skip_);
  }
}

void BenthSimulator::SetSpacing(int skip) { skip_ = std::clamp(skip, 1, kMaxBenthSkip); }

std::vector<std::uint8_t> BenthSimulator::TakeReplies() {
  std::vector<std::uint8_t> out;
  out.swap(replies_);
  return out;
}

std::vector<SimChannel> BenthSimulator::ChannelList() const {
  const BenthMeterConfig& c = *config_;
  const auto n = static_cast<std::size_t>(channels_);
  std::vector<SimChannel> list;
  for (bool attenuation : {true, false}) {
    for (std::size_t i = 0; i < n; ++i) list.push_back({attenuation, c.traces[attenuation ? i : n + i].wavelength});
  }
  return list;
}

}  // namespace sondrix::sim
