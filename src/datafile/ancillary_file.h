// SPDX-License-Identifier: GPL-3.0-or-later
// The ship's data of a recording: "NAME.ancillary.csv" beside "NAME.dat",
// every value the run's ship's data sources gave (io/ancillary.h), one line
// a value, kept as the track is (side_csv.h): appended as values arrive,
// synced with the recording, and saved, renamed, recovered and deleted with
// its data file.
//
//   # Sondrix ship's data: temperature degC (ITS-90), salinity PSS-78, ...
//   utc,quantity,value,source
//   2026-12-10T04:00:00.123Z,temperature,21.8054,tsg1
//
// The source is the rest of the line (its data id, else its link's text).
//
// Exports give each sample the value of each quantity at its UTC time
// (AncillaryValueAt): the straight line between the readings around it
// when they are at most kMaxAncillaryGapSeconds apart, never extrapolated;
// the valve's state is not interpolated: the state of the reading at or
// before the time, when the next one is within the same bound.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "datafile/side_csv.h"
#include "io/ancillary.h"

namespace sondrix {

// Readings further apart than this (seconds) leave the samples between them
// without a value; a source silent longer than this is stale on the display.
inline constexpr double kMaxAncillaryGapSeconds = 30.0;

struct AncillaryRecord {
  std::int64_t utcMs = 0;
  Quantity quantity = Quantity::kTemperature;
  double value = 0.0;
  std::string source;
  bool operator==(const AncillaryRecord&) const = default;
};

// "NAME.ancillary.csv" for "NAME.dat" (as CompanionPathFor).
std::string AncillaryPathFor(std::string_view dataFile);
// One line of the file for `record`, with its newline.
std::string AncillaryLine(const AncillaryRecord& record);

// Appends records to a new ship's data file, as TrackWriter its fixes.
class AncillaryWriter : public SideRecordWriter<AncillaryRecord, &AncillaryLine> {
 public:
  Status Open(const std::string& path);
  long values() const { return out_.lines(); }
};

// The records of the file at `path`, in time order (as ReadSideCsv).
Status ReadAncillary(const std::string& path, std::vector<AncillaryRecord>& records, long& skipped,
                     std::string& error);

struct TimedValue {
  std::int64_t utcMs = 0;
  double value = 0.0;
};

// Each quantity's readings in time order, from one source: the first of
// `sourceOrder` (the companion's) that gave it, else the first in the file.
struct AncillarySeries {
  std::array<std::vector<TimedValue>, kQuantityCount> values;
  std::array<std::string, kQuantityCount> source;
  bool Has(Quantity quantity) const { return !values[static_cast<std::size_t>(quantity)].empty(); }
};
AncillarySeries SeriesOf(const std::vector<AncillaryRecord>& records, std::span<const std::string> sourceOrder);

// The value of `quantity` at `utcMs` on `readings` (in time order; the
// stretch around the time is enough), as the top of this file says.
std::optional<double> AncillaryValueAt(std::span<const TimedValue> readings, Quantity quantity, std::int64_t utcMs);

}  // namespace sondrix
