// SPDX-License-Identifier: GPL-3.0-or-later
#include "source/line_record.h"

#include <cmath>

#include "common/fixed_format.h"
#include "common/number_field.h"
#include "common/text_format.h"
#include "io/nmea.h"

namespace sondrix {
namespace {

constexpr std::string_view kDataSentence = "PSDRX";
constexpr std::string_view kFieldsSentence = "PSDRF";

// A name as one field of a record: no separator of either form in it.
std::string FieldName(std::string_view name) {
  std::string text(name);
  for (char& c : text) {
    if (c == ',' || c == ' ' || c == '\t' || c == '*' || c == '$' || c == '\r' || c == '\n') c = '_';
  }
  return text;
}

// Whether `field` is written as a number: what a meter's trailing text
// holds, and nothing that could break a record.
bool NumberText(std::string_view field) {
  return !field.empty() && field.find_first_not_of("0123456789+-.eE") == std::string_view::npos;
}

// The readings that begin `tail`, each after a comma (an empty field for
// one that is missing or no number).
std::string LeadOf(std::string_view tail) {
  std::string lead;
  std::string_view rest = SkipFieldBlanks(tail);
  for (int k = 0; k < kTailLeadFields; ++k) {
    std::size_t end = 0;
    while (end < rest.size() && !IsFieldBlank(rest[end])) ++end;
    const std::string_view field = rest.substr(0, end);
    lead += ',';
    if (NumberText(field)) lead += field;
    rest = SkipFieldBlanks(rest.substr(end));
  }
  return lead;
}

}  // namespace

void LineRecord::SetFields(const std::vector<TraceEntry>& traces, std::vector<RecordField> extras) {
  traces_.clear();
  fields_ = "time";
  for (const TraceEntry& entry : traces) {
    if (!entry.sent) continue;
    traces_.push_back(entry.trace);
    fields_ += "," + FieldName(entry.heading) + "[1/m]";
  }
  for (std::string_view name : kLeadFieldNames) fields_ += "," + std::string(name);
  for (RecordField& extra : extras) {
    extra.name = FieldName(extra.name);
    fields_ += "," + extra.name;
  }
  extras_ = std::move(extras);
}

std::string LineRecord::Header(std::string_view id, RecordForm form) const {
  if (form == RecordForm::kNmea) return NmeaSentence(std::string(kFieldsSentence) + "," + fields_);
  return std::string(id) + " #fields " + fields_;
}

std::string_view LineRecord::Data(std::string_view id, RecordForm form, const SourceLine& line, std::int64_t utcMs,
                                  std::span<const double> extras) {
  if (!line.tail.empty()) lead_ = LeadOf(line.tail);
  std::string& out = text_;
  out.clear();
  if (form == RecordForm::kNmea) {
    out += kDataSentence;
    out += ',';
  } else {
    out += id;
    out += ' ';
  }
  out += IsoUtc(utcMs);
  out += form == RecordForm::kNmea ? ',' : ' ';
  // The values, each after a comma: the first comma goes again below.
  const std::size_t valuesAt = out.size();
  char number[kFixedTextMax];
  for (const int trace : traces_) {
    out += ',';
    const auto k = static_cast<std::size_t>(trace);
    if (k < line.values.size() && std::isfinite(line.values[k]))
      out.append(number, SourceLine_PutValue(number, line.values[k]));
  }
  if (lead_.empty()) out.append(kTailLeadFields, ',');
  else out += lead_;
  for (std::size_t k = 0; k < extras_.size(); ++k) {
    out += ',';
    if (k < extras.size() && std::isfinite(extras[k])) AppendFixed(out, extras[k], extras_[k].decimals);
  }
  out.erase(valuesAt, 1);
  if (form == RecordForm::kNmea) out = NmeaSentence(out);
  return out;
}

}  // namespace sondrix
