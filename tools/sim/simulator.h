// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument simulator's signal model and packet stream: from a device
// configuration file of an absorption/attenuation meter it makes the packets
// that instrument would send, with counts chosen so that the program,
// calibrating them with the same file, reads a smooth A and C spectrum.
//
// Everything here is deterministic: the same device file, settings and seed
// give the same bytes. Output, pacing and option parsing live in main.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "config/benth_meter_config.h"
#include "config/meter_config.h"
#include "io/ancillary.h"
#include "io/meter_packet.h"
#include "processing/ts_table.h"
#include "source/factories.h"

namespace sondrix::sim {

// Faults on request, each every `K` packets (packet numbers K, 2K, ...
// counting the first packet as 1); 0 turns a fault off.
struct FaultSettings {
  int badChecksum = 0;    // the checksum does not add up: 10 lost samples
  int badLength = 0;      // the length word is wrong: 10 lost samples
  int noise = 0;          // 1 ... 20 noise bytes in front of the packet: none lost
  int wrongSerial = 0;    // a different serial number (the decoder does not check it)
  int pauseEvery = 0;     // a pause of pauseSeconds after the packet
  double pauseSeconds = 0.0;
  int restart = 0;        // the time counter starts again from timeStart (a reset or power blip)
  int duplicate = 0;      // the packet is sent twice, byte for byte
  // Hyperspectral meter, once: from this packet on the instrument outputs
  // every second wavelength (every one when it already did), unasked.
  int spacingChange = 0;
  // From this packet number on (0: never) every packet carries another
  // instrument's serial number: what a line that came back with another
  // instrument on it brings.
  long long otherFrom = 0;
};

// An instrument out of its self-test limits, on request. The values the
// program calibrates still follow the signal model unless a setting here
// changes them.
struct LimitFaults {
  bool cleanWater = false;     // A and C of clean water (0 1/m): the self-test's reference condition
  double calDrift = 0.0;       // 1/m added to every A and C value: a calibration that drifted
  double lowCounts = 0.0;      // > 0: references at this fraction of full scale (signals follow)
  bool saturate = false;       // every signal and reference at full scale
  double bend = 0.0;           // 1/m added to A and C at the middle output wavelength (hyperspectral)
  bool fixedTemp = false;      // the internal temperature stays at internalTemp
  double internalTemp = 20.0;  // degrees
  double depthZero = 0.0;      // metres the pressure sensor reads at the surface
  double sensorNoise = 0.0;    // standard deviation of the internal temperature (degrees) and of
                               // the depth (metres), per packet, cut at 3 sigma
};

// The water mode (--water T,S[,SCATTER]): the meter sees homogeneous water
// whose corrected absorption and attenuation are known, at temperature T
// and salinity S, while its offsets were calibrated in clean water at
// tCal and salinity 0; its absorption tube loses the share SCATTER of the
// scattering into a. Each channel reads (before the value noise)
//
//   a = a_true + psi_t (T - tCal) + psi_s_a S + SCATTER b
//   c = a_true + b + psi_t (T - tCal) + psi_s_c S
//
// with the coefficients of the program's own table (processing/ts_table.h)
// at the channel's wavelength, a_true = WaterAbsorption, b =
// WaterScattering. The meter's external temperature reads T. So the
// temperature and salinity correction gives a_true + SCATTER b and
// a_true + b, and the proportional scattering correction, with a_true 0 at
// the reference wavelength (>= 700 nm), gives a_true exactly: the report's
// truth lines (report.h).
//
// Underway (--underway EVERY,FILTERED[,OFFSET]): the water runs through a
// flow-through system whose valve routes it through a 0.2 um filter on the
// schedule (minutes, from the hour of UTC, as io/ancillary.h's
// ValveSchedule). What is everything but water is then split into a
// dissolved part, which drifts slowly, and a particulate one, which the
// filter holds back:
//
//   dissolved  a_d = c_d = (0.15 + 0.03 h) exp(-0.018 (l - 412)) + 0.005 h
//              (h: hours since the first sample; the last term the
//              instrument's drift)
//   particulate a_p = WaterAbsorption, c_p = 0.5 (l / 550)^-1 (a spectral
//              slope of 1), b_p = c_p - a_p
//
// so that on filter a = a_d, c = c_d, and on whole water a = a_d + a_p +
// SCATTER b_p, c = c_d + c_p (each with the water's temperature and
// salinity terms as above). The report gives a_p, c_p, the slope and the
// dissolved model (report.h).
struct UnderwayWater {
  ValveSchedule valve;
  std::int64_t utcStartMs = 0;  // the first sample's UTC time
};
struct WaterSettings {
  double temperature = 20.0;  // degrees Celsius
  double salinity = 0.0;
  double scatter = 0.0;       // 0 ... 0.5
  double tCal = 20.0;         // the simulated calibration's water temperature
  TsTable table;
  std::optional<UnderwayWater> underway;
};
inline constexpr double kUnderwaySlope = 1.0;
// The dissolved part at `hours` since the first sample, and the
// particulate attenuation, 1/m.
double DissolvedWater(double wavelength, double hours);
double ParticulateAttenuation(double wavelength);
inline constexpr double kSimCalibrationTemperature = 20.0;
// The water's true absorption, 1/m: 0.4 (exp(-0.014 (l - 412)) -
// exp(-0.014 (700 - 412))) below 700 nm, 0 from 700 nm on.
double WaterAbsorption(double wavelength);
// Its scattering, 1/m: 0.3 (550 / l).
double WaterScattering(double wavelength);
// What the meter reads of the water at a wavelength `seconds` after the
// first sample (see above); NaN for a wavelength outside the table.
double WaterReading(const WaterSettings& water, bool attenuation, double wavelength, double seconds);

struct SimSettings {
  double rate = 6.0;             // samples per second (nominal; see PeriodCount)
  std::uint64_t seed = 1;
  // The time counter of the first sample, in the counter's own unit:
  // hundredths of a second (0 ... 65535) for the meters with a 16-bit
  // counter, milliseconds (0 ... 2^32 - 1) for the hyperspectral meter.
  std::uint32_t timeStart = 0;
  double maxDepth = 50.0;        // metres at the bottom of each dive
  double diveSeconds = 240.0;    // one descent and ascent
  // The ship's heave on the dives (--waves A[,PERIOD]): the instrument
  // rises and falls by A metres, a sine of PERIOD seconds.
  double wavesAmplitude = 0.0;
  double wavesPeriod = 4.0;
  // A step in the water (--step DEPTH,SIZE[,LAG]): a and c SIZE 1/m higher
  // from DEPTH metres down, seen by the optics LAG seconds after the depth
  // sensor passes it (the water takes that long to reach them).
  struct Step {
    double depth = 0.0, size = 0.0, lag = 0.0;
  };
  std::optional<Step> step;
  double driftSeconds = 900.0;   // one warm-up and cool-down of the instrument
  double valueNoise = 0.002;     // standard deviation of A and C, 1/m (cut at 3 sigma)
  std::uint16_t statusWord = 0;
  FaultSettings faults;
  LimitFaults limits;
  // The water mode (see WaterSettings); none: the diving profile's water.
  std::optional<WaterSettings> water;
  // The hyperspectral meter: the packet type its packets carry, and which
  // command's acknowledgement to leave out (the K-th command received; 0
  // for none).
  int packetType = 5;
  int dropAck = 0;
  // The instrument's crystal runs this many parts per million fast: its
  // time counter advances by the nominal period a sample, but in true time
  // a sample period lasts nominal / (1 + clockPpm 1e-6).
  double clockPpm = 0.0;
};

// The largest |clockPpm| the tool takes: a hundred times a poor crystal's
// error, enough to make the drift plain in a test of a few seconds.
inline constexpr double kMaxClockPpm = 10000.0;

// The sample period count N = round(1 / (3.16e-05 rate)) the packets carry,
// or 0 when no count 1 ... 65535 gives that rate.
std::uint16_t PeriodCount(double rate);
// The rate the program computes from a period count.
double RateOfPeriod(std::uint16_t periodCount);

// The spectrum the calibrated output follows, 1/m, at a depth (metres):
//   a(l) = (0.05 + 0.4 exp(-0.014 (l - 412))) (1 + 0.5 g)
//   b(l) = 0.3 (550 / l) (1 + g)        c(l) = a(l) + b(l)
// where g is a particle layer centred at 0.4 maxDepth (width 0.15 maxDepth).
double TargetAbsorption(double wavelength, double depth, double maxDepth);
double TargetAttenuation(double wavelength, double depth, double maxDepth);

// The depth profile, metres, at instrument time `seconds`: a cosine dive
// from the surface to maxDepth and back every diveSeconds.
double ProfileDepth(double seconds, double maxDepth, double diveSeconds);
// Where the instrument is at `seconds`: the dive with the waves on it.
double InstrumentDepth(const SimSettings& settings, double seconds);
// The water temperature at a depth: 18 degrees at the surface, cooling
// towards 6 degrees below a thermocline of 15 m scale.
double WaterTemperature(double depth);

// How far the instrument's warm-up and cool-down (one every driftSeconds)
// has gone at instrument time `seconds`: 0 ... 1 ... 0.
double DriftFraction(double seconds, double driftSeconds);

// Uniform in [0, 1) and Gaussian (Box-Muller, cut at 3 sigma) numbers from
// the engine's own bits, so that every library gives the same numbers.
double UniformOf(std::mt19937_64& engine);
double GaussianOf(std::mt19937_64& engine);

// The temperature correction the meter adds to a trace's value at the
// instrument temperature T: tempSlope (T - refTemp) in structure version 0;
// minus tempCorr interpolated (or extrapolated) between the bracketing bins
// from version 1 on. The same rule as the meter's computation.
double TemperatureTerm(const MeterConfig& config, int trace, double temperature);

// Where an instrument's internal temperature lies: its electronics keep it
// warmer than the water, typically 15 ... 35 degrees.
inline constexpr double kInternalTempLow = 15.0;
inline constexpr double kInternalTempHigh = 35.0;

// The internal temperature range the simulated instrument drifts across:
// the part of the calibrated range `bins` (two or more ascending bin
// temperatures) within kInternalTempLow ... kInternalTempHigh, so that the
// temperature correction works inside its table; the whole of
// kInternalTempLow ... kInternalTempHigh when there are no such bins or
// they lie outside it.
void TemperatureRange(std::span<const double> bins, double& low, double& high);
// The same for a meter's file: its bins from structure version 1 on.
void TemperatureRange(const MeterConfig& config, double& low, double& high);
// The same for a hyperspectral meter's file.
void TemperatureRange(const BenthMeterConfig& config, double& low, double& high);

// A device configuration file with the model it describes: `config` for
// the absorption/attenuation meters, `benth` for the hyperspectral meter.
struct SimDevice {
  std::unique_ptr<MeterConfig> config;
  std::unique_ptr<BenthMeterConfig> benth;
  const ModelInfo* model = nullptr;

