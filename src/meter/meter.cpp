// SPDX-License-Identifier: GPL-3.0-or-later
#include "meter/meter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "common/fixed_format.h"
#include "common/log.h"
#include "common/out_of_memory.h"
#include "datafile/data_file.h"
#include "datafile/meter_file.h"
#include "io/bin_buffer.h"
#include "io/rs232_port.h"
#include "platform/clock.h"
#include "source/factories.h"

namespace sondrix {
namespace {

int ClampCount(int n, std::size_t a, std::size_t b, std::size_t c) {
  const std::size_t limit = std::min({a, b, c, static_cast<std::size_t>(kMaxTraces)});
  if (n < 0) return 0;
  return static_cast<std::size_t>(n) < limit ? n : static_cast<int>(limit);
}

}  // namespace

void AppendTailNumber(std::string& tail, std::string_view separator, double value, int decimals) {
  char digits[kFixedTextMax];
  const char* end = FormatFixed(digits, value, decimals);
  const std::size_t room = SourceLine::kTailMax - std::min(tail.size(), SourceLine::kTailMax);
  const std::size_t sep = std::min(separator.size(), room);
  tail.append(separator.data(), sep);
  const auto length = static_cast<std::size_t>(end - digits);
  tail.append(digits, std::min(length, room - sep));
}

Meter::Meter(Token, std::string_view filename, std::string_view portname) : Device(filename, portname) {}

Meter::~Meter() {
  decoder_.reset();
  if (port_) port_->Close();
}

void Meter::SetConfig(std::unique_ptr<Config> config) {
  config_ = std::move(config);
  meterConfig_ = dynamic_cast<MeterConfig*>(config_.get());
}

Status Meter::Open() {
  if (decoder_ || port_) {
    DisposeBuffer(decoder_);
    decoder_.reset();
    if (port_) port_->Close();
    port_.reset();
  }
  Status result = Device::Open();
  if (result != status::kOk) return result;
  result = ReadConfig(deviceFile());
  if (result == status::kOk && meterConfig_ &&
      meterConfig_->traces.size() < static_cast<std::size_t>(std::max(GetInTraceCount(), 0)))
    result = status::kConfigTraceInfo;
  if (result != status::kOk) {
    Device::Close();
    return result;
  }
  serialnum_ = config_->serialnum;

  std::string portname;
  GetPortname(portname);
  if (portname.empty()) return status::kOk;  // configuration only

  // Values computed over a path length that is not a positive length are
  // meaningless; such a configuration may be edited but not measured with.
  if (meterConfig_ && !IsUsablePathLength(meterConfig_->pathLength)) {
    Device::Close();
    return status::kConfigPathLength;
  }

  std::unique_ptr<DPort> port;
  result = NewPort(port, portname);
  if (result == status::kOk) result = port->Open(config_->baudRate);
  const bool portOpen = result == status::kOk;
  if (result == status::kOk) {
    result = NewBuffer(decoder_, *port);
    if (result == status::kOk && !decoder_) result = status::kOutOfMemory;
  }
  if (result != status::kOk) {
    decoder_.reset();
    if (portOpen) port->Close();
    port.reset();
    Device::Close();
    return result;
  }
  port_ = std::move(port);
  return status::kOk;
}

// A meter opened for its configuration only (no port) closes as well.
Status Meter::Close() {
  if (!decoder_ && !port_ && !deviceFile()) return status::kNotConnected;
  DisposeBuffer(decoder_);
  decoder_.reset();
  if (port_) {
    port_->Close();
    port_.reset();
  }
  return Device::Close();
}

Status Meter::Save() { return Device::Save(); }

Status Meter::Reset() {
  if (!decoder_) return status::kNotConnected;
  Device::Reset();
  lastSample_ = -1;
  currentSample_ = GetSamplesPerRec();
  statusWord_ = 0;
  ResetZero();

  std::uint32_t serial = 0;
  std::uint32_t discarded = 0;
  std::uint32_t info = 0;
  Status result = decoder_->Sync(serial, discarded, info);
  if (result != status::kOk) return result;
  serialnum_ = serial;
  configInfo_[0] = static_cast<std::int32_t>(info);

  result = status::kOk;
  if (config_->serialnum != serialnum_) result = status::kSerialMismatch;
  GetTraceMap(traceMap_);
  return result;
}

Status Meter::SaveRaw() { return port_ ? port_->SaveRaw() : status::kOk; }

// Samples of a packet already decoded are there at once; a new packet is
// there when a packet's worth of bytes waits (the decoder may still find it
// incomplete, and then says so). A port error is something to read too: the
// read reports it at once instead of the run waiting for its time-out.
int Meter::DataAvailable() {
  if (!decoder_) return 0;
  if (currentSample_ <= lastSample_) return 1;
  const Status lines = decoder_->LinesAvailable();
  if (lines < 0) return 1;
  return lines >= std::max(GetSamplesPerRec(), 1) ? 1 : 0;
}

int Meter::BufNearFull() {
  if (!decoder_) return 0;
  const Status size = decoder_->BufferSize();
  if (size <= 0) return 0;
  const Status bytes = decoder_->BytesAvailable();
  return static_cast<double>(bytes) / static_cast<double>(size) > 0.75 ? 1 : 0;
}

Status Meter::ReadData(SourceLine& line) { return ReadSample(line, true); }
Status Meter::ReadUnCorrData(SourceLine& line) { return ReadSample(line, false); }

Status Meter::NextSample(const RefBlock*& refs, const DataSample*& sample, bool& packetStart) {
  if (!decoder_) return status::kNotConnected;
  if (lastSample_ < currentSample_) {
    int last = lastSample_;
    const Status result = decoder_->ReadRecord(last);
    if (result != status::kOk) return result;
    lastSample_ = last;
    currentSample_ = 0;
    ObserveArrival(last);
  }
  refs = decoder_->GetRefp();
  sample = decoder_->GetDatap(currentSample_);
  if (!refs || !sample) return status::kBadArgument;
  packetStart = currentSample_ == lastSample_ - (GetSamplesPerRec() - 1);
  ++currentSample_;
  return status::kOk;
}

Status Meter::ReadSample(SourceLine& line, bool corrected) {
  if (!decoder_) return status::kNotConnected;
  const RefBlock* refs = nullptr;
  const DataSample* sample = nullptr;
  bool packetStart = false;
  const Status next = NextSample(refs, sample, packetStart);
  if (next != status::kOk) {
    // No sample: the line's status says "nothing" (0), so that the status
    // of the sample before is not counted a second time.
    line.status = 0;
    return next;
  }

  const int n = ClampCount(GetInTraceCount(), line.values.size(), sample->values.size(),
                           refs->refs.size());
  statusWord_ = refs->statusWord;
  sampleRate_ = refs->sampleRate;
  depth_ = refs->pressure * config_->depthScale + (corrected ? config_->depthOffset : 0.0);

  line.status = sample->status;
  line.depth = depth_;
  if (sample->status == status::kOk) {
    line.time = ZeroBased(sample->time);
    line.temperature = refs->temp;
    line.extTemperature = refs->extTemp;
    line.sampleRate = refs->sampleRate;
    if (!std::isfinite(refs->temp)) {
      // A packet without a temperature reading cannot be corrected for
      // temperature: its samples count as lost rather than carry values that
      // are silently off (or not numbers at all, which would spoil a bin).
      line.status = status::kLostLine;
    } else {
      const std::span<double> out(line.values);
      const std::span<const double> signal(sample->values);
      const std::span<const double> references(refs->refs);
      if (corrected) {
        ComputeAbsorb(n, out, signal, refs->temp, references, traceMap_);
        if (packetStart) {
          line.tail.clear();
          AppendTailNumber(line.tail, "", refs->temp, 2);
          AppendTailNumber(line.tail, "\t", refs->sampleRate, 1);
          AppendTailNumber(line.tail, "\t", depth_, 2);
          AppendTailNumber(line.tail, "\t", refs->extTemp, 2);
          WriteRefs(*refs, line.tail);
        }
      } else {
        ComputeUnCorrAbsorb(n, out, signal, refs->temp, references, traceMap_);
      }
      // What no data file may hold is no line either.
      if (!SourceLine_IsFinite(line)) line.status = status::kLostLine;
    }
  }
  return status::kOk;
}

int Meter::WriteRefs(const RefBlock& refs, std::string& tail) {
  const int n = std::clamp(GetInTraceCount(), 0, static_cast<int>(refs.refs.size()));
  for (int i = 0; i < n; ++i) AppendTailNumber(tail, "\t", refs.refs[static_cast<std::size_t>(i)], 5);
  return 0;
}

int Meter::GetStatus() { return static_cast<int>(statusWord_); }
int Meter::GetTraceCount() { return status::kMeterNoTraceCount; }
int Meter::GetInTraceCount() { return status::kMeterNoInTraceCount; }
int Meter::GetPortType() { return 0; }

Status Meter::GetHeading(int trace, std::string& heading) { return config_->GetHeading(trace, heading); }
Status Meter::GetColors(std::span<int> colors) { return config_->GetColors(colors); }
Status Meter::GetWavelengths(std::span<double> wavelengths) { return config_->GetWavelengths(wavelengths); }

Status Meter::NewConfig() {
  return CatchOutOfMemory([this] { SetConfig(std::make_unique<MeterConfig>(GetTraceCount(), GetInTraceCount())); });
}

Status Meter::WriteConfig(std::FILE* file) { return config_->WriteConfig(file); }
Status Meter::ReadConfig(std::FILE* file) {
  if (!file) return status::kCantOpenFile;
  return config_->ReadConfig(file);
}

Status Meter::EditConfig(int& changed) {
  changed = 0;
  return config_->EditConfig(*this, changed);
}

Status Meter::SaveConfig() { return config_->SaveConfig(); }
std::uint32_t Meter::GetSerialnum() { return serialnum_; }
double Meter::GetSampleRate() { return sampleRate_; }
int Meter::HasDepth() { return config_->depthScale != 0.0 ? 1 : 0; }
double Meter::GetDepth() { return depth_; }
int Meter::HasExtTemp() { return 0; }

Status Meter::GetID(std::string& id) {
  id = config_->name;
  return status::kOk;
}

Status Meter::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view) {
  out.reset();
  return status::kMeterNoNewDataFile;
}

