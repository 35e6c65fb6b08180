// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/network_output.h"

#include <cmath>
#include <limits>

#include "common/log.h"
#include "common/text_format.h"
#include "datafile/companion.h"
#include "datafile/meter_file.h"
#include "session/acquisition.h"
#include "session/live_processing.h"
#include "source/trace_list.h"

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kLongestId = 63;

// A quantity's field: its CSV heading as one word, "sea_water_temperature[degC]",
// "valve_state[0=total;1=filtered]".
std::string ShipFieldName(Quantity quantity) {
  std::string name(RowOf(quantity).csvHeading);
  for (std::size_t at; (at = name.find(" [")) != std::string::npos;) name.erase(at, 1);
  for (std::size_t at; (at = name.find("; ")) != std::string::npos;) name.erase(at + 1, 1);
  for (char& c : name) {
    if (c == ' ') c = '=';
  }
  return name;
}

std::string Plural(long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

bool IsNetworkId(std::string_view id) {
  if (!IsDataId(id) || id.size() > kLongestId) return false;
  for (const char c : id) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

std::string NetworkText(const NetworkState& state, std::string_view between) {
  if (!state.on()) return {};
  std::string text = "UDP " + state.destination + " (" + std::string(UdpKindName(state.kind)) + ")";
  text += between;
  text += Plural(state.linesSent, "line sent", "lines sent");
  if (state.linesDropped > 0) text += ", " + std::to_string(state.linesDropped) + " dropped";
  if (state.withoutUtc > 0) text += ", " + std::to_string(state.withoutUtc) + " without UTC";
  return text;
}

std::string NetworkNote(const NetworkState& state) {
  if (!state.on()) return {};
  std::string note = "The network output to " + state.destination + " (" + std::string(UdpKindName(state.kind)) +
                     (state.nmea ? ", NMEA sentences" : "") + ") sent " +
                     Plural(state.linesSent, "line", "lines") + " and " +
                     Plural(state.headersSent, "record of the fields", "records of the fields");
  const long long dropped = state.linesDropped + state.headersDropped;
  if (dropped > 0) {
    note += "; " + Plural(state.linesDropped, "line", "lines") + " and " +
            Plural(state.headersDropped, "record of the fields", "records of the fields") + " were dropped: " +
            DropReasons(state.counts);
  } else {
    note += "; none was dropped";
  }
  if (state.withoutUtc > 0)
    note += "; " + Plural(state.withoutUtc, "line has", "lines have") + " no UTC time and went unsent";
  return note;
}

std::unique_ptr<NetworkOutput> NetworkOutput::Open(const NetworkSetting& setting, std::string& why) {
  if (!IsNetworkId(setting.id)) {
    why = "the data id \"" + PrintableText(setting.id) + "\" is not one word of at most 63 printable characters";
    return nullptr;
  }
  if (setting.every < 1) {
    why = "every N-th line needs N of at least 1";
    return nullptr;
  }
  std::unique_ptr<NetworkOutput> output(new NetworkOutput());
  if (!output->sender_.Open(setting.destination, why)) return nullptr;
  output->setting_ = setting;
  output->state_.destination = output->sender_.destination();
  output->state_.kind = output->sender_.kind();
  output->state_.nmea = setting.nmea;
  return output;
}

NetworkOutput::~NetworkOutput() { Finish(); }

void NetworkOutput::Begin(Source& source, const Acquisition* run) {
  run_ = run;
  binsize_ = std::max(source.GetBinsize(), 1);
  stored_ = 0;
  headerFields_.clear();
  headerUtc_.reset();
  record_.Restart();
  traces_ = ListTraces(source);
  replayed_.reset();
  // A replayed data file's ship's data were recorded beside it.
  const bool replayedFile = source.GetReplayFraction() >= 0.0 && source.GetClock() == nullptr;
  if (run != nullptr && run->ancillary().empty() && replayedFile) {
    std::vector<AncillaryRecord> records;
    long skipped = 0;
    std::string error;
    if (ReadAncillary(AncillaryPathFor(source.filename()), records, skipped, error) == status::kOk) {
      Companion companion;
      std::vector<std::string> order;
      if (ReadReplayedCompanion(source, companion, error) == status::kOk) {
        for (const AncillarySpec& spec : companion.ancillarySources) order.push_back(spec.Name());
      }
      replayed_ = SeriesOf(records, order);
    }
  }
  quantities_.clear();
  for (const QuantityRow& row : Quantities()) {
    bool given = row.quantity == Quantity::kValve && run != nullptr && run->valveSchedule().has_value();
    if (replayed_) given = given || replayed_->Has(row.quantity);
    if (run != nullptr) {
      for (const AncillaryState& state : run->ancillary()) given = given || state.map.Has(row.quantity);
    }
    if (given) quantities_.push_back(row.quantity);
  }
  MakeFields();
}

void NetworkOutput::MakeFields() {
  std::vector<RecordField> extras;
  for (const Quantity quantity : quantities_) extras.push_back({ShipFieldName(quantity), RowOf(quantity).decimals});
  correctedTraces_.clear();
  if (processing_ != nullptr) {
    const ProcessorChannels& ch = processing_->processor().channels();
    const bool particulate = processing_->underway();
    for (std::size_t k = 0; k < ch.aTrace.size() && k < ch.aWavelength.size(); ++k) {
      extras.push_back({Format("%s%g[1/m]", particulate ? "a_p" : "a_corrected", ch.aWavelength[k]), 5});
      correctedTraces_.push_back(ch.aTrace[k]);
    }
    for (std::size_t k = 0; k < ch.cTrace.size() && k < ch.cWavelength.size(); ++k) {
      extras.push_back({Format("%s%g[1/m]", particulate ? "c_p" : "c_ts", ch.cWavelength[k]), 5});
      correctedTraces_.push_back(ch.cTrace[k]);
    }
  }
  record_.SetFields(traces_, std::move(extras));
}

void NetworkOutput::SetProcessing(LiveProcessing* processing) {
  if (processing_ != nullptr) processing_->stream().Unsubscribe(corrected_);
  SendAll();
  processing_ = processing;
  if (processing_ != nullptr) processing_->stream().Keep(corrected_);
  MakeFields();
}

void NetworkOutput::Finish() {
  if (processing_ != nullptr) processing_->stream().Unsubscribe(corrected_);
  processing_ = nullptr;
  SendAll();
  run_ = nullptr;
}

void NetworkOutput::ShipValues(std::int64_t utcMs, std::array<double, kQuantityCount>& ship) {
  ship.fill(kNaN);
  if (replayed_) {
    for (const Quantity quantity : quantities_) {
      const auto q = static_cast<std::size_t>(quantity);
      ship[q] = AncillaryValueAt(replayed_->values[q], quantity, utcMs).value_or(kNaN);
    }
  } else if (run_ != nullptr) {
    // The first source that gives a quantity, while it is fresh.
    for (const AncillaryState& state : run_->ancillary()) {
      if (state.Stale() || state.Gone()) continue;
      for (std::size_t q = 0; q < kQuantityCount; ++q) {
        if (std::isnan(ship[q]) && state.last[q]) ship[q] = *state.last[q];
      }
    }
  }
  if (run_ != nullptr && run_->valveSchedule())
    ship[static_cast<std::size_t>(Quantity::kValve)] =
        run_->valveSchedule()->FilteredAt(utcMs) ? kValveFiltered : kValveTotal;
}

Status NetworkOutput::Take(const SourceLine& line) {
  if (!sender_.open()) return status::kOk;
  Held held;
  // The lines the recording keeps, every N-th of them.
  if (MeterFile_Stores(line, binsize_) && stored_++ % setting_.every == 0) {
    const std::optional<std::int64_t> utc = run_ != nullptr ? run_->UtcOf(line.time) : std::nullopt;
    if (utc) {
      held.send = true;
      held.utcMs = *utc;
      ShipValues(*utc, held.ship);
    } else {
      ++state_.withoutUtc;
    }
  }
  if (processing_ == nullptr) {
    if (held.send) Send(line, held, nullptr);
    return status::kOk;
  }
  // Its corrected line came first (a processing that took the line
  // before this output did passes on a line it has nothing of at once).
  if (!early_.empty()) {
    const std::optional<SourceLine> corrected = std::move(early_.front());
    early_.pop_front();
    if (held.send) Send(line, held, corrected ? &*corrected : nullptr);
    return status::kOk;
  }
  if (held.send) held.line = line;
  held_.push_back(std::move(held));
  // A processing far behind: the oldest line goes without its values.
  if (held_.size() > kMostHeldLines) {
    if (held_.front().send) Send(held_.front().line, held_.front(), nullptr);
    held_.pop_front();
    ++skip_;
  }
  return status::kOk;
}

Status NetworkOutput::Corrected::Take(const SourceLine& line) {
  owner_.Pair(&line);
  return status::kOk;
}

void NetworkOutput::Corrected::Missed(const SourceLine& /*line*/) { owner_.Pair(nullptr); }

void NetworkOutput::Pair(const SourceLine* corrected) {
  if (skip_ > 0) {
    --skip_;
    return;
  }
  if (held_.empty()) {
    early_.push_back(corrected != nullptr ? std::optional<SourceLine>(*corrected) : std::nullopt);
    return;
  }
  const Held& held = held_.front();
  if (held.send) Send(held.line, held, corrected);
  held_.pop_front();
}

void NetworkOutput::SendAll() {
  for (const Held& held : held_) {
    if (held.send) Send(held.line, held, nullptr);
  }
  held_.clear();
  early_.clear();
  skip_ = 0;
}

void NetworkOutput::Send(const SourceLine& line, const Held& held, const SourceLine* corrected) {
  extras_.clear();
  for (const Quantity quantity : quantities_) extras_.push_back(held.ship[static_cast<std::size_t>(quantity)]);
  for (const int trace : correctedTraces_) {
    const auto t = static_cast<std::size_t>(trace);
    extras_.push_back(corrected != nullptr && t < corrected->values.size() ? corrected->values[t] : kNaN);
  }
  const RecordForm form = setting_.nmea ? RecordForm::kNmea : RecordForm::kPlain;
  const bool wasDropping = state_.counts.lastDropped;
  // The fields before the first line, when they change, and once a
  // minute of the samples' time.
  if (record_.FieldList() != headerFields_ || !headerUtc_ || held.utcMs < *headerUtc_ ||
      held.utcMs - *headerUtc_ >= kHeaderMs) {
    const std::string header = record_.Header(setting_.id, form);
    if (sender_.Send(header)) ++state_.headersSent;
    else ++state_.headersDropped;
    state_.longest = std::max(state_.longest, header.size());
    headerFields_ = record_.FieldList();
    headerUtc_ = held.utcMs;
  }
  const std::string_view text = record_.Data(setting_.id, form, line, held.utcMs, extras_);
  if (sender_.Send(text)) ++state_.linesSent;
  else ++state_.linesDropped;
  state_.longest = std::max(state_.longest, text.size());
  state_.counts = sender_.counts();
  if (state_.counts.lastDropped && !wasDropping) {
    SONDRIX_LOG(Warn, "the network output to %s drops datagrams (%s); the recording goes on",
                state_.destination.c_str(), DropReasons(state_.counts).c_str());
  } else if (!state_.counts.lastDropped && wasDropping) {
    SONDRIX_LOG(Info, "the network output to %s sends again", state_.destination.c_str());
  }
}

}  // namespace sondrix