  const Config& Base() const;
};

// Reads a device configuration file. 1, or a status code with a message in
// `error` (unreadable file, unknown device type, a path length that is not
// positive).
Status LoadDevice(const std::string& path, SimDevice& device, std::string& error);

// What one step of the stream holds.
struct Emission {
  std::vector<std::uint8_t> bytes;  // noise (if any), then the packet
  long long packetNumber = 0;       // 1, 2, ...
  int noiseBytes = 0;
  bool badChecksum = false;
  bool badLength = false;
  bool wrongSerial = false;
  bool restart = false;             // the counter started again at this packet's first sample
  bool duplicate = false;           // `bytes` hold the packet twice
  bool spacing = false;             // sent at another spacing than the program asked for
  bool unplugged = false;           // taken while the line was unplugged: never sent
  double pauseAfter = 0.0;          // seconds the writer waits after these bytes
  // The packet's samples: how many, how many the decoder must count lost,
  // and for each its time counter as sent, the same counter unwrapped
  // (64 bits, starting again at a restart) and the instrument's elapsed
  // time since the first sample of the run, whole milliseconds (neither
  // wrapping nor restarting). `tickMs` is the counter's unit.
  int samples = 0;
  int lost = 0;
  int tickMs = 10;
  std::vector<std::uint32_t> counters;
  std::vector<std::int64_t> unwrapped;
  std::vector<std::int64_t> elapsedMs;
  // For each sample, the true time at which it was measured, seconds since
  // the run's first sample was measured: the instrument's elapsed time
  // (exact, not rounded to its counter) / (1 + clockPpm 1e-6), plus the
  // pauses before the packet. A pause holds the instrument (no sample is
  // taken and its counter stands still: elapsedMs leaves it out) while true
  // time passes; an unplugged line does not stop the instrument, whose
  // samples go on being measured unheard. A paced writer sends a packet
  // when its last sample has been measured.
  std::vector<double> trueSeconds;
  // Bytes of the packet that the line lost because the reader did not take
  // them (a buffer of kLineBufferBytes was full): set by the writer, 0 here.
  long droppedBytes = 0;
  // The values the packet stands for.
  double depth = 0.0;               // as the meter computes it from the pressure count
  double temperature = 0.0;         // as the meter computes it from the count
  double extTemperature = 0.0;
  // Targets of the packet's samples, sample after sample, n per sample: the
  // value each trace was made to calibrate to (noise included).
  std::vector<double> targets;
};

// The instrument temperature and depth of a packet with the limit faults
// applied: `temperature` (the drift's) replaced by a fixed one, then both
// given the sensor noise drawn from `engine`, and the depth's zero shifted.
struct SensorReadings {
  double temperature = 0.0;
  double depth = 0.0;
};
SensorReadings FaultySensors(const LimitFaults& limits, double temperature, double depth,
                             std::mt19937_64& engine);
// The value a trace is made to calibrate to before the value noise: the
// model's `clean` value, or that of clean water, plus the calibration drift.
double FaultyTarget(const LimitFaults& limits, double clean);
// The value a channel is made to calibrate to before the value noise: the
// water mode's reading, else the diving profile's model at `depth`, with
// the limit faults (FaultyTarget).
double ChannelTarget(const SimSettings& settings, bool attenuation, double wavelength, double depth, double seconds);
// The water temperature the meter's external sensor reads at `depth`: the
// water mode's, else WaterTemperature.
double ExternalTemperature(const SimSettings& settings, double depth);
// One channel of a stream: attenuation (c) or absorption (a), and its
// wavelength in nm.
struct SimChannel {
  bool attenuation = true;
  double wavelength = 0.0;
};

// The most noise bytes in front of a packet.
inline constexpr int kMaxNoiseBytes = 20;

// Starts the emission of packet `number` (1, 2, ...): the faults due for it
// and the noise bytes in front of it (1 ... 20 bytes of 0x01 ... 0xFE, which
// can neither form nor complete a sync pattern).
void PlanEmission(const FaultSettings& faults, long long number, std::mt19937_64& engine,
                  Emission& e);
// The serial number word of another instrument of the same type: the
// user's serial number plus one.
std::uint32_t OtherSerial(std::uint32_t serial);

// Fills the sample fields of `e` but for the counters: `samples` samples,
// and `lost`, the samples a decoder must count lost (all of a packet with a
// bad checksum, a bad length or an unasked spacing).
void SetSamples(Emission& e, int samples);

struct SimCounts {
  long long packets = 0;
  long long samples = 0;  // samples taken (a duplicate's copy adds none)
  long long badChecksums = 0;
  long long badLengths = 0;
  long long noiseBursts = 0;
  long long noiseBytes = 0;
  long long wrongSerials = 0;
  long long pauses = 0;
  long long restarts = 0;
  long long duplicates = 0;
  long long spacings = 0;
  long long lostSamples = 0;  // samples the decoder must report lost