Status Meter::GetPort(DPort*& port) {
  port = port_.get();
  return status::kOk;
}

// The decoder reads through the port, so a new port gets a new decoder.
Status Meter::SetPort(std::unique_ptr<DPort>&& port) {
  if (!decoder_) return status::kNotConnected;
  DisposeBuffer(decoder_);
  decoder_.reset();
  if (port_) {
    port_->Close();
    port_.reset();
  }
  port_ = std::move(port);
  if (!port_) return status::kOk;
  Status result = NewBuffer(decoder_, *port_);
  if (result == status::kOk && !decoder_) result = status::kOutOfMemory;
  return result;
}

int Meter::GetSamplesPerRec() { return status::kMeterNoSamplesPerRec; }
int Meter::GetTraceMap(TraceMap&) { return status::kMeterNoInTraceCount; }

Status Meter::GetConfigInfo(ConfigInfo& info) {
  info = configInfo_;
  return status::kOk;
}

Status Meter::Diagnostics() { return status::kMeterNoDiagnostics; }
int Meter::HasDiagnostics() { return 0; }

Status Meter::ComputeAbsorb(int n, std::span<double> out, std::span<const double> signal,
                            double temperature, std::span<const double> refs, const TraceMap& map) {
  n = ClampCount(n, out.size(), signal.size(), refs.size());
  const MeterConfig* config = meterConfig_;
  const double pathLength = config ? config->pathLength : 0.0;
  const std::size_t calibrated = config ? config->traces.size() : 0;
  if (!(pathLength > 0.0)) {
    std::fill_n(out.begin(), n, 0.0);
    return status::kOk;
  }
  const TempCorrection correction(*config, temperature);
  for (int index = 0; index < n; ++index) {
    const auto i = static_cast<std::size_t>(index);
    if (map[i] == 0 || !(refs[i] > 0.0) || !(signal[i] > 0.0) || i >= calibrated) {
      out[i] = 0.0;
      continue;
    }
    const TraceCal& cal = config->traces[i];
    out[i] = cal.offset - std::log(signal[i] / refs[i]) / pathLength + correction.Term(cal);
  }
  return status::kOk;
}

