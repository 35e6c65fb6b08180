#include "meter/benth_meter.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "common/errors.h"
#include "config/temp_bins.h"
#include "datafile/benth_file.h"
#include "io/benth_buffer.h"
#include "source/factories.h"

namespace sondrix {
namespace {

// Signal-to-reference ratios below this are raised to it.
constexpr double kRatioFloor = 0.0005;
// The instrument's millisecond counter in the packets' units of 10 ms:
// where it wraps (2^32 ms).
constexpr std::int64_t kCounterWrap = 429496730;

const ModelInfo& Row() { return ModelRow(Model::Benth); }

// -ln(signal / reference) / L with the ratio floor; 0 without a reference
// to compare with.
double Uncorrected(double signal, double reference, double pathLength) {
  if (!(reference > 0.0) || !std::isfinite(signal) || !std::isfinite(reference)) return 0.0;
  const double ratio = std::max(signal / reference, kRatioFloor);
  return -std::log(ratio) / pathLength;
}

}  // namespace

BenthMeter::BenthMeter(Token token, std::string_view filename, std::string_view portname)
    : Meter(token, filename, portname) {}

Status BenthMeter::NewConfig() {
  try {
    auto config = std::make_unique<BenthMeterConfig>(GetTraceCount(), GetInTraceCount());
    benthConfig_ = config.get();
    SetConfig(std::move(config));
  } catch (const std::bad_alloc&) {
    return status::kOutOfMemory;
  }
  return status::kOk;
}

Status BenthMeter::Open() {
  const Status result = Meter::Open();
  if (result != status::kOk || decoder() == nullptr) return result;
  const double path = benthConfig_->pathLength;
  if (!(path > 0.0 && std::isfinite(path))) {
    Close();
    return status::kConfigPathLength;
  }
  return status::kOk;
}

Status BenthMeter::Reset() {
  firstCount_ = -1;
  wrapOffset_ = 0;
  Status result = Meter::Reset();
  if (result != status::kOk && result != status::kSerialMismatch) return result;
  ConfigInfo info{};
  GetConfigInfo(info);
  if (info[0] < 1 || info[0] > kMaxBenthSkip || benthConfig_->skip != info[0]) {
    result = status::kSkipMismatch;
  }
  return result;
}

std::int64_t BenthMeter::Elapsed(std::int32_t count) {
  if (firstCount_ < 0) {
    firstCount_ = count;
  } else if (count < previousCount_) {
    wrapOffset_ += kCounterWrap;
  }
  previousCount_ = count;
  return (count + wrapOffset_ - firstCount_) * 10;
}

// The line's time stamp from this meter's 64-bit time base (the counter
// the packets carry is not the 16-bit one of the other meters).
Status BenthMeter::FixTime(SourceLine& line, Status result) {
  if (result != status::kOk || line.status != status::kOk || decoder() == nullptr) return result;
  const DataSample* sample = decoder()->GetDatap(0);
  if (sample != nullptr) line.time = Elapsed(sample->time);
  return result;
}

Status BenthMeter::ReadData(SourceLine& line) { return FixTime(line, Meter::ReadData(line)); }

Status BenthMeter::ReadUnCorrData(SourceLine& line) {
  return FixTime(line, Meter::ReadUnCorrData(line));
}

Status BenthMeter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  DebugMsg("Benth new buffer", 0);
  out.reset();
  std::unique_ptr<BenthBuffer> buffer;
  Status result;
  try {
    result = BenthBuffer::New(buffer, port, GetInTraceCount(), GetSamplesPerRec());
  } catch (const std::bad_alloc&) {
    result = status::kOutOfMemory;
  }
  out = std::move(buffer);
  DebugMsg("Benth end new buffer", 0);
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
    out[i] = cal.cOffset + Uncorrected(signal[i], refs[i], path) - bins.At(cal.cTempCorr);
    out[a] = cal.aOffset + Uncorrected(signal[a], refs[a], path) - bins.At(cal.aTempCorr);
    // A line never carries a value that is not a number.
    if (!std::isfinite(out[i])) out[i] = 0.0;
    if (!std::isfinite(out[a])) out[a] = 0.0;
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

Status BenthMeter::EditConfig(int& changed) {
  changed = 0;
  return benthConfig_->EditConfig(*this, changed);
}

}  // namespace sondrix