  // Counts an emission whose sample fields are set.
  void Add(const Emission& e);
};

// What the tool writes: the packets of one instrument, one after another.
class PacketStream {
 public:
  explicit PacketStream(double clockPpm = 0.0) : clockRatio_(1.0 + clockPpm * 1e-6) {}
  virtual ~PacketStream() = default;
  // The next packet with the noise in front of it.
  virtual const Emission& Next() = 0;
  virtual const SimCounts& Counts() const = 0;
  virtual int SamplesPerPacket() const = 0;
  // Instrument time per sample (what its counter advances by), seconds.
  virtual double SampleSeconds() const = 0;
  // Instrument time per packet, seconds.
  double PacketSeconds() const { return SamplesPerPacket() * SampleSeconds(); }
  // The true time at which sample `sample` (0 for the run's first) is
  // measured, seconds since the first, with the pauses taken so far.
  double TrueSecondsOf(long long sample) const;
  // The true time at which the next packet's last sample is measured: when
  // a paced writer sends it.
  double NextPacketTrueSeconds() const;
  // Seconds a packet of `bytes` takes on a line at `baud` (8N1: ten bits a
  // byte).
  static double TransmitSeconds(std::size_t bytes, long baud);
  // Packets that cover `seconds` of instrument time, rounded (at least 1).
  long long PacketsFor(double seconds) const;
  // Whether the file's serial number (or a fixed header field) forms the
  // sync pattern inside every packet, so a resynchronisation may stop there.
  virtual bool HeaderFormsSync() const { return false; }
  // Bytes the reader wrote to the instrument. An instrument that takes
  // commands answers them: its replies wait in TakeReplies.
  virtual void Input(std::span<const std::uint8_t> bytes) { (void)bytes; }
  virtual std::vector<std::uint8_t> TakeReplies() { return {}; }
  // The baud rate the instrument talks at now, and whether a command
  // changed it (from then on it talks at no other).
  // The channels the instrument measures, in its order.
  virtual std::vector<SimChannel> ChannelList() const = 0;
  virtual long LineBaud() const { return 0; }
  virtual bool BaudChanged() const { return false; }