Status Meter::ComputeUnCorrAbsorb(int n, std::span<double> out, std::span<const double> signal,
                                  double temperature, std::span<const double> refs,
                                  const TraceMap& map) {
  const Status result = Meter::ComputeAbsorb(n, out, signal, temperature, refs, map);
  if (!meterConfig_) return result;
  n = ClampCount(n, out.size(), signal.size(), refs.size());
  const std::size_t calibrated = meterConfig_->traces.size();
  for (int index = 0; index < n; ++index) {
    const auto i = static_cast<std::size_t>(index);
    if (map[i] != 0 && i < calibrated) out[i] -= meterConfig_->traces[i].offset;
  }
  return result;
}

int Meter::GetRefLineLen() { return status::kMeterNoRefLineLen; }
int Meter::GetDataLineLen() { return status::kMeterNoDataLineLen; }

Status Meter::ReadRefs(std::span<double> values) {
  if (!decoder_) return status::kNotConnected;
  const RefBlock* refs = decoder_->GetRefp();
  if (!refs) return status::kNotConnected;
  const int n = ClampCount(GetInTraceCount(), values.size(), refs->refs.size(), refs->refs.size());
  std::copy_n(refs->refs.begin(), n, values.begin());
  return status::kOk;
}

Status Meter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort&) {
  out.reset();
  return status::kOk;
}

