// SPDX-License-Identifier: GPL-3.0-or-later
// A recorded line as one record of text for the ship's network: the UTC
// time at which its sample was measured and the values its data file line
// holds, in the line's order and written by the data file's own code
// (source_line.h), then further values of the run (its ship's data, its
// corrected values), each a field of its own:
//
//   DATA_ID 2026-12-10T04:00:00.123Z 0.45281,0.32039,...,14.98,6.0,0.00,18.00,21.8054
//   DATA_ID #fields time,c412[1/m],...,temperature_internal[degC],sample_rate[Hz],depth[m],temperature_external[degC],sea_water_temperature[degC]
//
// The values are the traces the data file holds (a hyperspectral meter's
// mapped ones only, at an output spacing above 1) with five decimals, then
// the readings that begin the meter's trailing text, as the data file has
// them (a line without a trailing text keeps the last one's; none before
// the first), then the further fields. The meter's reference values and
// auxiliary counts that follow the readings in its trailing text are not
// sent. A value that is not known (not a number) is an empty field.
//
// For loggers that read NMEA 0183 alone, the same as proprietary sentences,
// the checksum of io/nmea.h after them, without the data id:
//
//   $PSDRX,2026-12-10T04:00:00.123Z,0.45281,0.32039,...*hh<CR><LF>
//   $PSDRF,time,c412[1/m],...*hh<CR><LF>                          (the fields)
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "source/source_line.h"
#include "source/trace_list.h"

namespace sondrix {

enum class RecordForm { kPlain, kNmea };

// A field after the line's own: its name with its units in brackets, and
// the decimals of its values.
struct RecordField {
  std::string name;
  int decimals = 5;
  bool operator==(const RecordField&) const = default;
};

// The names of the readings of a trailing text, in its order.
inline constexpr std::string_view kLeadFieldNames[kTailLeadFields] = {
    "temperature_internal[degC]", "sample_rate[Hz]", "depth[m]", "temperature_external[degC]"};

class LineRecord {
 public:
  // The fields: "time", the traces of `traces` the instrument sends (by
  // heading, "c412[1/m]"), the readings of the trailing text, `extras`.
  void SetFields(const std::vector<TraceEntry>& traces, std::vector<RecordField> extras);
  // A new run: the readings of the last trailing text are forgotten.
  void Restart() { lead_.clear(); }

  // "time,c412[1/m],...".
  const std::string& FieldList() const { return fields_; }
  const std::vector<RecordField>& extras() const { return extras_; }
  // The record that names the fields: "DATA_ID #fields time,..." or
  // "$PSDRF,time,...*hh\r\n".
  std::string Header(std::string_view id, RecordForm form) const;
  // The record of `line`, measured at `utcMs`, with a value per extra field
  // (not a number: unknown); it stays until the next call.
  std::string_view Data(std::string_view id, RecordForm form, const SourceLine& line, std::int64_t utcMs,
                        std::span<const double> extras);

 private:
  std::vector<int> traces_;
  std::vector<RecordField> extras_;
  std::string fields_;
  // The readings of the last trailing text, each after a comma.
  std::string lead_;
  std::string text_;
};

}  // namespace sondrix