 protected:
  // Fills e.trueSeconds for its samples, the first of which is `firstSample`;
  // then the packet's pause (e.pauseAfter) passes before the next one.
  void StampTrueTimes(Emission& e, long long firstSample);

 private:
  double clockRatio_;
  double pausedSeconds_ = 0.0;  // the pauses of the packets made so far
};

// The stream of the device's model.
std::unique_ptr<PacketStream> MakeStream(const SimDevice& device, const SimSettings& settings);

class Simulator final : public PacketStream {
 public:
  // `config` must have been read (its traces present); it is copied from.
  Simulator(const MeterConfig& config, const ModelInfo& model, const SimSettings& settings);

  const Emission& Next() override;

  const SimCounts& Counts() const override { return counts_; }
  int Channels() const { return channels_; }
  int SamplesPerPacket() const override { return samples_; }
  int PacketLength() const { return length_; }  // L, without the checksum
  std::uint16_t Period() const { return period_; }
  double SampleSeconds() const override;
  bool HeaderFormsSync() const override { return headerFormsSync_; }
  std::vector<SimChannel> ChannelList() const override;

 private:
  double Gaussian();          // signal engine, cut at 3 sigma
  double Uniform();           // signal engine, [0, 1)
  void MakePacket(MeterPacketFields& fields);

