// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/ancillary_file.h"

#include <algorithm>
#include <cmath>

#include "common/file.h"
#include "common/text_format.h"

namespace sondrix {
namespace {

constexpr std::string_view kHeader = "utc,quantity,value,source";

std::string Title() {
  std::string title = "# Sondrix ship's data: times in UTC;";
  for (const QuantityRow& row : Quantities())
    title += " " + std::string(row.name) + " " + std::string(row.units) + (row.quantity == Quantity::kValve ? "" : ",");
  return title;
}

bool ParseRecord(std::string_view line, AncillaryRecord& record) {
  const std::optional<std::int64_t> utc = ParseIsoUtc(TakeCsvField(line));
  if (!utc || !ParseQuantity(TakeCsvField(line), record.quantity)) return false;
  if (!CsvNumber(TakeCsvField(line), record.value) || !std::isfinite(record.value)) return false;
  record.utcMs = *utc;
  record.source = std::string(TakeCsvField(line, /*last=*/true));
  return true;
}

}  // namespace

std::string AncillaryPathFor(std::string_view dataFile) { return BesidePath(dataFile, ".ancillary.csv"); }

std::string AncillaryLine(const AncillaryRecord& record) {
  return IsoUtc(record.utcMs) + "," + std::string(RowOf(record.quantity).name) + "," + Format("%.10g", record.value) +
         "," + PrintableText(record.source) + "\n";
}

Status AncillaryWriter::Open(const std::string& path) { return out_.Open(path, Title(), kHeader); }

Status ReadAncillary(const std::string& path, std::vector<AncillaryRecord>& records, long& skipped,
                     std::string& error) {
  return ReadSideRecords(path, kHeader, "ship's data file", &ParseRecord, records, skipped, error);
}

AncillarySeries SeriesOf(const std::vector<AncillaryRecord>& records, std::span<const std::string> sourceOrder) {
  AncillarySeries series;
  for (std::size_t q = 0; q < kQuantityCount; ++q) {
    std::string& chosen = series.source[q];
    for (const std::string& source : sourceOrder) {
      for (const AncillaryRecord& record : records) {
        if (static_cast<std::size_t>(record.quantity) == q && record.source == source) {
          chosen = source;
          break;
        }
      }
      if (!chosen.empty()) break;
    }
    for (const AncillaryRecord& record : records) {
      if (static_cast<std::size_t>(record.quantity) != q) continue;
      if (chosen.empty()) chosen = record.source;
      if (record.source != chosen) continue;
      std::vector<TimedValue>& values = series.values[q];
      // Two readings of one time: the later line.
      if (!values.empty() && values.back().utcMs == record.utcMs) values.back().value = record.value;
      else values.push_back({record.utcMs, record.value});
    }
  }
  return series;
}

std::optional<double> AncillaryValueAt(std::span<const TimedValue> readings, Quantity quantity, std::int64_t utcMs) {
  const std::optional<Bracket> at = BracketAt(readings, utcMs, static_cast<std::int64_t>(kMaxAncillaryGapSeconds * 1000),
                                              [](const TimedValue& v) { return v.utcMs; });
  if (!at) return std::nullopt;
  const double a = readings[at->before].value;
  if (quantity == Quantity::kValve || at->after == at->before) return a;
  return a + at->fraction * (readings[at->after].value - a);
}

}  // namespace sondrix