Status Meter::NewBinBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  return NewDecoder<BinBuffer>(out, port);
}

Status Meter::HandOverDataFile(std::unique_ptr<MeterFile> file, std::unique_ptr<DataFile>& out) {
  out.reset();
  if (!file) return status::kOutOfMemory;
  const Status result = config_->CopyConfig(*file->config());
  if (result != status::kOk) return result;
  out = std::move(file);
  return status::kOk;
}

void Meter::DisposeBuffer(std::unique_ptr<DataBuffer>& buffer) { buffer.reset(); }

std::int64_t Meter::ZeroBased(std::int64_t time) {
  if (firstTime_ < 0) firstTime_ = time;
  return (time - firstTime_) * 10;
}

void Meter::ResetZero() {
  firstTime_ = -1;
  clock_.Reset();
  restartsSeen_ = 0;
}

void Meter::ObserveArrival(int last) {
  const DataSample* end = decoder_->GetDatap(last);
  if (end == nullptr || end->status != status::kOk) return;  // lost samples only
  // The packet's first sample is the first of the run when none came
  // before: the same zero its lines will take.
  const int samples = std::max(GetSamplesPerRec(), 1);
  if (const DataSample* first = decoder_->GetDatap(std::max(0, last - (samples - 1)));
      first != nullptr && first->status == status::kOk) {
    const std::int64_t start = ZeroBased(first->time);
    const long long restarts = decoder_->Events().clockRestarts;
    if (restarts != restartsSeen_) {
      restartsSeen_ = restarts;
      clock_.Break(start);
    }
  }
  // Only a live line's arrivals tell the time: a replay's tell the replay's.
  if (dynamic_cast<const RS232Port*>(port_.get()) == nullptr) return;
  const long baud = config_->baudRate > 0 ? config_->baudRate : 0;
  const std::int64_t sending = baud > 0 ? std::llround(decoder_->PacketBytes() * 10 * 1000.0 / baud) : 0;
  clock_.Observe(ZeroBased(end->time), platform::UtcMs() - sending);
}

Status Meter::DiscardInput() {
  if (!decoder_) return status::kNotConnected;
  currentSample_ = lastSample_ + 1;
  return decoder_->DiscardInput();
}

Status Meter::Reopen() {
  if (!port_ || !decoder_) return status::kNotConnected;
  return port_->Reopen(config_->baudRate);
}

Status Meter::Resync() {
  if (!decoder_) return status::kNotConnected;
  const Status lines = decoder_->LinesAvailable();
  if (lines < 0) return lines;
  if (lines < 2 * std::max(GetSamplesPerRec(), 1)) return status::kNoData;
  std::uint32_t serial = 0;
  const Status found = decoder_->Resync(serial);
  if (found != status::kOk) return found;
  if (serial != serialnum_) {
    SONDRIX_LOG(Warn, "the instrument that came back has serial number %08X, the run's has %08X",
                static_cast<unsigned>(serial), static_cast<unsigned>(serialnum_));
    return status::kSerialMismatch;
  }
  return status::kOk;
}

StreamEvents Meter::GetStreamEvents() { return decoder_ ? decoder_->Events() : StreamEvents{}; }

}  // namespace sondrix
