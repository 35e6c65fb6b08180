// SPDX-License-Identifier: GPL-3.0-or-later
// MeterFile: the data file of the absorption/attenuation meters. It carries
// the recorded meter's configuration, so that a replayed file answers
// headings, colours, wavelengths, serial number, identity and depth exactly
// as the live meter did, and it converts sample lines to and from the data
// file's text lines. The model classes (model_files.h) supply the trace
// counts and the trace map.
//
// A file object is created with MeterFile::New<Model>(...), which builds the
// object and then its configuration through the virtual NewConfig; the
// constructors take a token that only MeterFile can make, so no meter file
// exists without a configuration.
//
// Virtual operations are declared in the order of the meter file operation
// table; the destructor takes the place of Dispose.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "common/status.h"
#include "config/config.h"
#include "config/meter_config.h"
#include "datafile/data_file.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix {

// Whether a meter's recording at bin size `binsize` leaves `line` out: a
// lost line of a recording without bins (the time stamps show the gap).
inline bool MeterFile_LeavesOut(const SourceLine& line, int binsize) {
  return line.status == status::kLostLine && binsize <= 1;
}
// Whether it stores the line: not left out, and every number finite (a
// data file refuses others).
inline bool MeterFile_Stores(const SourceLine& line, int binsize) {
  return !MeterFile_LeavesOut(line, binsize) && SourceLine_IsFinite(line);
}

// MeterFile::New<F>(filename, portname) creates a data file of class F
// named `filename` and its configuration (MadeWithConfig).
class MeterFile : public DataFile, public MadeWithConfig<MeterFile> {
 public:
  MeterFile(Token, std::string_view filename, std::string_view portname);

  int GetTraceCount() override;                                       // 0
  int GetInTraceCount() override;                                     // 1
  Status GetHeading(int trace, std::string& heading) override;        // 2
  Status GetColors(std::span<int> colors) override;                   // 3
  Status GetWavelengths(std::span<double> wavelengths) override;      // 4
  // Creates the configuration with this file's trace counts.
  virtual Status NewConfig();                                         // 5
  // The recorded source's whole configuration, then the bin size line.
  Status WriteConfig(std::FILE* file) override;                       // 6
  // The embedded configuration, then the bin size line.
  Status ReadConfig(std::FILE* file) override;                        // 7
  // The next sample line; a damaged line comes back as a lost line.
  Status ReadData(SourceLine& line) override;                         // 8
  // Writes one line; lost lines are left out (see meter_file.cpp).
  Status WriteData(const SourceLine& line) override;                  // 9
  std::uint32_t GetSerialnum() override;                              // 10
  double GetSampleRate() override;                                    // 11
  int HasDepth() override;                                            // 12
  double GetDepth() override;                                         // 13
  Status GetID(std::string& id) override;                             // 14
  ~MeterFile() override;                                              // 15 Dispose
  int GetTraceMap(TraceMap& map) override;                            // 16
  Status OpenWrite(Source* recorded) override;                        // 17

  // The embedded configuration (never null for a file made by New), and the
  // same as a MeterConfig when it is one.
  Config* config() const { return config_.get(); }
  MeterConfig* meterConfig() const { return meterConfig_; }

 protected:
  // Installs the configuration; NewConfig of every class ends here.
  void SetConfig(std::unique_ptr<Config> config);
  // The number of fields of a trailing text as the recorded meter writes
  // it: the lead fields, then one reference value per input trace. A line
  // whose trailing text has another shape is a damaged line.
  virtual int TailFields();

 private:
  std::unique_ptr<Config> config_;
  MeterConfig* meterConfig_ = nullptr;  // config_ when it is a MeterConfig
  double lastSampleRate_ = 0.0;
  double lastDepth_ = 0.0;
  // What the last WriteConfig returned: OpenWrite fails when the header
  // could not be written whole.
  Status writeConfigResult_ = status::kOk;
};

}  // namespace sondrix
