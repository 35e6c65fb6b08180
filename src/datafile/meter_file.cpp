// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/meter_file.h"

#include <algorithm>

#include "common/out_of_memory.h"

namespace sondrix {

MeterFile::MeterFile(Token, std::string_view filename, std::string_view portname)
    : DataFile(filename, portname) {}

MeterFile::~MeterFile() = default;

void MeterFile::SetConfig(std::unique_ptr<Config> config) {
  config_ = std::move(config);
  meterConfig_ = dynamic_cast<MeterConfig*>(config_.get());
}

int MeterFile::GetTraceCount() { return status::kMeterFileNoTraceCount; }
int MeterFile::GetInTraceCount() { return status::kMeterFileNoInTraceCount; }

Status MeterFile::GetHeading(int trace, std::string& heading) {
  return config_->GetHeading(trace, heading);
}

Status MeterFile::GetColors(std::span<int> colors) { return config_->GetColors(colors); }

Status MeterFile::GetWavelengths(std::span<double> wavelengths) {
  return config_->GetWavelengths(wavelengths);
}

Status MeterFile::NewConfig() {
  return CatchOutOfMemory([this] { SetConfig(std::make_unique<MeterConfig>(GetTraceCount(), GetInTraceCount())); });
}

// The file holds the live device's configuration as it was when recording
// started. Without a recorded source (a copy of a file) the file's own
// configuration is written, which NewDataFile copied from the meter.
Status MeterFile::WriteConfig(std::FILE* file) {
  Source* source = recorded();
  Status result = source ? source->WriteConfig(file) : config_->WriteConfig(file);
  if (result == status::kOk) result = DataFile::WriteConfig(file);
  writeConfigResult_ = result;
  return result;
}

Status MeterFile::ReadConfig(std::FILE* file) {
  Status result = config_->ReadConfig(file);
  if (result == status::kOk) result = DataFile::ReadConfig(file);
  return result;
}

int MeterFile::TailFields() {
  const int inputs = GetInTraceCount();
  return inputs < 0 ? kFreeTail : kTailLeadFields + inputs;
}

// A read that fails delivers no line: its status says "nothing" (0), so that
// the status of the line read before is not counted a second time.
Status MeterFile::ReadData(SourceLine& line) {
  std::FILE* file = stream();
  if (!file) return status::kNotConnected;
  const Status result = SourceLine_Read(file, line, TailFields());
  if (result != status::kOk) line.status = 0;
  lastSampleRate_ = line.sampleRate;
  lastDepth_ = line.depth;
  return result;
}

// A lost line holds no values and is left out; the time stamps show the
// gap. A bin of several lines is written whatever its status says: it is
// complete (the binned read hands out no other), averaged from good lines
// only, and its status tells merely that a line of it was lost on the way.
Status MeterFile::WriteData(const SourceLine& line) {
  if (MeterFile_LeavesOut(line, GetOrigBinsize())) return status::kOk;
  return WriteSampleLine(line);
}

std::uint32_t MeterFile::GetSerialnum() { return config_->serialnum; }
double MeterFile::GetSampleRate() { return lastSampleRate_; }
int MeterFile::HasDepth() { return config_->depthScale != 0.0 ? 1 : 0; }
double MeterFile::GetDepth() { return lastDepth_; }

Status MeterFile::GetID(std::string& id) {
  id = config_->name;
  return status::kOk;
}

int MeterFile::GetTraceMap(TraceMap& map) {
  map.fill(0);
  return GetTraceCount();
}

// A recording whose header could not be written whole (the recorded source
// offers no configuration, say) could never be replayed: it is refused.
Status MeterFile::OpenWrite(Source* recorded) {
  writeConfigResult_ = status::kOk;
  const Status result = DataFile::OpenWrite(recorded);
  if (result != status::kOk) return result;
  return writeConfigResult_ == status::kOk ? status::kOk : writeConfigResult_;
}

}  // namespace sondrix
