// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "common/file.h"
#include "common/utils.h"
#include "io/byte_order.h"
#include "sim/benth_simulator.h"

namespace sondrix::sim {
namespace {

// Fraction of full scale the signal channels stay below.
constexpr double kMaxSignal = 0.95;
// The smallest signal that is not zero: one step of the 24-bit value.
constexpr double kMinSignal = 1.0 / (65536.0 * 256.0);
// Tries at a packet whose values happen to form the sync pattern.
constexpr int kSyncRetries = 8;
// The largest channel value the packet format carries: 0xFF 0xFF 0xFF.
constexpr double kFullScale = (65535.0 + 255.0 / 256.0) / 65536.0;
// Noise bursts are 1 ... kMaxNoiseBytes bytes of 0x01 ... 0xFE, so that
// they can never form (or complete) the sync pattern 00 FF 00 FF.

double Quantized(double fraction) {
  const auto bytes = FractionToChannelBytes(fraction);
  return ChannelBytesToFraction(bytes.data());
}

std::int16_t ClampToInt16(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::round(value);
  if (rounded <= std::numeric_limits<std::int16_t>::min()) {
    return std::numeric_limits<std::int16_t>::min();
  }
  if (rounded >= std::numeric_limits<std::int16_t>::max()) {
    return std::numeric_limits<std::int16_t>::max();
  }
  return static_cast<std::int16_t>(rounded);
}

// The particle layer: 1 at 0.4 maxDepth, falling off over 0.15 maxDepth.
double Layer(double depth, double maxDepth) {
  if (!(maxDepth > 0.0)) return 0.0;
  const double x = (depth - 0.4 * maxDepth) / (0.15 * maxDepth);
  return std::exp(-x * x);
}

bool IsAttenuation(const ModelInfo& model, const MeterConfig& config, int channel) {
  const auto index = static_cast<std::size_t>(channel);
  if (index < model.traceMap.size() && model.traceMap[index] != 0) {
    return (model.traceMap[index] & 4) != 0;
  }
  const std::string& name = config.traces[index].name;
  return !name.empty() && (name[0] == 'c' || name[0] == 'C');
}

}  // namespace

std::uint16_t PeriodCount(double rate) {
  if (!(rate > 0.0) || !std::isfinite(rate)) return 0;
  const double count = std::round(1.0 / (kMeterPeriodSeconds * rate));
  if (count < 1.0 || count > 65535.0) return 0;
  return static_cast<std::uint16_t>(count);
}

double RateOfPeriod(std::uint16_t periodCount) {
  return periodCount == 0 ? 0.0 : 1.0 / (kMeterPeriodSeconds * periodCount);
}

double TargetAbsorption(double wavelength, double depth, double maxDepth) {
  const double clear = 0.05 + 0.4 * std::exp(-0.014 * (wavelength - 412.0));
  return clear * (1.0 + 0.5 * Layer(depth, maxDepth));
}

double TargetAttenuation(double wavelength, double depth, double maxDepth) {
  const double scattering = 0.3 * (550.0 / wavelength) * (1.0 + Layer(depth, maxDepth));
  return TargetAbsorption(wavelength, depth, maxDepth) + scattering;
}

double WaterAbsorption(double wavelength) {
  if (wavelength >= 700.0) return 0.0;
  return 0.4 * (std::exp(-0.014 * (wavelength - 412.0)) - std::exp(-0.014 * (700.0 - 412.0)));
}

double WaterScattering(double wavelength) { return 0.3 * (550.0 / wavelength); }

double DissolvedWater(double wavelength, double hours) {
  return (0.15 + 0.03 * hours) * std::exp(-0.018 * (wavelength - 412.0)) + 0.005 * hours;
}

double ParticulateAttenuation(double wavelength) { return 0.5 * std::pow(wavelength / 550.0, -kUnderwaySlope); }

double WaterReading(const WaterSettings& water, bool attenuation, double wavelength, double seconds) {
  const std::optional<TsCoefficients> psi = water.table.At(wavelength);
  if (!psi) return std::numeric_limits<double>::quiet_NaN();
  const double warmer = psi->psiT * (water.temperature - water.tCal);
  const double salt = (attenuation ? psi->psiSc : psi->psiSa) * water.salinity;
  if (water.underway) {
    const UnderwayWater& u = *water.underway;
    const double dissolved = DissolvedWater(wavelength, seconds / 3600.0);
    const auto utcMs = u.utcStartMs + static_cast<std::int64_t>(std::llround(seconds * 1000.0));
    if (u.valve.FilteredAt(utcMs)) return dissolved + warmer + salt;
    const double cp = ParticulateAttenuation(wavelength);
    const double ap = WaterAbsorption(wavelength);
    return dissolved + warmer + salt + (attenuation ? cp : ap + water.scatter * (cp - ap));
  }
  const double b = WaterScattering(wavelength);
  return attenuation ? WaterAbsorption(wavelength) + b + warmer + salt
                     : WaterAbsorption(wavelength) + water.scatter * b + warmer + salt;
}

double ChannelTarget(const SimSettings& settings, bool attenuation, double wavelength, double depth, double seconds) {
  if (settings.water)
    return FaultyTarget(settings.limits, WaterReading(*settings.water, attenuation, wavelength, seconds));
  double target = attenuation ? TargetAttenuation(wavelength, depth, settings.maxDepth)
                              : TargetAbsorption(wavelength, depth, settings.maxDepth);
  // The step: the water in the optics came from where the instrument was
  // the lag before.
  if (settings.step && InstrumentDepth(settings, seconds - settings.step->lag) >= settings.step->depth)
    target += settings.step->size;
  return FaultyTarget(settings.limits, target);
}

double InstrumentDepth(const SimSettings& settings, double seconds) {
  double depth = ProfileDepth(seconds, settings.maxDepth, settings.diveSeconds);
  if (settings.wavesAmplitude > 0.0 && settings.wavesPeriod > 0.0)
    depth += settings.wavesAmplitude * std::sin(2.0 * std::numbers::pi * seconds / settings.wavesPeriod);
  return depth;
}

double ExternalTemperature(const SimSettings& settings, double depth) {
  return settings.water ? settings.water->temperature : WaterTemperature(depth);
}

double ProfileDepth(double seconds, double maxDepth, double diveSeconds) {
  if (!(diveSeconds > 0.0)) return 0.0;
  const double phase = 2.0 * std::numbers::pi * std::fmod(seconds, diveSeconds) / diveSeconds;
  return maxDepth * (1.0 - std::cos(phase)) / 2.0;
}

double WaterTemperature(double depth) {
  return 18.0 - 12.0 * (1.0 - std::exp(-std::max(depth, 0.0) / 15.0));
}

double TemperatureTerm(const MeterConfig& config, int trace, double temperature) {
  return TempCorrection(config, temperature).Term(config.traces[static_cast<std::size_t>(trace)]);
}

void TemperatureRange(std::span<const double> bins, double& low, double& high) {
  low = kInternalTempLow;
  high = kInternalTempHigh;
  if (bins.size() < 2) return;
  const double first = bins.front();
  const double last = bins.back();
  if (!std::isfinite(first) || !std::isfinite(last) || !(last > first)) return;
  // A table that reaches into the instrument's range limits the drift to
  // where it applies; one that does not cannot make the instrument cold.
  const double from = std::max(first, kInternalTempLow);
  const double to = std::min(last, kInternalTempHigh);
  if (to > from) {
    low = from;
    high = to;
  }
}

void TemperatureRange(const MeterConfig& config, double& low, double& high) {
  const bool binned = config.version >= 1 && config.tempBinCount >= 2 && config.tempBinCount <= kMaxTempBins;
  TemperatureRange(binned ? std::span<const double>(config.tempBins.data(), static_cast<std::size_t>(config.tempBinCount))
                          : std::span<const double>(),
                   low, high);
}

void TemperatureRange(const BenthMeterConfig& config, double& low, double& high) {
  const bool binned = config.tempBinCount >= 2 && config.tempBinCount <= kMaxBenthTempBins;
  TemperatureRange(binned ? std::span<const double>(config.tempBins.data(), static_cast<std::size_t>(config.tempBinCount))
                          : std::span<const double>(),
                   low, high);
}

Status LoadDevice(const std::string& path, SimDevice& device, std::string& error) {
  device = SimDevice{};
  const OwnedFile file = OwnedFile::Open(path, "r");
  if (!file) {
    error = "cannot open the device file " + path;
    return status::kCantOpenFile;
  }
  std::uint32_t id = 0;
  std::string text;
  Status result = ReadID(file.get(), id, text);
  if (result != status::kOk) {
    error = path + ": " + StatusText(result);
    return result;
  }
  const int type = static_cast<int>(id >> 24);
  const ModelInfo* model = FindModel(type);
  if (model == nullptr) {
    error = path + ": unknown device type " + std::to_string(type);
    return status::kBadDeviceType;
  }
  std::rewind(file.get());
  if (model->model == Model::Benth) {
    auto benth = std::make_unique<BenthMeterConfig>(model->traceCount, model->inTraceCount);
    result = benth->ReadConfig(file.get());
    if (result != status::kOk) {
      error = path + ": " + StatusText(result);
      return result;
    }
    if (benth->Wavelengths() < 1) {
      error = path + ": the file holds no wavelengths";
      return status::kBadConfigFormat;
    }
    if (!IsUsablePathLength(benth->pathLength)) {
      error = path + ": the path length must be a positive number of metres";
      return status::kBadConfigFormat;
    }
    device.benth = std::move(benth);
    device.model = model;
    return status::kOk;
  }
  auto config = std::make_unique<MeterConfig>(model->traceCount, model->inTraceCount);
  result = config->ReadConfig(file.get());
  if (result != status::kOk) {
    error = path + ": " + StatusText(result);
    return result;
  }
  if (config->traces.size() < static_cast<std::size_t>(model->inTraceCount)) {
    error = path + ": the file holds fewer traces than the model measures";
    return status::kBadConfigFormat;
  }
  if (!IsUsablePathLength(config->pathLength)) {
    error = path + ": the path length must be a positive number of metres";
    return status::kBadConfigFormat;
  }
  device.config = std::move(config);
  device.model = model;
  return status::kOk;
}

bool ContainsPattern(const std::vector<std::uint8_t>& bytes, std::span<const std::uint8_t> pattern,
                     std::size_t from) {
  if (bytes.size() < pattern.size()) return false;
  for (std::size_t i = from; i + pattern.size() <= bytes.size(); ++i) {
    if (std::equal(pattern.begin(), pattern.end(), bytes.begin() + static_cast<long>(i))) {
      return true;
    }
  }
  return false;
}

bool ContainsSync(const std::vector<std::uint8_t>& bytes, std::size_t from) {
  return ContainsPattern(bytes, kMeterSync, from);
}

void PlanEmission(const FaultSettings& faults, long long number, std::mt19937_64& engine,
                  Emission& e) {
  auto due = [number](int every) { return every > 0 && number % every == 0; };
  e = Emission{};
  e.packetNumber = number;
  e.badChecksum = due(faults.badChecksum);
  e.badLength = due(faults.badLength);
  e.wrongSerial = due(faults.wrongSerial) || (faults.otherFrom > 0 && number >= faults.otherFrom);
  e.restart = due(faults.restart);
  e.duplicate = due(faults.duplicate);
  if (due(faults.noise)) {
    e.noiseBytes = 1 + static_cast<int>(engine() % kMaxNoiseBytes);
    for (int i = 0; i < e.noiseBytes; ++i) {
      e.bytes.push_back(static_cast<std::uint8_t>(1 + engine() % 254));
    }
  }
  if (due(faults.pauseEvery) && faults.pauseSeconds > 0.0) e.pauseAfter = faults.pauseSeconds;
}

SensorReadings FaultySensors(const LimitFaults& limits, double temperature, double depth,
                             std::mt19937_64& engine) {
  SensorReadings readings{limits.fixedTemp ? limits.internalTemp : temperature, depth + limits.depthZero};
  if (limits.sensorNoise > 0.0) {
    readings.temperature += limits.sensorNoise * GaussianOf(engine);
    readings.depth += limits.sensorNoise * GaussianOf(engine);
  }
  return readings;
}

double FaultyTarget(const LimitFaults& limits, double clean) {
  return (limits.cleanWater ? 0.0 : clean) + limits.calDrift;
}

std::uint32_t OtherSerial(std::uint32_t serial) {
  return (serial & 0xFFFF0000u) | ((serial + 1) & 0xFFFFu);
}

void SetSamples(Emission& e, int samples) {
  e.samples = samples;
  e.lost = e.badChecksum || e.badLength || e.spacing ? samples : 0;
}

void AppendPacket(Emission& e, const std::vector<std::uint8_t>& packet) {
  for (int copy = 0; copy < (e.duplicate ? 2 : 1); ++copy) e.bytes.insert(e.bytes.end(), packet.begin(), packet.end());
}

void SimCounts::Add(const Emission& e) {
  ++packets;
  samples += e.samples;
  if (e.badChecksum) ++badChecksums;
  if (e.badLength) ++badLengths;
  lostSamples += e.lost;
  if (e.noiseBytes > 0) {
    ++noiseBursts;
    noiseBytes += e.noiseBytes;
  }
  if (e.wrongSerial) ++wrongSerials;
  if (e.pauseAfter > 0.0) ++pauses;
  if (e.restart) ++restarts;
  if (e.duplicate) ++duplicates;
  if (e.spacing) ++spacings;
}

const Config& SimDevice::Base() const {
  if (benth) return *benth;
  return *config;
}

double PacketStream::TrueSecondsOf(long long sample) const {
  return static_cast<double>(sample) * SampleSeconds() / clockRatio_ + pausedSeconds_;
}

double PacketStream::NextPacketTrueSeconds() const {
  return TrueSecondsOf(Counts().samples + SamplesPerPacket() - 1);
}

double PacketStream::TransmitSeconds(std::size_t bytes, long baud) {
  return baud > 0 ? static_cast<double>(bytes) * 10.0 / static_cast<double>(baud) : 0.0;
}

void PacketStream::StampTrueTimes(Emission& e, long long firstSample) {
  e.trueSeconds.resize(static_cast<std::size_t>(e.samples));
  for (int k = 0; k < e.samples; ++k) e.trueSeconds[static_cast<std::size_t>(k)] = TrueSecondsOf(firstSample + k);
  pausedSeconds_ += e.pauseAfter;
}

long long PacketStream::PacketsFor(double seconds) const {
  if (!(seconds > 0.0)) return 1;
  // Rounded: the period count makes the true rate differ slightly from the
  // one asked for (10 s at 20 Hz are 20 packets, not 21).
  const double packets = std::round(seconds / PacketSeconds());
  return std::max(1LL, static_cast<long long>(packets));
}

Simulator::Simulator(const MeterConfig& config, const ModelInfo& model,
                     const SimSettings& settings)
    : PacketStream(settings.clockPpm),
      settings_(settings),
      channels_(model.inTraceCount),
      samples_(model.samplesPerRec),
      length_(MeterPacketLength(model.inTraceCount, model.samplesPerRec)),
      period_(PeriodCount(settings.rate)),
      serial_(config.serialnum),
      config_(std::make_unique<MeterConfig>(config.traceCount, config.inTraceCount)),
      signal_(settings.seed),
      faults_(settings.seed ^ 0x5EED'F00D'5EED'F00DULL),
      sensors_(settings.seed ^ 0x0DDB'A115'0DDB'A115ULL) {
  config.CopyConfig(*config_);
  if (period_ == 0) period_ = PeriodCount(6.0);
  TemperatureRange(*config_, tempLow_, tempHigh_);
  const auto n = static_cast<std::size_t>(channels_);
  attenuation_.resize(n);
  wavelength_.resize(n);
  reference_.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const int channel = static_cast<int>(i);
    attenuation_[i] = IsAttenuation(model, *config_, channel);
    const double nm = config_->traces[i].wavelength;
    wavelength_[i] = (std::isfinite(nm) && nm > 0.0) ? nm : 550.0;
    // Reference levels spread over 0.55 ... 0.80 of full scale.
    reference_[i] = 0.55 + 0.25 * static_cast<double>((i * 7) % 11) / 10.0;
  }
}

double UniformOf(std::mt19937_64& engine) {
  return static_cast<double>(engine() >> 11) * 0x1.0p-53;
}

double GaussianOf(std::mt19937_64& engine) {
  // Box-Muller on the engine's own bits, so that every library gives the
  // same numbers; cut at 3 sigma so that the error stays bounded.
  double u1 = 0.0;
  do {
    u1 = UniformOf(engine);
  } while (u1 <= 0.0);
  const double u2 = UniformOf(engine);
  const double z = std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
  return std::clamp(z, -3.0, 3.0);
}

double DriftFraction(double seconds, double driftSeconds) {
  if (!(driftSeconds > 0.0)) return 0.0;
  return (1.0 - std::cos(2.0 * std::numbers::pi * std::fmod(seconds, driftSeconds) / driftSeconds)) /
         2.0;
}

std::unique_ptr<PacketStream> MakeStream(const SimDevice& device, const SimSettings& settings) {
  if (device.benth) return std::make_unique<BenthSimulator>(*device.benth, settings);
  return std::make_unique<Simulator>(*device.config, *device.model, settings);
}

double Simulator::Uniform() { return UniformOf(signal_); }
double Simulator::Gaussian() { return GaussianOf(signal_); }

double Simulator::SampleSeconds() const { return period_ * kMeterPeriodSeconds; }

void Simulator::MakePacket(MeterPacketFields& fields) {
  Emission& e = current_;
  const auto n = static_cast<std::size_t>(channels_);
  const auto m = static_cast<std::size_t>(samples_);
  const double seconds = static_cast<double>(sample_) * period_ * kMeterPeriodSeconds;

  // The sensors: the profile's depth and the drift's temperature, unless
  // a fault says otherwise.
  const double profile = InstrumentDepth(settings_, seconds);
  const double drift = DriftFraction(seconds, settings_.driftSeconds);
  const SensorReadings sensed =
      FaultySensors(settings_.limits, tempLow_ + (tempHigh_ - tempLow_) * drift, profile, sensors_);

  // Depth: the pressure count the calibration turns back into the reading.
  const double depth = sensed.depth;
  const double scale = config_->depthScale;
  if (scale != 0.0 && std::isfinite(scale)) {
    fields.pressureCount = ClampToInt16((depth - config_->depthOffset) / scale);
    e.depth = fields.pressureCount * scale + config_->depthOffset;
  } else {
    fields.pressureCount = ClampToInt16(depth * 100.0);
    e.depth = depth;
  }
  fields.extTempHundredths = ClampToInt16(std::round(ExternalTemperature(settings_, profile) * 100.0));
  e.extTemperature = fields.extTempHundredths / 100.0;

  // The instrument warms up and cools down across its calibrated range.
  fields.tempCount = TempToCount(sensed.temperature);
  e.temperature = CountToTemp(fields.tempCount);

  // The water follows the instrument's true depth, not a faulty reading.
  const double waterDepth = e.depth - (sensed.depth - profile);

  // Targets with noise, then the signal/reference ratio that calibrates to
  // them: value = offset - ln(s / r) / L + term(T), so
  // s / r = exp((offset + term(T) - value) L).
  e.targets.assign(m * n, 0.0);
  std::vector<double> ratio(m * n, 1.0);
  std::vector<double> largest(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    const double clean = ChannelTarget(settings_, attenuation_[i], wavelength_[i], waterDepth, seconds);
    const double term = TemperatureTerm(*config_, static_cast<int>(i), e.temperature);
    const double offset = config_->traces[i].offset;
    for (std::size_t k = 0; k < m; ++k) {
      const double target = clean + settings_.valueNoise * Gaussian();
      e.targets[k * n + i] = target;
      const double r = std::exp((offset + term - target) * config_->pathLength);
      ratio[k * n + i] = r;
      largest[i] = std::max(largest[i], r);
    }
  }
  fields.refs.assign(n, 0.0);
  fields.values.assign(m * n, 0.0);
  const LimitFaults& limits = settings_.limits;
  for (std::size_t i = 0; i < n; ++i) {
    const double jitter = 1.0 + 0.001 * Gaussian();
    double reference = (limits.lowCounts > 0.0 ? limits.lowCounts : reference_[i]) * jitter;
    if (reference * largest[i] > kMaxSignal) reference = kMaxSignal / largest[i];
    reference = Quantized(std::max(reference, kMinSignal));
    if (limits.saturate) reference = kFullScale;
    fields.refs[i] = reference;
    for (std::size_t k = 0; k < m; ++k) {
      fields.values[k * n + i] = limits.saturate ? kFullScale : std::max(reference * ratio[k * n + i], kMinSignal);
    }
  }

  fields.timeCounts.assign(m, 0);
  e.counters.assign(m, 0);
  e.unwrapped.assign(m, 0);
  e.elapsedMs.assign(m, 0);
  for (std::size_t k = 0; k < m; ++k) {
    // N counts of 31.6 us per sample, accumulated exactly since the counter
    // last started; the counter runs in hundredths and wraps at 65536.
    const long long sample = sample_ + static_cast<long long>(k);
    const long long ticks = (sample - counterBase_) * period_ * 316 / 100000;
    e.unwrapped[k] = static_cast<std::int64_t>(settings_.timeStart) + ticks;
    fields.timeCounts[k] = static_cast<std::uint16_t>(e.unwrapped[k] & 0xFFFF);
    e.counters[k] = fields.timeCounts[k];
    e.elapsedMs[k] = sample * period_ * 316 / 10000;
  }
}

std::vector<SimChannel> Simulator::ChannelList() const {
  std::vector<SimChannel> channels;
  for (std::size_t i = 0; i < wavelength_.size(); ++i) channels.push_back({attenuation_[i], wavelength_[i]});
  return channels;
}

const Emission& Simulator::Next() {
  Emission& e = current_;
  PlanEmission(settings_.faults, counts_.packets + 1, faults_, e);
  if (e.restart) counterBase_ = sample_;
  SetSamples(e, samples_);

  MeterPacketFields fields;
  fields.serial = e.wrongSerial ? OtherSerial(serial_) : serial_;
  fields.status = settings_.statusWord;
  fields.periodCount = period_;

  std::vector<std::uint8_t> packet;
  for (int attempt = 0; attempt <= kSyncRetries; ++attempt) {
    // A body that happens to hold the sync pattern would be taken for a
    // packet start after a resynchronisation; draw the noise anew.
    MakePacket(fields);
    packet = EncodeMeterPacket(fields, channels_, samples_);
    if (!ContainsSync(packet, 1)) break;
    if (attempt == kSyncRetries) headerFormsSync_ = true;
  }

  if (e.badLength) {
    const auto wrong = static_cast<std::uint16_t>(length_ + 1);
    PutLittleEndian16(packet.data() + kMeterLengthOffset, wrong);
    SealMeterPacket(packet);
  }
  if (e.badChecksum) {
    const std::size_t at = packet.size() - kMeterChecksumBytes;
    const std::uint8_t original = packet[at];
    for (std::uint8_t flip : {0x55, 0xAA, 0x33, 0x0F}) {
      packet[at] = static_cast<std::uint8_t>(original ^ flip);
      if (!ContainsSync(packet, 1)) break;
    }
  }
  AppendPacket(e, packet);

  StampTrueTimes(e, sample_);
  sample_ += samples_;
  counts_.Add(e);
  return e;
}

}  // namespace sondrix::sim
