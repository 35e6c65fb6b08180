// SPDX-License-Identifier: GPL-3.0-or-later
#include "source/source.h"

#include <algorithm>
#include <cstdio>

#include "common/c_locale.h"
#include "io/dport.h"


namespace sondrix {

Source::Source(std::string_view filename, std::string_view portname)
    : filename_(filename), portname_(portname) {}

Source::~Source() = default;

int Source::CanRead() { return status::kSrcNoCanRead; }
int Source::MustRead() { return status::kSrcNoMustRead; }

// Source::NewDataFile's default lives with DataFile (datafile/data_file.cpp),
// where the class it hands out is complete.

int Source::GetTraceCount() { return status::kSrcNoTraceCount; }
int Source::GetInTraceCount() { return status::kSrcNoInTraceCount; }
int Source::GetPortType() { return status::kSrcNoPortType; }

Status Source::GetHeading(int, std::string& heading) {
  heading = "unknown";
  return status::kNoSuchHeading;
}

Status Source::GetColors(std::span<int>) { return status::kSrcNoColors; }
Status Source::GetWavelengths(std::span<double>) { return status::kSrcNoColors; }

Status Source::Open() {
  const int traces = GetTraceCount();
  binAccum_ = SourceLine_New(traces > 0 ? traces : 0);
  binScratch_ = SourceLine_New(traces > 0 ? traces : 0);
  if (!binAccum_ || !binScratch_) return status::kOutOfMemory;
  return InitBin();
}

Status Source::Close() {
  binAccum_.reset();
  binScratch_.reset();
  return status::kOk;
}

Status Source::Save() { return status::kOk; }
Status Source::SaveRaw() { return status::kOk; }

Status Source::Reset() {
  InitBin();
  lostCount_ = 0;
  return status::kOk;
}

Status Source::WriteConfig(std::FILE*) { return status::kSrcNoWriteConfig; }
Status Source::ReadConfig(std::FILE*) { return status::kSrcNoReadConfig; }
Status Source::EditConfig(int&) { return status::kSrcNoEditConfig; }
Status Source::SaveConfig() { return status::kSrcNoSaveConfig; }
int Source::DataAvailable() { return 0; }
int Source::BufNearFull() { return 0; }
Status Source::ReadData(SourceLine&) { return status::kSrcNoReadData; }
Status Source::ReadUnCorrData(SourceLine&) { return status::kSrcNoReadData; }
int Source::GetSamplesPerRec() { return status::kSrcNoSamplesPerRec; }
Status Source::SetOrigBinsize(int) { return status::kSrcNoSetOrigBinsize; }
int Source::GetOrigBinsize() { return status::kSrcNoGetOrigBinsize; }

Status Source::GetDate(std::string& date, std::string& time) {
  date.clear();
  time.clear();
  return status::kSrcNoDate;
}

std::uint32_t Source::GetSerialnum() { return 0; }
double Source::GetSampleRate() { return 0.0; }
int Source::HasDepth() { return 0; }
double Source::GetDepth() { return 0.0; }

Status NoID(std::string& id, Status code) {
  id = "NoCanDo";
  return code;
}

Status Source::GetID(std::string& id) { return NoID(id, status::kSrcNoID); }

std::int16_t Source::GetDevType(std::string_view, std::string&) {
  return static_cast<std::int16_t>(status::kSrcNoSamplesPerRec);
}

int Source::GetTraceMap(TraceMap&) { return status::kSrcNoReadConfig; }
Status Source::GetConfigInfo(ConfigInfo&) { return status::kSrcNoNewDataFile; }
Status Source::PromptForDescr(std::string&, std::string*) { return status::kSrcNoPromptForDescr; }

Status Source::GetFilename(std::string& out) const {
  out = filename_;
  return status::kOk;
}

Status Source::GetPortname(std::string& out) const {
  out = portname_;
  return status::kOk;
}

Status Source::Reopen() { return status::kNotConnected; }
Status Source::Resync() { return status::kNotConnected; }

Status Source::GetPort(DPort*& port) {
  port = nullptr;
  return status::kSrcNoGetPort;
}

Status Source::SetPort(std::unique_ptr<DPort>&&) { return status::kSrcNoSetPort; }

Status Source::GetTemp(std::string& temperature, std::string& extTemperature) const {
  const ScopedCLocale cLocale;
  auto format = [](double value, std::string& out) {
    out.clear();
    if (value > -100.0) {
      char text[64];
      std::snprintf(text, sizeof text, "%.1f", value);
      out = text;
    }
  };
  format(binTemperature_, temperature);
  format(binExtTemperature_, extTemperature);
  return status::kOk;
}

int Source::HasExtTemp() { return 0; }
int Source::GetStatus() { return status::kSrcNoGetPort; }
int Source::GetLostCount() const { return lostCount_; }
int Source::GetBinsize() const { return binsize_; }

Status Source::SetBinsize(int binsize) {
  if (binsize < 1) return status::kBadArgument;
  binsize_ = binsize;
  InitBin();
  return status::kOk;
}

Status Source::InitBin() {
  binFill_ = 0;
  binTemperature_ = -100.0;
  binExtTemperature_ = -100.0;
  if (!binAccum_) return status::kOk;
  std::fill(binAccum_->values.begin(), binAccum_->values.end(), 0.0);
  binAccum_->depth = 0.0;
  binAccum_->temperature = -100.0;
  binAccum_->extTemperature = -100.0;
  binAccum_->status = 0;
  binAccum_->tail.clear();
  return status::kOk;
}

// One binned read: averages `binsize` good lines into `out`. Lost lines are
// counted and do not fill the bin; a source that runs dry leaves the bin open
// for the next call.
Status Source::Read(SourceLine& out) {
  if (!DataAvailable()) return status::kNoData;
  if (!binAccum_ || !binScratch_) return status::kNotConnected;

  if (binsize_ == 1) {
    out.tail.clear();
    const Status result = ReadData(out);
    if (out.status == status::kLostLine) ++lostCount_;
    binAccum_->status = out.status;
    if (result == status::kOk && out.status == status::kOk) {
      binTemperature_ = out.temperature;
      binExtTemperature_ = out.extTemperature;
    }
    return result;
  }

  const std::size_t k = std::min(binAccum_->values.size(), out.values.size());
  if (binFill_ == 0) {
    binAccum_->temperature = 0.0;
    binAccum_->extTemperature = 0.0;
    binAccum_->depth = 0.0;
    binAccum_->status = 0;
    binAccum_->tail.clear();
    std::fill(binAccum_->values.begin(), binAccum_->values.end(), 0.0);
  }

  Status result = status::kOk;
  SourceLine& scratch = *binScratch_;
  while (result == status::kOk && binFill_ < binsize_) {
    if (!DataAvailable()) {
      result = status::kNoData;
      break;
    }
    result = ReadData(scratch);
    if (result == status::kOk) {
      if (scratch.status == status::kOk) {
        for (std::size_t i = 0; i < k; ++i) binAccum_->values[i] += scratch.values[i];
        binAccum_->temperature += scratch.temperature;
        binAccum_->extTemperature += scratch.extTemperature;
        binAccum_->depth += scratch.depth;
        if (!scratch.tail.empty()) binAccum_->tail = scratch.tail;
        ++binFill_;
      } else if (scratch.status == status::kLostLine) {
        ++lostCount_;
      }
    } else {
      out.status = scratch.status;
    }
    binAccum_->status |= scratch.status;
  }

  if (binFill_ == binsize_) {
    const double n = binsize_;
    out.time = scratch.time;
    out.status = binAccum_->status;
    out.temperature = binAccum_->temperature / n;
    out.extTemperature = binAccum_->extTemperature / n;
    out.depth = binAccum_->depth / n;
    out.tail = binAccum_->tail;
    for (std::size_t i = 0; i < k; ++i) out.values[i] = binAccum_->values[i] / n;
    binTemperature_ = out.temperature;
    binExtTemperature_ = out.extTemperature;
    binFill_ = 0;
  }
  return result;
}

Status Source::Diagnostics() { return status::kSrcNoDiagnostics; }
int Source::HasDiagnostics() { return 0; }
StreamEvents Source::GetStreamEvents() { return {}; }
Status Source::DiscardInput() { return status::kOk; }
ClockFit* Source::GetClock() { return nullptr; }

double Source::GetReplayFraction() {
  DPort* port = nullptr;
  if (GetPort(port) != status::kOk || port == nullptr) return -1.0;
  return port->ReplayFraction();
}

std::vector<std::string> DescribeStreamEvents(const StreamEvents& events) {
  std::vector<std::string> notes;
  const auto times = [](long long n) { return n == 1 ? std::string("once") : std::to_string(n) + " times"; };
  if (events.clockRestarts > 0) {
    notes.push_back("The instrument's clock restarted " + times(events.clockRestarts) +
                    " during the run (a reset or a power blip): the time stamps go on from the sample "
                    "before, and samples lost across a restart cannot be counted.");
  }
  if (events.spacingChanged > 0) {
    notes.push_back("The instrument's output spacing changed during the run: its " +
                    std::to_string(events.spacingChanged) +
                    " packets of another spacing were not recorded and are counted lost.");
  }
  if (events.repeats > 0) {
    notes.push_back("The instrument sent " + std::to_string(events.repeats) +
                    (events.repeats == 1 ? " packet" : " packets") + " twice; the repeats were left out.");
  }
  return notes;
}

}  // namespace sondrix