  SimSettings settings_;
  int channels_;
  int samples_;
  int length_;
  std::uint16_t period_;
  std::uint32_t serial_;
  double tempLow_ = kInternalTempLow;
  double tempHigh_ = kInternalTempHigh;
  std::vector<bool> attenuation_;   // per channel: C (true) or A
  std::vector<double> wavelength_;  // per channel, nm
  std::vector<double> offset_;      // per channel
  std::vector<double> reference_;   // per channel: nominal reference fraction
  std::unique_ptr<MeterConfig> config_;

  std::mt19937_64 signal_;
  std::mt19937_64 faults_;
  std::mt19937_64 sensors_;  // the sensor noise of LimitFaults
  long long sample_ = 0;  // samples made so far
  long long counterBase_ = 0;  // the sample the time counter last started at
  bool headerFormsSync_ = false;
  Emission current_;
  SimCounts counts_;
};

// Sends the packet of `e` a second time when it is to be duplicated:
// `packet` is appended to `e.bytes` once, or twice.
void AppendPacket(Emission& e, const std::vector<std::uint8_t>& packet);

// Whether the sync pattern occurs in `bytes` at an offset of `from` or more.
bool ContainsSync(const std::vector<std::uint8_t>& bytes, std::size_t from);
// Whether `pattern` occurs in `bytes` at an offset of `from` or more.
bool ContainsPattern(const std::vector<std::uint8_t>& bytes, std::span<const std::uint8_t> pattern,
                     std::size_t from);

}  // namespace sondrix::sim
