// SPDX-License-Identifier: GPL-3.0-or-later
// BenthFile: the data file of the hyperspectral meter. Its configuration is
// a BenthMeterConfig, whose counts (2n traces, n wavelengths) are the
// file's; a column-heading line follows the bin size line; and with a skip
// value above 1 the sample lines hold only the values of the traces that
// the instrument outputs (those of the trace map), which replay spreads back
// over all 2n traces (0.0 for the others).
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>
#include <utility>

#include "config/benth_meter_config.h"
#include "datafile/meter_file.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix {

class BenthFile final : public MeterFile {
 public:
  BenthFile(Token token, std::string_view filename, std::string_view portname);

  // The configuration's counts, or 200 and 100 before it exists.
  int GetTraceCount() override;
  int GetInTraceCount() override;
  Status NewConfig() override;
  // Every skip-th wavelength of both halves, by the configuration's skip.
  int GetTraceMap(TraceMap& map) override;
  // The embedded configuration and the bin size line, then the
  // column-heading line, which is not a sample line.
  Status ReadConfig(std::FILE* file) override;
  Status ReadData(SourceLine& line) override;
  Status WriteData(const SourceLine& line) override;
  // Title, configuration and bin size line, then the column headings.
  Status OpenWrite(Source* recorded) override;

  BenthMeterConfig* benthConfig() const { return benth_; }

 protected:
  // The lead fields and the meter's four auxiliary counts, whatever the
  // number of wavelengths.
  int TailFields() override;

 private:
  // The line of the traces on the map, sized to their number.
  SourceLine* PackedLine();

  BenthMeterConfig* benth_ = nullptr;
  std::unique_ptr<SourceLine> packLine_;
  TraceMap map_{};
  // The wavelengths and skip value map_ and packLine_ were made for.
  std::pair<int, int> mapMadeFor_{-1, -1};
};

}  // namespace sondrix
