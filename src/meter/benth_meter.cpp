// SPDX-License-Identifier: GPL-3.0-or-later
#include "meter/benth_meter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/out_of_memory.h"
#include "common/errors.h"
#include "common/log.h"
#include "config/temp_bins.h"
#include "datafile/benth_file.h"
#include "io/benth_buffer.h"
#include "source/factories.h"

namespace sondrix {
namespace {

// Signal-to-reference ratios below this are raised to it.
constexpr double kRatioFloor = 0.0005;

const ModelInfo& Row() { return ModelRow(Model::Benth); }

// -ln(signal / reference) / L with the ratio floor. Without a reference to
// compare with (a count of 0: a channel the instrument does not send) there
// is no value: not a number, so that the line is lost rather than carry the
// calibration offset as a measurement.
double Uncorrected(double signal, double reference, double pathLength) {
  if (!(reference > 0.0) || !std::isfinite(signal) || !std::isfinite(reference)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  const double ratio = std::max(signal / reference, kRatioFloor);
  return -std::log(ratio) / pathLength;
}

}  // namespace

BenthMeter::BenthMeter(Token token, std::string_view filename, std::string_view portname)
    : Meter(token, filename, portname) {}

Status BenthMeter::NewConfig() {
  return CatchOutOfMemory([this] {
    auto config = std::make_unique<BenthMeterConfig>(GetTraceCount(), GetInTraceCount());
    benthConfig_ = config.get();
    SetConfig(std::move(config));
  });
}

Status BenthMeter::Open() {
  const Status result = Meter::Open();
  if (result != status::kOk || decoder() == nullptr) return result;
  const double path = benthConfig_->pathLength;
  if (!IsUsablePathLength(path)) {
    Close();
    return status::kConfigPathLength;
  }
  return status::kOk;
}

Status BenthMeter::Reset() {
  Status result = Meter::Reset();
  if (result != status::kOk && result != status::kSerialMismatch) return result;
  // A device file of another number of wavelengths than the instrument's:
  // none of its packets could be read.
  const auto* buffer = dynamic_cast<const BenthBuffer*>(decoder());
  if (buffer != nullptr && buffer->SyncedLength() != buffer->PacketLength()) {
    return status::kPacketsDontFit;
  }
  ConfigInfo info{};
  GetConfigInfo(info);
  if (info[0] < 1 || info[0] > kMaxBenthSkip || benthConfig_->skip != info[0]) {
    result = status::kSkipMismatch;
  }
  return result;
}

Status BenthMeter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  SONDRIX_LOG(Debug, "Benth new buffer");
  const Status result = NewDecoder<BenthBuffer>(out, port);
  SONDRIX_LOG(Debug, "Benth end new buffer");
  return result;
}

Status BenthMeter::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) {
  return HandOverDataFile(MeterFile::New<BenthFile>(filename, ""), out);
}

int BenthMeter::GetRefLineLen() { return Row().refLineLen; }
int BenthMeter::GetDataLineLen() { return Row().dataLineLen; }

int BenthMeter::GetTraceCount() {
  return benthConfig_ != nullptr ? benthConfig_->traceCount : Row().traceCount;
}

int BenthMeter::GetInTraceCount() {
  return benthConfig_ != nullptr ? benthConfig_->inTraceCount : Row().inTraceCount;
}

int BenthMeter::GetSamplesPerRec() { return Row().samplesPerRec; }

int BenthMeter::WriteRefs(const RefBlock& refs, std::string& tail) {
  for (double value : {refs.aux, refs.auxCount2, refs.auxCount5, refs.auxCount6}) {
    AppendTailNumber(tail, "\t", value, 0);
  }
  return 0;
}

Status BenthMeter::ComputeAbsorb(int n, std::span<double> out, std::span<const double> signal,
                                 double temperature, std::span<const double> refs,
                                 const TraceMap& map) {
  const BenthMeterConfig& config = *benthConfig_;
  const std::size_t count = std::min({static_cast<std::size_t>(std::max(n, 0)),
                                      static_cast<std::size_t>(config.Wavelengths()),
                                      out.size() / 2, signal.size() / 2, refs.size() / 2});
  const double path = config.pathLength;
  const BinInterpolation bins(config.tempBins, config.tempBinCount, temperature);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t a = count + i;
    if (map[i] == 0 || !(path > 0.0)) {
      out[i] = 0.0;
      out[a] = 0.0;
      continue;
    }
    const BenthTraceCal& cal = config.traces[i];
    // A value that is not a finite number makes the line lost (Meter's
    // ReadSample), never a line that carries it.
    out[i] = cal.cOffset + Uncorrected(signal[i], refs[i], path) - bins.At(cal.cTempCorr);
    out[a] = cal.aOffset + Uncorrected(signal[a], refs[a], path) - bins.At(cal.aTempCorr);
  }
  return status::kOk;
}

Status BenthMeter::ComputeUnCorrAbsorb(int n, std::span<double> out, std::span<const double> signal,
                                       double temperature, std::span<const double> refs,
                                       const TraceMap& map) {
  const Status result = BenthMeter::ComputeAbsorb(n, out, signal, temperature, refs, map);
  const BenthMeterConfig& config = *benthConfig_;
  const auto count = static_cast<std::size_t>(std::clamp(n, 0, config.Wavelengths()));
  if (out.size() < 2 * count) return result;
  for (std::size_t i = 0; i < count; ++i) {
    if (map[i] == 0) continue;
    out[i] -= config.traces[i].cOffset;
    out[count + i] -= config.traces[i].aOffset;
  }
  return result;
}

int BenthMeter::HasDepth() { return 1; }
int BenthMeter::HasExtTemp() { return 1; }

int BenthMeter::GetTraceMap(TraceMap& map) {
  ConfigInfo info{};
  GetConfigInfo(info);
  FillBenthTraceMap(GetInTraceCount(), info[0] == 0 ? 1 : info[0], map);
  return GetTraceCount();
}

int BenthMeter::InstrumentSkip() {
  ConfigInfo info{};
  GetConfigInfo(info);
  return info[0];
}

Status BenthMeter::SetInstrumentSkip(int skip) {
  if (skip < 1 || skip > kMaxBenthSkip) return status::kBadArgument;
  DPort* port = nullptr;
  GetPort(port);
  if (port == nullptr || benthConfig_ == nullptr) return status::kNotConnected;
  return BenthMeterConfig_SetParams(*benthConfig_, *port, 100 / skip, benthConfig_->baudRate);
}

}  // namespace sondrix
